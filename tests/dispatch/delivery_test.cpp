// Handler lists, delivery with input accounting, removal and close during delivery, windows,
// and the dispatch step.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dispatch/test_device.h"
#include "errors/codes.h"
#include "platform/library.h"
#include "platform/messages.h"

namespace {

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.Open(), 0); }
  TTestDispatcher d;
};

// A handler that runs a chosen action on each delivery.
struct TActionHandler {
  TApdBaseDispatcher* Dispatcher = nullptr;
  std::function<void(TActionHandler&, UINT, WPARAM)> Action;
  int Calls = 0;
  void OnTrigger(UINT msg, WPARAM wParam, LPARAM) {
    ++Calls;
    if (Action) Action(*this, msg, wParam);
  }
  void Register() { Dispatcher->AddEventHandler(ApdMethod<&TActionHandler::OnTrigger>, this); }
  void Unregister() { Dispatcher->RemoveEventHandler(ApdMethod<&TActionHandler::OnTrigger>, this); }
};

std::string Take(TApdBaseDispatcher& d, DWORD n) {
  std::string s(n, '\0');
  return d.ReadInput(s.data(), n) == static_cast<int>(n) ? s : std::string("<short>");
}

// ---- Handler flags ----

std::vector<UINT> windowMessages;
std::vector<LPARAM> windowParams;
LRESULT RecordingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= DM_DATA_AVAILABLE && msg <= DM_STATUS_CHANGE) {
    windowMessages.push_back(msg);
    windowParams.push_back(lParam);
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeRecordingWindow() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &RecordingWindowProc;
    wc.lpszClassName = "DispatchDeliveryTest";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExA(0, "DispatchDeliveryTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST_F(DeliveryTest, PortWindowAloneGetsMessagesOnlyWhenItWantsThem) {
  windowMessages.clear();
  HWND port = MakeRecordingWindow();
  d.AddWindowHandler(port);
  EXPECT_TRUE(d.HandlersNeeded);
  d.RefreshHandlerFlags(2);  // no trigger events assigned on the port
  EXPECT_FALSE(d.HandlersNeeded);
  EXPECT_TRUE(d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0));
  EXPECT_TRUE(windowMessages.empty());

  TRecordingHandler handler;
  handler.Dispatcher = &d;
  handler.Register();  // an event handler makes deliveries happen again
  EXPECT_TRUE(d.HandlersNeeded);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(handler.Calls.size(), 1u);
  EXPECT_TRUE(windowMessages.empty());  // still not wanted by the port window

  d.RefreshHandlerFlags(1);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 16, 0);
  ASSERT_EQ(windowMessages.size(), 1u);
  EXPECT_EQ(windowParams[0], static_cast<LPARAM>(d.Handle) << 16);

  handler.Unregister();
  d.RefreshHandlerFlags(2);
  EXPECT_FALSE(d.HandlersNeeded);
  d.RemoveWindowHandler(port);
  EXPECT_TRUE(d.WindowHandlers.empty());
  DestroyWindow(port);
}

TEST_F(DeliveryTest, SecondWindowMakesEveryWindowAHandler) {
  windowMessages.clear();
  windowParams.clear();
  HWND first = MakeRecordingWindow();
  HWND second = MakeRecordingWindow();
  d.AddWindowHandler(first);
  d.AddWindowHandler(second);
  d.RefreshHandlerFlags(2);
  EXPECT_TRUE(d.HandlersNeeded);
  d.DeliverTrigger(DM_STATUS_CHANGE, 35, 1234);
  ASSERT_EQ(windowMessages.size(), 2u);
  EXPECT_EQ(windowParams[1], (static_cast<LPARAM>(d.Handle) << 16) + 1234);
  d.RemoveWindowHandler(first);
  d.RemoveWindowHandler(second);
  DestroyWindow(first);
  DestroyWindow(second);
}

int procCalls = 0;
void CountingProc(UINT, WPARAM, LPARAM) {
  ++procCalls;
}

TEST_F(DeliveryTest, ProcedureHandlersAreDeliveredAndRemoved) {
  procCalls = 0;
  d.AddProcHandler(&CountingProc);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(procCalls, 1);
  d.RemoveProcHandler(&CountingProc);
  d.RefreshHandlerFlags(0);
  EXPECT_FALSE(d.HandlersNeeded);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(procCalls, 1);
}

// ---- Input accounting ----

