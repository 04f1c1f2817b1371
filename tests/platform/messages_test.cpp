// The message queue, timers, sends and window procedures. The same expectations hold for the
// stand-in and for the system's user32: the Windows build of this file runs under Wine.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/eventloop.h"
#include "platform/library.h"
#include "platform/messages.h"
#include "platform/time.h"
#include "support/loop_support.h"

using testsupport::PumpUntil;

namespace {

// What the recording window received, as text: "msg:wParam".
std::vector<std::string> received;

LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE || msg == WM_DESTROY || msg == WM_NCDESTROY) {
    received.push_back(msg == WM_CREATE ? "create" : msg == WM_DESTROY ? "destroy" : "ncdestroy");
    return 0;
  }
  if (msg == WM_USER + 50) return static_cast<LRESULT>(wParam * 2);
  if (msg == WM_USER + 51) {  // asks the window in lParam, of another thread, within wParam ms
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(reinterpret_cast<HWND>(lParam), WM_USER + 50, 5, 0, SMTO_NORMAL,
                             static_cast<UINT>(wParam), &answer))
      return -1;
    return static_cast<LRESULT>(answer + 1);
  }
  received.push_back(std::to_string(msg) + ":" + std::to_string(wParam));
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 16;
    wc.lpszClassName = "RecordingWindow";
    RegisterClassA(&wc);  // may already exist from an earlier test
    hwnd = CreateWindowExA(0, "RecordingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
    ASSERT_NE(hwnd, nullptr);
    received.clear();
  }
  void TearDown() override {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  // Takes and dispatches every waiting message; returns the WM_QUIT seen, if any.
  bool DrainOnce(MSG& msg) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    return true;
  }
  testsupport::Watchdog watchdog{30};
  HWND hwnd = nullptr;
};

TEST_F(MessagesTest, PostedMessagesArriveInOrderThenQuitThenNothing) {
  PostMessageA(hwnd, WM_USER + 1, 1, 0);
  PostQuitMessage(7);
  PostMessageA(hwnd, WM_USER + 1, 2, 0);
  PostMessageA(nullptr, WM_USER + 2, 3, 0);  // thread message: no window procedure
  MSG msg;
  std::vector<UINT> taken;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    taken.push_back(msg.message);
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(taken, (std::vector<UINT>{WM_USER + 1, WM_USER + 1, WM_USER + 2}));
  EXPECT_EQ(received, (std::vector<std::string>{"1025:1", "1025:2"}));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, TimerMessageOnlyWhenQueueEmptyAndOnePerTimer) {
  ASSERT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
  // Setting it again replaces it: still one timer.
  ASSERT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
  Sleep(60);  // several intervals pass while nobody looks
  PostMessageA(hwnd, WM_USER, 1, 0);
  PostMessageA(hwnd, WM_USER, 2, 0);
  MSG msg;
  while (DrainOnce(msg)) {
  }
  EXPECT_EQ(received, (std::vector<std::string>{"1024:1", "1024:2", "275:5"}));
  // The next one comes a whole interval later, not at once.
  received.clear();
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PumpUntil([] { return !received.empty(); }, 2000));
  EXPECT_EQ(received.front(), "275:5");
  EXPECT_TRUE(KillTimer(hwnd, 5));
  EXPECT_FALSE(KillTimer(hwnd, 5));
  received.clear();
  testsupport::PumpFor(50);
  EXPECT_TRUE(received.empty());
}

TEST_F(MessagesTest, QuitOnlyAfterPostedMessagesButBeforeTimers) {
  SetTimer(hwnd, 1, 10, nullptr);
  Sleep(20);
  PostQuitMessage(0);
  PostMessageA(hwnd, WM_USER, 9, 0);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_TIMER);
}

