// The Winsock binding and the socket component, against the real libwsock32.so and loopback
// peers.

#include <gtest/gtest.h>

#include <memory>

#include "errors/code_message.h"
#include "peer.h"
#include "port/socket.h"
#include "port/winsock_binding.h"
#include "port_test_support.h"

using namespace porttest;
using testsupport::PumpUntil;

namespace {

TSockAddrIn LoopbackAddress(TApdSocket& socket, int port) {
  TSockAddrIn address{};
  address.sin_family = winsock::AF_INET;
  address.sin_port = socket.PortToNetwork(static_cast<WORD>(port));
  address.sin_addr.s_addr = socket.DottedToAddress("127.0.0.1");
  return address;
}

}  // namespace

TEST(WinsockBinding, LoadsOnceAndFindsAllNames) {
  ASSERT_TRUE(BindWinsock());
  const TWinsockEntryTable& table = WinsockEntryTable();
  HMODULE library = table.Library;
  ASSERT_NE(library, nullptr);
  EXPECT_NE(table.accept, nullptr);
  EXPECT_NE(table.WSAIsBlocking, nullptr);
  EXPECT_NE(table.WSAAsyncSelect, nullptr);
  // Binding again looks the names up again but keeps the one library.
  ASSERT_TRUE(BindWinsock());
  EXPECT_EQ(table.Library, library);
}

TEST(SocketComponent, StartsWinsockPerComponentAndCleansUpIndependently) {
  testsupport::Watchdog watchdog;
  auto first = std::make_unique<TApdSocket>(nullptr);
  auto second = std::make_unique<TApdSocket>(nullptr);
  EXPECT_TRUE(first->Bound());
  EXPECT_EQ(first->StartupError(), 0);
  EXPECT_EQ(first->StartupData().wVersion, 0x0101);
  EXPECT_NE(first->NoticeWindow(), nullptr);
  EXPECT_NE(first->NoticeWindow(), second->NoticeWindow());
  TObject::Free(first.release());
  // Winsock counts start-ups: the other component still works.
  TSocket socket = second->MakeStreamSocket();
  EXPECT_NE(socket, NoSocket);
  EXPECT_EQ(second->DropSocket(socket), 0);
}

TEST(SocketComponent, AddressAndServiceConversions) {
  TApdSocket socket(nullptr);
  EXPECT_EQ(socket.DottedToAddress("127.0.0.1"), 0x0100007Fu);  // network byte order
  EXPECT_EQ(socket.DottedToAddress("localhost"), AddressNone);
  EXPECT_EQ(socket.DottedToAddress("10.1.2.3"), 0x0302010Au);
  EXPECT_EQ(socket.AddressToDotted(0x0100007Fu), "127.0.0.1");
  EXPECT_EQ(socket.PortFromNetwork(socket.PortToNetwork(5001)), 5001);
  EXPECT_EQ(socket.PortToNetwork(0x1234), 0x3412);
  EXPECT_EQ(socket.ResolveHost("localhost"), 0x0100007Fu);
  EXPECT_EQ(socket.ResolveService("ftp"), 21);
  EXPECT_EQ(socket.ResolveService("telnet"), 23);
  EXPECT_EQ(socket.ResolveService("no-such-service-here"), 0);
}

TEST(SocketComponent, TextsAreTakenWholeNeverCutToAnotherName) {
  using namespace std::string_literals;
  TApdSocket socket(nullptr);
  // A text whose first 15 characters happen to form an address names no such address.
  EXPECT_NE(socket.DottedToAddress("192.168.100.200"), AddressNone);
  EXPECT_EQ(socket.DottedToAddress("192.168.100.2009"), AddressNone);
  EXPECT_EQ(socket.DottedToAddress("192.168.100.200-backup.example"), AddressNone);
  // The longer spellings of an address are addresses all the same.
  EXPECT_EQ(socket.DottedToAddress("0x7f.0x00.0x00.0x01"), 0x0100007Fu);
  // A NUL inside does not end the text early.
  EXPECT_EQ(socket.DottedToAddress("127.0.0.1\0.example"s), AddressNone);
  EXPECT_EQ(socket.ResolveHost("localhost\0.example"s), 0u);
  EXPECT_EQ(socket.ResolveService("ftp\0-data"s), 0);
}

