// Files and folders with Windows-style paths, over POSIX calls.

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "host_files.h"
#include "platform/codepages.h"

namespace platform {
namespace {

std::mutex driveMutex;
std::string driveFolders[26];  // host folder per drive letter, no trailing '/' except "/"
// Drive Z: is the host's root, as Wine maps it: a path outside every other drive still has a
// Windows form (Z:\opt\kvb-download\bin\ for /opt/kvb-download/bin/), and that form maps back.
[[maybe_unused]] const bool rootIsDriveZ = (driveFolders['Z' - 'A'] = "/", true);

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

// "a/./b/../c" inside a drive: ".." stops at the drive's root, as on Windows, so that a path
// can never climb out of the folder that stands for the drive.
std::string NormaliseInsideDrive(const std::string& rest) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= rest.size()) {
    std::size_t next = rest.find('/', pos);
    if (next == std::string::npos) next = rest.size();
    std::string part = rest.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  return out;
}

std::string JoinDrive(const std::string& folder, const std::string& rest, bool trailingSlash) {
  std::string inner = NormaliseInsideDrive(rest);
  std::string out = folder == "/" ? inner : folder + inner;
  if (out.empty()) out = "/";
  if (trailingSlash && out.back() != '/') out += '/';
  return out;
}

// The drive whose folder holds the current directory, or -1.
int CurrentDrive() {
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return -1;
  std::string here = cwd;
  std::lock_guard lock(driveMutex);
  int best = -1;
  std::size_t bestLength = 0;
  for (int i = 0; i < 26; ++i) {
    const std::string& folder = driveFolders[i];
    if (folder.empty()) continue;
    bool inside = folder == "/" || here == folder ||
                  (here.size() > folder.size() && here.compare(0, folder.size(), folder) == 0 &&
                   here[folder.size()] == '/');
    if (inside && folder.size() >= bestLength) best = i, bestLength = folder.size();
  }
  return best;
}

}  // namespace

void SetDriveFolder(char letter, const std::string& hostFolder) {
  int index = DriveIndex(letter);
  if (index < 0) return;
  std::string folder = hostFolder;
  if (!folder.empty() && folder[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) folder = std::string(cwd) + "/" + folder;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::lock_guard lock(driveMutex);
  driveFolders[index] = folder;
}

std::string GetDriveFolder(char letter) {
  int index = DriveIndex(letter);
  if (index < 0) return {};
  std::lock_guard lock(driveMutex);
  return driveFolders[index];
}

namespace {

// Calls visit(position) for every single-byte character of `text`, in order: the second byte
// of a double-byte character (許 is B3 5C) is never a separator.
template <class Visit>
void ForEachSingleByte(const std::string& text, Visit visit) {
  for (std::size_t i = 0, size = 0; i < text.size(); i += size) {
    size = AnsiCharSize(text, i);
    if (size == 1) visit(i);
  }
}

}  // namespace

bool IsTrailByteAt(const std::string& text, std::size_t pos) {
  if (pos == 0 || pos >= text.size()) return false;
  std::size_t i = 0;
  while (i < pos) i += AnsiCharSize(text, i);
  return i > pos;
}

std::size_t LastPathDelimiter(const std::string& path, const char* delimiters) {
  std::size_t found = std::string::npos;
  ForEachSingleByte(path, [&](std::size_t i) {
    if (path[i] != '\0' && std::strchr(delimiters, path[i]) != nullptr) found = i;
  });
  return found;
}

bool EndsWithPathDelimiter(const std::string& path) {
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) return false;
  return !IsTrailByteAt(path, path.size() - 1);
}

