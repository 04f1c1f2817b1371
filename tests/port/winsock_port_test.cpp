// The Winsock port with its dispatcher and the device socket, against loopback peers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "dispatch/tick_clock.h"
#include "errors/code_message.h"
#include "errors/codes.h"
#include "forms/properties.h"
#include "peer.h"
#include "port/device_socket.h"
#include "port/winsock_binding.h"
#include "port/winsock_dispatcher.h"
#include "port/winsock_port.h"
#include "port_test_support.h"

using namespace porttest;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

// A client-role port with recorders on every event.
struct TPortFixture {
  explicit TPortFixture(int port, bool telnet = false) : Port(nullptr), Sink(Port) {
    Port.SetServerAddress("127.0.0.1");
    Port.SetWsPort(std::to_string(port));
    Port.SetTelnetProcessing(telnet);
    Port.OnConnected = [this](TObject*) { ++Connected; };
    Port.OnDisconnected = [this](TObject*) { ++Disconnected; };
    Port.OnSocketError = [this](TObject*, int code) { Errors.push_back(code); };
  }
  ~TPortFixture() { Port.SetPortOpen(false); }

  TApdWinsockDispatcher* Dispatcher() {
    return static_cast<TApdWinsockDispatcher*>(Port.CurrentDispatcher());
  }

  TCaughtExceptions Caught;
  TApdWinsockPort Port;
  TDataSink Sink;
  int Connected = 0;
  int Disconnected = 0;
  std::vector<int> Errors;
};

// A server-role port listening on a free port of its own, with a data sink.
class WinsockServerPort : public ::testing::Test {
 protected:
  WinsockServerPort() {
    port.SetPortRole(prServer);
    port.SetTelnetProcessing(false);
    port.SetWsPort(std::to_string(listenPort));
  }
  testsupport::Watchdog watchdog;
  TApdWinsockPort port{nullptr};
  TDataSink sink{port};
  const int listenPort = UnusedPort();
};

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xFF);
  return out;
}

}  // namespace

TEST(WinsockPort, EchoesTextThroughTheDispatcher) {
  testsupport::Watchdog watchdog;
  Server echo([](Conn& conn, int) {
    std::string got = conn.Recv(13);
    conn.Send(got);
    conn.WaitClosed();
  });
  TPortFixture f(echo.Port());
  f.Port.SetPortOpen(true);
  EXPECT_EQ(f.Port.PortState, psOpen);
  EXPECT_TRUE(f.Port.PortOpen());
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  EXPECT_EQ(f.Dispatcher()->ModemBits & 0x80, 0x80u);  // carrier while connected
  f.Port.WriteText("hello, world\n");
  ASSERT_TRUE(PumpUntil([&] { return f.Sink.Data.size() >= 13; }));
  EXPECT_EQ(f.Sink.Data, "hello, world\n");
  EXPECT_TRUE(f.Errors.empty());
  f.Port.SetPortOpen(false);
  EXPECT_EQ(f.Port.PortState, psClosed);
  EXPECT_EQ(f.Disconnected, 1);  // closing from the program runs the disconnected raiser too
  EXPECT_TRUE(echo.Join());
}

TEST(WinsockPort, WritesBeforeTheConnectCompleteWaitForIt) {
  testsupport::Watchdog watchdog;
  std::string got;
  Server peer([&](Conn& conn, int) { got = conn.Recv(4); });
  TPortFixture f(peer.Port());
  f.Port.SetPortOpen(true);
  f.Port.WriteText("early");  // the connect has only been started
  ASSERT_TRUE(PumpUntil([&] { return peer.Finished(); }));
  EXPECT_EQ(got, "earl");
}

TEST(WinsockPort, MovesLargeBinaryStreamsBothWaysIntact) {
  testsupport::Watchdog watchdog(120);
  const std::string payload = RandomBytes(3 * 1024 * 1024 + 17, 7);
  std::string echoed;
  Server echo([&](Conn& conn, int) {
    // Send everything first, then take the same amount back.
    std::thread writer([&] { conn.Send(payload); });
    echoed = conn.Recv(payload.size(), 60000);
    writer.join();
  });
  TPortFixture f(echo.Port());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  std::size_t written = 0;
  bool done = PumpUntil(
      [&] {
        // Hand over as much as the output room takes; the rest waits for the next round.
        while (written < payload.size()) {
          DWORD room = f.Dispatcher()->OutputFree();
          if (room == 0) break;
          DWORD n = std::min<DWORD>(room, static_cast<DWORD>(payload.size() - written));
          if (f.Dispatcher()->WriteOutput(payload.data() + written, n) != 0) break;
          written += n;
        }
        return written == payload.size() && f.Sink.Data.size() == payload.size();
      },
      60000);
  ASSERT_TRUE(done) << "written " << written << ", received " << f.Sink.Data.size();
  EXPECT_TRUE(f.Sink.Data == payload);
  ASSERT_TRUE(echo.Join(60000));
  EXPECT_TRUE(echoed == payload);
}

