// WSAAsyncSelect: readiness of registered sockets becomes one posted message per event.
//
// Each socket keeps the set of events already posted and not yet re-enabled ("reported").
// The loop polls only for what is registered and not reported, so an unread FD_READ does not
// make poll() return again and again; recv, accept and a would-block send re-enable their
// event, and a condition that still holds is seen at the next poll (level, not edge).

#include <poll.h>

#include <cerrno>

#include "sockets.h"

namespace wsimpl {

namespace {

constexpr std::uint32_t kAllEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_OOB | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;

// The peer closed: 0. A reset (or another failure) ends the connection with
// WSAECONNABORTED, which is what Windows was seen to post for a peer's RST.
int CloseError(const Sock& s) {
  return s.reset ? ws::WSAECONNABORTED : 0;
}

void Report(Sock& s, long event, int error, PendingPosts& posts) {
  s.reported |= static_cast<std::uint32_t>(event);
  posts.Add(s, event, error);
}

short ComputeInterest(const Sock& s) {
  if (!Registered(s)) return 0;
  std::uint32_t want = s.mask & ~s.reported;
  switch (s.state) {
    case ConnState::Connecting:
      // The outcome is needed whatever is registered: it decides what to poll next.
      return POLLOUT;
    case ConnState::Listening:
      return (want & ws::FD_ACCEPT) ? POLLIN : 0;
    case ConnState::Connectionless: {
      short ev = 0;
      if (want & ws::FD_READ) ev |= POLLIN;
      if (want & ws::FD_WRITE) ev |= POLLOUT;
      return ev;
    }
    case ConnState::Connected: {
      if (s.dead) return 0;
      short ev = 0;
      if (!s.rdShut) {
        // POLLRDHUP with POLLIN tells a FIN from data without an extra call.
        if (!s.eof && (want & ws::FD_READ)) ev |= POLLIN | POLLRDHUP;
        if (!s.eof && (want & ws::FD_OOB)) ev |= POLLPRI;
        if (want & ws::FD_CLOSE) ev |= POLLRDHUP;
      }
      if (!s.wrShut && (want & ws::FD_WRITE)) ev |= POLLOUT;
      return ev;
    }
    case ConnState::Unconnected:
      // Linux reports a never-connected stream socket as POLLOUT|POLLHUP: never poll it.
      return 0;
  }
  return 0;
}

void EvaluateConnected(Sock& s, short revents, PendingPosts& posts) {
  std::uint32_t want = s.mask & ~s.reported;
  bool hangup = revents & (POLLRDHUP | POLLHUP | POLLERR);
  if (revents & POLLERR) {
    if (bsd::TakePendingError(s.fd) != 0) s.reset = s.eof = s.dead = true;
  }
  if ((revents & POLLPRI) && (want & ws::FD_OOB)) Report(s, ws::FD_OOB, 0, posts);
  if ((revents & POLLIN) && (want & ws::FD_READ)) {
    if (!hangup) {
      Report(s, ws::FD_READ, 0, posts);
    } else {
      // Data, the end of the stream, or both: look at one byte.
      int peek = bsd::PeekOne(s.fd);
      if (peek > 0) {
        Report(s, ws::FD_READ, 0, posts);
      } else if (peek == 0) {
        s.eof = true;
      } else if (errno != EAGAIN) {
        s.eof = true;
        if (errno == ECONNRESET || errno == EPIPE) s.reset = s.dead = true;
      }
    }
  }
  if (revents & POLLRDHUP) s.eof = true;
  if (revents & POLLHUP) s.eof = s.dead = true;
  if ((revents & POLLOUT) && (want & ws::FD_WRITE) && !s.dead) Report(s, ws::FD_WRITE, 0, posts);
  if (s.eof && (want & ws::FD_CLOSE)) Report(s, ws::FD_CLOSE, CloseError(s), posts);
}

// Turns poll() readiness into notifications, in the order CONNECT, ACCEPT, OOB, READ, WRITE,
// CLOSE.
void Evaluate(Sock& s, short revents, PendingPosts& posts) {
  if (!Registered(s)) return;
  if (revents & POLLNVAL) {
    s.dead = true;
    return;
  }
  switch (s.state) {
    case ConnState::Connecting: {
      int err = bsd::TakePendingError(s.fd);
      if (err == ECONNRESET || err == EPIPE) {
        // Made, and reset by the peer before this socket was looked at: the connect
        // succeeded, and what the peer sent before the reset can still be read.
        s.state = ConnState::Connected;
        if (s.mask & ws::FD_CONNECT) Report(s, ws::FD_CONNECT, 0, posts);
        s.reset = s.eof = s.dead = true;
        // Only the connect was watched for: whether data waits is found by looking.
        EvaluateConnected(s, static_cast<short>((revents & ~POLLERR) | POLLIN | POLLHUP), posts);
        return;
      }
      if (err == 0 && !(revents & POLLOUT)) {
        if (!(revents & (POLLERR | POLLHUP))) return;
        err = ECONNREFUSED;
      }
      if (err != 0) {
        // A failed connect posts FD_CONNECT with the reason and nothing else.
        s.state = ConnState::Unconnected;
        if (s.mask & ws::FD_CONNECT) Report(s, ws::FD_CONNECT, WsaFromErrno(err), posts);
        return;
      }
      s.state = ConnState::Connected;
      if (s.mask & ws::FD_CONNECT) Report(s, ws::FD_CONNECT, 0, posts);
      EvaluateConnected(s, static_cast<short>(revents & POLLOUT), posts);
      return;
    }
    case ConnState::Listening:
      if ((revents & POLLIN) && (s.mask & ~s.reported & ws::FD_ACCEPT))
        Report(s, ws::FD_ACCEPT, 0, posts);
      return;
    case ConnState::Connectionless: {
      std::uint32_t want = s.mask & ~s.reported;
      if (revents & POLLERR) bsd::TakePendingError(s.fd);  // e.g. ICMP unreachable
      if ((revents & POLLIN) && (want & ws::FD_READ)) Report(s, ws::FD_READ, 0, posts);
      if ((revents & POLLOUT) && (want & ws::FD_WRITE)) Report(s, ws::FD_WRITE, 0, posts);
      return;
    }
    case ConnState::Connected:
      EvaluateConnected(s, revents, posts);
      return;
    case ConnState::Unconnected:
      return;
  }
}

void OnReady(std::uint32_t serial, short revents) {
  auto& t = Sockets();
  PendingPosts posts;
  {
    std::lock_guard lock(t.mutex);
    auto w = t.watches.find(serial);
    if (w == t.watches.end()) return;
    auto it = t.sockets.find(w->second.handle);
    if (it == t.sockets.end() || it->second->watchSerial != serial) {
      // A watch left behind by a socket closed or re-registered on another thread.
      platform::RemoveFdWatch(w->second.id);
      t.watches.erase(w);
      return;
    }
    Sock& s = *it->second;
    Evaluate(s, revents, posts);
    UpdateInterest(s);
  }
  posts.Flush();
}

void DropWatch(Sock& s) {
  if (!s.watchSerial) return;
  auto& t = Sockets();
  auto w = t.watches.find(s.watchSerial);
  if (w != t.watches.end()) {
    if (w->second.thread == GetCurrentThreadId()) {
      platform::RemoveFdWatch(w->second.id);
      t.watches.erase(w);
    } else {
      // Only the owning thread may touch its loop: the watch removes itself when it fires.
      w->second.handle = ws::INVALID_SOCKET;
    }
  }
  s.watchSerial = 0;
  s.watchThread = 0;
  s.interest = 0;
}

// Watches are made on the thread that registers, whose loop then serves the socket.
void EnsureWatch(Sock& s) {
  DWORD self = GetCurrentThreadId();
  if (s.watchSerial && s.watchThread == self) return;
  DropWatch(s);
  auto& t = Sockets();
  std::uint32_t serial = t.nextSerial++;
  if (serial == 0) serial = t.nextSerial++;
  platform::WatchId id =
      platform::AddFdWatch(s.fd, 0, [serial](int, short revents) { OnReady(serial, revents); });
  t.watches[serial] = WatchRecord{id, self, s.handle};
  s.watchSerial = serial;
  s.watchThread = self;
  s.interest = 0;
}

}  // namespace

void UpdateInterest(Sock& s) {
  if (!s.watchSerial || s.watchThread != GetCurrentThreadId()) return;
  short events = ComputeInterest(s);
  if (events == s.interest) return;
  auto w = Sockets().watches.find(s.watchSerial);
  if (w == Sockets().watches.end()) return;
  platform::SetFdWatchEvents(w->second.id, events);
  s.interest = events;
}

int RegisterAsyncSelect(Sock& s, HWND hwnd, UINT msg, std::uint32_t mask) {
  s.hwnd = hwnd;
  s.msg = msg;
  s.mask = mask & kAllEvents;
  // A new registration re-arms everything: what holds now is posted again.
  s.reported = 0;
  s.eof = false;
  s.dead = false;
  if (!Registered(s)) {
    DropWatch(s);
    return 0;
  }
  EnsureWatch(s);
  UpdateInterest(s);
  return 0;
}

void Reenable(Sock& s, std::uint32_t events, PendingPosts& posts) {
  s.reported &= ~events;
  if (!Registered(s)) return;
  // After the peer's FIN the descriptor is always readable, so poll() cannot say whether
  // data is left: ask directly.
  if ((events & ws::FD_READ) && (s.mask & ws::FD_READ) && s.eof && !s.rdShut &&
      s.state == ConnState::Connected) {
    int waiting = 0;
    if (bsd::BytesReadable(s.fd, &waiting) == 0 && waiting > 0) Report(s, ws::FD_READ, 0, posts);
  }
  UpdateInterest(s);
}

void DropRegistration(Sock& s) {
  s.hwnd = nullptr;
  s.msg = 0;
  s.mask = 0;
  s.reported = 0;
  DropWatch(s);
}

void InheritRegistration(const Sock& listener, Sock& accepted) {
  if (!Registered(listener)) return;
  accepted.hwnd = listener.hwnd;
  accepted.msg = listener.msg;
  accepted.mask = listener.mask;
  accepted.reported = 0;
  EnsureWatch(accepted);
  UpdateInterest(accepted);
}

}  // namespace wsimpl
