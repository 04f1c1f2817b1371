// 1 GiB from a loopback sender through a Winsock port's dispatcher to a data handler, against
// a plain blocking recv loop over the same kind of connection in the same run.
//
//   port_throughput_bench [MiB] [input size: the port alone]   (default 1024 MiB; port-only skips
//   the rest)

#include <time.h>

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

struct TMeasure {
  double Wall = 0;  // seconds
  double Cpu = 0;   // seconds of the receiving thread
  std::uint64_t Bytes = 0;
};

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TMeasure PlainLoop(std::uint64_t bytes, std::size_t bufferSize) {
  int port = portbench::StartSender(bytes);
  TMeasure m;
  double wall = Now(), cpu = ThreadCpu();
  m.Bytes = portbench::PlainReceive(port, bufferSize);
  m.Wall = Now() - wall;
  m.Cpu = ThreadCpu() - cpu;
  portbench::JoinSender();
  return m;
}

// Reads every announced byte, as a packet matcher or any other data handler would.
struct TConsumer {
  void Handle(UINT msg, WPARAM, LPARAM) {
    if (msg != DM_DATA_AVAILABLE) return;
    DWORD n = Dispatcher->InputCount();
    if (n > 0 && Dispatcher->ReadInput(Scratch.data(), n) == static_cast<int>(n)) Total += n;
  }
  TApdBaseDispatcher* Dispatcher = nullptr;
  std::vector<char> Scratch = std::vector<char>(InputRingSize);
  std::uint64_t Total = 0;
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
  double wall = Now(), cpu = ThreadCpu();
  winsockPort.SetPortOpen(true);
  consumer.Dispatcher = winsockPort.CurrentDispatcher();
  consumer.Dispatcher->AddEventHandler(ApdMethod<&TConsumer::Handle>, &consumer);
  MSG msg;
  while (!closed && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  m.Wall = Now() - wall;
  m.Cpu = ThreadCpu() - cpu;
  m.Bytes = consumer.Total;
  portbench::JoinSender();
  return m;
}

void Report(const char* name, const TMeasure& m, const TMeasure* reference) {
  double mib = static_cast<double>(m.Bytes) / (1024.0 * 1024.0);
  std::printf("%-40s %8.0f MiB  %7.3f s  %8.1f MiB/s  cpu %6.3f s", name, mib, m.Wall, mib / m.Wall,
              m.Cpu);
  if (reference)
    std::printf("  throughput %.2fx, cpu %.2fx of the plain loop", reference->Wall / m.Wall,
                m.Cpu / reference->Cpu);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t bytes = mib * 1024 * 1024;
  if (argc > 2) {
    // For profiling: the port alone.
    const auto inputSize = static_cast<WORD>(std::strtoul(argv[2], nullptr, 10));
    TMeasure port = PortLoop(bytes, inputSize);
    Report("Winsock port", port, nullptr);
    return port.Bytes == bytes ? 0 : 1;
  }
  // Warm up the loopback path and the library once.
  PlainLoop(64 << 20, 65536);
  PortLoop(64 << 20, 4096);

  // The machine is shared: each configuration runs three times, interleaved, and the best
  // run of each is compared.
  auto best = [](TMeasure& kept, const TMeasure& m) {
    if (kept.Bytes == 0 || m.Wall < kept.Wall) kept = m;
  };
  TMeasure plain64, plain16, port4k, port64k;
  for (int round = 0; round < 3; ++round) {
    best(plain64, PlainLoop(bytes, 65536));
    best(plain16, PlainLoop(bytes, 16384));
    best(port4k, PortLoop(bytes, 4096));
    best(port64k, PortLoop(bytes, 65535));
  }
  Report("plain recv loop, 64 KiB buffer", plain64, nullptr);
  Report("plain recv loop, 16 KiB buffer", plain16, &plain64);
  Report("Winsock port, 4096-byte input buffer", port4k, &plain64);
  Report("Winsock port, 65535-byte input buffer", port64k, &plain64);
  bool complete = port4k.Bytes == bytes && port64k.Bytes == bytes && plain64.Bytes == bytes;
  if (!complete)
    std::printf("incomplete transfer: %llu %llu %llu of %llu\n",
                static_cast<unsigned long long>(plain64.Bytes),
                static_cast<unsigned long long>(port4k.Bytes),
                static_cast<unsigned long long>(port64k.Bytes),
                static_cast<unsigned long long>(bytes));
  return complete ? 0 : 1;
}
