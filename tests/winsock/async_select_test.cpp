// WSAAsyncSelect message sequences against real loopback peers.

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "peer.h"
#include "platform/eventloop.h"
#include "winsock_api.h"

namespace wstest {
namespace {

using testsupport::PumpFor;
using testsupport::PumpUntil;

constexpr long kAllButOob =
    ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;  // 59
constexpr long kData = ws::FD_READ | ws::FD_WRITE | ws::FD_CLOSE;
// Long enough for a notice that should not come to have shown up on loopback.
constexpr int kQuietMs = 150;

class AsyncSelectTest : public WinsockTest {
 protected:
  // A connection to the peer listener, registered with `mask`; the connect's own notices
  // (FD_CONNECT, FD_WRITE) are awaited and cleared.
  ws::SOCKET ConnectRegistered(long mask) {
    ws::SOCKET s = NewSocket();
    EXPECT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, mask), 0);
    auto sa = Loopback(listener.Port());
    int rc = api.connect(s, Sa(sa), sizeof sa);
    if (rc != 0) {
      EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
    }
    peerFd = listener.AcceptOne();
    EXPECT_GE(peerFd, 0);
    std::size_t expected = ((mask & ws::FD_CONNECT) ? 1 : 0) + ((mask & ws::FD_WRITE) ? 1 : 0);
    EXPECT_TRUE(win.WaitForCount(expected));
    win.Clear();
    return s;
  }
  void TearDown() override {
    if (peerFd >= 0) peer::Close(peerFd);
    WinsockTest::TearDown();
  }

  NoticeWindow win;
  peer::Listener listener;
  int peerFd = -1;
};

TEST_F(AsyncSelectTest, ConnectPostsConnectThenWriteAsTwoMessages) {
  ws::SOCKET s = NewSocket();
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, kAllButOob), 0);
  auto sa = Loopback(listener.Port());
  ASSERT_EQ(api.connect(s, Sa(sa), sizeof sa), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
  ASSERT_TRUE(win.WaitForCount(2));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CONNECT), N(s, ws::FD_WRITE)}));
  EXPECT_EQ(win.LParams()[0], ws::WSAMAKESELECTREPLY(ws::FD_CONNECT, 0));
}

TEST_F(AsyncSelectTest, RefusedConnectPostsOnlyConnectWithTheError) {
  peer::RefusingPort refusing;
  ws::SOCKET s = NewSocket();
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, kAllButOob), 0);
  auto sa = Loopback(refusing.Port());
  ASSERT_EQ(api.connect(s, Sa(sa), sizeof sa), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CONNECT, ws::WSAECONNREFUSED)}));
}

TEST_F(AsyncSelectTest, ConnectionMadeBeforeRegisteringGivesWriteButNoConnect) {
  ws::SOCKET s = NewSocket();
  auto sa = Loopback(listener.Port());
  ASSERT_EQ(api.connect(s, Sa(sa), sizeof sa), 0);  // blocking
  peerFd = listener.AcceptOne();
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, kAllButOob), 0);
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_WRITE)}));
}

TEST_F(AsyncSelectTest, ReadIsPostedOnceUntilRecvAndAgainAfterAPartialRecv) {
  ws::SOCKET s = ConnectRegistered(kData);
  char data[100];
  std::memset(data, 'x', sizeof data);
  ASSERT_TRUE(peer::SendAll(peerFd, data, sizeof data));

  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_READ)})) << "no second FD_READ without recv";

  char buf[100];
  ASSERT_EQ(api.recv(s, buf, 50, 0), 50);
  ASSERT_TRUE(win.WaitForCount(2)) << "50 bytes left: FD_READ again";
  ASSERT_EQ(api.recv(s, buf, 50, 0), 50);
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices().size(), 2u) << "all read: no FD_READ";

  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
  ASSERT_TRUE(peer::SendAll(peerFd, "y", 1));
  ASSERT_TRUE(win.WaitForCount(3)) << "a failed recv re-enables FD_READ too";
  EXPECT_EQ(win.Notices()[2], N(s, ws::FD_READ));
}

