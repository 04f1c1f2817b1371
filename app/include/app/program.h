// Program start of kvb-download: the command line, drive C:, the widget set, the window and
// the message loop. Returns the process's exit code.
#pragma once

#include <string>

int RunProgram(int argc, char** argv);

// Program start, before the window: the process-wide objects of the comm library, kept to
// program end. The readers of the two string tables (which raise when the program's own
// tables cannot be read), and the device socket, whose creation loads and starts Winsock and
// registers "awDispatch". A Winsock that cannot be loaded or started raises nothing here: the
// device socket records it, and the first use of a socket raises it.
void StartProcessWideObjects();

#ifndef _WIN32
// The folder that stands for drive C: when the command line names none:
// $XDG_DATA_HOME/kvb-download/drive_c, or ~/.local/share/kvb-download/drive_c.
std::string DefaultDriveCFolder();
#endif
