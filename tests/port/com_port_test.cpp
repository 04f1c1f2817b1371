// The com port component: open and close sequences, the deferred close, callbacks, trigger
// events through its window, the trace and log switches. Its only device here is the Winsock
// connection, so a loopback peer stands behind every open port.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "dispatch/triggers.h"
#include "errors/codes.h"
#include "errors/exceptions.h"
#include "peer.h"
#include "port/winsock_dispatcher.h"
#include "port/winsock_port.h"
#include "port_test_support.h"

using namespace porttest;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

// A peer that keeps each connection until the other side closes it.
Server::Script HoldOpen() {
  return [](Conn& conn, int) { conn.WaitClosed(20000); };
}

void Target(TApdCustomWinsockPort& port, const Server& server) {
  port.SetServerAddress("127.0.0.1");
  port.SetWsPort(std::to_string(server.Port()));
  port.SetTelnetProcessing(false);
}

struct TCallbackLog {
  void Record(TObject*, bool opening) {
    Calls.push_back(std::string(Name) + (opening ? "+" : "-"));
  }
  const char* Name = "";
  std::vector<std::string>& Calls;
};

std::filesystem::path TempFile(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / ("port_tests_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto path = dir / name;
  std::filesystem::remove(path);
  return path;
}

}  // namespace

TEST(ComPort, WriteTextOnAClosedPortWithoutOpenOnDemandRaises) {
  TApdWinsockPort port(nullptr);
  port.SetOpenOnDemand(false);
  try {
    port.WriteText("x");
    FAIL();
  } catch (const ECommNotOpen& e) {
    EXPECT_EQ(e.ErrorCode, ecCommNotOpen);
  }
  EXPECT_EQ(port.GetDispatcher(), nullptr);
  EXPECT_THROW(port.RequireDispatcher(), ECommNotOpen);
}

TEST(ComPort, GetDispatcherOpensOnDemand) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  EXPECT_TRUE(port.OpenOnDemand());
  TApdBaseDispatcher* dispatcher = port.GetDispatcher();
  ASSERT_NE(dispatcher, nullptr);
  EXPECT_EQ(port.PortState, psOpen);
  EXPECT_TRUE(dynamic_cast<TApdWinsockDispatcher*>(dispatcher));
  EXPECT_EQ(dispatcher->Owner, &port);
}

TEST(ComPort, OpensOnceAndClosingAClosedPortOnlyClearsTheFlag) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  int opened = 0, closing = 0;
  port.OnPortOpened = [&](TObject*) { ++opened; };
  port.OnPortClosing = [&](TObject*) { ++closing; };
  port.SetPortOpen(false);
  EXPECT_EQ(closing, 0);
  port.SetPortOpen(true);
  port.SetPortOpen(true);
  EXPECT_EQ(opened, 1);
  EXPECT_NE(port.PortWindow(), nullptr);
  EXPECT_EQ(GetWindowClassName(port.PortWindow()), "awComWindow");
  HWND window = port.PortWindow();
  port.SetPortOpen(false);
  EXPECT_EQ(closing, 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(port.CurrentDispatcher(), nullptr);
}

TEST(ComPort, DeviceKindsWithoutADispatcherRaiseNullApi) {
  for (BYTE kind : {BYTE{1}, DeviceKindSerial, BYTE{4}}) {
    TApdWinsockPort port(nullptr);
    port.SetDeviceKind(kind);
    try {
      port.SetPortOpen(true);
      ADD_FAILURE() << "kind " << int(kind) << " opened";
    } catch (const ENullApi& e) {
      EXPECT_EQ(e.ErrorCode, ecNullApi);
    }
    EXPECT_EQ(port.PortState, psClosed);
    EXPECT_FALSE(port.PortOpen());
  }
}

TEST(ComPort, CallbacksRunLastFirstAndRemovalTakesEveryEntryOfARoutine) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen(), 2);
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  std::vector<std::string> calls;
  TCallbackLog a{"a", calls}, b{"b", calls};
  constexpr TPortCallback record = PortCallbackMethod<&TCallbackLog::Record>;
  port.AddPortCallback(record, &a);
  port.AddPortCallback(record, &b);
  port.SetPortOpen(true);
  port.SetPortOpen(false);
  EXPECT_EQ(calls, (std::vector<std::string>{"b+", "a+", "b-", "a-"}));
  calls.clear();
  port.RemovePortCallback(record);  // both entries: the object is not compared
  port.SetPortOpen(true);
  port.SetPortOpen(false);
  EXPECT_TRUE(calls.empty());
}

