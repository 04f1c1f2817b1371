// WinExec: the Windows program search, then posix_spawn so that a failed start is known.

#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "host_files.h"
#include "platform/files.h"

extern char** environ;

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The program name (a quoted name may hold blanks; backslashes are folder separators there)
// and the arguments, split by the C runtime's rules: quotes group, 2n backslashes before a
// quote give n backslashes, 2n+1 give n and a literal quote.
bool SplitCommandLine(const std::string& line, std::string& program,
                      std::vector<std::string>& args) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return false;
  if (line[i] == '"') {
    std::size_t close = line.find('"', i + 1);
    program = line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
    i = close == std::string::npos ? line.size() : close + 1;
  } else {
    std::size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    program = line.substr(i, end - i);
    i = end;
  }
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t count = 0;
        while (i < line.size() && line[i] == '\\') ++count, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2) arg += '"', ++i;
        } else {
          arg.append(count, '\\');
        }
      } else if (line[i] == '"') {
        quoted = !quoted;
        ++i;
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return !program.empty();
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The host file that `name` means, or a WinExec error. A name without an extension means
// "name.exe" and nothing else, as on Windows.
std::string ResolveProgram(std::string name, UINT& error) {
  std::size_t separator = platform::LastPathDelimiter(name, "\\/:");
  std::string file = separator == std::string::npos ? name : name.substr(separator + 1);
  if (file.find('.') == std::string::npos) name += ".exe";
  if (separator != std::string::npos) {
    std::string host = platform::ToHostPath(name);
    if (host.empty()) {
      error = ERROR_PATH_NOT_FOUND;
      return {};
    }
    if (IsRegularFile(host)) return host;
    struct stat st;
    if (stat(host.c_str(), &st) == 0) {
      error = ERROR_ACCESS_DENIED;  // a folder or a device
    } else {
      error = platform::detail::PathError(ENOENT, host);
    }
    return {};
  }
  // A bare name: the program's folder, then the current folder; never PATH.
  std::vector<std::string> folders{platform::ProgramFolder()};
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd)) folders.push_back(std::string(cwd) + "/");
  for (const auto& folder : folders) {
    if (IsRegularFile(folder + name)) return folder + name;
  }
  error = ERROR_FILE_NOT_FOUND;
  return {};
}

enum class Kind { Native, Script, Windows, Unknown, Unreadable };

Kind Inspect(const std::string& path, std::string& firstLine) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Kind::Unreadable;
  std::string head(4, '\0');
  in.read(head.data(), 4);
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (head.compare(0, 4,
                   "\x7F"
                   "ELF") == 0)
    return Kind::Native;
  if (head.compare(0, 2, "MZ") == 0) return Kind::Windows;
  if (head.compare(0, 2, "#!") == 0) {
    in.seekg(0);
    std::getline(in, firstLine);
    return Kind::Script;
  }
  return Kind::Unknown;
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string folder = list.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + program;
    if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

UINT SpawnError(int err) {
  switch (err) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case ENOEXEC:
      return ERROR_BAD_FORMAT;
    // A file still open for writing cannot run (ETXTBSY); any value above 31 would read as
    // success, so it is reported as access denied.
    case EACCES:
    case EPERM:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    default:
      return 0;  // out of resources
  }
}

UINT Fail(UINT error) {
  SetLastError(error);
  return error;
}

}  // namespace

UINT WinExec(const char* commandLine, UINT /*showCommand*/) {
  std::string program;
  std::vector<std::string> args;
  if (commandLine == nullptr || !SplitCommandLine(commandLine, program, args)) {
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  UINT error = 0;
  std::string path = ResolveProgram(program, error);
  if (path.empty()) return Fail(error);

  // A file still being written here (an installer in the middle of its download) must not
  // start half-written.
  if (platform::detail::HeldForWriting(path)) return Fail(ERROR_ACCESS_DENIED);

  std::string firstLine;
  std::vector<std::string> argv;
  switch (Inspect(path, firstLine)) {
    case Kind::Native:
      argv.push_back(path);
      break;
    case Kind::Script:
      if (access(path.c_str(), X_OK) == 0) {
        argv.push_back(path);
      } else {
        // A downloaded script has no execute bit, yet on Windows a file is run by its name
        // alone: hand it to the interpreter its first line names, as the kernel would.
        std::string rest = firstLine.substr(2);
        if (!rest.empty() && rest.back() == '\r') rest.pop_back();
        std::size_t b = rest.find_first_not_of(" \t");
        if (b == std::string::npos) return Fail(ERROR_BAD_FORMAT);
        std::size_t e = rest.find_first_of(" \t", b);
        argv.push_back(rest.substr(b, e == std::string::npos ? std::string::npos : e - b));
        if (e != std::string::npos) {
          std::size_t a = rest.find_first_not_of(" \t", e);
          std::size_t z = rest.find_last_not_of(" \t");
          if (a != std::string::npos) argv.push_back(rest.substr(a, z - a + 1));
        }
        argv.push_back(path);
      }
      break;
    case Kind::Windows: {
      std::string wine = FindOnPath("wine");
      if (wine.empty()) return Fail(ERROR_BAD_FORMAT);
      argv.push_back(wine);
      argv.push_back(path);
      break;
    }
    case Kind::Unknown:
      return Fail(ERROR_BAD_FORMAT);
    case Kind::Unreadable:
      return Fail(ERROR_ACCESS_DENIED);
  }
  for (auto& arg : args) argv.push_back(std::move(arg));
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  // The child gets none of our descriptors (sockets, the loop's wake pipe), default signal
  // handling and a session of its own: it lives on after this program ends.
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  // glibc reports a failed exec as the result, so a start that did not happen is never
  // reported as one that did.
  int result = posix_spawn(&pid, pointers[0], &actions, &attributes, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) return Fail(SpawnError(result));

  // Nobody waits for the child here; a small thread does, so that no zombie stays behind.
  try {
    std::thread([pid] {
      int status;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
  }
  SetLastError(ERROR_SUCCESS);
  return pid > 31 ? static_cast<UINT>(pid) : 32;
}
