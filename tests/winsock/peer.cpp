#include "peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace peer {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sa;
}

int BoundSocket(std::uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("peer: socket failed");
  sockaddr_in sa = Loopback(0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0)
    throw std::runtime_error("peer: bind failed");
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *port = ntohs(sa.sin_port);
  return fd;
}

bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeoutMs);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

Listener::Listener() {
  fd_ = BoundSocket(&port_);
  if (::listen(fd_, 16) < 0) throw std::runtime_error("peer: listen failed");
}

Listener::~Listener() {
  ::close(fd_);
}

int Listener::AcceptOne(int timeoutMs) {
  if (!WaitFor(fd_, POLLIN, timeoutMs)) return -1;
  return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

RefusingPort::RefusingPort() {
  fd_ = BoundSocket(&port_);
}

RefusingPort::~RefusingPort() {
  ::close(fd_);
}

int ConnectTo(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const void* data, std::size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

long ReadSome(int fd, void* data, std::size_t size, int timeoutMs) {
  if (!WaitFor(fd, POLLIN, timeoutMs)) return -1;
  return ::recv(fd, data, size, MSG_DONTWAIT);
}

std::size_t DrainNow(int fd) {
  char buf[65536];
  std::size_t total = 0;
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) return total;
    total += static_cast<std::size_t>(n);
  }
}

void SetReceiveBuffer(int fd, int bytes) {
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void ShutdownSend(int fd) {
  ::shutdown(fd, SHUT_WR);
}

void Close(int fd) {
  ::close(fd);
}

void Reset(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd);
}

}  // namespace peer