TEST(ComPort, FindComPortSearchesOwnedComponents) {
  TComponent form(nullptr);
  TComponent holder(&form);
  EXPECT_EQ(TApdCustomComPort::FindComPort(&form), nullptr);
  EXPECT_EQ(TApdCustomComPort::FindComPort(nullptr), nullptr);
  auto* inner = new TApdWinsockPort(&holder);
  EXPECT_EQ(TApdCustomComPort::FindComPort(&form), inner);
  auto* direct = new TApdWinsockPort(&form);
  EXPECT_EQ(TApdCustomComPort::FindComPort(&form), inner);  // first in owner order
  TObject::Free(inner);
  EXPECT_EQ(TApdCustomComPort::FindComPort(&form), direct);
}

TEST(ComPort, TriggersSurviveACloseAndAReopen) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen(), 2);
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetPortOpen(true);
  TApdBaseDispatcher* first = port.CurrentDispatcher();
  DWORD timer = first->NewTimerTrigger();
  int data = first->AddDataTrigger("END", 3, false);
  ASSERT_GT(data, 0);
  first->SetAvailThreshold(7);
  port.SetPortOpen(false);
  EXPECT_TRUE(port.SavedTriggersHeld);
  port.SetPortOpen(true);
  TApdBaseDispatcher* second = port.CurrentDispatcher();
  void* record = nullptr;
  int kind = 0;
  EXPECT_EQ(second->FindTrigger(timer, false, record, kind), 0);
  EXPECT_EQ(kind, TriggerKindTimer);
  EXPECT_EQ(second->FindTrigger(static_cast<DWORD>(data), false, record, kind), 0);
  EXPECT_EQ(kind, TriggerKindData);
  EXPECT_EQ(second->AvailThreshold, 7);
  EXPECT_FALSE(port.SavedTriggersHeld);
}

TEST(ComPort, TriggerEventsArriveThroughThePortWindow) {
  testsupport::Watchdog watchdog;
  Server peer([](Conn& conn, int) {
    conn.Send("12345");
    conn.WaitClosed();
  });
  TCaughtExceptions caught;
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetPortOpen(true);
  TApdBaseDispatcher* dispatcher = port.CurrentDispatcher();
  // No trigger event: the port window does not want trigger messages.
  EXPECT_FALSE(dispatcher->PortWindowWanted);
  std::vector<std::string> seen;
  WORD readyCount = 0;
  port.SetOnAnyTrigger(
      [&](TObject*, WORD msg, WORD, WORD) { seen.push_back(std::to_string(msg)); });
  port.SetOnDataReady([&](TObject* sender, WORD count) {
    EXPECT_EQ(sender, &port);
    readyCount = count;
    char buffer[16];
    dispatcher->ReadInput(buffer, count);
  });
  WORD expired = 0;
  port.SetOnTimerExpired([&](TObject*, WORD handle) {
    expired = handle;
    throw std::runtime_error("handler failure");
  });
  EXPECT_TRUE(dispatcher->PortWindowWanted);
  DWORD timer = dispatcher->NewTimerTrigger();
  dispatcher->ArmTimerTrigger(timer, 1, true);
  ASSERT_TRUE(PumpUntil([&] { return readyCount == 5 && expired != 0; }));
  EXPECT_EQ(expired, timer);
  // The handler's exception is shown, not passed on.
  EXPECT_EQ(caught.Messages, std::vector<std::string>{"handler failure"});
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::to_string(DM_DATA_AVAILABLE)), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::to_string(DM_TIMER_EXPIRED)), seen.end());
}

