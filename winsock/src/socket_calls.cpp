// socket, bind, connect, listen, accept, send, recv, shutdown, closesocket, names and
// WSAAsyncSelect.

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "api.h"
#include "sockets.h"

namespace wsimpl {

namespace {

constexpr int kSockaddrInSize = static_cast<int>(sizeof(ws::sockaddr_in));

// Reads a Winsock address; 0 or the Winsock error.
int ReadAddress(const ws::sockaddr* name, int namelen, bsd::Inet4* out) {
  if (!name || namelen < kSockaddrInSize) return ws::WSAEFAULT;
  ws::sockaddr_in sin;
  std::memcpy(&sin, name, sizeof sin);
  if (sin.sin_family != ws::AF_INET) return ws::WSAEAFNOSUPPORT;
  out->address = sin.sin_addr.s_addr;
  out->port = sin.sin_port;
  return 0;
}

int WriteAddress(const bsd::Inet4& a, ws::sockaddr* name, int* namelen) {
  if (!name || !namelen || *namelen < kSockaddrInSize) return ws::WSAEFAULT;
  ws::sockaddr_in sin{};
  sin.sin_family = ws::AF_INET;
  sin.sin_port = a.port;
  sin.sin_addr.s_addr = a.address;
  std::memcpy(name, &sin, sizeof sin);
  *namelen = kSockaddrInSize;
  return 0;
}

// Handles are multiples of 4 from 0x100 up, like Windows' (and small: a caller keeping them
// in a 32-bit integer with -1 for "none" is safe). As on Windows, a closed socket's handle is
// given out again at once: the lowest free one is taken, so a notice still queued for a
// closed socket names the next one just as it can there.
ws::SOCKET NewHandle(Table& t) {
  ws::SOCKET h = 0x100;
  while (t.sockets.count(h)) h += 4;
  return h;
}

std::shared_ptr<Sock> AddSocket(int fd, bsd::SockType type, ConnState state) {
  auto s = std::make_shared<Sock>();
  s->fd = fd;
  s->type = type;
  s->state = state;
  auto& t = Sockets();
  s->handle = NewHandle(t);
  t.sockets.emplace(s->handle, s);
  return s;
}

// A connect started before the socket was registered: a connection that is already made
// gives no FD_CONNECT, as on Windows; one still under way does when it completes.
void SettleConnectBeforeRegistering(Sock& s) {
  if (s.state != ConnState::Connecting) return;
  pollfd p{s.fd, POLLOUT, 0};
  if (poll(&p, 1, 0) <= 0) return;
  int err = bsd::TakePendingError(s.fd);
  if (err == 0 && (p.revents & POLLOUT))
    s.state = ConnState::Connected;
  else if (err != 0 || (p.revents & (POLLERR | POLLHUP)))
    s.state = ConnState::Unconnected;
}

bool ValidBuffer(const char* buf, int len) {
  return len >= 0 && (buf || len == 0);
}

constexpr int kKnownFlags = ws::MSG_OOB | ws::MSG_PEEK | ws::MSG_DONTROUTE;

}  // namespace

ws::SOCKET Socket(int af, int type, int protocol) {
  if (!CheckStarted()) return ws::INVALID_SOCKET;
  if (af != ws::AF_INET) return Fail(ws::WSAEAFNOSUPPORT), ws::INVALID_SOCKET;
  bsd::SockType kind;
  switch (type) {
    case ws::SOCK_STREAM:
      kind = bsd::SockType::Stream;
      if (protocol != 0 && protocol != ws::IPPROTO_TCP)
        return Fail(ws::WSAEPROTONOSUPPORT), ws::INVALID_SOCKET;
      break;
    case ws::SOCK_DGRAM:
      kind = bsd::SockType::Datagram;
      if (protocol != 0 && protocol != ws::IPPROTO_UDP)
        return Fail(ws::WSAEPROTONOSUPPORT), ws::INVALID_SOCKET;
      break;
    case ws::SOCK_RAW:
      kind = bsd::SockType::Raw;
      break;
    default:
      return Fail(ws::WSAESOCKTNOSUPPORT), ws::INVALID_SOCKET;
  }
  int fd = bsd::OpenSocket(kind, protocol);
  if (fd < 0) return FailErrno(errno), ws::INVALID_SOCKET;
  std::lock_guard lock(Sockets().mutex);
  auto s = AddSocket(
      fd, kind, kind == bsd::SockType::Stream ? ConnState::Unconnected : ConnState::Connectionless);
  return s->handle;
}

int CloseSocket(ws::SOCKET handle) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto& t = Sockets();
  int fd;
  {
    std::lock_guard lock(t.mutex);
    auto it = t.sockets.find(handle);
    if (it == t.sockets.end()) return Fail(ws::WSAENOTSOCK);
    // Notifications already posted stay in the queue; the caller tolerates them.
    it->second->closed.store(true, std::memory_order_release);
    DropRegistration(*it->second);
    fd = it->second->fd;
    t.sockets.erase(it);
  }
  bsd::CloseSocket(fd);
  return 0;
}