TEST_F(DeliveryTest, EveryHandlerReadsTheSameBytesAndTheHungriestDecides) {
  TRecordingHandler all, some;
  all.Dispatcher = some.Dispatcher = &d;
  all.ReadPerCall = 10;
  some.ReadPerCall = 4;
  all.Register();
  some.Register();
  d.Arrive("0123456789ABC");
  d.FillInput();
  EXPECT_TRUE(d.DeliverTrigger(DM_DATA_AVAILABLE, 10, 0));
  EXPECT_EQ(all.Read, "0123456789");
  EXPECT_EQ(some.Read, "0123");
  EXPECT_EQ(d.InputCount(), 3u);  // the ring gave up 10
  EXPECT_EQ(Take(d, 3), "ABC");
}

TEST_F(DeliveryTest, InputCountDuringDeliveryExcludesWhatThisHandlerRead) {
  TActionHandler h;
  h.Dispatcher = &d;
  std::vector<DWORD> counts;
  h.Action = [&counts](TActionHandler& self, UINT, WPARAM) {
    counts.push_back(self.Dispatcher->InputCount());
    Take(*self.Dispatcher, 2);
    counts.push_back(self.Dispatcher->InputCount());
  };
  h.Register();
  d.Arrive("abcdef");
  d.FillInput();
  EXPECT_FALSE(d.DeliverTrigger(DM_DATA_AVAILABLE, 6, 0));  // only 2 of 6 consumed
  EXPECT_EQ(counts, (std::vector<DWORD>{6, 4}));
  EXPECT_EQ(d.InputCount(), 4u);
  EXPECT_FALSE(d.InAvailNotify);
}

TEST_F(DeliveryTest, PartlyConsumedNoticeEndsTheStepsTriggerLoop) {
  DWORD t = d.NewTimerTrigger();
  TActionHandler h;
  h.Dispatcher = &d;
  std::vector<UINT> seen;
  h.Action = [&seen, t](TActionHandler& self, UINT msg, WPARAM) {
    seen.push_back(msg);
    if (msg == DM_DATA_AVAILABLE) {
      Take(*self.Dispatcher, 1);
      // Expired at once: a loop that went on would deliver it in this step.
      self.Dispatcher->ArmTimerTrigger(t, -1, true);
    }
  };
  h.Register();
  d.SetAvailThreshold(1);
  d.Arrive("abc");
  d.DispatchStep(false);
  EXPECT_EQ(seen, (std::vector<UINT>{DM_DATA_AVAILABLE}));
  d.DispatchStep(false);
  EXPECT_EQ(seen, (std::vector<UINT>{DM_DATA_AVAILABLE, DM_TIMER_EXPIRED}));

  // When the handler takes everything announced, the same step goes on to the timer.
  seen.clear();
  h.Action = [&seen, t](TActionHandler& self, UINT msg, WPARAM wParam) {
    seen.push_back(msg);
    if (msg == DM_DATA_AVAILABLE) {
      Take(*self.Dispatcher, static_cast<DWORD>(wParam));
      self.Dispatcher->ArmTimerTrigger(t, -1, true);
    }
  };
  d.Arrive("d");
  d.DispatchStep(false);
  EXPECT_EQ(seen, (std::vector<UINT>{DM_DATA_AVAILABLE, DM_TIMER_EXPIRED}));
}

TEST_F(DeliveryTest, NoticeWithNoHandlersConsumesNothingAndFails) {
  d.AddEventHandler(ApdMethod<&TRecordingHandler::OnTrigger>, nullptr);
  d.RemoveEventHandler(ApdMethod<&TRecordingHandler::OnTrigger>, nullptr);
  ASSERT_TRUE(d.HandlersNeeded);  // removal outside a delivery leaves the flags
  d.Arrive("xy");
  d.FillInput();
  EXPECT_FALSE(d.DeliverTrigger(DM_DATA_AVAILABLE, 2, 0));
  EXPECT_EQ(d.InputCount(), 2u);
}

// ---- Changes while delivering ----

TEST_F(DeliveryTest, HandlerRemovingItselfIsFreedAfterTheDelivery) {
  TActionHandler self, other;
  self.Dispatcher = other.Dispatcher = &d;
  self.Action = [&d = d](TActionHandler& h, UINT, WPARAM) {
    h.Unregister();
    EXPECT_EQ(d.EventHandlers.size(), 2u);  // marked only
    EXPECT_TRUE(d.RemovalPending);
  };
  self.Register();
  other.Register();
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(self.Calls, 1);
  EXPECT_EQ(other.Calls, 1);
  EXPECT_EQ(d.EventHandlers.size(), 1u);
  EXPECT_FALSE(d.RemovalPending);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(self.Calls, 1);
  EXPECT_EQ(other.Calls, 2);
}