TEST(SocketComponent, RefusesNamesLongerThanItsBuffer) {
  TApdSocket socket(nullptr);
  std::string name(256, 'a');
  try {
    socket.ResolveHost(name);
    FAIL() << "a 256-character name was looked up";
  } catch (const EApdSocketException& e) {
    EXPECT_EQ(e.ErrorCode, winsock::WSAENAMETOOLONG);
    EXPECT_EQ(std::string(e.what()), CodeMessage(winsock::WSAENAMETOOLONG));
  }
  EXPECT_THROW(socket.ResolveService(name), EApdSocketException);
  // 255 characters still fit: no such host, but no refusal either.
  EXPECT_EQ(socket.ResolveService(std::string(255, 'a')), 0);
}

TEST(SocketComponent, FailedCallRaisesWithoutErrorEventAndReportsWithIt) {
  TApdSocket socket(nullptr);
  TSocket s = socket.MakeStreamSocket();
  TSockAddrIn foreign = LoopbackAddress(socket, 0);
  foreign.sin_addr.s_addr = socket.DottedToAddress("192.0.2.1");  // not ours
  try {
    socket.BindLocal(s, foreign);
    FAIL() << "bind to a foreign address succeeded";
  } catch (const EApdSocketException& e) {
    EXPECT_EQ(e.ErrorCode, winsock::WSAEADDRNOTAVAIL);
    EXPECT_EQ(std::string(e.what()), CodeMessage(winsock::WSAEADDRNOTAVAIL));
  }
  std::vector<std::pair<TSocket, int>> errors;
  socket.OnSockError = [&](TObject*, TSocket which, int code) { errors.push_back({which, code}); };
  EXPECT_EQ(socket.BindLocal(s, foreign), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(s, winsock::WSAEADDRNOTAVAIL));
  socket.DropSocket(s);
}

TEST(SocketComponent, NoticeWithErrorWordCallsOnlyTheErrorHandler) {
  testsupport::Watchdog watchdog;
  TApdSocket socket(nullptr);
  int reads = 0;
  std::vector<int> errors;
  socket.OnSockRead = [&](TObject*, TSocket) { ++reads; };
  socket.OnSockError = [&](TObject*, TSocket, int code) { errors.push_back(code); };
  PostMessageA(socket.NoticeWindow(), CM_APDSOCKETMESSAGE, 0x123,
               winsock::WSAMAKESELECTREPLY(winsock::FD_READ, winsock::WSAECONNREFUSED));
  PostMessageA(socket.NoticeWindow(), CM_APDSOCKETMESSAGE, 0x123,
               winsock::WSAMAKESELECTREPLY(winsock::FD_READ, 0));
  ASSERT_TRUE(PumpUntil([&] { return reads == 1; }, 2000));
  EXPECT_EQ(errors, std::vector<int>{winsock::WSAECONNREFUSED});
  EXPECT_EQ(SendMessageA(socket.NoticeWindow(), 0x0011, 0, 0), 1);  // WM_QUERYENDSESSION
  EXPECT_EQ(SendMessageA(socket.NoticeWindow(), 0x0400, 0, 0), 0);
}

