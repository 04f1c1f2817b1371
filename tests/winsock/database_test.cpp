// Address text, byte order, and the host, service and protocol look-ups.

#include <cstring>
#include <string>

#include "winsock_api.h"

namespace wstest {
namespace {

class AddressText : public ::testing::Test {
 protected:
  ws::u_long Addr(const char* text) { return api.inet_addr(text); }
  ws::u_long Host(std::uint32_t v) { return api.htonl(v); }
  Api& api = Lib();
};

TEST_F(AddressText, DottedFormsAndBases) {
  EXPECT_EQ(Addr("127.0.0.1"), Host(0x7F000001));
  EXPECT_EQ(Addr("1.2.3"), Host(0x01020003)) << "last part fills 16 bits";
  EXPECT_EQ(Addr("1.16777215"), Host(0x01FFFFFF)) << "last part fills 24 bits";
  EXPECT_EQ(Addr("3232235777"), Host(0xC0A80101)) << "one 32-bit number";
  EXPECT_EQ(Addr("0x7f.1"), Host(0x7F000001));
  EXPECT_EQ(Addr("010.0.0.1"), Host(0x08000001)) << "leading 0 is octal";
  EXPECT_EQ(Addr("0XFF.0.0.0"), Host(0xFF000000));
  EXPECT_EQ(Addr("1.2.3.4 trailing words"), Host(0x01020304)) << "text ends at a blank";
  EXPECT_EQ(Addr("255.255.255.255"), 0xFFFFFFFFu) << "the same as the error value";
  EXPECT_EQ(Addr(" "), 0u);
}

TEST_F(AddressText, BadTextGivesInaddrNone) {
  for (const char* bad :
       {"", "256.1.1.1", "1.2.3.4.5", "1.2.3.", ".1.2.3", "1..2.3", "08.1.1.1", "0x", "0x1g.0.0.1",
        "1.2.65536", "4294967296", "host.example", "-1", "1.2.3.4x"})
    EXPECT_EQ(Addr(bad), ws::INADDR_NONE) << '"' << bad << '"';
  EXPECT_EQ(Addr(nullptr), ws::INADDR_NONE);
}

TEST_F(AddressText, ByteOrderAndDottedOutput) {
  EXPECT_EQ(api.htons(0x1234), 0x3412);
  EXPECT_EQ(api.ntohs(api.htons(21)), 21);
  EXPECT_EQ(api.htonl(0x01020304), 0x04030201u);
  EXPECT_EQ(api.ntohl(api.htonl(0xC0A80001)), 0xC0A80001u);
  ws::in_addr a{};
  a.s_addr = api.inet_addr("192.168.10.254");
  EXPECT_STREQ(api.inet_ntoa(a), "192.168.10.254");
  a.s_addr = 0;
  EXPECT_STREQ(api.inet_ntoa(a), "0.0.0.0");
}

class Database : public WinsockTest {};

TEST_F(Database, ServicesComeFromTheSystemDatabase) {
  ws::servent* ftp = api.getservbyname("ftp", "tcp");
  ASSERT_NE(ftp, nullptr);
  EXPECT_EQ(api.ntohs(static_cast<ws::u_short>(ftp->s_port)), 21);
  EXPECT_STREQ(ftp->s_name, "ftp");
  EXPECT_STREQ(ftp->s_proto, "tcp");

  ws::servent* telnet = api.getservbyname("telnet", nullptr);
  ASSERT_NE(telnet, nullptr);
  EXPECT_EQ(api.ntohs(static_cast<ws::u_short>(telnet->s_port)), 23);

  ws::servent* byPort = api.getservbyport(api.htons(21), "tcp");
  ASSERT_NE(byPort, nullptr);
  EXPECT_STREQ(byPort->s_name, "ftp");

  EXPECT_EQ(api.getservbyname("no-such-service", "tcp"), nullptr);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANO_DATA);
}

TEST_F(Database, ProtocolsAndHosts) {
  ws::protoent* tcp = api.getprotobyname("tcp");
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(tcp->p_proto, 6);
  ws::protoent* udp = api.getprotobynumber(17);
  ASSERT_NE(udp, nullptr);
  EXPECT_STREQ(udp->p_name, "udp");

  ws::hostent* h = api.gethostbyname("127.0.0.1");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, ws::AF_INET);
  EXPECT_EQ(h->h_length, 4);
  ASSERT_NE(h->h_addr_list[0], nullptr);
  ws::u_long first;
  std::memcpy(&first, h->h_addr_list[0], 4);
  EXPECT_EQ(first, api.htonl(0x7F000001));

  ws::hostent* local = api.gethostbyname("localhost");
  ASSERT_NE(local, nullptr);
  std::memcpy(&first, local->h_addr_list[0], 4);
  EXPECT_EQ(api.ntohl(first) >> 24, 127u);