TEST_F(AsyncSelectTest, PeerCloseGivesCloseOnceEvenWithUnreadData) {
  ws::SOCKET s = ConnectRegistered(kData);
  ASSERT_TRUE(peer::SendAll(peerFd, "hello", 5));
  peer::Close(peerFd);
  peerFd = -1;

  ASSERT_TRUE(win.WaitForCount(2));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_READ), N(s, ws::FD_CLOSE)}));

  char buf[16];
  ASSERT_EQ(api.recv(s, buf, 2, 0), 2);
  ASSERT_TRUE(win.WaitForCount(3)) << "data left after the close: FD_READ again";
  EXPECT_EQ(win.Notices()[2], N(s, ws::FD_READ));
  ASSERT_EQ(api.recv(s, buf, sizeof buf, 0), 3);
  EXPECT_EQ(std::string(buf, 3), "llo");
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices().size(), 3u) << "the end of the stream is no FD_READ";
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), 0);
  EXPECT_EQ(win.CountOf(s, ws::FD_CLOSE), 1u);
}

TEST_F(AsyncSelectTest, PeerShutdownOfItsSendingSideGivesClose) {
  ws::SOCKET s = ConnectRegistered(kData);
  peer::ShutdownSend(peerFd);
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CLOSE)}));
  // Our side can still send.
  EXPECT_EQ(api.send(s, "abc", 3, 0), 3);
  char buf[4];
  EXPECT_EQ(peer::ReadSome(peerFd, buf, sizeof buf, 2000), 3);
}

TEST_F(AsyncSelectTest, PeerResetGivesCloseWithConnectionAborted) {
  ws::SOCKET s = ConnectRegistered(kData);
  peer::Reset(peerFd);
  peerFd = -1;
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CLOSE, ws::WSAECONNABORTED)}));
  char buf[4];
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNRESET);
}

// A connection made, written to and reset by the peer before the loop first looks at it was
// still made: its connect succeeded, and what came before the reset can be read.
TEST_F(AsyncSelectTest, ConnectionResetBeforeItsConnectWasSeenStillConnects) {
  ws::SOCKET s = NewSocket();
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, kAllButOob), 0);
  auto sa = Loopback(listener.Port());
  ASSERT_EQ(api.connect(s, Sa(sa), sizeof sa), ws::SOCKET_ERROR);
  peerFd = listener.AcceptOne();
  ASSERT_TRUE(peer::SendAll(peerFd, "abc", 3));
  peer::Reset(peerFd);
  peerFd = -1;
  ASSERT_TRUE(win.WaitForCount(3));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CONNECT), N(s, ws::FD_READ),
                                        N(s, ws::FD_CLOSE, ws::WSAECONNABORTED)}));
  char buf[8];
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNRESET);
}

TEST_F(AsyncSelectTest, CloseBeforeRegisteringIsPostedAtRegistration) {
  ws::SOCKET s = NewSocket();
  auto sa = Loopback(listener.Port());
  ASSERT_EQ(api.connect(s, Sa(sa), sizeof sa), 0);
  peerFd = listener.AcceptOne();
  peer::Close(peerFd);
  peerFd = -1;
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, ws::FD_READ | ws::FD_CLOSE), 0);
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_CLOSE)}));
}