std::string ToHostPath(const std::string& windowsPath) {
  if (windowsPath.empty()) return {};
  const bool rootedOnDrive = windowsPath[0] == '\\';
  std::string path = windowsPath;
  ForEachSingleByte(windowsPath, [&](std::size_t i) {
    if (path[i] == '\\') path[i] = '/';
  });
  const bool trailingSlash = path.back() == '/';

  if (path.size() >= 2 && path[1] == ':' && DriveIndex(path[0]) >= 0) {
    std::string folder = GetDriveFolder(path[0]);
    if (folder.empty()) return {};
    return JoinDrive(folder, path.substr(2), trailingSlash);
  }
  if (path.size() >= 2 && path[0] == '/' && path[1] == '/') return {};  // UNC names: no network
  if (rootedOnDrive) {
    // "\folder" is rooted on the current drive when the current directory lies on one.
    int drive = CurrentDrive();
    if (drive >= 0)
      return JoinDrive(GetDriveFolder(static_cast<char>('A' + drive)), path, trailingSlash);
  }
  return path;
}

std::string FromHostPath(const std::string& hostPath) {
  std::lock_guard lock(driveMutex);
  int best = -1;
  std::size_t bestLength = 0;
  for (int i = 0; i < 26; ++i) {
    const std::string& folder = driveFolders[i];
    if (folder.empty() || hostPath.empty() || hostPath[0] != '/') continue;
    bool inside =
        folder == "/" || hostPath == folder ||
        (hostPath.size() > folder.size() && hostPath.compare(0, folder.size(), folder) == 0 &&
         hostPath[folder.size()] == '/');
    if (inside && (best < 0 || folder.size() > bestLength)) best = i, bestLength = folder.size();
  }
  if (best < 0) return hostPath;
  const std::string& folder = driveFolders[best];
  std::string rest = folder == "/" ? hostPath.substr(1) : hostPath.substr(folder.size());
  while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return std::string(1, static_cast<char>('A' + best)) + ":\\" + rest;
}