// Winsock gives a closed socket's handle to the next socket at once, while notices of the
// closed one may still wait in the queue (here the peer's close, noticed but not yet taken
// when the port closed): they are not about the next port's connection.
TEST(WinsockPort, NoticesQueuedForAClosedPortMissTheNextOnTheSameHandle) {
  testsupport::Watchdog watchdog;
  std::atomic<bool> done{false};
  std::atomic<bool> closed{false};
  // Its socket stays until the end, so that the port's is the one handle freed meanwhile.
  Server first([&](Conn& conn, int) {
    conn.ShutdownSend();
    closed = true;
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Server second([&](Conn& conn, int) {
    conn.Send("hello");
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  TSocket handle = NoSocket;
  {
    TPortFixture f(first.Port());
    f.Port.SetPortOpen(true);
    ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
    handle = f.Dispatcher()->Connection()->MainSocket;
    while (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Looks at the sockets without taking any message for a while.
    MSG msg;
    for (int i = 0; i < 40; ++i) {
      PeekMessageA(&msg, nullptr, WM_USER + 0x7F00, WM_USER + 0x7F00, PM_NOREMOVE);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(PeekMessageA(&msg, DeviceSocket().NoticeWindow(), CM_APDSOCKETMESSAGE,
                             CM_APDSOCKETMESSAGE, PM_NOREMOVE));
  }
  TPortFixture g(second.Port());
  g.Port.SetPortOpen(true);
  // Windows and Wine give the handle out again here; the stand-in never does.
  if (g.Dispatcher()->Connection()->MainSocket != handle) {
    done = true;
    GTEST_SKIP() << "the socket library gave the closed socket's handle to no new socket";
  }
  EXPECT_TRUE(PumpUntil([&] { return g.Sink.Data == "hello"; }))
      << "received \"" << g.Sink.Data << "\"";
  PumpFor(200);  // a close request posted meanwhile would be taken now
  EXPECT_TRUE(g.Port.PortOpen());
  EXPECT_EQ(g.Disconnected, 0);
  EXPECT_EQ(g.Connected, 1);
  done = true;
  g.Port.SetPortOpen(false);
  EXPECT_TRUE(first.Join());
  EXPECT_TRUE(second.Join());
}

// Bulk input, written by the peer in uneven pieces so that the positions of both rings drift
// across their ends: every byte arrives once and in order, and no notice announces more than
// the dispatcher's ring holds. With input buffers smaller than the dispatcher's ring, a read
// hands out the connection ring's bytes and takes the rest straight from the socket.
class BulkInput : public ::testing::TestWithParam<WORD> {};

INSTANTIATE_TEST_SUITE_P(InputBufferSizes, BulkInput, ::testing::Values(65535, 4096, 1000));

TEST_P(BulkInput, ArrivesWholeInRingSizedNotices) {
  testsupport::Watchdog watchdog(120);
  const std::string payload = RandomBytes(6 * 1024 * 1024 + 4321, 5);
  std::atomic<bool> received{false};
  Server sender([&](Conn& conn, int) {
    std::mt19937 random(3);
    for (std::size_t at = 0; at < payload.size();) {
      std::size_t n = std::min<std::size_t>(1 + random() % 90000, payload.size() - at);
      if (!conn.Send(payload.substr(at, n))) return;
      at += n;
    }
    // Stay connected until everything is in: this test is about the stream, not the close.
    for (int i = 0; i < 6000 && !received; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  TPortFixture f(sender.Port());
  f.Port.SetInputBufferSize(GetParam());
  WPARAM largest = 0;
  f.Port.SetPortOpen(true);
  struct TNoticeSize {
    void Handle(UINT msg, WPARAM wParam, LPARAM) {
      if (msg == DM_DATA_AVAILABLE && wParam > *Largest) *Largest = wParam;
    }
    WPARAM* Largest;
  } noticeSize{&largest};
  f.Dispatcher()->AddEventHandler(ApdMethod<&TNoticeSize::Handle>, &noticeSize);
  bool done = PumpUntil([&] { return f.Sink.Data.size() >= payload.size(); }, 60000);
  received = true;
  // A port that closed has taken its dispatcher, and the handler with it, along.
  ASSERT_NE(f.Dispatcher(), nullptr)
      << "the port closed after " << f.Sink.Data.size() << " of " << payload.size() << " bytes";
  f.Dispatcher()->RemoveEventHandler(ApdMethod<&TNoticeSize::Handle>, &noticeSize);
  ASSERT_TRUE(done) << "received " << f.Sink.Data.size() << " of " << payload.size();
  EXPECT_TRUE(f.Sink.Data == payload);
  EXPECT_LE(largest, WPARAM{InputRingSize});
  EXPECT_GE(f.Sink.Notices, static_cast<int>(payload.size() / InputRingSize));
  ASSERT_TRUE(sender.Join(10000));
}

TEST(WinsockPort, FullOutputRingKeepsTheRestWithTheCaller) {
  testsupport::Watchdog watchdog(60);
  std::atomic<bool> startReading{false};
  std::string received;
  Server slow([&](Conn& conn, int) {
    while (!startReading) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    received = conn.RecvUntilClosed(20000);
  });
  TPortFixture f(slow.Port());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  TWsConnection* connection = f.Dispatcher()->Connection();
  ASSERT_NE(connection, nullptr);
  // Straight into the device until the socket and the ring are both full.
  const std::string block = RandomBytes(4096, 3);
  std::string accepted;
  int shortWrites = 0;
  for (int i = 0; i < 20000 && shortWrites == 0; ++i) {
    int n = f.Dispatcher()->DeviceWrite(block.data(), static_cast<DWORD>(block.size()));
    accepted.append(block, 0, static_cast<std::size_t>(n));
    if (n < static_cast<int>(block.size())) ++shortWrites;
  }
  ASSERT_EQ(shortWrites, 1) << "the socket never filled up";
  EXPECT_GT(connection->OutStored(), 0u);
  startReading = true;
  // What the ring holds leaves as the socket takes it, without further writes.
  ASSERT_TRUE(PumpUntil([&] { return connection->OutStored() == 0; }, 20000));
  f.Port.SetPortOpen(false);
  ASSERT_TRUE(slow.Join(20000));
  EXPECT_EQ(received.size(), accepted.size());
  EXPECT_TRUE(received == accepted);
}

// A negotiation reply that finds the output ring full waits behind what the ring holds and
// goes out whole; nothing written later overtakes it.
TEST(WinsockPort, NegotiationReplyToAFullOutputRingGoesOutWholeAndInOrder) {
  testsupport::Watchdog watchdog(60);
  std::atomic<bool> startReading{false};
  std::string received;
  Server slow([&](Conn& conn, int) {
    conn.Send(Bytes({0xFF, 0xFB, 0x01}));  // WILL ECHO
    while (!startReading) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    received = conn.RecvUntilClosed(20000);
  });
  TPortFixture f(slow.Port(), true);
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  TWsConnection* connection = f.Dispatcher()->Connection();
  ASSERT_NE(connection, nullptr);
  const std::string block(4096, 'A');
  std::string accepted;
  for (int i = 0; i < 20000 && !connection->OutputRingFull(); ++i) {
    int n = f.Dispatcher()->DeviceWrite(block.data(), static_cast<DWORD>(block.size()));
    accepted.append(block, 0, static_cast<std::size_t>(n));
  }
  ASSERT_TRUE(connection->OutputRingFull()) << "the socket never filled up";
  PumpFor(100);  // the WILL ECHO is read and answered meanwhile
  // Later output waits for the reply.
  const std::string later = "later";
  int taken = f.Dispatcher()->DeviceWrite(later.data(), static_cast<DWORD>(later.size()));
  accepted += Bytes({0xFF, 0xFD, 0x01}) + later.substr(0, static_cast<std::size_t>(taken));
  startReading = true;
  ASSERT_TRUE(PumpUntil([&] { return connection->OutStored() == 0; }, 20000));
  if (taken == 0) {
    ASSERT_EQ(f.Dispatcher()->DeviceWrite(later.data(), static_cast<DWORD>(later.size())), 5);
    accepted += later;
    ASSERT_TRUE(PumpUntil([&] { return connection->OutStored() == 0; }, 20000));
  }
  PumpFor(50);
  f.Port.SetPortOpen(false);
  ASSERT_TRUE(slow.Join(20000));
  EXPECT_EQ(received.size(), accepted.size());
  EXPECT_TRUE(received == accepted);
}

namespace {

// Records the sends of the socket library while it lives; the sends themselves still happen.
class TSendRecorder {
 public:
  TSendRecorder() : FReal(WinsockEntryTable().send) {
    Active = this;
    WinsockEntryTable().send = &Record;
  }
  ~TSendRecorder() {
    WinsockEntryTable().send = FReal;
    Active = nullptr;
  }
  TSendRecorder(const TSendRecorder&) = delete;
  TSendRecorder& operator=(const TSendRecorder&) = delete;

  std::vector<std::string> Sends;  // the bytes each send took

 private:
  static int Record(winsock::SOCKET s, const char* buf, int len, int flags) {
    int n = Active->FReal(s, buf, len, flags);
    if (n > 0) Active->Sends.emplace_back(buf, static_cast<std::size_t>(n));
    return n;
  }
  static inline TSendRecorder* Active = nullptr;
  winsock::Tfn_send FReal;
};

}  // namespace

// A command leaves in one send, and so (written one at a time on loopback) arrives in one
// receive, also where the output ring wraps: some servers never answer a line whose CR and
// LF arrive apart. Cases: a command that ends exactly at the ring's end, one whose CR is the
// ring's last byte and its LF the first, one that wraps in its middle.
TEST(WinsockPort, ACommandWhereTheOutputRingWrapsLeavesInOneSend) {
  testsupport::Watchdog watchdog(60);
  std::mutex lock;
  std::vector<std::string> arrivals;
  std::atomic<std::size_t> arrived{0};
  Server peer([&](Conn& conn, int) {
    for (;;) {
      std::string chunk = conn.RecvSome(10000);
      if (chunk.empty()) break;
      std::lock_guard guard(lock);
      arrivals.push_back(chunk);
      arrived += chunk.size();
    }
  });
  TPortFixture f(peer.Port());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  TWsConnection* connection = f.Dispatcher()->Connection();
  ASSERT_NE(connection, nullptr);
  const std::size_t ring = connection->OutSize;
  ASSERT_EQ(ring, 8192u);

  TSendRecorder sends;
  std::vector<std::string> written;
  std::size_t offset = 0;
  auto write = [&](const std::string& command) {
    written.push_back(command);
    f.Port.WriteText(command);
    offset += command.size();
    return PumpUntil([&] { return arrived == offset; });
  };
  const std::string command = "PORT 127,0,0,1,214,149\r\n";
  for (std::size_t end : {ring, 2 * ring + 1, 3 * ring + 10}) {
    const std::size_t start = end - command.size();
    while (offset < start) {
      const std::size_t n = std::min<std::size_t>(start - offset, 1000);
      ASSERT_TRUE(write((std::string(n > 2 ? n - 2 : 0, 'x') + "\r\n").substr(0, n)));
    }
    ASSERT_EQ(connection->OutWrite, start % ring);
    ASSERT_TRUE(write(command)) << "command ending at " << end;
  }
  EXPECT_EQ(sends.Sends.size(), written.size());
  EXPECT_TRUE(sends.Sends == written);
  f.Port.SetPortOpen(false);
  ASSERT_TRUE(peer.Join());
  EXPECT_EQ(arrivals.size(), written.size());
  EXPECT_TRUE(arrivals == written);
}

TEST(WinsockPort, RefusedConnectReportsTheErrorAndStaysOpen) {
  testsupport::Watchdog watchdog;
  TPortFixture f(UnusedPort());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return !f.Errors.empty(); }));
  EXPECT_EQ(f.Errors, std::vector<int>{winsock::WSAECONNREFUSED});
  PumpFor(100);
  EXPECT_EQ(f.Port.PortState, psOpen);
  EXPECT_TRUE(f.Port.PortOpen());
  EXPECT_EQ(f.Connected, 0);
  f.Port.SetPortOpen(false);
  EXPECT_EQ(f.Port.PortState, psClosed);
  EXPECT_EQ(f.Disconnected, 1);
}

TEST(WinsockPort, PeerResetClosesThePortOnce) {
  testsupport::Watchdog watchdog;
  Server peer([](Conn& conn, int) {
    conn.Send("bye");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    conn.Reset();
  });
  TPortFixture f(peer.Port());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }));
  PumpFor(100);
  EXPECT_FALSE(f.Port.PortOpen());
  EXPECT_EQ(f.Disconnected, 1);
  EXPECT_EQ(f.Connected, 1);
  ASSERT_FALSE(f.Errors.empty());
  for (int code : f.Errors)
    EXPECT_TRUE(code == winsock::WSAECONNABORTED || code == winsock::WSAECONNRESET) << code;
  EXPECT_EQ(f.Sink.Data, "bye");
}

class PeerClose : public ::testing::TestWithParam<WORD> {};

TEST_P(PeerClose, DeliversTheLastBytesThenClosesThePort) {
  testsupport::Watchdog watchdog;
  // More than one processing pass takes, all sent and closed before the port reads anything:
  // the close notice then arrives while many of the bytes still wait in the socket.
  const std::string tail = RandomBytes(150000, 11);
  Server peer([&](Conn& conn, int) {
    conn.Send(tail);
    conn.Close();
  });
  TPortFixture f(peer.Port());
  f.Port.SetInputBufferSize(GetParam());
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(peer.Join(5000));
  ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }, 10000));
  EXPECT_EQ(f.Sink.Data.size(), tail.size());
  EXPECT_TRUE(f.Sink.Data == tail);
  EXPECT_EQ(f.Disconnected, 1);
  EXPECT_TRUE(f.Errors.empty());
}

