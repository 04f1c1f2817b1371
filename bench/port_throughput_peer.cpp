#include "port_throughput_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace portbench {

namespace {

std::thread Sender;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

int StartSender(std::uint64_t bytes) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, 1);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  Sender = std::thread([listener, bytes] {
    int fd = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    std::uint64_t left = bytes;
    while (left > 0) {
      std::size_t n = left < block.size() ? static_cast<std::size_t>(left) : block.size();
      ssize_t sent = ::send(fd, block.data(), n, MSG_NOSIGNAL);
      if (sent <= 0) break;
      left -= static_cast<std::uint64_t>(sent);
    }
    ::close(fd);
  });
  return ntohs(address.sin_port);
}

void JoinSender() {
  if (Sender.joinable()) Sender.join();
}

std::uint64_t PlainReceive(int port, std::size_t bufferSize) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
  std::vector<char> buffer(bufferSize);
  std::uint64_t total = 0;
  for (;;) {
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  return total;
}

}  // namespace portbench
