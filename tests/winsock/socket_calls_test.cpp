// Socket calls without notifications: error numbers, options, ioctlsocket, select and
// blocking data transfer, against real loopback peers.

#include <cstring>
#include <string>

#include "peer.h"
#include "winsock_api.h"

namespace wstest {
namespace {

class SocketCalls : public WinsockTest {
 protected:
  // A blocking connection to the peer listener.
  ws::SOCKET Connected() {
    ws::SOCKET s = NewSocket();
    auto sa = Loopback(listener.Port());
    EXPECT_EQ(api.connect(s, Sa(sa), sizeof sa), 0) << api.WSAGetLastError();
    peerFd = listener.AcceptOne();
    EXPECT_GE(peerFd, 0);
    return s;
  }
  int GetInt(ws::SOCKET s, int level, int name) {
    int value = -1, len = sizeof value;
    EXPECT_EQ(api.getsockopt(s, level, name, reinterpret_cast<char*>(&value), &len), 0)
        << api.WSAGetLastError();
    EXPECT_EQ(len, 4);
    return value;
  }
  int SetInt(ws::SOCKET s, int level, int name, int value) {
    return api.setsockopt(s, level, name, reinterpret_cast<char*>(&value), sizeof value);
  }
  void TearDown() override {
    if (peerFd >= 0) peer::Close(peerFd);
    WinsockTest::TearDown();
  }

  peer::Listener listener;
  int peerFd = -1;
};

TEST_F(SocketCalls, BlockingConnectSendAndReceive) {
  ws::SOCKET s = Connected();
  ASSERT_EQ(api.send(s, "hello", 5, 0), 5);
  char buf[16];
  ASSERT_EQ(peer::ReadSome(peerFd, buf, sizeof buf, 2000), 5);
  ASSERT_TRUE(peer::SendAll(peerFd, "world", 5));
  EXPECT_EQ(api.recv(s, buf, 2, ws::MSG_PEEK), 2);
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), 5) << "a blocking recv waits for the data";
  EXPECT_EQ(std::string(buf, 5), "world");

  ws::sockaddr_in peerName{}, ownName{};
  int len = sizeof peerName;
  ASSERT_EQ(api.getpeername(s, reinterpret_cast<ws::sockaddr*>(&peerName), &len), 0);
  EXPECT_EQ(api.ntohs(peerName.sin_port), listener.Port());
  EXPECT_EQ(peerName.sin_addr.s_addr, api.inet_addr("127.0.0.1"));
  len = sizeof ownName;
  ASSERT_EQ(api.getsockname(s, reinterpret_cast<ws::sockaddr*>(&ownName), &len), 0);
  EXPECT_EQ(ownName.sin_family, ws::AF_INET);
  EXPECT_NE(ownName.sin_port, 0);

