// System messages, the OS version and critical sections.
#pragma once

#include <mutex>
#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
// `arguments` is an array of const char* for the inserts %1, %2 ...
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// From the system table only: English texts for the Windows and Winsock error numbers the
// program can meet, each ending in CR LF as Windows gives them. Unknown numbers fail (0,
// ERROR_MR_MID_NOT_FOUND). Returns the length written (without the terminator).
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments);

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  char szCSDVersion[128] = {};
};
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
BOOL GetVersionExA(OSVERSIONINFOA* info);

// Re-entrant: the owning thread may enter again.
struct CRITICAL_SECTION {
  std::recursive_mutex* mutex = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
#endif  // _WIN32

namespace platform {
// FormatMessage's text for `code` without its trailing line end and full stop, as the
// runtime shows it after "Cannot open file ..."; empty when the system has none.
std::string SysErrorMessage(DWORD code);
}  // namespace platform
