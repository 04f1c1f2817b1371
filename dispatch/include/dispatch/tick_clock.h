// The process-wide millisecond clock, 55 ms ticks, tick timers and the message pump used by
// short waits of the comm library.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Milliseconds from the performance counter (or the multimedia timer when the counter is of
// no use), wrapping at 2^32.
DWORD NowMs();

// One tick is 55 ms exactly; every interval of the comm library given in ticks uses it.
inline constexpr DWORD TickMs = 55;
// The largest whole number of ticks whose length in milliseconds fits a signed 32-bit value.
inline constexpr std::int32_t MaxTimerTicks = 39045157;

// The tick count at which NowMs wraps (2^32 ms).
inline constexpr std::int32_t TicksPerClockWrap =
    static_cast<std::int32_t>((std::uint64_t{1} << 32) / TickMs);

// NowMs divided by 55.
std::int32_t NowTicks();

struct TickTimer {
  std::int32_t Begun = 0;     // tick count at start
  std::int32_t Deadline = 0;  // tick count at which it expires
};

// Starts timer for ticks (cut to MaxTimerTicks).
void StartTickTimer(TickTimer& timer, std::int32_t ticks);
// True once the deadline has passed; survives the wrap of the millisecond clock.
bool TickTimerExpired(const TickTimer& timer);

// Handles one waiting message of the calling thread. 0: none was waiting; 18 (WM_QUIT): the
// quit message, which is posted again so that the outer loop still sees it; otherwise the
// number of the message handled (1 for WM_NULL, so that 0 keeps meaning "nothing").
int PumpOneMessage();

// Waits ticks (nothing for 0 or less). With pumpMessages the thread's messages are handled
// meanwhile and a quit message ends the wait early (result 18); otherwise the thread spins.
// Gives the last PumpOneMessage result (0 without pumping).
int WaitTicks(std::int32_t ticks, bool pumpMessages);