TEST_F(DeliveryTest, HandlerRemovedByAnEarlierOneIsNotCalled) {
  TActionHandler first, second;
  first.Dispatcher = second.Dispatcher = &d;
  first.Action = [&second](TActionHandler&, UINT, WPARAM) { second.Unregister(); };
  first.Register();
  second.Register();
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(second.Calls, 0);
}

TEST_F(DeliveryTest, HandlerAddedDuringDeliveryWaitsForTheNext) {
  TActionHandler adder, added;
  adder.Dispatcher = added.Dispatcher = &d;
  adder.Action = [&added](TActionHandler& h, UINT, WPARAM) {
    if (h.Calls == 1) added.Register();
  };
  adder.Register();
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(added.Calls, 0);
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(added.Calls, 1);
}

TEST_F(DeliveryTest, ProcedureAndWindowAddedByAnEventHandlerWaitForTheNextDelivery) {
  windowMessages.clear();
  procCalls = 0;
  HWND port = MakeRecordingWindow();
  HWND second = MakeRecordingWindow();
  d.AddWindowHandler(port);
  d.RefreshHandlerFlags(2);  // the port window alone wants nothing
  TActionHandler adder;
  adder.Dispatcher = &d;
  adder.Action = [&second](TActionHandler& h, UINT, WPARAM) {
    if (h.Calls != 1) return;
    h.Dispatcher->AddProcHandler(&CountingProc);
    h.Dispatcher->AddWindowHandler(second);
  };
  adder.Register();
  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(adder.Calls, 1);
  EXPECT_EQ(procCalls, 0);
  EXPECT_TRUE(windowMessages.empty());

  d.DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  EXPECT_EQ(procCalls, 1);
  EXPECT_EQ(windowMessages.size(), 2u);  // two windows: both are handlers now
  adder.Unregister();
  d.RemoveProcHandler(&CountingProc);
  d.RemoveWindowHandler(second);
  d.RemoveWindowHandler(port);
  DestroyWindow(second);
  DestroyWindow(port);
}

TEST_F(DeliveryTest, CloseFromATimerHandlerIsFinishedByTheStep) {
  TActionHandler closer, later;
  closer.Dispatcher = later.Dispatcher = &d;
  bool ringDuringHandler = false;
  closer.Action = [&ringDuringHandler](TActionHandler& h, UINT, WPARAM) {
    h.Dispatcher->CloseDevice();
    ringDuringHandler = h.Dispatcher->InputBuffer != nullptr && h.Dispatcher->Dispatching;
  };
  closer.Register();
  later.Register();
  DWORD t = d.NewTimerTrigger();
  d.ArmTimerTrigger(t, -1, true);
  DWORD t2 = d.NewTimerTrigger();
  d.ArmTimerTrigger(t2, -1, true);
  d.DispatchStep(false);
  EXPECT_TRUE(ringDuringHandler);
  EXPECT_EQ(closer.Calls, 1);  // the second timer is not delivered either
  EXPECT_EQ(later.Calls, 0);
  EXPECT_EQ(d.Closes, 1);
  EXPECT_TRUE(d.CloseDeferred);
  EXPECT_FALSE(d.InputBuffer);
  EXPECT_FALSE(d.Dispatching);
  EXPECT_EQ(d.EndCalls, 1);
  EXPECT_FALSE(d.Notifying);
  d.DispatchStep(false);  // later steps only finish the close again
  EXPECT_EQ(closer.Calls, 1);
  EXPECT_EQ(d.EndCalls, 1);
}

TEST_F(DeliveryTest, CloseDuringDataNoticeDoesNotAdvanceTheRing) {
  TActionHandler closer;
  closer.Dispatcher = &d;
  closer.Action = [](TActionHandler& h, UINT, WPARAM) {
    Take(*h.Dispatcher, 2);
    h.Dispatcher->CloseDevice();
  };
  closer.Register();
  d.Arrive("abcd");
  d.FillInput();
  DWORD tail = d.InputTail;
  EXPECT_FALSE(d.DeliverTrigger(DM_DATA_AVAILABLE, 4, 0));
  EXPECT_EQ(d.InputTail, tail);
  EXPECT_TRUE(d.InputBuffer);  // freed by whoever drives the step
  d.DispatchStep(false);
  EXPECT_FALSE(d.InputBuffer);
}

