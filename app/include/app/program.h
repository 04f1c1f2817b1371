// Program start of kvb-download: the command line, drive C:, the widget set, the window and
// the message loop. Returns the process's exit code.
#pragma once

#include <string>

int RunProgram(int argc, char** argv);

#ifndef _WIN32
// The folder that stands for drive C: when the command line names none:
// $XDG_DATA_HOME/kvb-download/drive_c, or ~/.local/share/kvb-download/drive_c.
std::string DefaultDriveCFolder();
#endif
