// Loopback TCP peers for the port tests, on plain BSD sockets in their own threads. This
// header stays free of the system socket headers, which cannot share a translation unit with
// the Winsock declarations.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace porttest {

// A socket of the system: a descriptor, or on Windows a SOCKET (64 bits wide there); -1 for none.
using SocketFd = std::intptr_t;

// One connected socket of a peer.
class Conn {
 public:
  explicit Conn(SocketFd fd = -1) : FFd(fd) {}
  Conn(Conn&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
  Conn& operator=(Conn&& other) noexcept;
  ~Conn();

  bool Valid() const { return FFd >= 0; }
  void NoDelay();
  bool Send(const std::string& bytes);
  // Exactly n bytes, or fewer when the time limit passes or the connection ends first.
  std::string Recv(std::size_t n, int timeoutMs = 5000);
  // Whatever arrives within the limit (at least one byte unless it ends or times out).
  std::string RecvSome(int timeoutMs = 5000);
  // Everything until the other side closes (or the limit passes).
  std::string RecvUntilClosed(int timeoutMs = 10000);
  // True when the other side closed within the limit.
  bool WaitClosed(int timeoutMs = 5000);
  void ShutdownSend();
  void Close();
  // Closes with an RST.
  void Reset();

 private:
  SocketFd FFd;
};

// Listens on 127.0.0.1 on a free port and runs script for each of `connections` peers, one
// after the other, on its own thread.
class Server {
 public:
  using Script = std::function<void(Conn&, int index)>;
  explicit Server(Script script, int connections = 1);
  ~Server();
  int Port() const { return FPort; }
  // Waits until every script has returned.
  bool Join(int timeoutMs = 10000);
  bool Finished() const { return FDone; }

 private:
  SocketFd FListen = -1;
  int FPort = 0;
  std::atomic<bool> FDone{false};
  std::atomic<bool> FStopping{false};
  std::thread FThread;
};

Conn ConnectTo(int port);
// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();

}  // namespace porttest
