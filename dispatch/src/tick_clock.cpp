#include "dispatch/tick_clock.h"

#include "platform/messages.h"
#include "platform/time.h"

namespace {

// Counter units per millisecond, read once; 0 when the counter cannot be used.
DWORD CounterDivisor() {
  static const DWORD divisor = [] {
    LARGE_INTEGER frequency{};
    if (!QueryPerformanceFrequency(&frequency)) return DWORD{0};
    if (frequency.QuadPart <= 0 || frequency.QuadPart >= (std::int64_t{1} << 32)) return DWORD{0};
    auto value = static_cast<DWORD>(frequency.QuadPart / 1000);
    if (frequency.QuadPart % 1000 > 500) ++value;
    return value;
  }();
  return divisor;
}

// Read at start-up, as the system does.
[[maybe_unused]] const DWORD startupDivisor = CounterDivisor();

}  // namespace

DWORD NowMs() {
  DWORD divisor = CounterDivisor();
  if (divisor == 0) return timeGetTime();
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  return static_cast<DWORD>(static_cast<std::uint64_t>(count.QuadPart) / divisor);
}

std::int32_t NowTicks() {
  return static_cast<std::int32_t>(NowMs() / TickMs);
}

void StartTickTimer(TickTimer& timer, std::int32_t ticks) {
  if (ticks > MaxTimerTicks) ticks = MaxTimerTicks;
  timer.Begun = NowTicks();
  timer.Deadline = timer.Begun + ticks;
}

bool TickTimerExpired(const TickTimer& timer) {
  std::int32_t now = NowTicks();
  if (now > timer.Deadline) return true;
  if (now >= timer.Begun) return false;
  // The millisecond clock wrapped since the start and the tick count fell back to near 0:
  // count on from where the ticks wrapped, not from MaxTimerTicks, or a timer that spans the
  // wrap would wait for days.
  return now + TicksPerClockWrap > timer.Deadline;
}

int PumpOneMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
  if (msg.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return WM_QUIT;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return msg.message == WM_NULL ? 1 : static_cast<int>(msg.message);
}

int WaitTicks(std::int32_t ticks, bool pumpMessages) {
  if (ticks <= 0) return 0;
  TickTimer timer;
  StartTickTimer(timer, ticks);
  int result = 0;
  for (;;) {
    if (pumpMessages) {
      result = PumpOneMessage();
      if (result == static_cast<int>(WM_QUIT)) break;
    }
    if (TickTimerExpired(timer)) break;
  }
  return result;
}
