// Starting programs.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32
inline constexpr UINT SW_HIDE = 0;
inline constexpr UINT SW_SHOWNORMAL = 1;
inline constexpr UINT SW_SHOW = 5;

// Runs `commandLine` (program name, then arguments separated by blanks; a quoted name may hold
// blanks). A name without an extension gets ".exe"; a name without a folder is searched in the
// program's own folder, then the current folder, never on PATH. A native executable or a "#!"
// script runs directly (a script without the execute bit, as downloaded, through the interpreter
// its first line names), a Windows executable ("MZ") through `wine` when one is installed. Returns
// a value above 31 when started; 0 out of resources, 2 file not found, 3 path not found, 5 not
// executable or still open for writing here, 11 bad format (as WinExec). The child runs detached in
// a session of its own; it is never waited for here, and no zombie is left when it ends.
UINT WinExec(const char* commandLine, UINT showCommand);
#endif  // _WIN32
