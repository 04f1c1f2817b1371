// The Win32 widget set: forms are dialog windows of the system, controls its own control
// classes (STATIC, BUTTON, EDIT, LISTBOX, COMBOBOX, the status line), at the controls'
// positions and sizes, with their fonts. Windows build only.
#pragma once

#include <memory>
#include <string>

#include "forms/widget_set.h"

// Null (and the reason in `error`) when the system gives the program no windows, for example
// a desktop that does not come up.
std::unique_ptr<TWidgetSet> CreateWin32WidgetSet(std::string* error = nullptr);
// Makes the Win32 widget set the application's; false when it cannot be made.
bool UseWin32WidgetSet(std::string* error = nullptr);
