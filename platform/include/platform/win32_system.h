// The Windows build: the Win32 part of the platform is the system's own <windows.h>.
//
// Names of the layers above (methods called SendMessage, GetMessage, constants called ERROR
// ...) must not be rewritten by the system headers' macros, so the unsuffixed A/W macros and
// the few plain-word macros that meet such names are taken back here. Code above calls the
// A-suffixed functions, as on the stand-in.
#pragma once

#ifndef _WIN32
#error "platform/win32_system.h is for the Windows build only"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// After <windows.h>, whose types it uses.
#include <mmsystem.h>

#undef ERROR
#undef DELETE
#undef TRANSPARENT
#undef OPAQUE
#undef interface
#undef small

#undef SendMessage
#undef PostMessage
#undef GetMessage
#undef PeekMessage
#undef DispatchMessage
#undef CreateWindow
#undef LoadString
#undef FindResource
#undef FormatMessage
#undef DeleteFile
#undef MessageBox
#undef DrawText
#undef GetObject
#undef CreateFont
#undef LoadIcon
#undef LoadBitmap
#undef GetClassName
#undef GetWindowText
#undef SetWindowText