  ASSERT_EQ(api.shutdown(s, ws::SD_SEND), 0);
  EXPECT_EQ(peer::ReadSome(peerFd, buf, sizeof buf, 2000), 0) << "the peer sees our FIN";
  EXPECT_EQ(api.send(s, "x", 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAESHUTDOWN);
}

TEST_F(SocketCalls, ErrorNumbersAreWinsocksNotErrnoPlus10000) {
  peer::RefusingPort refusing;
  ws::SOCKET s = NewSocket();
  auto sa = Loopback(refusing.Port());
  EXPECT_EQ(api.connect(s, Sa(sa), sizeof sa), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNREFUSED);  // ECONNREFUSED is 111 on Linux

  ws::SOCKET nb = NewSocket();
  ws::u_long on = 1;
  ASSERT_EQ(api.ioctlsocket(nb, ws::FIONBIO, &on), 0);
  auto target = Loopback(listener.Port());
  EXPECT_EQ(api.connect(nb, Sa(target), sizeof target), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK) << "EINPROGRESS is 10035";
  peerFd = listener.AcceptOne();
  char buf[4];
  EXPECT_EQ(api.recv(nb, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);

  EXPECT_EQ(api.recv(0x7FFFFFF0, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
  {
    // A socket that was just receiving and sending is unknown once closed.
    ws::SOCKET used = NewSocket();
    ASSERT_EQ(api.ioctlsocket(used, ws::FIONBIO, &on), 0);
    api.connect(used, Sa(target), sizeof target);
    int usedPeer = listener.AcceptOne();
    EXPECT_EQ(api.recv(used, buf, sizeof buf, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(api.WSAGetLastError(), ws::WSAEWOULDBLOCK);
    EXPECT_EQ(api.send(used, "x", 1, 0), 1);
    ASSERT_EQ(api.closesocket(used), 0);
    EXPECT_EQ(api.recv(used, buf, sizeof buf, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
    EXPECT_EQ(api.send(used, "x", 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
    peer::Close(usedPeer);
  }
  EXPECT_EQ(api.recv(nb, buf, -1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEFAULT);
  EXPECT_EQ(api.socket(ws::AF_INET + 1, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEAFNOSUPPORT);
}

TEST_F(SocketCalls, SendToAClosedPeerReportsResetWithoutSignal) {
  ws::SOCKET s = Connected();
  peer::Reset(peerFd);
  peerFd = -1;
  // EPIPE would end the process by SIGPIPE without MSG_NOSIGNAL; it maps to WSAECONNRESET.
  int result = 0;
  for (int i = 0; i < 100 && result != ws::SOCKET_ERROR; ++i) {
    result = api.send(s, "data", 4, 0);
    if (result != ws::SOCKET_ERROR) testsupport::PumpFor(10);
  }
  ASSERT_EQ(result, ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNRESET);
  // Once the reset has been reported, Linux answers EPIPE.
  EXPECT_EQ(api.send(s, "data", 4, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNRESET);
}

TEST_F(SocketCalls, AddressChecks) {
  ws::SOCKET a = NewSocket();
  auto any = Loopback(0);
  EXPECT_EQ(api.bind(a, Sa(any), 8), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEFAULT) << "shorter than a sockaddr_in";
  ws::sockaddr_in name{};
  int len = sizeof name;
  EXPECT_EQ(api.getsockname(a, reinterpret_cast<ws::sockaddr*>(&name), &len), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL) << "not bound yet";
  EXPECT_EQ(api.listen(a, 5), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL) << "listen needs bind first";

  ASSERT_EQ(api.bind(a, Sa(any), sizeof any), 0);
  ASSERT_EQ(api.listen(a, 5), 0);
  ASSERT_EQ(api.getsockname(a, reinterpret_cast<ws::sockaddr*>(&name), &len), 0);
  ws::SOCKET b = NewSocket();
  EXPECT_EQ(api.bind(b, Sa(name), sizeof name), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEADDRINUSE);

  ws::SOCKET c = NewSocket();
  auto nowhere = Loopback(0);
  EXPECT_EQ(api.connect(c, Sa(nowhere), sizeof nowhere), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEADDRNOTAVAIL);
  EXPECT_EQ(api.accept(c, nullptr, nullptr), ws::INVALID_SOCKET);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL) << "not listening";
  EXPECT_EQ(api.shutdown(c, ws::SD_BOTH), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTCONN);
}

TEST_F(SocketCalls, OptionsUseWinsockLevelsAndNumbers) {
  ws::SOCKET s = NewSocket();
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR), 0);
  ASSERT_EQ(SetInt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR, 1), 0);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_REUSEADDR), 1);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_TYPE), ws::SOCK_STREAM);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_ERROR), 0);
  ASSERT_EQ(SetInt(s, ws::SOL_SOCKET, ws::SO_KEEPALIVE, 1), 0);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_KEEPALIVE), 1);
  ASSERT_EQ(SetInt(s, ws::IPPROTO_TCP, ws::TCP_NODELAY, 1), 0);
  EXPECT_EQ(GetInt(s, ws::IPPROTO_TCP, ws::TCP_NODELAY), 1);
  ASSERT_EQ(SetInt(s, ws::IPPROTO_IP, ws::IP_TTL, 33), 0);
  EXPECT_EQ(GetInt(s, ws::IPPROTO_IP, ws::IP_TTL), 33);
  ASSERT_EQ(SetInt(s, ws::SOL_SOCKET, ws::SO_RCVTIMEO, 1500), 0);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_RCVTIMEO), 1500);

  // A BOOL may come as a single byte.
  char one = 1;
  ASSERT_EQ(api.setsockopt(s, ws::SOL_SOCKET, ws::SO_BROADCAST, &one, 1), 0);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_BROADCAST), 1);

  ws::linger l{1, 7};
  ASSERT_EQ(api.setsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER, reinterpret_cast<char*>(&l), sizeof l),
            0);
  ws::linger back{};
  int len = sizeof back;
  ASSERT_EQ(api.getsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER, reinterpret_cast<char*>(&back), &len),
            0);
  EXPECT_EQ(back.l_onoff, 1);
  EXPECT_EQ(back.l_linger, 7);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_DONTLINGER), 0);
  ASSERT_EQ(SetInt(s, ws::SOL_SOCKET, ws::SO_DONTLINGER, 1), 0);
  EXPECT_EQ(GetInt(s, ws::SOL_SOCKET, ws::SO_DONTLINGER), 1);

  EXPECT_EQ(SetInt(s, 0x1234, ws::SO_REUSEADDR, 1), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL) << "unknown level";
  EXPECT_EQ(SetInt(s, ws::SOL_SOCKET, 0x4321, 1), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOPROTOOPT) << "unknown option";
  int small = 0, shortLen = 2;
  EXPECT_EQ(
      api.getsockopt(s, ws::SOL_SOCKET, ws::SO_TYPE, reinterpret_cast<char*>(&small), &shortLen),
      ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEFAULT);
}