int Bind(ws::SOCKET handle, const ws::sockaddr* name, int namelen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  bsd::Inet4 local;
  if (int err = ReadAddress(name, namelen, &local)) return Fail(err);
  if (bsd::Bind(s->fd, local) < 0) return FailErrno(errno);
  std::lock_guard lock(Sockets().mutex);
  s->bound = true;
  return 0;
}

int Connect(ws::SOCKET handle, const ws::sockaddr* name, int namelen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  bsd::Inet4 remote;
  if (int err = ReadAddress(name, namelen, &remote)) return Fail(err);
  {
    std::lock_guard lock(Sockets().mutex);
    if (s->state == ConnState::Listening) return Fail(ws::WSAEINVAL);
  }
  // Linux would take 0.0.0.0 (or port 0) for the local host; Windows refuses.
  if (s->type == bsd::SockType::Stream && (remote.address == 0 || remote.port == 0))
    return Fail(ws::WSAEADDRNOTAVAIL);
  int rc = bsd::Connect(s->fd, remote);
  int err = rc < 0 ? errno : 0;
  std::lock_guard lock(Sockets().mutex);
  if (s->type != bsd::SockType::Stream) {
    if (rc < 0) return FailErrno(err);
    s->bound = true;
    return 0;
  }
  if (rc == 0 || err == EINPROGRESS) {
    s->bound = true;
    // A registered socket hears of its connection through the loop, even one made at once,
    // so that FD_CONNECT is posted in every case.
    s->state = (rc == 0 && !Registered(*s)) ? ConnState::Connected : ConnState::Connecting;
    UpdateInterest(*s);
    return rc == 0 ? 0 : Fail(ws::WSAEWOULDBLOCK);
  }
  if (err == EISCONN) {
    if (s->state == ConnState::Connecting && !Registered(*s)) s->state = ConnState::Connected;
    return Fail(ws::WSAEISCONN);
  }
  // Winsock 1.1 callers get WSAEINVAL for a second connect while one is under way.
  if (err == EALREADY) return Fail(ws::WSAEINVAL);
  if (Registered(*s) && s->nonBlocking && s->state == ConnState::Unconnected) {
    // An outcome known at once still arrives as FD_CONNECT, as for any non-blocking connect.
    PendingPosts posts;
    if (s->mask & ws::FD_CONNECT) posts.Add(*s, ws::FD_CONNECT, WsaFromErrno(err));
    posts.Flush();
    return Fail(ws::WSAEWOULDBLOCK);
  }
  return FailErrno(err);
}