TEST_F(MessagesTest, QuitPassesEveryFilter) {
  PostQuitMessage(3);
  PostQuitMessage(4);  // the last code counts
  PostMessageA(hwnd, WM_USER, 1, 0);
  PostMessageA(nullptr, WM_USER + 2, 2, 0);
  MSG msg;
  // The range stops the window's message, the window the thread message; the quit message
  // passes both.
  ASSERT_TRUE(PeekMessageA(&msg, hwnd, WM_USER + 1, WM_USER + 5, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 4u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, PeekWithoutRemoveLeavesTheMessage) {
  PostMessageA(hwnd, WM_USER, 1, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, FilterByWindowAndRange) {
  HWND other = CreateWindowExA(0, "RecordingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
  PostMessageA(hwnd, WM_USER + 1, 1, 0);
  PostMessageA(other, WM_USER + 2, 2, 0);
  PostMessageA(hwnd, WM_USER + 3, 3, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, other, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  DestroyWindow(other);
}

TEST_F(MessagesTest, MessagesForADestroyedWindowAreDropped) {
  PostMessageA(hwnd, WM_USER, 1, 0);
  SetTimer(hwnd, 3, 10, nullptr);
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(received, (std::vector<std::string>{"destroy", "ncdestroy"}));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 2, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(DestroyWindow(hwnd));
  DWORD_PTR result = 0;
  EXPECT_EQ(SendMessageTimeoutA(hwnd, WM_USER + 50, 1, 0, SMTO_BLOCK, 100, &result), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  Sleep(20);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  // Waiting for the messages of a window that is gone fails at once.
  EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), -1);
  // A new window never gets the old handle.
  HWND next = CreateWindowExA(0, "RecordingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
  EXPECT_NE(next, hwnd);
  DestroyWindow(next);
}

TEST_F(MessagesTest, HiddenTopLevelWindowGetsTheSameSequence) {
  // A top-level window that is never shown: its messages come as a message-only window's do.
  HWND top =
      CreateWindowExA(0, "RecordingWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
#ifdef _WIN32
  if (top == nullptr) GTEST_SKIP() << "no display: Wine makes top-level windows only with one";
#endif
  ASSERT_NE(top, nullptr);
  received.clear();
  PostMessageA(top, WM_USER, 1, 0);
  ASSERT_EQ(SetTimer(top, 4, 10, nullptr), 4u);
  PostMessageA(hwnd, WM_USER, 2, 0);
  Sleep(20);
  EXPECT_EQ(SendMessageA(top, WM_USER + 50, 3, 0), 6);
  MSG msg;
  while (DrainOnce(msg)) {
  }
  EXPECT_TRUE(KillTimer(top, 4));
  EXPECT_TRUE(DestroyWindow(top));
  EXPECT_EQ(received,
            (std::vector<std::string>{"1024:1", "1024:2", "275:4", "destroy", "ncdestroy"}));
  EXPECT_FALSE(IsWindow(top));
}

TEST_F(MessagesTest, SendIsADirectCallOnTheSameThread) {
  PostMessageA(hwnd, WM_USER, 1, 0);
  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 50, 21, 0), 42);
  DWORD_PTR result = 0;
  EXPECT_EQ(SendMessageTimeoutA(hwnd, WM_USER + 50, 5, 0, SMTO_BLOCK, 3000, &result), 1);
  EXPECT_EQ(result, 10u);
  SendMessageA(hwnd, WM_USER + 7, 8, 0);
  // The sent message went ahead of the posted one: it never entered the queue.
  EXPECT_EQ(received, (std::vector<std::string>{"1031:8"}));
}

TEST_F(MessagesTest, SendFromAnotherThreadWaitsForTheOwnerOrTimesOut) {
  std::atomic<int> phase{0};
  std::atomic<bool> go{false};
  DWORD_PTR answered = 0;
  LRESULT okFirst = 0, okSecond = 0;
  DWORD errorSecond = 0;
  std::thread sender([&] {
    okFirst = SendMessageTimeoutA(hwnd, WM_USER + 50, 4, 0, SMTO_BLOCK, 3000, &answered);
    phase = 1;
    while (!go.load()) Sleep(1);
    okSecond = SendMessageTimeoutA(hwnd, WM_USER + 50, 4, 0, SMTO_BLOCK, 100, nullptr);
    errorSecond = GetLastError();
    phase = 2;
  });
  bool served = PumpUntil([&] { return phase.load() == 1; }, 5000);
  // The owner stops pumping: the second send must give up after its limit.
  go = true;
  while (phase.load() != 2) Sleep(5);
  sender.join();
  ASSERT_TRUE(served);
  EXPECT_EQ(okFirst, 1);
  EXPECT_EQ(answered, 8u);
  EXPECT_EQ(okSecond, 0);
  EXPECT_EQ(errorSecond, ERROR_TIMEOUT);
  received.clear();
  testsupport::PumpFor(20);  // the abandoned request is skipped, not handled late
  EXPECT_TRUE(received.empty());
}

TEST_F(MessagesTest, ASenderWaitingForItsAnswerServesSendsToItsOwnThread) {
  // The owner's procedure asks back a window of the waiting sender's thread. The sender serves
  // that while it waits, unless it sent with SMTO_BLOCK: then the question back times out.
  LRESULT okNormal = 0, okBlock = 0;
  DWORD_PTR normal = 0, blocked = 0;
  std::atomic<bool> finished{false};
  std::thread sender([&] {
    HWND own = AllocateHWnd([](TMessage& m) {
      if (m.Msg == WM_USER + 50) m.Result = static_cast<LRESULT>(m.WParam * 2);
    });
    const auto ownParam = reinterpret_cast<LPARAM>(own);
    okNormal = SendMessageTimeoutA(hwnd, WM_USER + 51, 3000, ownParam, SMTO_NORMAL, 5000, &normal);
    okBlock = SendMessageTimeoutA(hwnd, WM_USER + 51, 100, ownParam, SMTO_BLOCK, 5000, &blocked);
    DeallocateHWnd(own);
    finished = true;
  });
  bool served = PumpUntil([&] { return finished.load(); }, 10000);
  sender.join();
  ASSERT_TRUE(served);
  EXPECT_EQ(okNormal, 1);
  EXPECT_EQ(normal, 11u);
  EXPECT_EQ(okBlock, 1);
  EXPECT_EQ(static_cast<LRESULT>(blocked), -1);
}

TEST_F(MessagesTest, PostFromAnotherThreadWakesABlockedGetMessage) {
  std::thread poster([this] {
    // Another thread may post to the window, but not destroy it.
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    Sleep(50);
    PostMessageA(hwnd, WM_USER, 77, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  poster.join();
  EXPECT_EQ(msg.wParam, 77u);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(received.empty());
}

LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
WNDPROC previousProc = nullptr;
LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 60) {
    received.push_back("sub");
    return 99;
  }
  received.push_back("sub-pass");
  return CallWindowProcA(previousProc, hwnd, msg, wParam, lParam);
}

TEST_F(MessagesTest, ReplacingTheProcedureAndCallingThePreviousOne) {
  previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
  EXPECT_EQ(previousProc, RecordingProc);
  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 60, 0, 0), 99);
  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 50, 3, 0), 6);
  EXPECT_EQ(received, (std::vector<std::string>{"sub", "sub-pass"}));
  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 60, 0, 0), 0);
}

