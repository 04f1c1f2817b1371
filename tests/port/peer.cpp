#include "peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace porttest {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

Conn& Conn::operator=(Conn&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

Conn::~Conn() {
  Close();
}

void Conn::NoDelay() {
  int one = 1;
  ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool Conn::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(FFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Conn::Recv(std::size_t n, int timeoutMs) {
  std::string out;
  long long deadline = NowMs() + timeoutMs;
  char buffer[65536];
  while (out.size() < n) {
    long long left = deadline - NowMs();
    if (left <= 0 || !WaitReadable(FFd, static_cast<int>(left))) break;
    ssize_t got = ::recv(FFd, buffer, std::min(sizeof buffer, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

std::string Conn::RecvSome(int timeoutMs) {
  char buffer[65536];
  if (!WaitReadable(FFd, timeoutMs)) return {};
  ssize_t got = ::recv(FFd, buffer, sizeof buffer, 0);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

std::string Conn::RecvUntilClosed(int timeoutMs) {
  std::string out;
  long long deadline = NowMs() + timeoutMs;
  char buffer[65536];
  for (;;) {
    long long left = deadline - NowMs();
    if (left <= 0 || !WaitReadable(FFd, static_cast<int>(left))) break;
    ssize_t got = ::recv(FFd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

bool Conn::WaitClosed(int timeoutMs) {
  long long deadline = NowMs() + timeoutMs;
  char buffer[4096];
  for (;;) {
    long long left = deadline - NowMs();
    if (left <= 0 || !WaitReadable(FFd, static_cast<int>(left))) return false;
    ssize_t got = ::recv(FFd, buffer, sizeof buffer, 0);
    if (got <= 0) return true;
  }
}

void Conn::ShutdownSend() {
  ::shutdown(FFd, SHUT_WR);
}

void Conn::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void Conn::Reset() {
  if (FFd < 0) return;
  linger hard{1, 0};
  ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

Server::Server(Script script, int connections) {
  FListen = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = Loopback(0);
  ::bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(FListen, 8);
  socklen_t length = sizeof address;
  ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this, script = std::move(script), connections] {
    for (int i = 0; i < connections; ++i) {
      if (!WaitReadable(FListen, 20000)) break;
      Conn conn(::accept(FListen, nullptr, nullptr));
      if (!conn.Valid()) break;
      script(conn, i);
    }
    FDone = true;
  });
}

Server::~Server() {
  ::shutdown(FListen, SHUT_RDWR);
  if (FThread.joinable()) FThread.join();
  ::close(FListen);
}

bool Server::Join(int timeoutMs) {
  long long deadline = NowMs() + timeoutMs;
  while (!FDone && NowMs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return FDone;
}

Conn ConnectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return Conn();
  }
  return Conn(fd);
}

int UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace porttest
