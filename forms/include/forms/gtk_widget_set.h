// The GTK 3 widget set: forms and controls drawn at their positions and sizes, with their
// fonts and colours; GTK is pumped from the platform's loop. Choosing it:
//
//   std::string why;
//   if (!UseGtkWidgetSet(&why)) { /* no display: stay headless, or report `why` */ }
#pragma once

#include <memory>
#include <string>

#include "forms/widget_set.h"

// Starts GTK on the display of $DISPLAY. Null (and the reason in `error`) when there is no
// display or GTK cannot start; the process goes on.
std::unique_ptr<TWidgetSet> CreateGtkWidgetSet(std::string* error = nullptr);
// Creates the GTK widget set and makes it the application's; false when it cannot start.
bool UseGtkWidgetSet(std::string* error = nullptr);
// Where a button (ID* value) of the newest open message box of the GTK set is, for tests that
// press it with a pointer; false when no GTK box is open.
bool ProbeGtkMessageBoxButton(int id, TWidgetProbe& probe);
