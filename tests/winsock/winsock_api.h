// The socket library as its callers see it: loaded by name through LoadLibraryA("WSOCK32")
// and bound with GetProcAddress, never linked. Also a window that records notifications and
// a fixture that starts Winsock for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/library.h"
#include "platform/messages.h"
#include "platform/winsock.h"
#include "support/loop_support.h"

namespace wstest {

namespace ws = winsock;

// clang-format off
#define WSTEST_ENTRY_POINTS(X) \
  X(accept) \
  X(bind) \
  X(closesocket) \
  X(connect) \
  X(getpeername) \
  X(getsockname) \
  X(getsockopt) \
  X(htonl) \
  X(htons) \
  X(inet_addr) \
  X(inet_ntoa) \
  X(ioctlsocket) \
  X(listen) \
  X(ntohl) \
  X(ntohs) \
  X(recv) \
  X(recvfrom) \
  X(select) \
  X(send) \
  X(sendto) \
  X(setsockopt) \
  X(shutdown) \
  X(socket) \
  X(gethostbyaddr) \
  X(gethostbyname) \
  X(gethostname) \
  X(getservbyport) \
  X(getservbyname) \
  X(getprotobynumber) \
  X(getprotobyname) \
  X(WSAStartup) \
  X(WSACleanup) \
  X(WSASetLastError) \
  X(WSAGetLastError) \
  X(WSAIsBlocking) \
  X(WSAUnhookBlockingHook) \
  X(WSASetBlockingHook) \
  X(WSACancelBlockingCall) \
  X(WSAAsyncGetServByName) \
  X(WSAAsyncGetServByPort) \
  X(WSAAsyncGetProtoByName) \
  X(WSAAsyncGetProtoByNumber) \
  X(WSAAsyncGetHostByName) \
  X(WSAAsyncGetHostByAddr) \
  X(WSACancelAsyncRequest) \
  X(WSAAsyncSelect)
// clang-format on

struct Api {
  HMODULE module = nullptr;
  std::string missing;  // the first name that did not resolve
#define WSTEST_FIELD(name) ws::Tfn_##name name = nullptr;
  WSTEST_ENTRY_POINTS(WSTEST_FIELD)
#undef WSTEST_FIELD

  bool Bind(HMODULE m) {
    module = m;
#define WSTEST_BIND(n)                                           \
  n = reinterpret_cast<ws::Tfn_##n>(GetProcAddress(module, #n)); \
  if (!n) {                                                      \
    missing = #n;                                                \
    return false;                                                \
  }
    WSTEST_ENTRY_POINTS(WSTEST_BIND)
#undef WSTEST_BIND
    return true;
  }
};

// The library, loaded once for the test program.
inline Api& Lib() {
  static Api api = [] {
    Api a;
    HMODULE m = LoadLibraryA("WSOCK32");
    if (!m || !a.Bind(m)) {
      std::fprintf(stderr, "cannot bind WSOCK32 (%s)\n", a.missing.c_str());
      std::abort();
    }
    return a;
  }();
  return api;
}

inline constexpr UINT kNoticeMsg = 0x0B11;

struct Notice {
  ws::SOCKET socket;
  UINT msg;
  WORD event;
  WORD error;
  bool operator==(const Notice&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Notice& n) {
  static const char* names[] = {"READ", "WRITE", "OOB", "ACCEPT", "CONNECT", "CLOSE"};
  const char* name = "?";
  for (int i = 0; i < 6; ++i)
    if (n.event == (1 << i)) name = names[i];
  return os << "{s=" << n.socket << " msg=" << n.msg << " FD_" << name << " err=" << n.error << "}";
}

// A hidden window that records every socket notification it receives.
class NoticeWindow {
 public:
  NoticeWindow() {
    hwnd_ = AllocateHWnd([this](TMessage& m) {
      if (m.Msg >= WM_USER) {
        notices_.push_back({static_cast<ws::SOCKET>(m.WParam), m.Msg,
                            ws::WSAGETSELECTEVENT(m.LParam), ws::WSAGETSELECTERROR(m.LParam)});
        lparams_.push_back(m.LParam);
      }
    });
  }
  ~NoticeWindow() { DeallocateHWnd(hwnd_); }
  NoticeWindow(const NoticeWindow&) = delete;
  NoticeWindow& operator=(const NoticeWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  const std::vector<Notice>& Notices() const { return notices_; }
  const std::vector<LPARAM>& LParams() const { return lparams_; }
  void Clear() {
    notices_.clear();
    lparams_.clear();
  }
  // Pumps until `count` notices have arrived (true) or `timeoutMs` passed.
  bool WaitForCount(std::size_t count, int timeoutMs = 5000) {
    return testsupport::PumpUntil([&] { return notices_.size() >= count; }, timeoutMs);
  }
  std::size_t CountOf(ws::SOCKET s, long event) const {
    std::size_t n = 0;
    for (auto& x : notices_)
      if (x.socket == s && x.event == event) ++n;
    return n;
  }

 private:
  HWND hwnd_ = nullptr;
  std::vector<Notice> notices_;
  std::vector<LPARAM> lparams_;
};

inline Notice N(ws::SOCKET s, long event, int error = 0, UINT msg = kNoticeMsg) {
  return {s, msg, static_cast<WORD>(event), static_cast<WORD>(error)};
}

inline ws::sockaddr_in Loopback(std::uint16_t port) {
  ws::sockaddr_in sa{};
  sa.sin_family = ws::AF_INET;
  sa.sin_port = Lib().htons(port);
  sa.sin_addr.s_addr = Lib().htonl(ws::INADDR_LOOPBACK);
  return sa;
}

inline const ws::sockaddr* Sa(const ws::sockaddr_in& sin) {
  return reinterpret_cast<const ws::sockaddr*>(&sin);
}

// Starts Winsock for each test and cleans up after it; a watchdog ends a test that hangs.
class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws::WSADATA data{};
    ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
  }
  void TearDown() override {
    for (ws::SOCKET s : sockets_) api.closesocket(s);
    EXPECT_EQ(api.WSACleanup(), 0);
  }
  // A stream socket closed at the end of the test.
  ws::SOCKET NewSocket() {
    ws::SOCKET s = api.socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    EXPECT_NE(s, ws::INVALID_SOCKET) << api.WSAGetLastError();
    sockets_.push_back(s);
    return s;
  }

  Api& api = Lib();
  testsupport::Watchdog watchdog_{120};
  std::vector<ws::SOCKET> sockets_;
};

}  // namespace wstest