// Small reads make many passes; a large ring makes every step fill the dispatcher's whole
// ring, which its indices alone would not show as progress.
INSTANTIATE_TEST_SUITE_P(InputSizes, PeerClose, ::testing::Values(WORD{64}, WORD{65535}));

TEST(WinsockPort, HandlersThatPumpMessagesDoNotNestPasses) {
  testsupport::Watchdog watchdog;
  const std::string payload = RandomBytes(300000, 5);
  Server peer([&](Conn& conn, int) {
    for (std::size_t at = 0; at < payload.size(); at += 1000) {
      conn.Send(payload.substr(at, 1000));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    conn.WaitClosed();
  });
  TPortFixture f(peer.Port());
  int depth = 0, deepest = 0;
  f.Sink.OnData = [&] {
    ++depth;
    deepest = std::max(deepest, depth);
    // Notices arrive meanwhile; the pass they ask for follows this one.
    for (int i = 0; i < 5; ++i) PumpOneMessage();
    --depth;
  };
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Sink.Data.size() >= payload.size(); }, 20000));
  EXPECT_TRUE(f.Sink.Data == payload);
  EXPECT_EQ(deepest, 1);
}

// The peer's close may be noticed while a handler pumps messages inside a processing pass:
// the bytes still waiting behind it are delivered all the same, before the port closes.
TEST(WinsockPort, APeerCloseNoticedInsideAPassLosesNothing) {
  testsupport::Watchdog watchdog;
  for (WORD inputSize : {WORD{64}, WORD{4096}}) {
    const std::string payload = RandomBytes(200000, 9);
    Server peer([&](Conn& conn, int) {
      for (std::size_t at = 0; at < payload.size(); at += 20000)
        conn.Send(payload.substr(at, 20000));
      conn.Close();
    });
    TPortFixture f(peer.Port());
    f.Port.SetInputBufferSize(inputSize);
    f.Sink.OnData = [&] {
      for (int i = 0; i < 5; ++i) PumpOneMessage();
    };
    f.Port.SetPortOpen(true);
    ASSERT_TRUE(peer.Join(5000));
    ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }, 20000));
    EXPECT_EQ(f.Sink.Data.size(), payload.size()) << inputSize;
    EXPECT_TRUE(f.Sink.Data == payload) << inputSize;
    EXPECT_EQ(f.Disconnected, 1);
    EXPECT_TRUE(f.Errors.empty());
  }
}

