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

// A Python server of the tests that prints "PORT <n>" once it listens and serves until its
// standard input closes; stopped when the object goes.
class PeerProcess {
 public:
  explicit PeerProcess(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe failed");
    FPid = ::fork();
    if (FPid == 0) {
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
    FStdin = in[1];
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    if (line.rfind("PORT ", 0) == 0) FPort = std::atoi(line.c_str() + 5);
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