TEST_F(MessagesTest, WindowExtraBytesAndUserData) {
  EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0);
  EXPECT_EQ(SetWindowLongPtrA(hwnd, 0, 1234), 0);
  EXPECT_EQ(SetWindowLongPtrA(hwnd, 8, -5), 0);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 1234);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, 8), -5);
  EXPECT_EQ(SetWindowLongPtrA(hwnd, 9, 1), 0);  // would run past the 16 bytes
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, -100), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 77);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 77);
  EXPECT_EQ(GetWindowClassName(hwnd), "RecordingWindow");
  // The class was registered without an instance: it is the program's. No instance asks for
  // the system's classes.
  const HINSTANCE program = GetModuleHandleA(nullptr);
  WNDCLASSA info{};
  EXPECT_TRUE(GetClassInfoA(program, "recordingwindow", &info));
  EXPECT_EQ(info.cbWndExtra, 16);
  EXPECT_EQ(info.hInstance, program);
  EXPECT_FALSE(GetClassInfoA(nullptr, "RecordingWindow", &info));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
  EXPECT_FALSE(GetClassInfoA(program, "NoSuchClass", &info));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
  WNDCLASSA again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = "RECORDINGWINDOW";
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_EQ(
      CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
      nullptr);
}

TEST_F(MessagesTest, ObjectWindowCallsItsBoundMethod) {
  std::vector<UINT> seen;
  HWND object = AllocateHWnd([&](TMessage& m) {
    seen.push_back(m.Msg);
    m.Result = static_cast<LRESULT>(m.WParam + 1);
  });
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(SendMessageA(object, WM_USER + 3, 41, 0), 42);
  PostMessageA(object, WM_USER + 4, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }, 2000));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 3, WM_USER + 4}));
  DeallocateHWnd(object);
  EXPECT_FALSE(IsWindow(object));
  EXPECT_EQ(seen.size(), 2u);  // the method is unbound before destruction messages
}