TEST_F(SocketCalls, IoctlReadCountAndSelect) {
  ws::SOCKET s = Connected();
  ws::u_long waiting = 99;
  ASSERT_EQ(api.ioctlsocket(s, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 0u);

  ws::fd_set readable;
  ws::WS_FD_ZERO(&readable);
  ws::WS_FD_SET(s, &readable);
  ws::timeval brief{0, 50000};
  EXPECT_EQ(api.select(0, &readable, nullptr, nullptr, &brief), 0);
  EXPECT_EQ(readable.fd_count, 0u);

  ASSERT_TRUE(peer::SendAll(peerFd, "0123456789", 10));
  ws::WS_FD_SET(s, &readable);
  ws::fd_set writable;
  ws::WS_FD_ZERO(&writable);
  ws::WS_FD_SET(s, &writable);
  ws::timeval limit{5, 0};
  EXPECT_EQ(api.select(0, &readable, &writable, nullptr, &limit), 2);
  EXPECT_TRUE(ws::WS_FD_ISSET(s, &readable));
  EXPECT_TRUE(ws::WS_FD_ISSET(s, &writable));
  ASSERT_EQ(api.ioctlsocket(s, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 10u);

  ws::u_long atMark = 0;
  ASSERT_EQ(api.ioctlsocket(s, ws::SIOCATMARK, &atMark), 0);
  EXPECT_EQ(atMark, 1u) << "no urgent data waiting";
  EXPECT_EQ(api.ioctlsocket(s, 0x12345678, &waiting), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL);

  ws::fd_set bogus;
  ws::WS_FD_ZERO(&bogus);
  ws::WS_FD_SET(0x7FFFFFF0, &bogus);
  EXPECT_EQ(api.select(0, &bogus, nullptr, nullptr, &brief), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK);
}

TEST_F(SocketCalls, SelectPutsAFailedConnectInTheExceptionSet) {
  peer::RefusingPort refusing;
  ws::SOCKET s = NewSocket();
  ws::u_long on = 1;
  ASSERT_EQ(api.ioctlsocket(s, ws::FIONBIO, &on), 0);
  auto sa = Loopback(refusing.Port());
  int rc = api.connect(s, Sa(sa), sizeof sa);
  if (rc == ws::SOCKET_ERROR && api.WSAGetLastError() == ws::WSAECONNREFUSED)
    GTEST_SKIP() << "refused at once";
  ws::fd_set w, e;
  ws::WS_FD_ZERO(&w);
  ws::WS_FD_ZERO(&e);
  ws::WS_FD_SET(s, &w);
  ws::WS_FD_SET(s, &e);
  ws::timeval limit{5, 0};
  EXPECT_EQ(api.select(0, nullptr, &w, &e, &limit), 1);
  EXPECT_EQ(w.fd_count, 0u);
  EXPECT_TRUE(ws::WS_FD_ISSET(s, &e));
}

// Once a non-blocking connect has been made, the peer's reset makes the socket readable (recv
// tells of the reset) instead of looking like a connect that failed.
TEST_F(SocketCalls, SelectAfterAMadeConnectShowsTheResetAsReadable) {
  ws::SOCKET s = NewSocket();
  ws::u_long on = 1;
  ASSERT_EQ(api.ioctlsocket(s, ws::FIONBIO, &on), 0);
  auto sa = Loopback(listener.Port());
  api.connect(s, Sa(sa), sizeof sa);
  peerFd = listener.AcceptOne();
  ASSERT_GE(peerFd, 0);
  ws::fd_set w;
  ws::WS_FD_ZERO(&w);
  ws::WS_FD_SET(s, &w);
  ws::timeval limit{5, 0};
  ASSERT_EQ(api.select(0, nullptr, &w, nullptr, &limit), 1);
  peer::Reset(peerFd);
  peerFd = -1;
  ws::fd_set r, e;
  ws::WS_FD_ZERO(&r);
  ws::WS_FD_ZERO(&e);
  ws::WS_FD_SET(s, &r);
  ws::WS_FD_SET(s, &e);
  EXPECT_EQ(api.select(0, &r, nullptr, &e, &limit), 1);
  EXPECT_TRUE(ws::WS_FD_ISSET(s, &r));
  EXPECT_EQ(e.fd_count, 0u);
  char buf[4];
  EXPECT_EQ(api.recv(s, buf, sizeof buf, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAECONNRESET);
}

TEST_F(SocketCalls, DatagramsTravelWithTheirAddresses) {
  ws::SOCKET a = api.socket(ws::AF_INET, ws::SOCK_DGRAM, 0);
  ws::SOCKET b = api.socket(ws::AF_INET, ws::SOCK_DGRAM, ws::IPPROTO_UDP);
  ASSERT_NE(a, ws::INVALID_SOCKET);
  ASSERT_NE(b, ws::INVALID_SOCKET);
  sockets_.push_back(a);
  sockets_.push_back(b);
  auto any = Loopback(0);
  ASSERT_EQ(api.bind(b, Sa(any), sizeof any), 0);
  ws::sockaddr_in to{};
  int len = sizeof to;
  ASSERT_EQ(api.getsockname(b, reinterpret_cast<ws::sockaddr*>(&to), &len), 0);
  ASSERT_EQ(api.sendto(a, "dgram", 5, 0, Sa(to), sizeof to), 5);
  char buf[16];
  ws::sockaddr_in from{};
  int fromLen = sizeof from;
  ASSERT_EQ(api.recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<ws::sockaddr*>(&from), &fromLen),
            5);
  EXPECT_EQ(std::string(buf, 5), "dgram");
  EXPECT_EQ(from.sin_addr.s_addr, api.inet_addr("127.0.0.1"));
  EXPECT_EQ(GetInt(b, ws::SOL_SOCKET, ws::SO_TYPE), ws::SOCK_DGRAM);
}

}  // namespace
}  // namespace wstest