// Data-match and status messages reach the events of their kind: the kind of a status
// trigger is read off its handle.
TEST(ComPort, MatchAndStatusTriggersReachTheirEvents) {
  testsupport::Watchdog watchdog;
  Server peer([](Conn& conn, int) {
    conn.Recv(2);
    conn.Send("12345");
    conn.WaitClosed();
  });
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  std::vector<std::string> events;
  port.SetOnDataMatch(
      [&](TObject*, WORD handle) { events.push_back("match " + std::to_string(handle)); });
  port.OnOutputFree = [&](TObject*) { events.push_back("free"); };
  port.OnOutputUsed = [&](TObject*) { events.push_back("used"); };
  port.OnOutputSent = [&](TObject*) { events.push_back("sent"); };
  port.SetOnStatusTrigger(
      [&](TObject*, WORD handle) { events.push_back("status " + std::to_string(handle & 7)); });
  port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return port.CurrentDispatcher()->ModemBits & 0x80; }));
  TApdBaseDispatcher* dispatcher = port.CurrentDispatcher();
  const int match = dispatcher->AddDataTrigger("34", 2, false);
  ASSERT_GT(match, 0);
  const int sent = dispatcher->AddStatusTrigger(stOutSent);
  ASSERT_GT(sent, 0);
  ASSERT_EQ(dispatcher->SetStatusTrigger(sent, 0, true), 0);
  port.WriteText("go");
  ASSERT_TRUE(PumpUntil([&] {
    return std::find(events.begin(), events.end(), "match " + std::to_string(match)) !=
           events.end();
  }));
  EXPECT_NE(std::find(events.begin(), events.end(), "sent"), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), "status 5"), events.end());
  EXPECT_EQ(std::count(events.begin(), events.end(), "free"), 0);
  // Output room and output use, both holding now that everything has been sent.
  events.clear();
  const int free = dispatcher->AddStatusTrigger(stOutBuffFree);
  const int used = dispatcher->AddStatusTrigger(stOutBuffUsed);
  ASSERT_GT(free, 0);
  ASSERT_GT(used, 0);
  EXPECT_EQ(free & 7, stOutBuffFree);
  EXPECT_EQ(used & 7, stOutBuffUsed);
  ASSERT_EQ(dispatcher->SetStatusTrigger(free, 1, true), 0);
  ASSERT_EQ(dispatcher->SetStatusTrigger(used, 0, true), 0);
  ASSERT_TRUE(PumpUntil([&] {
    return std::count(events.begin(), events.end(), "free") == 1 &&
           std::count(events.begin(), events.end(), "used") == 1;
  }));
  EXPECT_NE(std::find(events.begin(), events.end(), "status 3"), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), "status 4"), events.end());
  EXPECT_EQ(std::count(events.begin(), events.end(), "sent"), 0);
}

TEST(ComPort, CloseFromAHandlerIsDeferredAndAPendingOpenFollows) {
  testsupport::Watchdog watchdog;
  Server peer(
      [](Conn& conn, int index) {
        if (index == 0) conn.Send("go");
        conn.WaitClosed();
      },
      2);
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  TPortState stateInHandler = psOpen;
  bool ringKeptInHandler = false;
  int reopened = 0;
  port.OnPortOpened = [&](TObject*) { ++reopened; };
  port.SetPortOpen(true);
  TApdBaseDispatcher* dispatcher = port.CurrentDispatcher();
  struct TCloser {
    void Handle(UINT msg, WPARAM, LPARAM) {
      if (msg != DM_DATA_AVAILABLE || done) return;
      done = true;
      port->SetPortOpen(false);
      *state = port->PortState;
      *ringKept = port->CurrentDispatcher() && port->CurrentDispatcher()->InputBuffer != nullptr;
      port->SetPortOpen(true);  // asked for while closing
    }
    TApdWinsockPort* port;
    TPortState* state;
    bool* ringKept;
    bool done = false;
  } closer{&port, &stateInHandler, &ringKeptInHandler};
  dispatcher->AddEventHandler(ApdMethod<&TCloser::Handle>, &closer);
  ASSERT_TRUE(PumpUntil([&] { return closer.done; }));
  EXPECT_EQ(stateInHandler, psClosing);
  EXPECT_TRUE(ringKeptInHandler);
  ASSERT_TRUE(PumpUntil([&] { return reopened == 2 && port.PortState == psOpen; }));
  EXPECT_NE(port.CurrentDispatcher(), nullptr);
  EXPECT_FALSE(port.OpenPending);
  EXPECT_TRUE(port.PortOpen());
}

TEST(ComPort, TraceAndLogSwitchesWhileClosed) {
  TApdWinsockPort port(nullptr);
  port.SetTracing(tlDump);
  EXPECT_EQ(port.Tracing(), tlOff);
  port.SetTracing(tlOn);
  EXPECT_EQ(port.Tracing(), tlOn);
  port.SetTracing(tlPause);
  EXPECT_EQ(port.Tracing(), tlOff);
  port.SetLogging(tlAppend);
  EXPECT_EQ(port.Logging(), tlOff);
  port.SetTraceSize(5000000);
  EXPECT_EQ(port.TraceSize(), MaxTraceSize);
  port.SetLogSize(20000000);
  EXPECT_EQ(port.LogSize(), MaxLogSize);
  port.SetTraceName(std::string(300, 'n'));
  EXPECT_EQ(port.TraceName().size(), 255u);
  EXPECT_EQ(port.TraceName(), std::string(255, 'n'));
}

