// Paths on Windows: they are the system's own, so the drive mapping of the Linux build has
// nothing to do here; separators are found with the system's Big5 lead-byte table.

#include "platform/codepages.h"
#include "platform/files.h"
#include "platform/sysutils.h"

namespace platform {

void SetDriveFolder(char, const std::string&) {}

std::string GetDriveFolder(char letter) {
  return std::string(1, letter) + ":\\";
}

std::string ToHostPath(const std::string& windowsPath) {
  return windowsPath;
}

std::string FromHostPath(const std::string& hostPath) {
  return hostPath;
}

bool IsTrailByteAt(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return false;
  for (std::size_t i = 0; i < pos;) {
    const bool pair = i + 1 < text.size() && IsDBCSLeadByteEx(CP_BIG5, static_cast<BYTE>(text[i]));
    if (pair && i + 1 == pos) return true;
    i += pair ? 2 : 1;
  }
  return false;
}

std::size_t LastPathDelimiter(const std::string& path, const char* delimiters) {
  const std::string separators(delimiters);
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < path.size();) {
    if (i + 1 < path.size() && IsDBCSLeadByteEx(CP_BIG5, static_cast<BYTE>(path[i]))) {
      i += 2;
      continue;
    }
    if (separators.find(path[i]) != std::string::npos) found = i;
    ++i;
  }
  return found;
}

bool EndsWithPathDelimiter(const std::string& path) {
  return !path.empty() && LastPathDelimiter(path, "\\/") == path.size() - 1;
}

std::string ProgramFolder() {
  static const std::string folder = [] {
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n < sizeof buffer ? n : 0);
    std::size_t slash = LastPathDelimiter(path, "\\/");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
  }();
  return folder;
}

namespace {

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr std::int64_t kUnixEpochIn100ns = 116444736000000000LL;

}  // namespace

bool FileAge(const std::string& path, TDateTime& value) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  const std::int64_t ticks = (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                              data.ftLastWriteTime.dwLowDateTime) -
                             kUnixEpochIn100ns;
  value = UnixToDateTime(ticks / 10000000) + static_cast<double>(ticks % 10000000) / 1e7 / 86400.0;
  return true;
}

bool SetFileAge(const std::string& path, TDateTime value) {
  int hour, minute, second, ms;
  DecodeTime(value, hour, minute, second, ms);
  const std::int64_t ticks = DateTimeToUnix(value) * 10000000 + ms * 10000LL + kUnixEpochIn100ns;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL done = SetFileTime(file, nullptr, nullptr, &written);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!done) SetLastError(error);
  return done != FALSE;
}

}  // namespace platform
