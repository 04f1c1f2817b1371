// The millisecond clock, ticks, tick timers across the 32-bit wrap, the pump and waits.

#include <gtest/gtest.h>

#include "dispatch/clock_support.h"
#include "dispatch/tick_clock.h"
#include "platform/messages.h"
#include "support/loop_support.h"

namespace {

constexpr DWORD WrapMs = 0;  // NowMs value just after the wrap

TEST(TickClockTest, LongIntervalsAreCutToMaxTimerTicks) {
  TickTimer timer;
  StartTickTimer(timer, 2'000'000'000);
  EXPECT_EQ(timer.Deadline - timer.Begun, MaxTimerTicks);
  EXPECT_FALSE(TickTimerExpired(timer));
}

TEST(TickClockTest, NegativeIntervalHasExpiredAtOnceZeroAtTheNextTick) {
  SKIP_UNLESS_CLOCKS_MOVE();
  TClockMover clock;
  clock.SetNowMs(55 * 2000 + 10);
  TickTimer negative, zero;
  StartTickTimer(negative, -1);
  StartTickTimer(zero, 0);
  EXPECT_TRUE(TickTimerExpired(negative));
  EXPECT_FALSE(TickTimerExpired(zero));
  clock.SetNowMs(55 * 2001 + 1);
  EXPECT_TRUE(TickTimerExpired(zero));
}

TEST(TickClockTest, TimerFiresBetween18And19TicksAfterStart) {
  SKIP_UNLESS_CLOCKS_MOVE();
  TClockMover clock;
  // Started at the very beginning of a tick: 19 whole ticks.
  clock.SetNowMs(55 * 1000 + 1);
  TickTimer early;
  StartTickTimer(early, 18);
  clock.SetNowMs(55 * 1000 + 1 + 1044 - 20);
  EXPECT_FALSE(TickTimerExpired(early));
  clock.SetNowMs(55 * 1000 + 1 + 1044 + 5);
  EXPECT_TRUE(TickTimerExpired(early));

  // Started at the end of a tick: just over 18 ticks.
  clock.SetNowMs(55 * 3000 + 50);
  TickTimer late;
  StartTickTimer(late, 18);
  clock.SetNowMs(55 * 3000 + 50 + 990 - 20);
  EXPECT_FALSE(TickTimerExpired(late));
  clock.SetNowMs(55 * 3000 + 50 + 995 + 10);
  EXPECT_TRUE(TickTimerExpired(late));
}

TEST(TickClockTest, TimerSpanningTheClockWrapFiresOnTime) {
  SKIP_UNLESS_CLOCKS_MOVE();
  TClockMover clock;
  clock.SetNowMs(WrapMs - 200);
  TickTimer timer;
  StartTickTimer(timer, 5);  // 275 ms or a little more
  EXPECT_GT(timer.Begun, TicksPerClockWrap - 10);
  clock.SetNowMs(WrapMs + 10);  // 210 ms later, the count has wrapped
  EXPECT_LT(NowTicks(), 5);
  EXPECT_FALSE(TickTimerExpired(timer));
  clock.SetNowMs(WrapMs + 160);  // 360 ms later
  EXPECT_TRUE(TickTimerExpired(timer));
}

TEST(TickClockTest, TimerStartedJustAfterTheWrapIsNotMistakenForWrapped) {
  SKIP_UNLESS_CLOCKS_MOVE();
  TClockMover clock;
  clock.SetNowMs(WrapMs + 5);
  TickTimer timer;
  StartTickTimer(timer, 3);
  EXPECT_FALSE(TickTimerExpired(timer));
  clock.SetNowMs(WrapMs + 5 + 4 * 55);
  EXPECT_TRUE(TickTimerExpired(timer));
}

TEST(WaitTicksTest, NothingToWaitForReturnsAtOnce) {
  testsupport::Watchdog watchdog(20);
  std::int32_t before = NowTicks();
  EXPECT_EQ(WaitTicks(0, true), 0);
  EXPECT_EQ(WaitTicks(-3, false), 0);
  EXPECT_LE(NowTicks() - before, 1);
}

TEST(WaitTicksTest, WaitsAtLeastTheTicksGiven) {
  testsupport::Watchdog watchdog(20);
  std::int32_t before = NowTicks();
  EXPECT_EQ(WaitTicks(2, false), 0);
  EXPECT_GE(NowTicks() - before, 3);  // expired means past the deadline tick
}

TEST(WaitTicksTest, QuitMessageEndsPumpingWaitAndStaysQueued) {
  testsupport::Watchdog watchdog(20);
  PostQuitMessage(7);
  std::int32_t before = NowTicks();
  EXPECT_EQ(WaitTicks(200, true), static_cast<int>(WM_QUIT));
  EXPECT_LT(NowTicks() - before, 100);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
}

int pumped = 0;
LRESULT CALLBACK_CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 5) ++pumped;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(PumpOneMessageTest, DispatchesOneMessageAndReportsIt) {
  testsupport::Watchdog watchdog(20);
  WNDCLASSA wc{};
  wc.lpfnWndProc = &CALLBACK_CountingProc;
  wc.lpszClassName = "DispatchPumpTest";
  RegisterClassA(&wc);
  HWND window =
      CreateWindowExA(0, "DispatchPumpTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(PumpOneMessage(), 0);
  PostMessageA(window, WM_USER + 5, 0, 0);
  PostMessageA(window, WM_USER + 5, 0, 0);
  EXPECT_EQ(PumpOneMessage(), static_cast<int>(WM_USER + 5));
  EXPECT_EQ(pumped, 1);
  EXPECT_EQ(PumpOneMessage(), static_cast<int>(WM_USER + 5));
  EXPECT_EQ(PumpOneMessage(), 0);
  EXPECT_EQ(pumped, 2);
  DestroyWindow(window);
}

}  // namespace
