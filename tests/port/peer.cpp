#include "peer.h"

#ifdef _WIN32
// The system's Winsock 2 of its own (ws2_32), apart from the WSOCK32 that the code under test
// binds at run time.
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>

namespace porttest {

namespace {

#ifdef _WIN32
using socklen_t = int;
using ssize_t = int;
constexpr int MSG_NOSIGNAL = 0;
constexpr int SHUT_WR = SD_SEND;
constexpr int SHUT_RDWR = SD_BOTH;

struct TWinsockStarted {
  TWinsockStarted() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
} winsockStarted;

SOCKET Native(SocketFd fd) {
  return static_cast<SOCKET>(fd);
}
int CloseSocket(SocketFd fd) {
  return ::closesocket(Native(fd));
}
bool WaitReadable(SocketFd fd, int timeoutMs) {
  WSAPOLLFD p{Native(fd), POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, timeoutMs) > 0;
}
#else
int Native(SocketFd fd) {
  return static_cast<int>(fd);
}
int CloseSocket(SocketFd fd) {
  return ::close(Native(fd));
}
bool WaitReadable(SocketFd fd, int timeoutMs) {
  pollfd p{Native(fd), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}
#endif

SocketFd NewSocket() {
  return static_cast<SocketFd>(::socket(AF_INET, SOCK_STREAM, 0));
}

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
  ::setsockopt(Native(FFd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
               sizeof one);
}

bool Conn::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(Native(FFd), bytes.data() + sent, static_cast<int>(bytes.size() - sent),
                       MSG_NOSIGNAL);
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
    ssize_t got =
        ::recv(Native(FFd), buffer, static_cast<int>(std::min(sizeof buffer, n - out.size())), 0);
    if (got <= 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

std::string Conn::RecvSome(int timeoutMs) {
  char buffer[65536];
  if (!WaitReadable(FFd, timeoutMs)) return {};
  ssize_t got = ::recv(Native(FFd), buffer, sizeof buffer, 0);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

std::string Conn::RecvUntilClosed(int timeoutMs) {
  std::string out;
  long long deadline = NowMs() + timeoutMs;
  char buffer[65536];
  for (;;) {
    long long left = deadline - NowMs();
    if (left <= 0 || !WaitReadable(FFd, static_cast<int>(left))) break;
    ssize_t got = ::recv(Native(FFd), buffer, sizeof buffer, 0);
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
    ssize_t got = ::recv(Native(FFd), buffer, sizeof buffer, 0);
    if (got <= 0) return true;
  }
}

void Conn::ShutdownSend() {
  ::shutdown(Native(FFd), SHUT_WR);
}

void Conn::Close() {
  if (FFd >= 0) CloseSocket(FFd);
  FFd = -1;
}

void Conn::Reset() {
  if (FFd < 0) return;
  linger hard{1, 0};
  ::setsockopt(Native(FFd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
               sizeof hard);
  Close();
}

Server::Server(Script script, int connections) {
  FListen = NewSocket();
#ifndef _WIN32
  // (On Windows SO_REUSEADDR would let another socket take the port from under this one.)
  int one = 1;
  ::setsockopt(Native(FListen), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
  sockaddr_in address = Loopback(0);
  ::bind(Native(FListen), reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(Native(FListen), 8);
  socklen_t length = sizeof address;
  ::getsockname(Native(FListen), reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this, script = std::move(script), connections] {
    for (int i = 0; i < connections; ++i) {
      // In short waits, so that the destructor's stop is seen at once on every system.
      bool ready = false;
      for (long long deadline = NowMs() + 20000; !FStopping && NowMs() < deadline;)
        if ((ready = WaitReadable(FListen, 50))) break;
      if (!ready || FStopping) break;
      Conn conn(static_cast<SocketFd>(::accept(Native(FListen), nullptr, nullptr)));
      if (!conn.Valid()) break;
      script(conn, i);
    }
    FDone = true;
  });
}

Server::~Server() {
  FStopping = true;
  ::shutdown(Native(FListen), SHUT_RDWR);
  if (FThread.joinable()) FThread.join();
  CloseSocket(FListen);
}

bool Server::Join(int timeoutMs) {
  long long deadline = NowMs() + timeoutMs;
  while (!FDone && NowMs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return FDone;
}

Conn ConnectTo(int port) {
  SocketFd fd = NewSocket();
  sockaddr_in address = Loopback(port);
  if (::connect(Native(fd), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    CloseSocket(fd);
    return Conn();
  }
  return Conn(fd);
}

int UnusedPort() {
  SocketFd fd = NewSocket();
  sockaddr_in address = Loopback(0);
  ::bind(Native(fd), reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(Native(fd), reinterpret_cast<sockaddr*>(&address), &length);
  CloseSocket(fd);
  return ntohs(address.sin_port);
}

}  // namespace porttest
