// Helpers of the download tool's tests: temporary folders, files, the tool run as a process
// with a time limit, and the tweaked pyftpdlib server.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ftp_servers.h"
#include "support/peer_process.h"

extern char** environ;

namespace apptest {

// Under AddressSanitizer freed memory waits in a quarantine of up to 256 MiB before it is used
// again, so resident memory grows with what a program frees and says nothing about leaks; the
// sanitizer's own leak checker covers those there.
#if defined(__SANITIZE_ADDRESS__)
#define KVB_APPTEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVB_APPTEST_ASAN 1
#endif
#endif
#ifdef KVB_APPTEST_ASAN
inline constexpr bool ResidentMemoryTellsLeaks = false;
#else
inline constexpr bool ResidentMemoryTellsLeaks = true;
#endif

namespace fs = std::filesystem;

using testsupport::BinaryDir;

inline std::string ToolPath() {
  return BinaryDir() + "/bin/kvb-download";
}

// A folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    FPath = fs::temp_directory_path() / ("kvb-app-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(std::random_device{}()));
    fs::create_directories(FPath);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }

 private:
  fs::path FPath;
};

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Bytes that differ from file to file, of any size.
inline std::string SampleBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Every plain file under `dir`, relative names sorted.
inline std::vector<std::string> ListFiles(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file() || it->is_symlink())
      names.push_back(fs::relative(it->path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

struct ToolResult {
  int ExitCode = -1;       // -1: killed at the time limit
  bool Signalled = false;  // ended by a signal (a crash, or the kill at the time limit)
  long MaxRssKb = 0;       // the child's peak resident set
  std::string Output;
  std::string Errors;
  std::vector<std::string> Lines;  // standard output by lines
  bool Has(const std::string& line) const {
    for (auto& l : Lines)
      if (l == line) return true;
    return false;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (auto& l : Lines)
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }
};

// Runs the tool with `args`; killed when it runs longer than `limitSeconds`.
// With a `launcher` (a program and its arguments), that program is started with the tool's
// path and `args` after its own arguments. `program` runs in the tool's place (a path, or a
// name searched on PATH).
inline ToolResult RunTool(const std::vector<std::string>& args, int limitSeconds = 120,
                          const std::vector<std::string>& env = {},
                          const std::vector<std::string>& launcher = {},
                          const std::string& program = {}) {
  ToolResult result;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> argv(launcher);
  argv.push_back(program.empty() ? ToolPath() : program);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (auto& mine : env)
      if (entry.substr(0, entry.find('=') + 1) == mine.substr(0, mine.find('=') + 1))
        replaced = true;
    if (!replaced) environment.push_back(entry);
  }
  for (auto& mine : env)
    if (mine.back() != '=') environment.push_back(mine);  // "NAME=" removes NAME
  std::vector<char*> cenv;
  for (auto& e : environment) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, cargs[0], &actions, nullptr, cargs.data(), cenv.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(out[0]);
    ::close(err[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(std::min<long long>(left, 500))) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      (i == 0 ? result.Output : result.Errors).append(buffer, static_cast<std::size_t>(n));
    }
  }
  for (auto& p : fds)
    if (p.fd >= 0) ::close(p.fd);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  result.ExitCode = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Signalled = WIFSIGNALED(status);
  result.MaxRssKb = usage.ru_maxrss;
  std::istringstream lines(result.Output);
  for (std::string line; std::getline(lines, line);) result.Lines.push_back(line);
  return result;
}

using testsupport::PeerProcess;

// The tweaked pyftpdlib of tests/app/peers.
class TweakedServer : public PeerProcess {
 public:
  TweakedServer(const std::string& root, const std::vector<std::string>& options)
      : PeerProcess(Arguments(root, options)) {}

 private:
  static std::vector<std::string> Arguments(const std::string& root,
                                            const std::vector<std::string>& options) {
    std::vector<std::string> argv{"/usr/bin/python3",
                                  testsupport::SourceDir() + "/tests/app/peers/tweaked_ftpd.py",
                                  "--root", root};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
  }
};

// tests/peers/ftp_peer.py running one scenario; its transcript holds every command received.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(const std::string& scenario, const std::vector<std::string>& options = {})
      : FTranscript((FDir.Path() / "transcript.txt").string()),
        FProcess(Arguments(scenario, FTranscript, options)) {}
  int Port() const { return FProcess.Port(); }
  std::vector<std::string> Transcript() const {
    std::vector<std::string> lines;
    std::ifstream in(FTranscript, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  static std::vector<std::string> Arguments(const std::string& scenario,
                                            const std::string& transcript,
                                            const std::vector<std::string>& options) {
    std::vector<std::string> argv{
        "/usr/bin/python3", testsupport::SourceDir() + "/tests/peers/ftp_peer.py",
        "--scenario",       scenario,
        "--transcript",     transcript};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
  }

  TempDir FDir;
  std::string FTranscript;
  PeerProcess FProcess;
};

// The real servers the tool must work with, in both modes: the cases of the all-files tests.
struct TServerCase {
  const char* Name;
  bool Vsftpd;
  bool Active;
};

inline void PrintTo(const TServerCase& c, std::ostream* os) {
  *os << c.Name;
}

inline auto ServerCases() {
  return ::testing::Values(
      TServerCase{"PyftpdPassive", false, false}, TServerCase{"PyftpdActive", false, true},
      TServerCase{"VsftpdPassive", true, false}, TServerCase{"VsftpdActive", true, true});
}

inline std::string ServerCaseName(const ::testing::TestParamInfo<TServerCase>& info) {
  return info.param.Name;
}

// The case's server on `root`, with the download window's account.
inline std::unique_ptr<testsupport::FtpServer> StartServer(const TServerCase& c,
                                                           const std::string& root) {
  return c.Vsftpd ? testsupport::FtpServer::StartVsftpdWithUser(root)
                  : testsupport::FtpServer::StartPyftpd(root, "dlmorv", "ka47tz19", false);
}

}  // namespace apptest
