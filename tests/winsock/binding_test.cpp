// Loading and binding the library, start-up and clean-up, the blocking-hook calls.

#include <cstring>
#include <string>

#include "winsock_api.h"

namespace wstest {
namespace {

std::string ProgramFolder() {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('/') + 1);
}

TEST(WinsockBinding, AllEntryPointsResolveByName) {
  HMODULE m = LoadLibraryA("WSOCK32");
  ASSERT_NE(m, nullptr);
  for (const char* name : ws::kEntryPointNames) EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
  EXPECT_EQ(GetProcAddress(m, "WSAStartupX"), nullptr);
  // Only the Winsock names are exported, none of the library's own helpers.
  EXPECT_EQ(GetProcAddress(m, "_ZN6wsimpl4RecvEmPcii"), nullptr);
  Api api;
  EXPECT_TRUE(api.Bind(m)) << api.missing;
  FreeLibrary(m);
}

TEST(WinsockBinding, TheCopyWithoutWSAIsBlockingLacksOnlyThatName) {
  HMODULE m = LoadLibraryA((ProgramFolder() + "missing/libwsock32.so").c_str());
  ASSERT_NE(m, nullptr);
  Api api;
  EXPECT_FALSE(api.Bind(m));
  EXPECT_EQ(api.missing, "WSAIsBlocking");
  for (const char* name : ws::kEntryPointNames) {
    if (std::strcmp(name, "WSAIsBlocking") != 0) {
      EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
    }
  }
  FreeLibrary(m);
}

class WinsockStartup : public ::testing::Test {
 protected:
  Api& api = Lib();
};

TEST_F(WinsockStartup, CallsBeforeStartupFailWithNotInitialised) {
  EXPECT_EQ(api.socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANOTINITIALISED);
  EXPECT_EQ(api.gethostbyname("localhost"), nullptr);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANOTINITIALISED);
  EXPECT_EQ(api.WSACleanup(), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANOTINITIALISED);
  // Byte order and address text need no start-up.
  EXPECT_EQ(api.htons(0x1234), 0x3412);
  EXPECT_EQ(api.inet_addr("1.2.3.4"), api.htonl(0x01020304));
}

TEST_F(WinsockStartup, Version11RequestIsGranted) {
  ws::WSADATA data;
  std::memset(&data, 0xAA, sizeof data);
  ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0202);
  EXPECT_GT(std::strlen(data.szDescription), 0u);
  EXPECT_LT(std::strlen(data.szDescription), sizeof data.szDescription);
  EXPECT_STREQ(data.szSystemStatus, "Running");
  EXPECT_GT(data.iMaxSockets, 0);
  EXPECT_EQ(api.WSACleanup(), 0);
}

TEST_F(WinsockStartup, VersionNegotiation) {
  ws::WSADATA data{};
  ASSERT_EQ(api.WSAStartup(ws::MAKEWORD(1, 9), &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101) << "1.x above 1.1 is answered with 1.1";
  ASSERT_EQ(api.WSAStartup(ws::MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  ASSERT_EQ(api.WSAStartup(ws::MAKEWORD(3, 0), &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  EXPECT_EQ(api.WSACleanup(), 0);
  EXPECT_EQ(api.WSACleanup(), 0);
  EXPECT_EQ(api.WSACleanup(), 0);

  // Failures are the return value and start nothing.
  EXPECT_EQ(api.WSAStartup(ws::MAKEWORD(0, 1), &data), ws::WSAVERNOTSUPPORTED);
  EXPECT_EQ(api.WSAStartup(0x0101, nullptr), ws::WSAEFAULT);
  EXPECT_EQ(api.WSACleanup(), ws::SOCKET_ERROR);
}

TEST_F(WinsockStartup, StartupsAreCountedAndTheLastCleanupClosesSockets) {
  ws::WSADATA data{};
  ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  ws::SOCKET s = api.socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  ASSERT_NE(s, ws::INVALID_SOCKET);

  ASSERT_EQ(api.WSACleanup(), 0);
  // One start-up is left: the socket still works.
  int type = 0, len = sizeof type;
  EXPECT_EQ(api.getsockopt(s, ws::SOL_SOCKET, ws::SO_TYPE, reinterpret_cast<char*>(&type), &len),
            0);
  EXPECT_EQ(type, ws::SOCK_STREAM);

  ASSERT_EQ(api.WSACleanup(), 0);
  EXPECT_EQ(api.closesocket(s), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANOTINITIALISED);
  ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(api.closesocket(s), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAENOTSOCK) << "closed by the last clean-up";
  EXPECT_EQ(api.WSACleanup(), 0);
}

TEST_F(WinsockStartup, LastErrorIsPerThreadAndSettable) {
  api.WSASetLastError(ws::WSAEINTR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINTR);
  int other = -1;
  std::thread([&] {
    api.WSASetLastError(ws::WSAENOBUFS);
    other = api.WSAGetLastError();
  }).join();
  EXPECT_EQ(other, ws::WSAENOBUFS);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINTR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ws::WSAEINTR)) << "the same as GetLastError";
}

void MyHook() {}

TEST_F(WinsockStartup, BlockingHookCallsBehaveAsWithoutBlockingCalls) {
  ws::WSADATA data{};
  ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  EXPECT_FALSE(api.WSAIsBlocking());
  EXPECT_EQ(api.WSACancelBlockingCall(), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSAEINVAL);
  FARPROC previous = api.WSASetBlockingHook(&MyHook);
  EXPECT_NE(previous, nullptr);
  EXPECT_EQ(api.WSASetBlockingHook(previous), &MyHook);
  EXPECT_EQ(api.WSAUnhookBlockingHook(), 0);
  EXPECT_EQ(api.WSACleanup(), 0);
  EXPECT_EQ(api.WSACancelBlockingCall(), ws::SOCKET_ERROR);
  EXPECT_EQ(api.WSAGetLastError(), ws::WSANOTINITIALISED);
}

}  // namespace
}  // namespace wstest
