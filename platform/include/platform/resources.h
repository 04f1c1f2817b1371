// Resources compiled into a module: named binary blobs (RCDATA) and numbered strings.
//
// tools/ holds the generator; cmake/Resources.cmake's target_resources() compiles resource
// files into a target: the program itself, or a shared library that carries resources and is
// opened with LoadLibraryA.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
inline constexpr std::uintptr_t RT_STRING_ID = 6;
inline constexpr std::uintptr_t RT_RCDATA_ID = 10;
inline const char* const RT_STRING = reinterpret_cast<const char*>(RT_STRING_ID);
inline const char* const RT_RCDATA = reinterpret_cast<const char*>(RT_RCDATA_ID);
inline const char* MAKEINTRESOURCEA(std::uintptr_t id) {
  return reinterpret_cast<const char*>(id);
}

// Names compare without regard to letter case, as on Windows. module == nullptr: the program.
HRSRC FindResourceA(HMODULE module, const char* name, const char* type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
BOOL FreeResource(HGLOBAL data);
// The string converted to the ANSI code page (950), cut to fit `bufferSize` - 1 characters and
// terminated; returns its length, 0 when missing. bufferSize 0: `buffer` receives a pointer
// to the read-only UTF-16 text and the result is its length, as on Windows.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferSize);
#endif  // _WIN32

namespace platform {
// Convenience: the whole string in the ANSI code page; empty when missing.
std::string LoadResString(HINSTANCE instance, UINT id);
}  // namespace platform
