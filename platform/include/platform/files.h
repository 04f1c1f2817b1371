// Files and folders with Windows-style paths.
//
// "C:\SuperSetup\x.exe" and "C:/SuperSetup/x.exe" both name <drive C folder>/SuperSetup/x.exe;
// other drive letters map to folders set with SetDriveFolder (unset drives: path not found);
// drive Z: is the host's root until set otherwise, as under Wine;
// a relative path is relative to the current directory; a native absolute path ("/tmp/x")
// passes through. Failures set GetLastError to a Windows error number mapped from errno.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

namespace platform {
// Which host folder stands for drive `letter` ('C' ...). Must be an absolute host path.
// On Windows the drives are the system's own: setting one does nothing, a drive's folder is
// C:\, and paths pass through ToHostPath/FromHostPath unchanged.
void SetDriveFolder(char letter, const std::string& hostFolder);
std::string GetDriveFolder(char letter);
// Windows-style path to host path; empty when the drive is not mapped.
std::string ToHostPath(const std::string& windowsPath);
// Host path to the Windows-style path of the mapped drive that holds it (longest match, so
// drive Z: only for what no other drive holds); a host path outside every drive folder (Z:
// unset) is returned unchanged.
std::string FromHostPath(const std::string& hostPath);
// Path text is ANSI text (code page 950): a Big5 character's second byte may be a backslash
// (許 is B3 5C, 功 A5 5C) and is never a separator. These look for separators character by
// character, as Windows does.
// Whether the byte at `pos` is the second byte of a two-byte character.
bool IsTrailByteAt(const std::string& text, std::size_t pos);
// Position of the last separator of `delimiters` ("\\/:" and the like), or npos.
std::size_t LastPathDelimiter(const std::string& path, const char* delimiters);
// Whether the path ends in a backslash or slash that is a separator.
bool EndsWithPathDelimiter(const std::string& path);
#ifndef _WIN32
// errno to Windows error number (ENOENT 2, ENOTDIR 3, EACCES/EPERM/EROFS 5, EBUSY 32 ...).
DWORD ErrnoToWinError(int err);
#endif
// Folder of the running program, with a trailing '/'.
std::string ProgramFolder();
}  // namespace platform

#ifndef _WIN32
struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

DWORD GetFileAttributesA(const char* path);
BOOL CreateDirectoryA(const char* path, void* security);
BOOL RemoveDirectoryA(const char* path);
BOOL DeleteFileA(const char* path);
BOOL MoveFileExA(const char* from, const char* to, DWORD flags);
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer);
BOOL SetCurrentDirectoryA(const char* path);

// Share modes are honoured between handles of this process: opening a file for writing
// while another handle denies writing fails with ERROR_SHARING_VIOLATION (32).
HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetEndOfFile(HANDLE file);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);
BOOL CloseHandle(HANDLE handle);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
void GetLocalTime(SYSTEMTIME* systemTime);
#endif  // _WIN32
