#include "platform/time.h"

#include <time.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<std::int64_t> clockOffsetMs{0};

std::int64_t RawNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

constexpr std::int64_t kPerformanceFrequency = 10'000'000;  // 100 ns units

}  // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return FALSE;
  count->QuadPart = RawNs() / 100 + clockOffsetMs.load() * (kPerformanceFrequency / 1000);
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  frequency->QuadPart = kPerformanceFrequency;
  return TRUE;
}

DWORD timeGetTime() {
  return static_cast<DWORD>(static_cast<std::uint64_t>(RawNs() / 1'000'000 + clockOffsetMs.load()));
}

DWORD GetTickCount() {
  return timeGetTime();
}

void Sleep(DWORD ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

namespace platform {

void SetClockOffsetMs(std::int64_t offsetMs) {
  clockOffsetMs.store(offsetMs);
}
std::int64_t GetClockOffsetMs() {
  return clockOffsetMs.load();
}
std::int64_t MonotonicMs() {
  return RawNs() / 1'000'000;
}

}  // namespace platform