TEST(WinsockPort, ClosingFromConnectedAndErrorEventsFinishesCleanly) {
  testsupport::Watchdog watchdog;
  {
    Server peer(
        [](Conn& conn, int) {
          conn.Send("greeting");
          conn.WaitClosed();
        },
        1);
    TPortFixture f(peer.Port());
    f.Port.OnConnected = [&](TObject*) {
      ++f.Connected;
      f.Port.SetPortOpen(false);
      f.Port.WriteText("ignored while closing");
      f.Port.SetWsPort("ftp");  // allowed while closing
    };
    f.Port.SetPortOpen(true);
    ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }));
    EXPECT_EQ(f.Connected, 1);
    EXPECT_EQ(f.Disconnected, 1);
    EXPECT_EQ(f.Port.WsPort(), "ftp");
    EXPECT_TRUE(f.Caught.Messages.empty());
    EXPECT_TRUE(peer.Join());
  }
  {
    TPortFixture f(UnusedPort());
    f.Port.OnSocketError = [&](TObject*, int code) {
      f.Errors.push_back(code);
      f.Port.SetPortOpen(false);
    };
    f.Port.SetPortOpen(true);
    ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }));
    EXPECT_EQ(f.Errors, std::vector<int>{winsock::WSAECONNREFUSED});
    EXPECT_EQ(f.Disconnected, 1);
    // Opens again afterwards.
    f.Port.SetPortOpen(true);
    EXPECT_EQ(f.Port.PortState, psOpen);
  }
}

