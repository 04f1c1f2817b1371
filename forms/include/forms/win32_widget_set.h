// The Win32 widget set: forms are dialog windows of the system, controls its own control
// classes (STATIC, BUTTON, EDIT, LISTBOX, COMBOBOX, the status line), at the controls'
// positions and sizes, with their fonts. Windows build only.
#pragma once

#include <memory>

#include "forms/widget_set.h"

std::unique_ptr<TWidgetSet> CreateWin32WidgetSet();
// Makes the Win32 widget set the application's.
void UseWin32WidgetSet();