TEST(ComPort, RunningTraceAndLogAreWrittenWhenThePortCloses) {
  testsupport::Watchdog watchdog;
  Server peer([](Conn& conn, int) {
    conn.Send("traced");
    conn.WaitClosed();
  });
  auto trace = TempFile("close.trc");
  auto log = TempFile("close.log");
  TApdWinsockPort port(nullptr);
  TDataSink sink(port);
  Target(port, peer);
  port.SetTraceName(trace.string());
  port.SetLogName(log.string());
  port.SetTracing(tlOn);
  port.SetLogging(tlOn);
  port.SetPortOpen(true);
  EXPECT_TRUE(port.CurrentDispatcher()->Tracing);
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "traced"; }));
  // A new size restarts a running trace; a paused one ends.
  port.SetTraceSize(500);
  EXPECT_EQ(port.Tracing(), tlOn);
  EXPECT_EQ(port.CurrentDispatcher()->TraceMax, 500u);
  port.SetLogging(tlPause);
  EXPECT_EQ(port.Logging(), tlPause);
  port.SetLogging(tlOn);
  port.WriteText("sent");
  EXPECT_FALSE(std::filesystem::exists(trace));
  port.SetPortOpen(false);
  ASSERT_TRUE(std::filesystem::exists(trace));
  std::ifstream traced(trace);
  std::string text((std::istreambuf_iterator<char>(traced)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Transmit"), std::string::npos) << text;
  ASSERT_TRUE(std::filesystem::exists(log));
  EXPECT_GT(std::filesystem::file_size(log), 0u);
  EXPECT_EQ(port.Tracing(), tlOff);
  EXPECT_EQ(port.Logging(), tlOff);
}

TEST(ComPort, PausedTraceEndsOffWhenItsSizeChanges) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetPortOpen(true);
  port.SetTracing(tlOn);
  port.SetTracing(tlPause);
  EXPECT_EQ(port.Tracing(), tlPause);
  port.SetTraceSize(1234);
  EXPECT_EQ(port.Tracing(), tlOff);
  EXPECT_FALSE(port.CurrentDispatcher()->Tracing);
}

TEST(ComPort, OpenAfterLoading) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetLoading(true);
  port.SetPortOpen(true);
  EXPECT_TRUE(port.OpenAfterLoad);
  EXPECT_EQ(port.PortState, psClosed);
  port.Loaded();
  EXPECT_EQ(port.PortState, psOpen);
  EXPECT_FALSE(port.OpenAfterLoad);
}

TEST(ComPort, FailedOpenAfterLoadingIsShownAndLeavesThePortClosed) {
  TCaughtExceptions caught;
  TApdWinsockPort port(nullptr);
  port.SetLoading(true);
  port.SetPortOpen(true);  // no server address
  port.Loaded();
  EXPECT_EQ(port.PortState, psClosed);
  EXPECT_FALSE(port.PortOpen());
  ASSERT_EQ(caught.Messages.size(), 1u);
  EXPECT_EQ(caught.Messages[0], "The destination address is required for this operation");
}

TEST(ComPort, DestroyingAnOpenPortClosesIt) {
  testsupport::Watchdog watchdog;
  bool peerSawClose = false;
  Server peer([&](Conn& conn, int) { peerSawClose = conn.WaitClosed(); });
  auto* port = new TApdWinsockPort(nullptr);
  Target(*port, peer);
  int disconnected = 0;
  port->OnDisconnected = [&](TObject*) { ++disconnected; };
  port->SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return port->CurrentDispatcher()->ModemBits != 0; }));
  TObject::Free(port);
  EXPECT_EQ(disconnected, 1);
  ASSERT_TRUE(peer.Join());
  EXPECT_TRUE(peerSawClose);
}

TEST(ComPort, FlowLevelsAndSignalSettings) {
  TApdWinsockPort port(nullptr);
  port.SetHWFlowOptions(hwfUseRTS);
  EXPECT_EQ(port.BufferFull(), 3686);  // 0.9 of the input buffer
  EXPECT_EQ(port.BufferResume(), 409);
  port.SetRS485Mode(true);
  EXPECT_EQ(port.HWFlowOptions(), 0);
  EXPECT_FALSE(port.RTS());
  port.SetHWFlowOptions(hwfRequireCTS);
  EXPECT_FALSE(port.RS485Mode());

  TApdWinsockPort soft(nullptr);
  soft.SetSWFlowOptions(swfBoth);
  EXPECT_EQ(soft.BufferFull(), 3072);  // 0.75
  EXPECT_EQ(soft.BufferResume(), 1024);
}