// A handler that closes the port when told of a failed send closes it while the connection's
// own read path is still running: here the reply to a negotiation, on a connection whose
// sending side is already shut down. The connection must outlive that path.
TEST(WinsockPort, ClosingFromAnErrorInsideTheReadPathFinishesCleanly) {
  testsupport::Watchdog watchdog;
  Server peer([&](Conn& conn, int) {
    conn.Recv(1);
    conn.Send("ab" + Bytes({0xFF, 0xFD, 0x18}) + "cd");
    conn.WaitClosed();
  });
  TPortFixture f(peer.Port(), true);
  f.Port.OnSocketError = [&](TObject*, int code) {
    f.Errors.push_back(code);
    f.Port.SetPortOpen(false);
  };
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 1; }));
  f.Port.WriteText("g");
  ASSERT_TRUE(PumpUntil([&] { return f.Dispatcher()->OutputCount() == 0; }));
  ASSERT_EQ(WinsockEntryTable().shutdown(static_cast<winsock::SOCKET>(f.Dispatcher()->DeviceId),
                                         winsock::SD_SEND),
            0);
  ASSERT_TRUE(PumpUntil([&] { return f.Port.PortState == psClosed; }));
  PumpFor(50);
  EXPECT_EQ(f.Errors, std::vector<int>{winsock::WSAESHUTDOWN});
  EXPECT_EQ(f.Disconnected, 1);
  EXPECT_TRUE(f.Caught.Messages.empty());
  EXPECT_TRUE(peer.Join());
  // The port opens again afterwards.
  Server again([](Conn& conn, int) { conn.WaitClosed(); });
  f.Port.SetWsPort(std::to_string(again.Port()));
  f.Port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return f.Connected == 2; }));
}

