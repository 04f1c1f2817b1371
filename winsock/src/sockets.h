// Socket records, the handle table, error reporting and the start-up count.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "bsd_socket.h"
#include "platform/eventloop.h"
#include "platform/messages.h"
#include "platform/winsock.h"

namespace wsimpl {

namespace ws = winsock;

enum class ConnState { Unconnected, Connecting, Listening, Connected, Connectionless };

// One Winsock socket. Handles are not file descriptors; like Windows', they are reused at
// once after a close (see NewHandle).
// `handle`, `fd` and `type` never change; every other field is guarded by the table lock.
struct Sock {
  ws::SOCKET handle = ws::INVALID_SOCKET;
  int fd = -1;
  bsd::SockType type = bsd::SockType::Stream;
  ConnState state = ConnState::Unconnected;
  bool bound = false;
  bool nonBlocking = false;
  bool rdShut = false;  // local shutdown of the receive side
  bool wrShut = false;  // local shutdown of the send side

  // WSAAsyncSelect registration.
  HWND hwnd = nullptr;
  UINT msg = 0;
  std::uint32_t mask = 0;
  std::uint32_t reported = 0;  // posted and not yet re-enabled
  bool eof = false;            // the peer's FIN (or a reset) has been seen
  bool dead = false;           // nothing more can happen on the connection
  bool reset = false;          // the connection ended with a reset (kept)
  std::uint32_t watchSerial = 0;
  DWORD watchThread = 0;
  short interest = 0;
  // Set, under the table lock, when the socket leaves the table.
  std::atomic<bool> closed{false};
};

// A descriptor watch of the platform loop, owned by the thread that made it.
struct WatchRecord {
  platform::WatchId id = 0;
  DWORD thread = 0;
  ws::SOCKET handle = ws::INVALID_SOCKET;  // INVALID_SOCKET once orphaned
};

struct Table {
  std::mutex mutex;
  std::unordered_map<ws::SOCKET, std::shared_ptr<Sock>> sockets;
  std::unordered_map<std::uint32_t, WatchRecord> watches;  // by serial
  std::uint32_t nextSerial = 1;
};
Table& Sockets();

// Looks a handle up; reports WSAENOTSOCK when it is not one of ours.
std::shared_ptr<Sock> FindSocket(ws::SOCKET s);
// FindSocket for the calls that move data, which a connection makes again and again on the
// same socket: the thread's last socket is kept (and alive) beside the table, so that the
// lookup takes neither the table lock nor a reference. The record stays valid until this
// thread's next lookup.
Sock* FindStreamSocket(ws::SOCKET s);

// Error reporting: sets the thread's last error and returns SOCKET_ERROR.
int Fail(int wsaError);
int FailErrno(int errnoValue);
int WsaFromErrno(int errnoValue);
int WsaFromLookup(bsd::LookupError error);

// Start-up count; calls made without a start-up fail with WSANOTINITIALISED.
extern std::atomic<int> startupCount;
inline bool Started() {
  return startupCount.load(std::memory_order_relaxed) > 0;
}
// Reports WSANOTINITIALISED and returns false when there was no start-up.
bool CheckStarted();

// Closes every socket (the last WSACleanup).
void CloseAllSockets();

// The notifications gathered under the table lock and posted after it is released.
struct PendingPosts {
  struct Post {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  Post items[8];
  int count = 0;
  void Add(const Sock& s, long event, int error) {
    if (count < 8)
      items[count++] = {s.hwnd, s.msg, static_cast<WPARAM>(s.handle),
                        ws::WSAMAKESELECTREPLY(static_cast<WORD>(event), static_cast<WORD>(error))};
  }
  void Flush() {
    for (int i = 0; i < count; ++i)
      PostMessageA(items[i].hwnd, items[i].msg, items[i].wParam, items[i].lParam);
    count = 0;
  }
};

// Asynchronous notification engine (async_select.cpp). All with the table lock held.
// A socket's watch lives in the loop of the thread that called WSAAsyncSelect; only that
// thread can change what the loop polls for, so recv/send/accept on a registered socket
// belong on that thread (as its window's messages do).
int RegisterAsyncSelect(Sock& s, HWND hwnd, UINT msg, std::uint32_t mask);
// Events re-enabled by recv, accept or a would-block send; may post at once when the
// condition is known to hold and cannot be polled for.
void Reenable(Sock& s, std::uint32_t events, PendingPosts& posts);
// Recomputes what to poll for after a state change (connect started, listen, shutdown).
void UpdateInterest(Sock& s);
// Drops the registration and its watch (closesocket, WSACleanup).
void DropRegistration(Sock& s);
// The accepted socket takes over the listener's registration.
void InheritRegistration(const Sock& listener, Sock& accepted);
inline bool Registered(const Sock& s) {
  return s.hwnd && s.mask;
}

}  // namespace wsimpl
