// The runtime's file helpers on Windows-style paths.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cmath>

#include "platform/files.h"
#include "platform/sysutils.h"

namespace platform {

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string folder = path;
  while (folder.size() > 1 && EndsWithPathDelimiter(folder) && folder[folder.size() - 2] != ':')
    folder.pop_back();
  if (DirectoryExists(folder)) return true;
  std::string parent = ExtractFilePath(folder);
  while (parent.size() > 1 && EndsWithPathDelimiter(parent) && parent[parent.size() - 2] != ':')
    parent.pop_back();
  if (!parent.empty() && parent != folder && !ForceDirectories(parent)) return false;
  if (CreateDirectoryA(folder.c_str(), nullptr)) return true;
  // Someone else may have made it in the meantime.
  return GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(folder);
}

bool DeleteFileAt(const std::string& path) {
  return DeleteFileA(path.c_str()) != FALSE;
}

bool RenameFileReplacing(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

#ifndef _WIN32
// On Windows these two come with the system's file times (win32/paths.cpp).
bool FileAge(const std::string& path, TDateTime& value) {
  std::string host = ToHostPath(path);
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0) {
    SetLastError(host.empty() ? ERROR_PATH_NOT_FOUND : ErrnoToWinError(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  value = UnixToDateTime(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9 / 86400.0;
  return true;
}

bool SetFileAge(const std::string& path, TDateTime value) {
  std::string host = ToHostPath(path);
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  int hour, minute, second, ms;
  DecodeTime(value, hour, minute, second, ms);
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(DateTimeToUnix(value));
  times[1].tv_nsec = ms * 1000000L;
  if (utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) {
    SetLastError(ErrnoToWinError(errno));
    return false;
  }
  return true;
}
#endif  // _WIN32

std::string GetCurrentDir() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return {};
  std::string buffer(needed, '\0');
  DWORD length = GetCurrentDirectoryA(needed, buffer.data());
  buffer.resize(length < needed ? length : 0);
  return buffer;
}

bool SetCurrentDir(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::string ExtractFilePath(const std::string& path) {
  std::size_t pos = LastPathDelimiter(path, "\\/:");
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path) {
  std::size_t pos = LastPathDelimiter(path, "\\/:");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (EndsWithPathDelimiter(path)) return path;
  // A host path keeps its own separator.
  bool host =
      path.find('/') != std::string::npos && LastPathDelimiter(path, "\\") == std::string::npos;
  return path + (host ? '/' : '\\');
}

}  // namespace platform