int Listen(ws::SOCKET handle, int backlog) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  {
    std::lock_guard lock(Sockets().mutex);
    if (s->type != bsd::SockType::Stream) return Fail(ws::WSAEOPNOTSUPP);
    if (s->state == ConnState::Connected || s->state == ConnState::Connecting)
      return Fail(ws::WSAEISCONN);
    // Linux would pick a port for an unbound socket; Windows refuses.
    if (!s->bound) return Fail(ws::WSAEINVAL);
  }
  if (bsd::Listen(s->fd, backlog < 0 ? 0 : backlog) < 0) return FailErrno(errno);
  std::lock_guard lock(Sockets().mutex);
  s->state = ConnState::Listening;
  UpdateInterest(*s);
  return 0;
}

ws::SOCKET Accept(ws::SOCKET handle, ws::sockaddr* addr, int* addrlen) {
  if (!CheckStarted()) return ws::INVALID_SOCKET;
  auto listener = FindSocket(handle);
  if (!listener) return ws::INVALID_SOCKET;
  auto& t = Sockets();
  PendingPosts posts;
  int error = 0;
  bool nonBlocking = false;
  {
    std::lock_guard lock(t.mutex);
    if (addr && (!addrlen || *addrlen < kSockaddrInSize))
      error = ws::WSAEFAULT;
    else if (listener->state != ConnState::Listening)
      error = ws::WSAEINVAL;
    nonBlocking = listener->nonBlocking;
    // accept re-enables FD_ACCEPT even when it fails.
    if (error) Reenable(*listener, ws::FD_ACCEPT, posts);
  }
  if (error) {
    posts.Flush();
    return Fail(error), ws::INVALID_SOCKET;
  }
  bsd::Inet4 peer;
  int fd = bsd::Accept(listener->fd, &peer, nonBlocking);
  int err = fd < 0 ? errno : 0;
  ws::SOCKET result = ws::INVALID_SOCKET;
  {
    std::lock_guard lock(t.mutex);
    Reenable(*listener, ws::FD_ACCEPT, posts);
    if (fd >= 0) {
      auto s = AddSocket(fd, bsd::SockType::Stream, ConnState::Connected);
      s->bound = true;
      s->nonBlocking = nonBlocking;
      // The new socket takes over the listener's registration (events, window, message).
      InheritRegistration(*listener, *s);
      result = s->handle;
    }
  }
  posts.Flush();
  if (fd < 0) return FailErrno(err), ws::INVALID_SOCKET;
  if (addr) WriteAddress(peer, addr, addrlen);
  return result;
}

int Recv(ws::SOCKET handle, char* buf, int len, int flags) {
  return RecvFrom(handle, buf, len, flags, nullptr, nullptr);
}

int RecvFrom(ws::SOCKET handle, char* buf, int len, int flags, ws::sockaddr* from, int* fromlen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  Sock* s = FindStreamSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  int error = 0;
  long n = -1;
  bsd::Inet4 source;
  bool hasSource = false;
  if (!ValidBuffer(buf, len) || (from && (!fromlen || *fromlen < kSockaddrInSize)))
    error = ws::WSAEFAULT;
  else if (flags & ~kKnownFlags)
    error = ws::WSAEOPNOTSUPP;
  else {
    n = from ? bsd::RecvFrom(s->fd, buf, static_cast<std::size_t>(len), flags, &source, &hasSource)
             : bsd::Recv(s->fd, buf, static_cast<std::size_t>(len), flags);
    if (n < 0) error = WsaFromErrno(errno);
  }
  PendingPosts posts;
  bool reset;
  {
    // recv re-enables FD_READ (and FD_OOB), whatever its outcome.
    std::lock_guard lock(Sockets().mutex);
    Reenable(*s, ws::FD_READ | ws::FD_OOB, posts);
    reset = s->reset;
  }
  posts.Flush();
  if (error) return Fail(error);
  // Linux ends a reset stream like a closed one once the error was collected; Windows keeps
  // saying "reset".
  if (n == 0 && len > 0 && reset) return Fail(ws::WSAECONNRESET);
  if (from && hasSource) WriteAddress(source, from, fromlen);
  return static_cast<int>(n);
}