TEST_F(AsyncSelectTest, ListenerPostsAcceptAndAcceptedSocketsInheritTheRegistration) {
  ws::SOCKET l = NewSocket();
  auto any = Loopback(0);
  ASSERT_EQ(api.bind(l, Sa(any), sizeof any), 0);
  ASSERT_EQ(api.listen(l, ws::SOMAXCONN), 0);
  ASSERT_EQ(api.WSAAsyncSelect(l, win.Handle(), kNoticeMsg, kAllButOob), 0);
  ws::sockaddr_in local{};
  int len = sizeof local;
  ASSERT_EQ(api.getsockname(l, reinterpret_cast<ws::sockaddr*>(&local), &len), 0);
  std::uint16_t port = api.ntohs(local.sin_port);

  int c1 = peer::ConnectTo(port);
  int c2 = peer::ConnectTo(port);
  ASSERT_GE(c1, 0);
  ASSERT_GE(c2, 0);
  ASSERT_TRUE(win.WaitForCount(1));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(l, ws::FD_ACCEPT)})) << "one FD_ACCEPT until accept";

  ws::sockaddr_in from{};
  int fromLen = sizeof from;
  ws::SOCKET a1 = api.accept(l, reinterpret_cast<ws::sockaddr*>(&from), &fromLen);
  ASSERT_NE(a1, ws::INVALID_SOCKET);
  sockets_.push_back(a1);
  EXPECT_EQ(fromLen, 16);
  EXPECT_EQ(from.sin_family, ws::AF_INET);
  EXPECT_EQ(from.sin_addr.s_addr, api.htonl(ws::INADDR_LOOPBACK));

  // Another connection is pending (FD_ACCEPT again); the new socket can send (FD_WRITE).
  ASSERT_TRUE(PumpUntil(
      [&] { return win.CountOf(l, ws::FD_ACCEPT) == 2 && win.CountOf(a1, ws::FD_WRITE) == 1; }));
  ws::SOCKET a2 = api.accept(l, nullptr, nullptr);
  ASSERT_NE(a2, ws::INVALID_SOCKET);
  sockets_.push_back(a2);
  ASSERT_TRUE(PumpUntil([&] { return win.CountOf(a2, ws::FD_WRITE) == 1; }));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.CountOf(l, ws::FD_ACCEPT), 2u) << "nothing pending any more";
  EXPECT_EQ(win.Notices().size(), 4u);

  // The accepted socket has the listener's events and message.
  ASSERT_TRUE(peer::SendAll(c1, "ping", 4));
  ASSERT_TRUE(PumpUntil([&] { return win.CountOf(a1, ws::FD_READ) == 1; }));
  EXPECT_EQ(win.Notices().back(), N(a1, ws::FD_READ));
  peer::Close(c1);
  peer::Close(c2);
}

TEST_F(AsyncSelectTest, WriteComesBackOnlyAfterASendThatWouldBlock) {
  ws::SOCKET s = ConnectRegistered(kData);
  int small = 4096;
  ASSERT_EQ(api.setsockopt(s, ws::SOL_SOCKET, ws::SO_SNDBUF, reinterpret_cast<char*>(&small),
                           sizeof small),
            0);
  peer::SetReceiveBuffer(peerFd, 4096);
  std::vector<char> chunk(16384, 'z');

  ASSERT_EQ(api.send(s, chunk.data(), 100, 0), 100);
  PumpFor(kQuietMs);
  EXPECT_TRUE(win.Notices().empty()) << "a send that worked brings no FD_WRITE";

  bool blocked = false;
  for (int i = 0; i < 10000 && !blocked; ++i) {
    int n = api.send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n == ws::SOCKET_ERROR) {
      ASSERT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
      blocked = true;
    }
  }
  ASSERT_TRUE(blocked);
  PumpFor(kQuietMs);
  EXPECT_EQ(win.CountOf(s, ws::FD_WRITE), 0u) << "nothing drained yet";

  ASSERT_TRUE(PumpUntil([&] {
    peer::DrainNow(peerFd);
    return win.CountOf(s, ws::FD_WRITE) == 1;
  }));
  PumpUntil(
      [&] {
        peer::DrainNow(peerFd);
        return false;
      },
      kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_WRITE)}));
}

TEST_F(AsyncSelectTest, NewRegistrationReplacesTheOldOne) {
  ws::SOCKET s = ConnectRegistered(ws::FD_READ);
  constexpr UINT kOther = kNoticeMsg + 1;
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kOther, ws::FD_WRITE), 0);
  ASSERT_TRUE(win.WaitForCount(1));
  ASSERT_TRUE(peer::SendAll(peerFd, "data", 4));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_WRITE, 0, kOther)}));
}

TEST_F(AsyncSelectTest, RegisteringAgainPostsWhatStillHolds) {
  ws::SOCKET s = ConnectRegistered(ws::FD_READ);
  ASSERT_TRUE(peer::SendAll(peerFd, "data", 4));
  ASSERT_TRUE(win.WaitForCount(1));
  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), kNoticeMsg, ws::FD_READ), 0);
  ASSERT_TRUE(win.WaitForCount(2));
  PumpFor(kQuietMs);
  EXPECT_EQ(win.Notices(), (std::vector{N(s, ws::FD_READ), N(s, ws::FD_READ)}));
}