int callbackCount = 0;
UINT_PTR callbackId = 0;
void TimerCallback(HWND hwnd, UINT msg, UINT_PTR id, DWORD) {
  if (hwnd == nullptr && msg == WM_TIMER && id == callbackId) ++callbackCount;
}

TEST_F(MessagesTest, WindowlessTimerRunsItsCallback) {
  callbackCount = 0;
  callbackId = SetTimer(nullptr, 0, 15, TimerCallback);
  ASSERT_NE(callbackId, 0u);
  UINT_PTR second = SetTimer(nullptr, 0, 1000, TimerCallback);
  EXPECT_NE(second, callbackId);
  ASSERT_TRUE(PumpUntil([] { return callbackCount >= 3; }, 3000));
  EXPECT_TRUE(KillTimer(nullptr, callbackId));
  EXPECT_TRUE(KillTimer(nullptr, second));
  int seen = callbackCount;
  testsupport::PumpFor(60);
  EXPECT_EQ(callbackCount, seen);
}

TEST_F(MessagesTest, NestedLoopInsideAHandlerKeepsDispatching) {
  // A handler that runs a modal loop of its own (as a message box does) still gets posted
  // messages and timers to their windows.
  int ticks = 0;
  bool modalDone = false;
  HWND modal = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER + 1) {
      SetTimer(hwnd, 9, 10, nullptr);
      PostMessageA(hwnd, WM_USER + 2, 0, 0);
      MSG msg;
      while (!modalDone && GetMessageA(&msg, nullptr, 0, 0)) {
        DispatchMessageA(&msg);
        if (msg.message == WM_TIMER && ++ticks == 3) modalDone = true;
      }
    }
  });
  PostMessageA(modal, WM_USER + 1, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return modalDone; }, 3000));
  EXPECT_EQ(received.front(), "1026:0");
  EXPECT_EQ(ticks, 3);
  KillTimer(hwnd, 9);
  DeallocateHWnd(modal);
}

#ifndef _WIN32
// The loop's own parts: descriptor watches, the widget set's source and the poll count. Windows
// has none of them (sockets report through WSAAsyncSelect, controls are the system's).

TEST_F(MessagesTest, DescriptorReadinessRunsTheWatchFromTheLoop) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0;
  auto id = platform::AddFdWatch(fds[0], POLLIN, [&](int fd, short revents) {
    char c;
    EXPECT_TRUE(revents & POLLIN);
    EXPECT_EQ(read(fd, &c, 1), 1);
    ++calls;
    PostMessageA(hwnd, WM_USER, static_cast<WPARAM>(c), 0);
  });
  ASSERT_EQ(write(fds[1], "A", 1), 1);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('A'));
  // Interest switched off: readiness is not reported until switched on again.
  platform::SetFdWatchEvents(id, 0);
  ASSERT_EQ(write(fds[1], "B", 1), 1);
  testsupport::PumpFor(30);
  EXPECT_EQ(calls, 1);
  platform::SetFdWatchEvents(id, POLLIN);
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }, 2000));

  // A queue that never runs empty (each message posts the next) still lets readiness through.
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  ASSERT_EQ(write(fds[1], "C", 1), 1);
  PostMessageA(hwnd, WM_USER + 1, 0, 0);
  int taken = 0;
  while (calls < 3 && taken < 1'000'000 && GetMessageA(&msg, nullptr, 0, 0)) {
    ++taken;
    if (msg.message == WM_USER + 1) PostMessageA(hwnd, WM_USER + 1, 0, 0);
  }
  EXPECT_EQ(calls, 3) << "the descriptor was not looked at in " << taken << " messages";
  platform::RemoveFdWatch(id);
  close(fds[0]);
  close(fds[1]);
}

