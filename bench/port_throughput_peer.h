// Loopback sender and plain receiver for the port throughput benchmark; kept apart from the
// Winsock declarations, which cannot share a translation unit with the system socket headers.
#pragma once

#include <cstdint>

namespace portbench {

// Starts a thread that listens on a free loopback port, accepts one connection, sends `bytes`
// bytes and closes. Returns the port.
int StartSender(std::uint64_t bytes);
// Waits for the sender thread.
void JoinSender();
// A plain blocking recv loop on a new connection to `port`; the bytes received.
std::uint64_t PlainReceive(int port, std::size_t bufferSize);

}  // namespace portbench
