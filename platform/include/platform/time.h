// Clocks: the performance counter, the multimedia millisecond count and Sleep.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

#ifndef _WIN32
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  std::int64_t QuadPart;
};

// Ticks of a monotonic clock at 10 MHz (100 ns), as on current Windows.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// Milliseconds since the clock origin, wrapping at 2^32.
DWORD timeGetTime();
DWORD GetTickCount();
void Sleep(DWORD ms);
#endif  // _WIN32

namespace platform {
#ifndef _WIN32
// Test hook: moves the origin of every clock above by `offsetMs` (may be negative), so that a
// test can put the 32-bit millisecond count just before its wrap. Monotonic otherwise.
void SetClockOffsetMs(std::int64_t offsetMs);
std::int64_t GetClockOffsetMs();
#endif
// Monotonic milliseconds for the loop and window timers; not moved by the test hook.
std::int64_t MonotonicMs();
}  // namespace platform
