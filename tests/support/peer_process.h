// Helper servers of the tests run as child processes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// Starts argv[0] (a full path) with pipes on its standard input and output; the parent's ends
// come back in stdinFd and stdoutFd. The child's standard input closing tells it to stop.
inline pid_t SpawnWithPipes(const std::vector<std::string>& argv, int& stdinFd, int& stdoutFd) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  stdinFd = in[1];
  stdoutFd = out[0];
  return pid;
}

// Reads the "PORT <n>" line a server prints once it listens; 0 when it ends without one.
inline int ReadPortLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line.rfind("PORT ", 0) == 0 ? std::atoi(line.c_str() + 5) : 0;
}

// A Python server of the tests that prints "PORT <n>" once it listens and serves until its
// standard input closes; stopped when the object goes.
class PeerProcess {
 public:
  explicit PeerProcess(const std::vector<std::string>& argv) {
    int out = -1;
    FPid = SpawnWithPipes(argv, FStdin, out);
    FPort = ReadPortLine(out);
    ::close(out);
    if (FPort == 0) {
      Stop();
      throw std::runtime_error("the FTP server " + argv[1] + " did not start");
    }
  }
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  int Port() const { return FPort; }
  void Stop() {
    if (FStdin >= 0) ::close(FStdin), FStdin = -1;
    if (FPid > 0) {
      ::kill(FPid, SIGTERM);
      ::waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
  }

 private:
  pid_t FPid = -1;
  int FPort = 0;
  int FStdin = -1;
};

}  // namespace testsupport
