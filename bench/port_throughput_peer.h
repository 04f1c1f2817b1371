// Loopback sender, plain receiver and the stream check for the port throughput benchmark; kept
// apart from the Winsock declarations, which cannot share a translation unit with the system
// socket headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace portbench {

// Seconds of CPU time the calling thread has used, user and system.
struct TCpu {
  double User = 0;
  double System = 0;
  double Total() const { return User + System; }
};
TCpu ThreadCpu();
TCpu operator-(const TCpu& a, const TCpu& b);

// Keeps the calling thread, the receiver, on one processor; the sender gets another one.
// Without it the scheduler moves both about, and runs of the same code differ twofold.
void PinReceiver();

// Starts a thread that listens on a free loopback port, accepts one connection, sends `bytes`
// bytes of the stream pattern in blocks of 1 MiB and closes. Returns the port.
int StartSender(std::uint64_t bytes);
// Waits for the sender thread; the CPU time it used.
TCpu JoinSender();

// The consumer of both receivers: compares every received byte with the sender's pattern, so
// that both sides read each byte once and a lost, doubled or reordered byte is caught.
class TStreamCheck {
 public:
  void Take(const void* data, std::size_t length);
  std::uint64_t Bytes() const { return FBytes; }
  bool Intact() const { return FIntact; }

 private:
  std::uint64_t FBytes = 0;
  bool FIntact = true;
};

// A plain blocking recv loop on a new connection to `port`, each block handed to `check`.
void PlainReceive(int port, std::size_t bufferSize, TStreamCheck& check);

}  // namespace portbench