TEST_F(WinsockServerPort, AcceptsOnePeerAndRefusesASecond) {
  TCaughtExceptions caught;
  std::vector<std::uint32_t> peers;
  int disconnected = 0;
  port.OnAcceptPeer = [&](TObject*, std::uint32_t address, bool&) { peers.push_back(address); };
  port.OnDisconnected = [&](TObject*) { ++disconnected; };
  port.SetPortOpen(true);
  ASSERT_EQ(port.PortState, psOpen);

  Conn first = ConnectTo(listenPort);
  ASSERT_TRUE(first.Valid());
  ASSERT_TRUE(PumpUntil([&] { return peers.size() == 1; }));
  EXPECT_EQ(peers[0], 0x0100007Fu);
  auto* dispatcher = static_cast<TApdWinsockDispatcher*>(port.CurrentDispatcher());
  EXPECT_EQ(dispatcher->ModemBits & 0x80, 0x80u);

  Conn second = ConnectTo(listenPort);
  ASSERT_TRUE(second.Valid());
  bool secondClosed = false;
  std::thread waiter([&] { secondClosed = second.WaitClosed(5000); });
  PumpUntil([&] { return secondClosed; }, 5000);
  waiter.join();
  EXPECT_TRUE(secondClosed);
  EXPECT_EQ(peers.size(), 1u);  // the second peer is not offered

  first.Send("from the first");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "from the first"; }));
  port.WriteText("answer");
  EXPECT_EQ(first.Recv(6), "answer");

  // The peer leaves; the port keeps listening for the next one.
  first.Close();
  ASSERT_TRUE(PumpUntil([&] { return disconnected == 1; }));
  EXPECT_EQ(port.PortState, psOpen);
  EXPECT_EQ(dispatcher->ModemBits & 0x80, 0u);
  Conn third = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return peers.size() == 2; }));
  third.Send("again");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "from the firstagain"; }));
  port.SetPortOpen(false);
  EXPECT_TRUE(third.WaitClosed());
  EXPECT_TRUE(caught.Messages.empty());
}