TEST_F(AsyncSelectTest, CancellingStopsMessagesAndAllowsBlockingModeAgain) {
  ws::SOCKET s = ConnectRegistered(kData);
  ws::u_long blocking = 0;
  EXPECT_EQ(api.ioctlsocket(s, ws::FIONBIO, &blocking), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL) << "blocking refused while registered";

  ASSERT_EQ(api.WSAAsyncSelect(s, win.Handle(), 0, 0), 0);
  ASSERT_TRUE(peer::SendAll(peerFd, "data", 4));
  peer::Close(peerFd);
  peerFd = -1;
  PumpFor(2 * kQuietMs);
  EXPECT_TRUE(win.Notices().empty());
  EXPECT_EQ(api.ioctlsocket(s, ws::FIONBIO, &blocking), 0);
  char buf[8];
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), 4);
}

TEST_F(AsyncSelectTest, ClosedSocketGetsNoMoreMessages) {
  ws::SOCKET s = ConnectRegistered(kData);
  ASSERT_EQ(api.closesocket(s), 0);
  sockets_.clear();
  ASSERT_TRUE(peer::SendAll(peerFd, "data", 4));
  PumpFor(kQuietMs);
  EXPECT_TRUE(win.Notices().empty());
  EXPECT_EQ(api.closesocket(s), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
}

// As on Windows, a closed socket's handle is given out again at once, and a notice posted
// before the close stays queued: it then names the new socket.
TEST_F(AsyncSelectTest, ClosedHandleIsGivenOutAgainWithItsNoticesStillQueued) {
  ws::SOCKET first = ConnectRegistered(kData);
  ASSERT_TRUE(peer::SendAll(peerFd, "x", 1));
  // Posted, but left in the queue: the peek looks at the sockets without dispatching.
  MSG msg;
  bool queued = false;
  for (int i = 0; i < 1000 && !queued; ++i) {
    queued = PeekMessageA(&msg, win.Handle(), kNoticeMsg, kNoticeMsg, PM_NOREMOVE) != 0;
    if (!queued) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(queued);
  ASSERT_EQ(api.closesocket(first), 0);
  ws::SOCKET second = NewSocket();
  EXPECT_EQ(second, first);
  ASSERT_TRUE(win.WaitForCount(1));
  EXPECT_EQ(win.Notices(), (std::vector{N(first, ws::FD_READ)}));
}

TEST_F(AsyncSelectTest, RegisteredSocketsThatWaitDoNotSpinTheLoop) {
  ws::SOCKET s = ConnectRegistered(kData);
  ASSERT_TRUE(peer::SendAll(peerFd, "unread", 6));
  ASSERT_TRUE(win.WaitForCount(1));

  // FD_READ and FD_WRITE reported, FD_CLOSE waiting: nothing may make poll() return.
  auto before = platform::LoopPollCount();
  PumpFor(300);
  EXPECT_LT(platform::LoopPollCount() - before, 60u);

  peer::Close(peerFd);
  peerFd = -1;
  ASSERT_TRUE(PumpUntil([&] { return win.CountOf(s, ws::FD_CLOSE) == 1; }));
  // Closed by the peer with data still unread: the descriptor stays readable for ever.
  before = platform::LoopPollCount();
  PumpFor(300);
  EXPECT_LT(platform::LoopPollCount() - before, 60u);
  EXPECT_EQ(win.Notices().size(), 2u);
}

TEST_F(AsyncSelectTest, InvalidWindowIsRefused) {
  ws::SOCKET s = NewSocket();
  HWND bogus = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7777));
  EXPECT_EQ(api.WSAAsyncSelect(s, bogus, kNoticeMsg, ws::FD_READ), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL);
  EXPECT_EQ(api.WSAAsyncSelect(12345, win.Handle(), kNoticeMsg, ws::FD_READ), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
}

}  // namespace
}  // namespace wstest