TEST(ComPort, SettingsArePushedWhenThePortOpens) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen(), 2);
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetDataReadyLevel(3);
  port.SetPortOpen(true);
  TApdBaseDispatcher* d = port.CurrentDispatcher();
  EXPECT_EQ(d->AvailThreshold, 3);
  EXPECT_NE(d->OptionBits & 4, 0u);  // the event-word option
  EXPECT_TRUE(d->DtrState);
  EXPECT_TRUE(d->RtsState);
  port.SetUseEventWord(false);
  EXPECT_EQ(d->OptionBits & 4, 0u);
  port.SetPortOpen(false);
  port.SetDTR(false);
  port.SetPortOpen(true);
  EXPECT_FALSE(port.CurrentDispatcher()->DtrState);
  EXPECT_EQ(port.CurrentDispatcher()->OptionBits & 4, 0u);
}

TEST(ComPort, TraceSwitchActsOnTheValueWithoutItsHighBit) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  auto trace = TempFile("append.trc");
  {
    std::ofstream earlier(trace);
    earlier << "EARLIER TRACE\n";
  }
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetTraceName(trace.string());
  port.SetPortOpen(true);
  port.SetTracing(tlOn);
  port.WriteText("sent");
  // tlAppend with bit 7 set is still an append: the earlier file stays in front.
  port.SetTracing(static_cast<TTraceLogState>(tlAppend + 128));
  EXPECT_EQ(port.Tracing(), tlOff);
  std::ifstream traced(trace);
  std::string text((std::istreambuf_iterator<char>(traced)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("EARLIER TRACE\n", 0), 0u) << text;
  EXPECT_NE(text.find("Transmit"), std::string::npos) << text;
}

TEST(ComPort, CallbacksToldOfAnOpenHearOfItsFailure) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen(), 2);
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  struct TWatcher {
    void Change(TObject* sender, bool opening) {
      auto* p = static_cast<TApdCustomComPort*>(sender);
      Calls.push_back(opening ? "+" : "-");
      if (opening) {
        Attached = p->CurrentDispatcher();
      } else {
        // The dispatcher it attached to is still there to detach from.
        DetachedFromLive = Attached != nullptr && p->CurrentDispatcher() == Attached;
        Attached = nullptr;
      }
    }
    std::vector<std::string> Calls;
    TApdBaseDispatcher* Attached = nullptr;
    bool DetachedFromLive = false;
  } watcher;
  port.AddPortCallback(PortCallbackMethod<&TWatcher::Change>, &watcher);
  port.OnPortOpened = [](TObject*) { throw std::runtime_error("opened handler failed"); };
  EXPECT_THROW(port.SetPortOpen(true), std::runtime_error);
  EXPECT_EQ(port.PortState, psClosed);
  EXPECT_FALSE(port.PortOpen());
  EXPECT_EQ(port.CurrentDispatcher(), nullptr);
  EXPECT_EQ(watcher.Calls, (std::vector<std::string>{"+", "-"}));
  EXPECT_TRUE(watcher.DetachedFromLive);
  EXPECT_EQ(watcher.Attached, nullptr);

  port.OnPortOpened = nullptr;
  port.SetPortOpen(true);
  EXPECT_EQ(port.PortState, psOpen);
  EXPECT_EQ(watcher.Calls.back(), "+");
  port.SetPortOpen(false);
  port.RemovePortCallback(PortCallbackMethod<&TWatcher::Change>);
}

TEST(ComPort, FlowAndRs485ChangesReachAnOpenDevice) {
  testsupport::Watchdog watchdog;
  Server peer(HoldOpen());
  TApdWinsockPort port(nullptr);
  Target(port, peer);
  port.SetPortOpen(true);
  TApdBaseDispatcher* d = port.CurrentDispatcher();
  port.SetHWFlowOptions(hwfUseRTS);
  EXPECT_TRUE(d->RtsHandshake);
  // RS-485 takes RTS away from the handshake and drops it, on the device as in the port.
  port.SetRS485Mode(true);
  EXPECT_EQ(port.HWFlowOptions(), 0);
  EXPECT_FALSE(port.RTS());
  EXPECT_TRUE(d->Rs485Mode);
  EXPECT_FALSE(d->RtsHandshake);
  EXPECT_FALSE(d->RtsState);
  // A CTS handshake ends RS-485 mode on the device too.
  port.SetHWFlowOptions(hwfRequireCTS);
  EXPECT_FALSE(port.RS485Mode());
  EXPECT_FALSE(d->Rs485Mode);
  EXPECT_TRUE(d->LineSettings.OutxCtsFlow);
  EXPECT_NE(d->LineSettings.RtsControl, LineControlToggle);
}