TEST_F(WinsockServerPort, PeerResetFreesThePortForTheNext) {
  int offers = 0, disconnected = 0;
  std::vector<int> errors;
  port.OnAcceptPeer = [&](TObject*, std::uint32_t, bool&) { ++offers; };
  port.OnDisconnected = [&](TObject*) { ++disconnected; };
  port.OnSocketError = [&](TObject*, int code) { errors.push_back(code); };
  port.SetPortOpen(true);
  Conn first = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 1; }));
  first.Send("one");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "one"; }));
  first.Reset();
  ASSERT_TRUE(PumpUntil([&] { return disconnected == 1; }));
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(port.PortState, psOpen);
  Conn second = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 2; }));
  second.Send("two");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "onetwo"; }));
  PumpFor(50);
  EXPECT_EQ(disconnected, 1);
}

// Each peer of a server-role port starts afresh: a peer that leaves inside a subnegotiation
// or after switching binary on passes neither on to the next.
TEST_F(WinsockServerPort, NextPeerStartsWithFreshTelnetState) {
  port.SetTelnetProcessing(true);
  int offers = 0, disconnected = 0;
  port.OnAcceptPeer = [&](TObject*, std::uint32_t, bool&) { ++offers; };
  port.OnDisconnected = [&](TObject*) { ++disconnected; };
  port.SetPortOpen(true);
  {
    Conn first = ConnectTo(listenPort);
    ASSERT_TRUE(PumpUntil([&] { return offers == 1; }));
    first.Send("one" + Bytes({0xFF, 0xFB, 0x00}));  // WILL BINARY: binary on
    ASSERT_TRUE(PumpUntil([&] { return sink.Data == "one"; }));
    PumpFor(20);
    EXPECT_EQ(Hex(first.Recv(3)), "FF FD 00");
    first.Send(Bytes({0xFF, 0xFA, 0x18}) + "unfinished");
    first.Close();
    ASSERT_TRUE(PumpUntil([&] { return disconnected == 1; }));
  }
  EXPECT_EQ(sink.Data, "one");
  Conn second = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 2; }));
  second.Send("two\r" + Bytes({0}) + "!");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data.size() >= 8; }));
  // Binary is off again for this peer: CR NUL is a CR.
  EXPECT_EQ(sink.Data, "onetwo\r!");
  port.WriteText("a\rb");
  PumpFor(20);
  EXPECT_EQ(Hex(second.Recv(4)), "61 0D 00 62");
}

// A failing accept handler refuses the peer; the port goes on listening for the next one.
TEST_F(WinsockServerPort, AcceptHandlerThatFailsRefusesThePeer) {
  TCaughtExceptions caught;
  int offers = 0;
  port.OnAcceptPeer = [&](TObject*, std::uint32_t, bool&) {
    if (++offers == 1) throw std::runtime_error("no peers today");
  };
  port.SetPortOpen(true);
  Conn first = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 1; }));
  EXPECT_TRUE(first.WaitClosed());
  ASSERT_TRUE(PumpUntil([&] { return !caught.Messages.empty(); }));
  EXPECT_EQ(caught.Messages[0], "no peers today");
  Conn second = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 2; }));
  second.Send("two");
  ASSERT_TRUE(PumpUntil([&] { return sink.Data == "two"; }));
  EXPECT_EQ(port.PortState, psOpen);
}

TEST(WinsockPort, ServerRoleRefusedPeerIsClosed) {
  testsupport::Watchdog watchdog;
  TApdWinsockPort port(nullptr);
  const int listenPort = UnusedPort();
  port.SetPortRole(prServer);
  port.SetWsPort(std::to_string(listenPort));
  int offers = 0;
  port.OnAcceptPeer = [&](TObject*, std::uint32_t, bool& accept) {
    ++offers;
    accept = offers > 1;
  };
  port.SetPortOpen(true);
  Conn refused = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 1; }));
  bool closed = false;
  std::thread waiter([&] { closed = refused.WaitClosed(5000); });
  PumpUntil([&] { return closed; }, 5000);
  waiter.join();
  EXPECT_TRUE(closed);
  // The next peer is offered again and taken.
  Conn taken = ConnectTo(listenPort);
  ASSERT_TRUE(PumpUntil([&] { return offers == 2; }));
  auto* dispatcher = static_cast<TApdWinsockDispatcher*>(port.CurrentDispatcher());
  EXPECT_EQ(dispatcher->ModemBits & 0x80, 0x80u);
}