TEST(SocketComponent, AsynchronousConnectionToAnEchoPeer) {
  testsupport::Watchdog watchdog;
  Server echo([](Conn& conn, int) {
    std::string got = conn.Recv(5);
    conn.Send(got);
    conn.Close();
  });
  TApdSocket socket(nullptr);
  TSocket s = socket.MakeStreamSocket();
  bool connected = false, closed = false;
  std::string received;
  socket.OnSockConnect = [&](TObject*, TSocket which) {
    EXPECT_EQ(which, s);
    connected = true;
    EXPECT_EQ(socket.SendFrom(s, "hello", 5, 0), 5);
  };
  socket.OnSockRead = [&](TObject*, TSocket which) {
    char buffer[64];
    int n = socket.ReceiveInto(which, buffer, sizeof buffer, 0);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
  };
  socket.OnSockDisconnect = [&](TObject*, TSocket) { closed = true; };
  ASSERT_EQ(socket.RequestNotices(s, SockNoticeRead | SockNoticeConnect | SockNoticeClose), 0);
  // Non-blocking: the would-block answer of connect is not reported.
  socket.OnSockError = [](TObject*, TSocket, int code) { ADD_FAILURE() << "error " << code; };
  socket.StartConnect(s, LoopbackAddress(socket, echo.Port()));
  ASSERT_TRUE(PumpUntil([&] { return closed; }, 5000));
  EXPECT_TRUE(connected);
  // Data that came with the close is still there to read.
  char buffer[64];
  int n;
  while ((n = socket.ReceiveInto(s, buffer, sizeof buffer, 0)) > 0)
    received.append(buffer, static_cast<std::size_t>(n));
  EXPECT_EQ(received, "hello");
  socket.DropSocket(s);
}

TEST(SocketComponent, RefusedConnectArrivesAsErrorOnly) {
  testsupport::Watchdog watchdog;
  TApdSocket socket(nullptr);
  TSocket s = socket.MakeStreamSocket();
  int connects = 0;
  std::vector<int> errors;
  socket.OnSockConnect = [&](TObject*, TSocket) { ++connects; };
  socket.OnSockError = [&](TObject*, TSocket, int code) { errors.push_back(code); };
  socket.RequestNotices(s, SockNoticeConnect | SockNoticeClose);
  socket.StartConnect(s, LoopbackAddress(socket, UnusedPort()));
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }, 5000));
  EXPECT_EQ(errors[0], winsock::WSAECONNREFUSED);
  EXPECT_EQ(connects, 0);
  socket.DropSocket(s);
}

TEST(SocketComponent, ListensAndAcceptsWithInheritedNotices) {
  testsupport::Watchdog watchdog;
  TApdSocket socket(nullptr);
  TSocket listener = socket.MakeStreamSocket();
  TSockAddrIn local = LoopbackAddress(socket, 0);
  ASSERT_EQ(socket.BindLocal(listener, local), 0);
  ASSERT_EQ(socket.RequestNotices(listener, SockNoticeRead | SockNoticeAccept | SockNoticeClose),
            0);
  ASSERT_EQ(socket.StartListening(listener, 5), 0);
  TSockAddrIn bound{};
  int length = sizeof bound;
  ASSERT_EQ(WinsockEntryTable().getsockname(static_cast<winsock::SOCKET>(listener),
                                            reinterpret_cast<winsock::sockaddr*>(&bound), &length),
            0);
  int port = socket.PortFromNetwork(bound.sin_port);

  TSocket accepted = NoSocket;
  TSockAddrIn peer{};
  std::string received;
  socket.OnSockAccept = [&](TObject*, TSocket which) {
    accepted = socket.TakeConnection(which, peer);
  };
  socket.OnSockRead = [&](TObject*, TSocket which) {
    char buffer[64];
    int n = socket.ReceiveInto(which, buffer, sizeof buffer, 0);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
  };
  Conn client = ConnectTo(port);
  ASSERT_TRUE(client.Valid());
  client.Send("data");
  ASSERT_TRUE(PumpUntil([&] { return received == "data"; }, 5000));
  EXPECT_NE(accepted, NoSocket);
  EXPECT_EQ(peer.sin_addr.s_addr, 0x0100007Fu);
  socket.DropSocket(accepted);
  socket.DropSocket(listener);
}