TEST_F(DeliveryTest, DestroyingAfterADeferredCloseFinishesIt) {
  auto owned = std::make_unique<TTestDispatcher>();
  ASSERT_EQ(owned->Open(), 0);
  TActionHandler closer;
  closer.Dispatcher = owned.get();
  closer.Action = [](TActionHandler& h, UINT, WPARAM) { h.Dispatcher->CloseDevice(); };
  closer.Register();
  owned->DeliverTrigger(DM_TIMER_EXPIRED, 8, 0);
  ASSERT_TRUE(owned->CloseDeferred);
  ASSERT_TRUE(owned->Dispatching);
  int handle = owned->Handle;
  owned.reset();
  EXPECT_TRUE(static_cast<std::size_t>(handle) >= DispatcherRegistry().size() ||
              DispatcherRegistry()[handle] == nullptr);
}

TEST_F(DeliveryTest, HandlerExceptionPassesOnAndLeavesTheDispatcherConsistent) {
  TActionHandler thrower, removed;
  thrower.Dispatcher = removed.Dispatcher = &d;
  thrower.Action = [&removed](TActionHandler& h, UINT, WPARAM) {
    Take(*h.Dispatcher, 3);
    removed.Unregister();
    throw std::runtime_error("handler failed");
  };
  removed.Register();
  thrower.Register();
  d.SetAvailThreshold(1);
  d.Arrive("abcdef");
  EXPECT_THROW(d.DispatchStep(false), std::runtime_error);
  EXPECT_FALSE(d.Notifying);
  EXPECT_FALSE(d.InAvailNotify);
  EXPECT_EQ(d.EventHandlers.size(), 1u);  // the removed record is freed
  EXPECT_EQ(d.InputCount(), 6u);          // the ring is not advanced
  EXPECT_EQ(Take(d, 2), "ab");            // and reads consume again
  EXPECT_EQ(d.InputCount(), 4u);
}

TEST_F(DeliveryTest, StepInsideADeliveryOnlyMovesInputAndLogs) {
  ASSERT_EQ(d.BeginLog(4096), 0);
  TActionHandler nested;
  nested.Dispatcher = &d;
  nested.Action = [](TActionHandler& h, UINT msg, WPARAM) {
    if (msg != DM_TIMER_EXPIRED) return;
    auto& dd = static_cast<TTestDispatcher&>(*h.Dispatcher);
    dd.Arrive("late");
    dd.DispatchStep(false);
    EXPECT_EQ(dd.InputCount(), 4u);
  };
  nested.Register();
  DWORD t = d.NewTimerTrigger();
  d.ArmTimerTrigger(t, -1, true);
  d.ResetLog();
  d.DispatchStep(false);
  EXPECT_EQ(nested.Calls, 1);  // no notice: threshold 0; no nested timer delivery
  TLogEntryHeader header;
  bool sawPass = false;
  while (d.PopLogEntry(header, true))
    if (header.Type == lt_Error && header.SubType == 0) sawPass = true;
  EXPECT_TRUE(sawPass);
}

TEST_F(DeliveryTest, PollingStepTestsNoTriggers) {
  TRecordingHandler h;
  h.Dispatcher = &d;
  h.Register();
  d.SetAvailThreshold(1);
  d.Arrive("abc");
  EXPECT_EQ(d.PollDevice(), 0);
  EXPECT_EQ(d.InputCount(), 3u);
  EXPECT_TRUE(h.Calls.empty());
  d.DispatchStep(false);
  ASSERT_EQ(h.Calls.size(), 1u);
  EXPECT_EQ(h.Calls[0].WParam, 3u);
}

// ---- The dispatch window ----

TEST(DispatchWindowTest, CreatesAHiddenAwDispatchWindow) {
  WNDCLASSA existing;
  if (!GetClassInfoA(GetModuleHandleA(nullptr), "awDispatch", &existing)) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.lpszClassName = "awDispatch";
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  TTestDispatcher d;
  d.CreateDispatchWindow();
  ASSERT_NE(d.DispatchWindow, nullptr);
  EXPECT_TRUE(IsWindow(d.DispatchWindow));
  EXPECT_EQ(GetWindowClassName(d.DispatchWindow), "awDispatch");
  DestroyWindow(d.DispatchWindow);
}

}  // namespace
