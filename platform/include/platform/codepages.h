// Code pages: 8-bit text <-> UTF-16 for 950 (Big5, as Windows' CP950), 1252 and UTF-8.
#pragma once

#include <cstddef>
#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
#endif
inline constexpr UINT CP_BIG5 = 950;
inline constexpr UINT CP_WINDOWS_1252 = 1252;
#ifndef _WIN32
inline constexpr UINT CP_UTF8 = 65001;

// MultiByteToWideChar: fail with ERROR_NO_UNICODE_TRANSLATION instead of replacing bad bytes.
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
// WideCharToMultiByte to UTF-8: fail on unpaired surrogates instead of replacing them.
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;

// The system ANSI code page: 950, as on the Traditional Chinese systems the tool is made for.
UINT GetACP();

// As on Windows: length -1 means a terminated string (the terminator is converted too); a
// destination size of 0 asks for the size needed. Characters that cannot be converted become
// the default character ('?' or U+FFFD for bad input bytes). Returns 0 on failure and sets
// GetLastError (ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_NO_UNICODE_TRANSLATION).
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, WCHAR* dst,
                        int dstLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefaultChar);
#endif  // _WIN32

#ifndef _WIN32
// Stepping through multi-byte text as Windows does (Windows declares these itself). In code
// page 950 every byte 0x81..0xFE is a lead byte (0x80 and 0xFF are characters of their own), and a
// lead byte takes the byte after it as its second byte whatever that byte is (a backslash, as in B3
// 5C 許), unless the text ends there. Code pages 1252 and UTF-8 have no lead bytes. CP_ACP and
// CP_OEMCP name 950.
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE testChar);
// The character after the one at `current`; `current` itself at the terminating NUL.
char* CharNextExA(WORD codePage, const char* current, DWORD flags);
// The character before `current`, found by stepping from `start`; `start` when `current` is not
// after it.
char* CharPrevExA(WORD codePage, const char* start, const char* current, DWORD flags);
#endif  // _WIN32

namespace platform {
// Bytes of the character at `pos` of the program's text (Big5, whatever the system's ANSI code
// page is): 1, or 2 for a lead byte and its second byte (CharNextExA's steps; a NUL inside the
// text is a character of one byte); 0 past the end.
inline std::size_t AnsiCharSize(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  const char* at = text.c_str() + pos;
  const char* next = CharNextExA(CP_BIG5, at, 0);
  return next == at ? 1 : static_cast<std::size_t>(next - at);
}
std::u16string ToUtf16(const std::string& text, UINT codePage = CP_ACP);
std::string FromUtf16(const std::u16string& text, UINT codePage = CP_ACP);
// Bytes of one code page to another (through UTF-16). Used where text reaches the screen.
std::string ConvertCodePage(const std::string& text, UINT fromCodePage, UINT toCodePage);
inline std::string AnsiToUtf8(const std::string& text) {
  return ConvertCodePage(text, CP_ACP, CP_UTF8);
}
inline std::string Utf8ToAnsi(const std::string& text) {
  return ConvertCodePage(text, CP_UTF8, CP_ACP);
}
}  // namespace platform
