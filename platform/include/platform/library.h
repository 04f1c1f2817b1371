// Dynamic libraries over dlopen.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32
// "WSOCK32" (any letter case, with or without ".dll") finds libwsock32.so: in the program's
// folder first, then the system's library path. Other names map the same way ("NAME" ->
// libname.so); a name with a '/' is a host path. Loading a loaded library again counts up.
HMODULE LoadLibraryA(const char* name);
FARPROC GetProcAddress(HMODULE module, const char* procName);
BOOL FreeLibrary(HMODULE module);
// nullptr: the program itself.
HMODULE GetModuleHandleA(const char* name);
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
#endif  // _WIN32
