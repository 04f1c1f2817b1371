// Moves 1 GiB through the dispatcher's input ring and reports bytes per second and heap
// allocations per operation (the ring path must allocate nothing).
//
//   RingFillRead/<chunk>    FillInput, then ReadInput in chunks of <chunk> bytes
//   DispatchStepNotify      the whole hot path of a download: dispatch step, trigger scan
//                           without data triggers, a data-available notice to an event handler
//                           that reads everything announced
//   BareRing/<chunk>        reference: the same copies with no dispatcher around them

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "dispatch/dispatcher.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

constexpr std::uint64_t TotalBytes = std::uint64_t{1} << 30;

// A device that always has bytes waiting: a block of source bytes read round and round.
class TStreamDevice : public TApdBaseDispatcher {
 public:
  TStreamDevice() : TApdBaseDispatcher(nullptr), FSource(65536) {
    for (std::size_t i = 0; i < FSource.size(); ++i) FSource[i] = static_cast<BYTE>(i * 31);
  }
  ~TStreamDevice() override { CloseForDestroy(); }

  int DeviceEscape(int) override { return 0; }
  int DeviceFlush(int) override { return 0; }
  DWORD DeviceStatus(TDeviceCounts& counts) override {
    counts.InCount = 65536;
    counts.OutCount = 0;
    return 0;
  }
  int DeviceEventMask(int) override { return 0; }
  int DeviceGetLine(TLineSettings&) override { return 0; }
  int DeviceRead(void* buffer, DWORD count) override {
    DWORD n = std::min<DWORD>(count, static_cast<DWORD>(FSource.size() - FPos));
    std::memcpy(buffer, FSource.data() + FPos, n);
    FPos = (FPos + n) % FSource.size();
    return static_cast<int>(n);
  }
  int DeviceSetLine(const TLineSettings&) override { return 0; }
  int DeviceWrite(const void*, DWORD count) override { return static_cast<int>(count); }
  bool DeviceWaitEvent(DWORD&, void*) override { return true; }
  bool DeviceSetup(DWORD, DWORD) override { return true; }
  void BeginDispatching() override { Dispatching = true; }
  void EndDispatching() override { Dispatching = false; }
  int DeviceOpen(const char*, DWORD, DWORD) override { return 1; }
  int DeviceClose() override { return 0; }
  int PollDevice() override {
    DispatchStep(true);
    return 0;
  }

 private:
  std::vector<BYTE> FSource;
  std::size_t FPos = 0;
};

void ReportAllocations(benchmark::State& state, std::uint64_t before, std::uint64_t operations) {
  std::uint64_t made = allocations.load() - before;
  state.counters["allocs"] = static_cast<double>(made);
  state.counters["allocs_per_op"] =
      operations ? static_cast<double>(made) / static_cast<double>(operations) : 0.0;
  state.counters["ops"] = static_cast<double>(operations);
}

void RingFillRead(benchmark::State& state) {
  const auto chunk = static_cast<DWORD>(state.range(0));
  TStreamDevice device;
  if (device.OpenConnection(4096, 4096) != 0) state.SkipWithError("open failed");
  std::vector<BYTE> out(chunk);
  std::uint64_t operations = 0;
  std::uint64_t before = allocations.load();
  for (auto _ : state) {
    std::uint64_t moved = 0;
    while (moved < TotalBytes) {
      device.FillInput();
      ++operations;
      while (device.InputCount() >= chunk) {
        device.ReadInput(out.data(), chunk);
        ++operations;
        moved += chunk;
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  ReportAllocations(state, before, operations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalBytes));
}
BENCHMARK(RingFillRead)->Arg(1460)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

struct TReader {
  TApdBaseDispatcher* Dispatcher = nullptr;
  std::vector<BYTE> Buffer = std::vector<BYTE>(InputRingSize);
  std::uint64_t Moved = 0;
  void OnTrigger(UINT msg, WPARAM wParam, LPARAM) {
    if (msg != DM_DATA_AVAILABLE) return;
    auto n = static_cast<DWORD>(wParam);
    if (Dispatcher->ReadInput(Buffer.data(), n) == static_cast<int>(n)) Moved += n;
  }
};

void DispatchStepNotify(benchmark::State& state) {
  TStreamDevice device;
  if (device.OpenConnection(4096, 4096) != 0) state.SkipWithError("open failed");
  TReader reader;
  reader.Dispatcher = &device;
  device.AddEventHandler(ApdMethod<&TReader::OnTrigger>, &reader);
  device.SetAvailThreshold(1);
  DWORD timer = device.NewTimerTrigger();  // as the packet matcher keeps one, idle
  device.ArmTimerTrigger(timer, 1000, true);
  std::uint64_t operations = 0;
  std::uint64_t before = allocations.load();
  for (auto _ : state) {
    std::uint64_t start = reader.Moved;
    while (reader.Moved - start < TotalBytes) {
      device.DispatchStep(false);
      ++operations;
    }
  }
  ReportAllocations(state, before, operations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalBytes));
}
BENCHMARK(DispatchStepNotify)->Unit(benchmark::kMillisecond);

// The same copies with no dispatcher around them: an 8192-byte ring filled from a cycling
// source as far as there is room and emptied in chunks, each move in at most two pieces.
void BareRing(benchmark::State& state) {
  const auto chunk = static_cast<std::size_t>(state.range(0));
  std::vector<BYTE> source(65536), ring(InputRingSize), out(chunk);
  std::size_t head = 0, tail = 0, used = 0, sourcePos = 0;
  auto copyIn = [&](std::size_t count) {
    while (count != 0) {
      std::size_t n = std::min({count, InputRingSize - head, source.size() - sourcePos});
      std::memcpy(ring.data() + head, source.data() + sourcePos, n);
      head = (head + n) % InputRingSize;
      sourcePos = (sourcePos + n) % source.size();
      used += n;
      count -= n;
    }
  };
  for (auto _ : state) {
    std::uint64_t moved = 0;
    while (moved < TotalBytes) {
      copyIn(InputRingSize - used);
      while (used >= chunk) {
        std::size_t first = std::min(chunk, InputRingSize - tail);
        std::memcpy(out.data(), ring.data() + tail, first);
        std::memcpy(out.data() + first, ring.data(), chunk - first);
        tail = (tail + chunk) % InputRingSize;
        used -= chunk;
        moved += chunk;
        benchmark::ClobberMemory();
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalBytes));
}
BENCHMARK(BareRing)->Arg(1460)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

}  // namespace

// Counting allocator: every heap allocation of the program passes here. Kept out of line so
// that the compiler does not pair a malloc with a delete expression it can see.
[[gnu::noinline]] void* CountedAllocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void CountedRelease(void* p) noexcept {
  std::free(p);
}
void* operator new(std::size_t size) {
  return CountedAllocate(size);
}
void* operator new[](std::size_t size) {
  return CountedAllocate(size);
}
void operator delete(void* p) noexcept {
  CountedRelease(p);
}
void operator delete[](void* p) noexcept {
  CountedRelease(p);
}
void operator delete(void* p, std::size_t) noexcept {
  CountedRelease(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  CountedRelease(p);
}

BENCHMARK_MAIN();
