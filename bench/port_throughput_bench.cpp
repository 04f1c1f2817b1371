// A loopback sender pushes a stream through a Winsock port's dispatcher to a data handler,
// against a plain blocking recv loop over the same kind of connection in the same run.
//
//   port_throughput_bench [MiB] [input size: the port alone | p<buffer size>: the plain loop
//                         alone] [rounds]
//   (default 1024 MiB, 5 rounds, each configuration in every round; with either of the second
//   arguments only that receiver runs, for profiling)
//
// Both receivers hand every byte to the same consumer, which compares it with the sender's
// pattern. Each receiver asks the kernel for the same amount at a time: the plain loop reads
// with a buffer of 64 KiB (what a sensible reader of a bulk stream uses), the port with its
// largest input buffer, 65535 bytes; the port's default input buffer of 4096 bytes is set
// beside a plain loop reading 4096 bytes at a time. The port's handler reads every announced
// byte with ReadInput into a buffer of the dispatcher ring's size, as any data handler would.
// The receiving thread stays on one processor and the sender on another (where the process may
// use two). Each configuration runs several times, interleaved, in alternating order; the best
// wall time of each is reported with the CPU time of the receiving and the sending thread.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dispatch/dispatcher.h"
#include "platform/messages.h"
#include "port/winsock_port.h"
#include "port_throughput_peer.h"

namespace {

using portbench::TCpu;

struct TMeasure {
  double Wall = 0;  // seconds
  TCpu Receiver;
  TCpu Sender;
  std::uint64_t Bytes = 0;
  bool Intact = false;
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TMeasure PlainLoop(std::uint64_t bytes, std::size_t bufferSize) {
  int port = portbench::StartSender(bytes);
  portbench::TStreamCheck check;
  TMeasure m;
  double wall = Now();
  TCpu cpu = portbench::ThreadCpu();
  portbench::PlainReceive(port, bufferSize, check);
  m.Wall = Now() - wall;
  m.Receiver = portbench::ThreadCpu() - cpu;
  m.Sender = portbench::JoinSender();
  m.Bytes = check.Bytes();
  m.Intact = check.Intact();
  return m;
}

// Reads every announced byte, as a packet matcher or any other data handler would.
struct TConsumer {
  void Handle(UINT msg, WPARAM, LPARAM) {
    if (msg != DM_DATA_AVAILABLE) return;
    DWORD n = Dispatcher->InputCount();
    if (n == 0) return;
    if (Dispatcher->ReadInput(Scratch.data(), n) == static_cast<int>(n))
      Check.Take(Scratch.data(), n);
    else
      Failed = true;
  }
  TApdBaseDispatcher* Dispatcher = nullptr;
  std::vector<char> Scratch = std::vector<char>(InputRingSize);
  portbench::TStreamCheck Check;
  bool Failed = false;
};

TMeasure PortLoop(std::uint64_t bytes, WORD inputSize) {
  int port = portbench::StartSender(bytes);
  TApdWinsockPort winsockPort(nullptr);
  winsockPort.SetServerAddress("127.0.0.1");
  winsockPort.SetWsPort(std::to_string(port));
  winsockPort.SetTelnetProcessing(false);
  winsockPort.SetInputBufferSize(inputSize);
  TConsumer consumer;
  bool closed = false;
  winsockPort.OnDisconnected = [&](TObject*) { closed = true; };
  TMeasure m;
  double wall = Now();
  TCpu cpu = portbench::ThreadCpu();
  winsockPort.SetPortOpen(true);
  consumer.Dispatcher = winsockPort.CurrentDispatcher();
  consumer.Dispatcher->AddEventHandler(ApdMethod<&TConsumer::Handle>, &consumer);
  MSG msg;
  while (!closed && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  m.Wall = Now() - wall;
  m.Receiver = portbench::ThreadCpu() - cpu;
  m.Sender = portbench::JoinSender();
  m.Bytes = consumer.Check.Bytes();
  m.Intact = consumer.Check.Intact() && !consumer.Failed;
  return m;
}

void Report(const char* name, const TMeasure& m, const TMeasure* reference) {
  double mib = static_cast<double>(m.Bytes) / (1024.0 * 1024.0);
  std::printf(
      "%-38s %5.0f MiB %6.3f s %7.1f MiB/s  receiver cpu %.3f s (user %.3f)  sender cpu %.3f s",
      name, mib, m.Wall, mib / m.Wall, m.Receiver.Total(), m.Receiver.User, m.Sender.Total());
  if (reference)
    std::printf("\n%38s throughput %.2fx, receiver cpu %.2fx of the plain loop", "",
                reference->Wall / m.Wall, m.Receiver.Total() / reference->Receiver.Total());
  std::printf("\n");
}

bool Whole(const TMeasure& m, std::uint64_t bytes) {
  return m.Bytes == bytes && m.Intact;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t bytes = mib * 1024 * 1024;
  portbench::PinReceiver();
  if (argc > 2 && argv[2][0] == 'p') {
    const std::size_t bufferSize = std::strtoul(argv[2] + 1, nullptr, 10);
    if (bufferSize == 0) return 2;
    TMeasure plain = PlainLoop(bytes, bufferSize);
    Report("plain recv loop", plain, nullptr);
    return Whole(plain, bytes) ? 0 : 1;
  }
  if (argc > 2 && std::strtoul(argv[2], nullptr, 10) != 0) {
    // For profiling: the port alone.
    const auto inputSize = static_cast<WORD>(std::strtoul(argv[2], nullptr, 10));
    TMeasure port = PortLoop(bytes, inputSize);
    Report("Winsock port", port, nullptr);
    return Whole(port, bytes) ? 0 : 1;
  }
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  // Warm up the loopback path and the library once.
  PlainLoop(64 << 20, 65536);
  PortLoop(64 << 20, 4096);

  // The machine may be shared: each configuration runs several times, interleaved, the order
  // alternating, and the best run of each is compared.
  auto best = [](TMeasure& kept, const TMeasure& m) {
    if (kept.Bytes == 0 || m.Wall < kept.Wall) kept = m;
  };
  TMeasure plain64, port64k, plain4, port4k;
  bool whole = true;
  for (int round = 0; round < rounds; ++round) {
    auto run = [&](TMeasure& kept, TMeasure m) {
      whole = whole && Whole(m, bytes);
      best(kept, m);
    };
    if (round % 2 == 0) {
      run(plain64, PlainLoop(bytes, 65536));
      run(port64k, PortLoop(bytes, 65535));
      run(plain4, PlainLoop(bytes, 4096));
      run(port4k, PortLoop(bytes, 4096));
    } else {
      run(port4k, PortLoop(bytes, 4096));
      run(plain4, PlainLoop(bytes, 4096));
      run(port64k, PortLoop(bytes, 65535));
      run(plain64, PlainLoop(bytes, 65536));
    }
  }
  std::printf("best of %d runs each\n", rounds);
  Report("plain recv loop, 64 KiB buffer", plain64, nullptr);
  Report("Winsock port, 65535-byte input buffer", port64k, &plain64);
  Report("plain recv loop, 4 KiB buffer", plain4, nullptr);
  Report("Winsock port, 4096-byte input buffer", port4k, &plain4);
  Report("  (the same against 64 KiB reads)", port4k, &plain64);
  if (!whole) std::printf("a run lost, doubled or changed bytes\n");
  return whole ? 0 : 1;
}
