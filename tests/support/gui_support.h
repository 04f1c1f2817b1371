// Helpers for tests that drive a real window: child programs (xdotool, import, convert) that
// run while the loop keeps dispatching, and an Xvfb of the test's own.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/time.h"
#include "support/loop_support.h"

extern char** environ;

namespace testsupport {

// A program started by the test; only this pid is ever signalled.
class TChild {
 public:
  // Starts `argv` (searched on PATH); its output goes to `outputFile` (or nowhere).
  bool Start(const std::vector<std::string>& argv, const std::string& outputFile = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawnp(&FPid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) FPid = -1;
    return FPid > 0;
  }
  // True while it runs; afterwards Status() holds its exit code (-1 when killed).
  bool Running() {
    if (FPid <= 0) return false;
    int status = 0;
    pid_t r = waitpid(FPid, &status, WNOHANG);
    if (r == 0) return true;
    FStatus = r == FPid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FPid = -1;
    return false;
  }
  int Status() const { return FStatus; }
  void Kill() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    FPid = -1;
  }
  ~TChild() { Kill(); }

 private:
  pid_t FPid = -1;
  int FStatus = -1;
};

// Runs a program to its end while the loop keeps dispatching (the window must keep painting).
// Its exit code, or -1 when it could not start or ran past the limit.
inline int RunPumping(const std::vector<std::string>& argv, const std::string& output = "/dev/null",
                      int timeoutMs = 20000) {
  TChild child;
  if (!child.Start(argv, output)) return -1;
  if (!PumpUntil([&] { return !child.Running(); }, timeoutMs)) {
    child.Kill();
    return -1;
  }
  return child.Status();
}

inline std::string ReadWholeFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// An Xvfb of our own: it picks a free display number and tells us through a pipe.
class TXvfb {
 public:
  // Starts the server with its output in `logFile`; on failure `error` says why.
  bool Start(std::string& error, const std::string& logFile) {
    int fds[2];
    if (pipe(fds) != 0) {
      error = "no pipe";
      return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                     "-screen",   "0",          "1024x768x24",
                                     "-nolisten", "tcp",        "-noreset"};
    if (!FServer.Start(argv, logFile)) {
      close(fds[0]);
      close(fds[1]);
      error = "Xvfb cannot be started (is the package xvfb installed?)";
      return false;
    }
    close(fds[1]);
    std::string number;
    auto deadline = platform::MonotonicMs() + 15000;
    while (number.find('\n') == std::string::npos && platform::MonotonicMs() < deadline) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) {
        if (!FServer.Running()) break;
        continue;
      }
      char c[32];
      ssize_t n = read(fds[0], c, sizeof c);
      if (n <= 0) break;
      number.append(c, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
    if (number.empty()) {
      FServer.Kill();
      error = "Xvfb did not report a display: " + ReadWholeFile(logFile);
      return false;
    }
    FDisplay = ":" + number;
    return true;
  }
  void Stop() { FServer.Kill(); }
  const std::string& Display() const { return FDisplay; }

 private:
  TChild FServer;
  std::string FDisplay;
};

}  // namespace testsupport
