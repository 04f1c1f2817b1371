// Moves the platform clocks so that NowMs reads a chosen value, and puts them back.
#pragma once

#include <cstdint>

#include "dispatch/tick_clock.h"
#include "platform/time.h"

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