DWORD ErrnoToWinError(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case ENOSYS:
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    case ENODEV:
    case ENXIO:
      return ERROR_PATH_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::string ProgramFolder() {
  static const std::string folder = [] {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string("./");
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
  }();
  return folder;
}

namespace detail {

bool IsDirectory(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentOf(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

DWORD PathError(int err, const std::string& hostPath) {
  if (err == ENOENT && !IsDirectory(ParentOf(hostPath))) return ERROR_PATH_NOT_FOUND;
  return ErrnoToWinError(err);
}

void SetPathError(int err, const std::string& hostPath) {
  SetLastError(PathError(err, hostPath));
}

}  // namespace detail
}  // namespace platform

using platform::detail::SetPathError;

namespace {

// An open file of this process. Handles are pointers to these; only registered ones are
// accepted, so a stale or made-up handle gives ERROR_INVALID_HANDLE instead of a crash.
struct FileObject {
  int fd = -1;
  DWORD access = 0;
  DWORD share = 0;
  dev_t dev = 0;
  ino_t ino = 0;
};

std::mutex handleMutex;
std::unordered_set<FileObject*>& Handles() {
  static auto* handles = new std::unordered_set<FileObject*>;
  return *handles;
}

bool Reads(DWORD access) {
  return access & (GENERIC_READ | 0x10000000u /* GENERIC_ALL */);
}
bool Writes(DWORD access) {
  return access & (GENERIC_WRITE | 0x10000000u);
}

// Windows' rule: every handle's access must be allowed by the other handle's share mode.
bool SharingAllows(const FileObject& open, DWORD access, DWORD share) {
  if (Reads(access) && !(open.share & FILE_SHARE_READ)) return false;
  if (Writes(access) && !(open.share & FILE_SHARE_WRITE)) return false;
  if (Reads(open.access) && !(share & FILE_SHARE_READ)) return false;
  if (Writes(open.access) && !(share & FILE_SHARE_WRITE)) return false;
  return true;
}

// A file held by a handle that does not share deletion cannot be deleted or renamed.
// Called with handleMutex held.
bool HeldAgainstDelete(const struct stat& st) {
  for (const FileObject* object : Handles()) {
    if (object->dev == st.st_dev && object->ino == st.st_ino &&
        !(object->share & FILE_SHARE_DELETE))
      return true;
  }
  return false;
}

}  // namespace

namespace platform::detail {
bool HeldForWriting(const std::string& hostPath) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return false;
  std::lock_guard lock(handleMutex);
  for (const FileObject* object : Handles()) {
    if (object->dev == st.st_dev && object->ino == st.st_ino && Writes(object->access)) return true;
  }
  return false;
}
}  // namespace platform::detail

namespace {

FileObject* Lookup(HANDLE handle) {
  std::lock_guard lock(handleMutex);
  auto* object = static_cast<FileObject*>(handle);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !Handles().count(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object;
}

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;  // 1970-01-01 in 100 ns

FILETIME ToFileTime(const timespec& ts) {
  std::int64_t value = static_cast<std::int64_t>(kUnixEpochAsFileTime) +
                       static_cast<std::int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
  if (value < 0) value = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
  return ft;
}

std::uint64_t FileTimeValue(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

timespec ToTimespec(const FILETIME& ft) {
  std::int64_t value = static_cast<std::int64_t>(FileTimeValue(ft)) -
                       static_cast<std::int64_t>(kUnixEpochAsFileTime);
  std::int64_t seconds = value / 10000000;
  std::int64_t rest = value % 10000000;
  if (rest < 0) rest += 10000000, --seconds;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  std::int64_t doe = days - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = yoe + era * 400;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

}  // namespace

DWORD GetFileAttributesA(const char* path) {
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    SetPathError(errno, host);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL CreateDirectoryA(const char* path, void*) {
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (mkdir(host.c_str(), 0777) != 0) {
    int err = errno;
    if (err == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
    } else if (err == ENOENT) {
      SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
      SetPathError(err, host);
    }
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(const char* path) {
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (rmdir(host.c_str()) != 0) {
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
    } else if (err == ENOTDIR && !platform::detail::IsDirectory(host)) {
      struct stat st;
      SetLastError(stat(host.c_str(), &st) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    } else {
      SetPathError(err, host);
    }
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileA(const char* path) {
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::lock_guard lock(handleMutex);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (HeldAgainstDelete(st)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  if (unlink(host.c_str()) != 0) {
    SetPathError(errno, host);
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileExA(const char* from, const char* to, DWORD flags) {
  std::string hostFrom = platform::ToHostPath(from ? from : "");
  std::string hostTo = platform::ToHostPath(to ? to : "");
  if (hostFrom.empty() || hostTo.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::lock_guard lock(handleMutex);
  struct stat st;
  if (lstat(hostFrom.c_str(), &st) == 0 && HeldAgainstDelete(st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (lstat(hostTo.c_str(), &st) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (HeldAgainstDelete(st)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  int result;
  if (flags & MOVEFILE_REPLACE_EXISTING) {
    result = rename(hostFrom.c_str(), hostTo.c_str());
  } else {
    // Without replacing, a target that appeared in the meantime must survive.
    result = renameat2(AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      result = rename(hostFrom.c_str(), hostTo.c_str());
    }
  }
  if (result != 0) {
    int err = errno;
    if (err == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
    } else if (err == ENOENT && lstat(hostFrom.c_str(), &st) == 0) {
      SetLastError(ERROR_PATH_NOT_FOUND);  // the target's folder is missing
    } else {
      SetPathError(err, hostFrom);
    }
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) {
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) {
    SetLastError(platform::ErrnoToWinError(errno));
    return 0;
  }
  std::string path = platform::FromHostPath(cwd);
  DWORD length = static_cast<DWORD>(path.size());
  if (buffer == nullptr || bufferLength <= length) return length + 1;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return length;
}

BOOL SetCurrentDirectoryA(const char* path) {
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (chdir(host.c_str()) != 0) {
    int err = errno;
    struct stat st;
    if (err == ENOTDIR && stat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
    } else {
      SetPathError(err, host);
    }
    return FALSE;
  }
  return TRUE;
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void*, DWORD creation, DWORD,
                   HANDLE) {
  if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING ||
      (creation == TRUNCATE_EXISTING && !Writes(access))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string host = platform::ToHostPath(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Non-blocking while opening: a FIFO must not hold every file operation of the process up
  // behind the lock; blocking mode is restored once the file is open.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (Reads(access) && Writes(access)) {
    flags |= O_RDWR;
  } else if (Writes(access)) {
    flags |= O_WRONLY;
  } else if (Reads(access)) {
    flags |= O_RDONLY;
  } else {
    flags |= O_PATH;  // attributes and times only
  }

  // Sharing is decided before anything is truncated, and under the lock so that two opens
  // cannot both pass the check.
  std::lock_guard lock(handleMutex);
  bool existed = true;
  int fd = -1;
  if (creation == CREATE_NEW) {
    fd = open(host.c_str(), flags | O_CREAT | O_EXCL, 0666);
    existed = false;
  } else if (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) {
    fd = open(host.c_str(), flags);
  } else {
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
      fd = open(host.c_str(), flags & ~O_PATH);
      if (fd >= 0 || errno != ENOENT) break;
      fd = open(host.c_str(), (flags & ~O_PATH) | O_CREAT | O_EXCL, 0666);
      existed = false;
      if (fd >= 0 || errno != EEXIST) break;
      existed = true;
    }
  }
  if (fd < 0) {
    int err = errno;
    if (err == EEXIST) {
      SetLastError(ERROR_FILE_EXISTS);
    } else if (err == ENOENT && creation != OPEN_EXISTING && creation != TRUNCATE_EXISTING) {
      SetLastError(ERROR_PATH_NOT_FOUND);  // a file can be created only in an existing folder
    } else {
      SetPathError(err, host);
    }
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    SetLastError(platform::ErrnoToWinError(err));
    return INVALID_HANDLE_VALUE;
  }
  if (S_ISDIR(st.st_mode)) {  // a folder is no file, as CreateFile says
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  for (const FileObject* open : Handles()) {
    if (open->dev == st.st_dev && open->ino == st.st_ino &&
        !SharingAllows(*open, access, shareMode)) {
      close(fd);
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (existed && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) && st.st_size > 0) {
    if (ftruncate(fd, 0) != 0) {
      int err = errno;
      close(fd);
      SetLastError(platform::ErrnoToWinError(err));
      return INVALID_HANDLE_VALUE;
    }
  }
  if (!(flags & O_PATH)) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  auto* object = new FileObject{fd, access, shareMode, st.st_dev, st.st_ino};
  Handles().insert(object);
  SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return object;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  FileObject* object = Lookup(file);
  if (!object) return FALSE;
  if (overlapped || (buffer == nullptr && toRead > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!Reads(object->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  while (total < toRead) {
    ssize_t n = ::read(object->fd, static_cast<char*>(buffer) + total, toRead - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(platform::ErrnoToWinError(errno));
      if (read) *read = total;
      return FALSE;
    }
    if (n == 0) break;  // end of file: success with what was there
    total += static_cast<DWORD>(n);
  }
  if (read) *read = total;
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  if (written) *written = 0;
  FileObject* object = Lookup(file);
  if (!object) return FALSE;
  if (overlapped || (buffer == nullptr && toWrite > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!Writes(object->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  while (total < toWrite) {
    ssize_t n = ::write(object->fd, static_cast<const char*>(buffer) + total, toWrite - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n == 0 ? ERROR_DISK_FULL : platform::ErrnoToWinError(errno));
      if (written) *written = total;
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (written) *written = total;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  FileObject* object = Lookup(file);
  if (!object) return INVALID_SET_FILE_POINTER;
  std::int64_t offset =
      distanceHigh ? static_cast<std::int64_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                               static_cast<std::uint32_t>(distance))
                   : distance;
  int whence;
  switch (method) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  off_t result = lseek(object->fd, static_cast<off_t>(offset), whence);
  if (result < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : platform::ErrnoToWinError(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(result) >> 32);
  // The low part may legitimately be 0xFFFFFFFF: callers tell by the error being 0.
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<std::uint64_t>(result) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
  FileObject* object = Lookup(file);
  if (!object) return FALSE;
  if (!Writes(object->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t position = lseek(object->fd, 0, SEEK_CUR);
  if (position < 0 || ftruncate(object->fd, position) != 0) {
    SetLastError(platform::ErrnoToWinError(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  FileObject* object = Lookup(file);
  if (!object) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(object->fd, &st) != 0) {
    SetLastError(platform::ErrnoToWinError(errno));
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<std::uint64_t>(st.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  FileObject* object = Lookup(file);
  if (!object) return FALSE;
  struct statx sx;
  if (statx(object->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    SetLastError(platform::ErrnoToWinError(errno));
    return FALSE;
  }
  auto convert = [](const struct statx_timestamp& t) {
    return ToFileTime(timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)});
  };
  if (creation) *creation = convert((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
  if (lastAccess) *lastAccess = convert(sx.stx_atime);
  if (lastWrite) *lastWrite = convert(sx.stx_mtime);
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  FileObject* object = Lookup(file);
  if (!object) return FALSE;
  timespec times[2];
  times[0] = lastAccess ? ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
  times[1] = lastWrite ? ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
  // An attributes-only handle (O_PATH) cannot take futimens; its /proc link can.
  int result = futimens(object->fd, times);
  if (result != 0 && errno == EBADF) {
    std::string link = "/proc/self/fd/" + std::to_string(object->fd);
    result = utimensat(AT_FDCWD, link.c_str(), times, 0);
  }
  if (result != 0) {
    SetLastError(platform::ErrnoToWinError(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  FileObject* object;
  {
    std::lock_guard lock(handleMutex);
    object = static_cast<FileObject*>(handle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !Handles().erase(object)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  int result = close(object->fd);
  int err = errno;
  delete object;
  if (result != 0 && err != EINTR) {
    SetLastError(platform::ErrnoToWinError(err));
    return FALSE;
  }
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
  if (!fileTime || !localFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  timespec ts = ToTimespec(*fileTime);
  std::tm local{};
  if (!localtime_r(&ts.tv_sec, &local)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t value = static_cast<std::int64_t>(FileTimeValue(*fileTime)) +
                       static_cast<std::int64_t>(local.tm_gmtoff) * 10000000;
  if (value < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  localFileTime->dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value));
  localFileTime->dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t value = FileTimeValue(*fileTime);
  std::uint64_t ms = value / 10000;
  std::int64_t days = static_cast<std::int64_t>(ms / 86400000);
  std::uint64_t msOfDay = ms % 86400000;
  int year, month, day;
  CivilFromDays(days - 134774, year, month, day);  // 1601-01-01 is 134774 days before 1970
  systemTime->wYear = static_cast<WORD>(year);
  systemTime->wMonth = static_cast<WORD>(month);
  systemTime->wDay = static_cast<WORD>(day);
  systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  systemTime->wHour = static_cast<WORD>(msOfDay / 3600000);
  systemTime->wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
  systemTime->wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
  systemTime->wMilliseconds = static_cast<WORD>(msOfDay % 1000);
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* systemTime) {
  if (!systemTime) return;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  systemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  systemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  systemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  systemTime->wDay = static_cast<WORD>(local.tm_mday);
  systemTime->wHour = static_cast<WORD>(local.tm_hour);
  systemTime->wMinute = static_cast<WORD>(local.tm_min);
  systemTime->wSecond = static_cast<WORD>(local.tm_sec);
  systemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}