class PipeSource : public platform::LoopSource {
 public:
  explicit PipeSource(int fd) : fd_(fd) {}
  void Prepare(std::vector<pollfd>& fds, int& timeoutMs) override {
    ++prepared;
    fds.push_back({fd_, POLLIN, 0});
    if (timeoutMs < 0 || timeoutMs > 5000) timeoutMs = 5000;
  }
  void Dispatch(std::span<pollfd> fds) override {
    ASSERT_EQ(fds.size(), 1u);
    if (fds[0].revents & POLLIN) {
      char c;
      if (read(fd_, &c, 1) == 1) ++dispatched;
    }
  }
  int prepared = 0;
  int dispatched = 0;

 private:
  int fd_;
};

TEST_F(MessagesTest, WidgetSourceIsFoldedIntoTheSamePoll) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  PipeSource source(fds[0]);
  platform::SetLoopSource(&source);
  std::thread writer([&] {
    Sleep(30);
    [[maybe_unused]] auto n = write(fds[1], "x", 1);
  });
  bool ok = PumpUntil([&] { return source.dispatched == 1; }, 3000);
  writer.join();
  platform::SetLoopSource(nullptr);
  EXPECT_TRUE(ok);
  EXPECT_GT(source.prepared, 0);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(MessagesTest, IdleLoopSleepsInPoll) {
  // Waiting 300 ms for a timer takes a handful of polls, not a spin.
  SetTimer(hwnd, 2, 300, nullptr);
  auto before = platform::LoopPollCount();
  rusage start{}, end{};
  getrusage(RUSAGE_THREAD, &start);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  getrusage(RUSAGE_THREAD, &end);
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_LE(platform::LoopPollCount() - before, 5u);
  KillTimer(hwnd, 2);
}

TEST(TimeTest, WrapWithTheOriginHook) {
  // Put the millisecond count 100 ms before its wrap and watch it wrap.
  platform::SetClockOffsetMs(0);
  std::int64_t raw = timeGetTime();
  platform::SetClockOffsetMs((std::int64_t{1} << 32) - 100 - raw);
  DWORD before = timeGetTime();
  EXPECT_GE(before, 0xFFFFFF00u);
  Sleep(150);
  DWORD after = timeGetTime();
  EXPECT_LT(after, 1000u);
  EXPECT_GE(static_cast<DWORD>(after - before), 150u);
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  EXPECT_LE(static_cast<DWORD>(static_cast<DWORD>(count.QuadPart / 10000) - after), 5u);
  platform::SetClockOffsetMs(0);
}
#endif  // _WIN32

TEST(TimeTest, ClocksAgree) {
  LARGE_INTEGER freq{}, count{};
  ASSERT_TRUE(QueryPerformanceFrequency(&freq));
  EXPECT_EQ(freq.QuadPart, 10'000'000);
  ASSERT_TRUE(QueryPerformanceCounter(&count));
  DWORD ms = timeGetTime();
  auto fromCounter = static_cast<DWORD>(count.QuadPart / (freq.QuadPart / 1000));
  EXPECT_LE(static_cast<DWORD>(ms - fromCounter), 5u);
}

TEST(TimeTest, SleepWaitsAtLeastTheGivenTime) {
  auto start = platform::MonotonicMs();
  Sleep(30);
  EXPECT_GE(platform::MonotonicMs() - start, 30);
}

}  // namespace
