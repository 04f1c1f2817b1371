// Real TCP peers on 127.0.0.1 for the socket library's tests, made with the C library's own
// sockets (never the library under test). Neutral types only: the tests that use them include
// the Winsock declarations, which cannot share a file with the BSD headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace peer {

// A listening socket on 127.0.0.1 with a free port.
class Listener {
 public:
  Listener();
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  std::uint16_t Port() const { return port_; }  // host byte order
  // The next connection, or -1 when none arrives within `timeoutMs`.
  int AcceptOne(int timeoutMs = 5000);

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nobody listens (a bound, not listening socket holds it, so no
// one else takes it meanwhile): connecting there is refused.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  std::uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// Blocking connect to 127.0.0.1:port; the descriptor or -1.
int ConnectTo(std::uint16_t port);
bool SendAll(int fd, const void* data, std::size_t size);
// Reads what is there (waits at most `timeoutMs` for the first byte); bytes read, 0 at the
// end of the stream, -1 on time-out or error.
long ReadSome(int fd, void* data, std::size_t size, int timeoutMs);
// Reads without waiting until nothing is left; the number of bytes taken.
std::size_t DrainNow(int fd);
void SetReceiveBuffer(int fd, int bytes);
void ShutdownSend(int fd);
void Close(int fd);
// Closes with a reset (linger on, time 0).
void Reset(int fd);

}  // namespace peer