  // An empty label makes no host name: the resolver refuses it without asking a name server,
  // so the answer is the same on every machine and nothing leaves this one.
  EXPECT_EQ(api.gethostbyname("no-such-host..invalid"), nullptr);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAHOST_NOT_FOUND);

  char name[256];
  ASSERT_EQ(api.gethostname(name, sizeof name), 0);
  EXPECT_GT(std::strlen(name), 0u);
  EXPECT_EQ(api.gethostname(name, 1), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEFAULT);
}

TEST_F(Database, ResultsArePerThread) {
  ws::servent* mine = api.getservbyname("ftp", "tcp");
  ASSERT_NE(mine, nullptr);
  std::thread([&] { ASSERT_NE(api.getservbyname("telnet", "tcp"), nullptr); }).join();
  EXPECT_STREQ(mine->s_name, "ftp") << "another thread's look-up leaves ours alone";
}

class AsyncLookup : public WinsockTest {
 protected:
  static constexpr UINT kReply = WM_USER + 7;
  NoticeWindow win;
  alignas(8) char buf[ws::MAXGETHOSTSTRUCT];
};

TEST_F(AsyncLookup, ServiceReplyIsPostedWithTheResultInTheCallersBuffer) {
  HANDLE task = api.WSAAsyncGetServByName(win.Handle(), kReply, "ftp", "tcp", buf, sizeof buf);
  ASSERT_NE(task, nullptr);
  ASSERT_TRUE(win.WaitForCount(1));
  const Notice& n = win.Notices()[0];
  EXPECT_EQ(n.msg, kReply);
  EXPECT_EQ(n.socket, reinterpret_cast<WPARAM>(task)) << "wParam is the task handle";
  EXPECT_EQ(ws::WSAGETASYNCERROR(win.LParams()[0]), 0);
  std::size_t used = ws::WSAGETASYNCBUFLEN(win.LParams()[0]);
  EXPECT_GT(used, sizeof(ws::servent));
  EXPECT_LE(used, sizeof buf);
  auto* s = reinterpret_cast<ws::servent*>(buf);
  EXPECT_EQ(api.ntohs(static_cast<ws::u_short>(s->s_port)), 21);
  EXPECT_STREQ(s->s_name, "ftp");
  // Every pointer aims inside the caller's buffer.
  EXPECT_GE(s->s_name, buf);
  EXPECT_LT(s->s_name, buf + used);
  EXPECT_EQ(api.WSACancelAsyncRequest(task), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEALREADY);
}

TEST_F(AsyncLookup, SmallBufferReportsTheSizeNeeded) {
  HANDLE t1 = api.WSAAsyncGetHostByName(win.Handle(), kReply, "127.0.0.1", buf, 8);
  ASSERT_NE(t1, nullptr);
  ASSERT_TRUE(win.WaitForCount(1));
  EXPECT_EQ(ws::WSAGETASYNCERROR(win.LParams()[0]), ws::WSAENOBUFS);
  int need = ws::WSAGETASYNCBUFLEN(win.LParams()[0]);
  EXPECT_GT(need, 8);

  HANDLE t2 = api.WSAAsyncGetHostByName(win.Handle(), kReply, "127.0.0.1", buf, need);
  EXPECT_NE(t2, t1);
  ASSERT_TRUE(win.WaitForCount(2));
  EXPECT_EQ(ws::WSAGETASYNCERROR(win.LParams()[1]), 0);
  auto* h = reinterpret_cast<ws::hostent*>(buf);
  ws::u_long address;
  std::memcpy(&address, h->h_addr_list[0], 4);
  EXPECT_EQ(address, api.htonl(0x7F000001));
  EXPECT_EQ(h->h_addr_list[1], nullptr);
}

TEST_F(AsyncLookup, FailedLookupsReplyWithTheError) {
  ASSERT_NE(
      api.WSAAsyncGetServByName(win.Handle(), kReply, "no-such-service", "tcp", buf, sizeof buf),
      nullptr);
  ASSERT_NE(api.WSAAsyncGetProtoByNumber(win.Handle(), kReply, 6, buf, sizeof buf), nullptr);
  ASSERT_TRUE(win.WaitForCount(2));
  EXPECT_EQ(win.LParams()[0], ws::WSAMAKEASYNCREPLY(0, ws::WSANO_DATA));
  EXPECT_EQ(ws::WSAGETASYNCERROR(win.LParams()[1]), 0);
  EXPECT_STREQ(reinterpret_cast<ws::protoent*>(buf)->p_name, "tcp");
  EXPECT_EQ(api.WSACancelAsyncRequest(reinterpret_cast<HANDLE>(std::uintptr_t{0x12345})),
            ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL);
}

}  // namespace
}  // namespace wstest
