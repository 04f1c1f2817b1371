// Moves the platform clocks so that NowMs reads a chosen value, and puts them back.
#pragma once

#include <cstdint>

#include "dispatch/tick_clock.h"
#include "platform/time.h"

#ifdef _WIN32
// The system's clocks cannot be moved: a test that moves them runs over the stand-in platform
// only, whose clocks have a test hook (SetClockOffsetMs). The arithmetic it checks is the same
// code on both.
#define SKIP_UNLESS_CLOCKS_MOVE() \
  GTEST_SKIP() << "moves the clocks: only the stand-in platform's clocks can be moved"

class TClockMover {
 public:
  void SetNowMs(DWORD) {}
  void AdvanceMs(DWORD) {}
};
#else
#define SKIP_UNLESS_CLOCKS_MOVE() static_cast<void>(0)

class TClockMover {
 public:
  TClockMover() : FSaved(platform::GetClockOffsetMs()) {}
  ~TClockMover() { platform::SetClockOffsetMs(FSaved); }
  TClockMover(const TClockMover&) = delete;
  TClockMover& operator=(const TClockMover&) = delete;

  // Moves the clocks forward so that NowMs gives `target` now (modulo 2^32).
  void SetNowMs(DWORD target) {
    DWORD delta = target - NowMs();
    platform::SetClockOffsetMs(platform::GetClockOffsetMs() + delta);
  }
  void AdvanceMs(DWORD ms) { platform::SetClockOffsetMs(platform::GetClockOffsetMs() + ms); }

 private:
  std::int64_t FSaved;
};
#endif  // _WIN32
