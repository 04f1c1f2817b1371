#include "port_throughput_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <vector>

namespace portbench {

namespace {

std::thread Sender;
TCpu SenderCpu;

// The stream: byte k is k * 131 + 7 (mod 256), a period of 256 bytes.
constexpr std::size_t PatternPeriod = 256;
constexpr std::size_t CheckPiece = 64 * 1024;

std::uint8_t PatternByte(std::size_t k) {
  return static_cast<std::uint8_t>(k * 131 + 7);
}

// The pattern from every phase, CheckPiece bytes long.
const std::vector<std::uint8_t>& PatternRun() {
  static const std::vector<std::uint8_t> run = [] {
    std::vector<std::uint8_t> bytes(PatternPeriod + CheckPiece);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = PatternByte(i);
    return bytes;
  }();
  return run;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// The receiver on the first processor the process may use, the sender on the second: both
// receivers then meet the same placement, run after run.
void PinToAllowedCpu(int rank) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) return;
  for (int cpu = 0, seen = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    if (seen++ != rank) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    return;
  }
}

}  // namespace

void PinReceiver() {
  PinToAllowedCpu(0);
}

TCpu ThreadCpu() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return {Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

TCpu operator-(const TCpu& a, const TCpu& b) {
  return {a.User - b.User, a.System - b.System};
}

void TStreamCheck::Take(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::uint8_t* run = PatternRun().data();
  while (length > 0) {
    std::size_t piece = std::min(length, CheckPiece);
    if (std::memcmp(bytes, run + FBytes % PatternPeriod, piece) != 0) FIntact = false;
    bytes += piece;
    length -= piece;
    FBytes += piece;
  }
}

int StartSender(std::uint64_t bytes) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, 1);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  PatternRun();  // made before anyone's clock runs
  Sender = std::thread([listener, bytes] {
    PinToAllowedCpu(1);
    int fd = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const TCpu start = ThreadCpu();
    std::vector<std::uint8_t> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = PatternByte(i);
    std::uint64_t left = bytes;
    while (left > 0) {
      std::size_t n = left < block.size() ? static_cast<std::size_t>(left) : block.size();
      ssize_t sent = ::send(fd, block.data(), n, MSG_NOSIGNAL);
      if (sent <= 0) break;
      left -= static_cast<std::uint64_t>(sent);
      // A partial send leaves the next block starting mid-pattern; keep the stream whole.
      if (static_cast<std::size_t>(sent) < n)
        std::rotate(block.begin(), block.begin() + sent % PatternPeriod, block.end());
    }
    ::close(fd);
    SenderCpu = ThreadCpu() - start;
  });
  return ntohs(address.sin_port);
}

TCpu JoinSender() {
  if (Sender.joinable()) Sender.join();
  return SenderCpu;
}

void PlainReceive(int port, std::size_t bufferSize, TStreamCheck& check) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return;
  }
  std::vector<char> buffer(bufferSize);
  for (;;) {
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    check.Take(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
}

}  // namespace portbench