TEST(WinsockPort, AddressAndPortSetters) {
  TApdWinsockPort port(nullptr);
  EXPECT_EQ(port.WsPort(), "telnet");
  EXPECT_EQ(port.DeviceKind(), DeviceKindWinsock);
  EXPECT_TRUE(port.TelnetProcessing());
  port.SetServerAddress(" \t127.0.0.1 \r\n");
  EXPECT_EQ(port.ServerAddress(), "127.0.0.1");
  port.SetWsPort("  21\t");
  EXPECT_EQ(port.WsPort(), "21");
  EXPECT_EQ(GetStrProp(&port, "Version"), "v3.04");
  EXPECT_EQ(GetStrProp(&port, "ServerAddress"), "127.0.0.1");
}

TEST(WinsockPort, ChangingAddressOrPortWhileOpenRaises9006) {
  testsupport::Watchdog watchdog;
  TPortFixture f(UnusedPort());
  f.Port.SetPortOpen(true);
  try {
    f.Port.SetServerAddress("10.0.0.1");
    FAIL();
  } catch (const EApdSocketException& e) {
    EXPECT_EQ(e.ErrorCode, ecWsCantChangeWhileConnected);
    EXPECT_EQ(std::string(e.what()), "Cannot change parameter while socket is connected");
  }
  EXPECT_THROW(f.Port.SetWsPort("99"), EApdSocketException);
  f.Port.SetServerAddress("127.0.0.1");  // the same text changes nothing and is allowed
  EXPECT_EQ(f.Port.ServerAddress(), "127.0.0.1");
}

TEST(WinsockPort, ServiceNamesAndNumbersGiveThePort) {
  testsupport::Watchdog watchdog;
  TApdDeviceSocket& device = DeviceSocket();
  for (const char* given : {"ftp", "21"}) {
    TPortFixture f(0);
    f.Port.SetWsPort(given);
    f.Port.SetPortOpen(true);
    ASSERT_EQ(f.Port.PortState, psOpen) << given;
    EXPECT_EQ(device.PortFromNetwork(f.Dispatcher()->RemoteAddress.sin_port), 21) << given;
    EXPECT_EQ(f.Dispatcher()->RemoteAddress.sin_addr.s_addr, 0x0100007Fu);
    f.Port.SetPortOpen(false);
  }
}

TEST(WinsockPort, OpenFailuresRaiseAndLeaveThePortClosed) {
  testsupport::Watchdog watchdog;
  struct TCase {
    std::string Address, Service;
    int Code;
    const char* Text;
  };
  const std::vector<TCase> cases = {
      {"", "21", winsock::WSAEDESTADDRREQ,
       "The destination address is required for this operation"},
      {"127.0.0.1", "no-such-service-here", ecWsInvalidPort, "Specified port is not valid"},
      {"127.0.0.1", "0", ecWsInvalidPort, "Specified port is not valid"},
      {"127.0.0.1", "65536", ecWsInvalidPort, "Specified port is not valid"},
      // No host name (an empty label): refused without asking a name server.
      {"no-such-host..invalid", "21", ecWsCantResolveAddress, "Cannot resolve destination address"},
      // Not the address or host its first part names.
      {std::string("127.0.0.1\0.example", 19), "21", ecWsCantResolveAddress,
       "Cannot resolve destination address"},
  };
  for (const TCase& c : cases) {
    TApdWinsockPort port(nullptr);
    port.SetServerAddress(c.Address);
    port.SetWsPort(c.Service);
    try {
      port.SetPortOpen(true);
      ADD_FAILURE() << c.Address << ":" << c.Service << " opened";
    } catch (const EApdSocketException& e) {
      EXPECT_EQ(e.ErrorCode, c.Code) << c.Service;
      EXPECT_NE(std::string(e.what()).find(c.Text), std::string::npos) << e.what();
    }
    EXPECT_EQ(port.PortState, psClosed);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.CurrentDispatcher(), nullptr);
  }
}