int Send(ws::SOCKET handle, const char* buf, int len, int flags) {
  return SendTo(handle, buf, len, flags, nullptr, 0);
}

int SendTo(ws::SOCKET handle, const char* buf, int len, int flags, const ws::sockaddr* to,
           int tolen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  Sock* s = FindStreamSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (!ValidBuffer(buf, len)) return Fail(ws::WSAEFAULT);
  if (flags & ~kKnownFlags) return Fail(ws::WSAEOPNOTSUPP);
  bsd::Inet4 target;
  // A stream socket ignores the address, as on Windows.
  bool useTarget = to && s->type != bsd::SockType::Stream;
  if (useTarget) {
    if (int err = ReadAddress(to, tolen, &target)) return Fail(err);
  }
  {
    std::lock_guard lock(Sockets().mutex);
    if (s->wrShut) return Fail(ws::WSAESHUTDOWN);
  }
  long n = useTarget ? bsd::SendTo(s->fd, buf, static_cast<std::size_t>(len), flags, target)
                     : bsd::Send(s->fd, buf, static_cast<std::size_t>(len), flags);
  if (n >= 0) return static_cast<int>(n);
  int err = errno;
  if (err == EAGAIN) {
    // Only a send that would block brings FD_WRITE back.
    PendingPosts posts;
    {
      std::lock_guard lock(Sockets().mutex);
      Reenable(*s, ws::FD_WRITE, posts);
    }
    posts.Flush();
  }
  return FailErrno(err);
}

int Shutdown(ws::SOCKET handle, int how) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (how < ws::SD_RECEIVE || how > ws::SD_BOTH) return Fail(ws::WSAEINVAL);
  {
    std::lock_guard lock(Sockets().mutex);
    if (s->state == ConnState::Unconnected || s->state == ConnState::Listening)
      return Fail(ws::WSAENOTCONN);
  }
  if (bsd::Shutdown(s->fd, how) < 0) return FailErrno(errno);
  std::lock_guard lock(Sockets().mutex);
  if (how != ws::SD_SEND) s->rdShut = true;
  if (how != ws::SD_RECEIVE) s->wrShut = true;
  UpdateInterest(*s);
  return 0;
}

int GetPeerName(ws::SOCKET handle, ws::sockaddr* name, int* namelen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (!name || !namelen || *namelen < kSockaddrInSize) return Fail(ws::WSAEFAULT);
  bsd::Inet4 peer;
  if (bsd::PeerName(s->fd, &peer) < 0) return FailErrno(errno);
  return WriteAddress(peer, name, namelen);
}

int GetSockName(ws::SOCKET handle, ws::sockaddr* name, int* namelen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (!name || !namelen || *namelen < kSockaddrInSize) return Fail(ws::WSAEFAULT);
  {
    std::lock_guard lock(Sockets().mutex);
    if (!s->bound) return Fail(ws::WSAEINVAL);
  }
  bsd::Inet4 local;
  if (bsd::SockName(s->fd, &local) < 0) return FailErrno(errno);
  return WriteAddress(local, name, namelen);
}

int WSAAsyncSelect(ws::SOCKET handle, HWND hwnd, UINT msg, long events) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (events != 0 && !IsWindow(hwnd)) return Fail(ws::WSAEINVAL);
  // Always non-blocking afterwards, even when cancelling.
  if (bsd::SetNonBlocking(s->fd, true) < 0) return FailErrno(errno);
  std::lock_guard lock(Sockets().mutex);
  s->nonBlocking = true;
  if (!Registered(*s)) SettleConnectBeforeRegistering(*s);
  return RegisterAsyncSelect(*s, hwnd, msg, static_cast<std::uint32_t>(events));
}

}  // namespace wsimpl
