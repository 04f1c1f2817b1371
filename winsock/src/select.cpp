// select over Winsock's socket arrays, done with poll().

#include <poll.h>

#include <cerrno>
#include <vector>

#include "api.h"
#include "platform/time.h"
#include "sockets.h"

namespace wsimpl {

namespace {

struct Entry {
  ws::SOCKET handle;
  ConnState state;
  bool read = false, write = false, except = false;
};

Entry* FindEntry(std::vector<Entry>& entries, ws::SOCKET h) {
  for (auto& e : entries)
    if (e.handle == h) return &e;
  return nullptr;
}

}  // namespace

int Select(int, ws::fd_set* readfds, ws::fd_set* writefds, ws::fd_set* exceptfds,
           const ws::timeval* timeout) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  if (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return Fail(ws::WSAEINVAL);
  std::vector<Entry> entries;
  std::vector<pollfd> fds;
  {
    std::lock_guard lock(Sockets().mutex);
    auto gather = [&](ws::fd_set* set, bool Entry::*which) {
      if (!set) return true;
      if (set->fd_count > ws::WS_FD_SETSIZE) return false;
      for (ws::u_int i = 0; i < set->fd_count; ++i) {
        ws::SOCKET h = set->fd_array[i];
        auto it = Sockets().sockets.find(h);
        if (it == Sockets().sockets.end()) return false;
        Entry* e = FindEntry(entries, h);
        if (!e) {
          Sock& sock = *it->second;
          // A non-blocking connect that nobody watches for notices is over once the socket
          // has a peer: from then on a hang-up or reset is the connection's end, not a
          // failed connect. (The notices of a registered socket keep their own account.)
          bsd::Inet4 peer;
          if (sock.state == ConnState::Connecting && !Registered(sock) &&
              bsd::PeerName(sock.fd, &peer) == 0)
            sock.state = ConnState::Connected;
          entries.push_back({h, sock.state});
          fds.push_back({it->second->fd, 0, 0});
          e = &entries.back();
        }
        e->*which = true;
      }
      return true;
    };
    if (!gather(readfds, &Entry::read) || !gather(writefds, &Entry::write) ||
        !gather(exceptfds, &Entry::except))
      return Fail(ws::WSAENOTSOCK);
  }
  if (entries.empty()) return Fail(ws::WSAEINVAL);

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    short ev = 0;
    // A never-connected stream socket polls as writable and hung up on Linux: leave it out.
    if (e.state != ConnState::Unconnected) {
      if (e.read) ev |= POLLIN;
      if (e.write || (e.except && e.state == ConnState::Connecting)) ev |= POLLOUT;
      if (e.except) ev |= POLLPRI;
    }
    if (!ev) fds[i].fd = -1;
    fds[i].events = ev;
  }

  std::int64_t limitMs = -1;
  if (timeout) limitMs = std::int64_t{timeout->tv_sec} * 1000 + (timeout->tv_usec + 999) / 1000;
  std::int64_t deadline = limitMs < 0 ? 0 : platform::MonotonicMs() + limitMs;
  for (;;) {
    int wait = -1;
    if (limitMs >= 0) {
      std::int64_t left = deadline - platform::MonotonicMs();
      wait = static_cast<int>(left < 0 ? 0 : left);
    }
    int n = poll(fds.data(), fds.size(), wait);
    if (n >= 0) break;
    if (errno != EINTR) return FailErrno(errno);
  }

  int total = 0;
  if (readfds) ws::WS_FD_ZERO(readfds);
  if (writefds) ws::WS_FD_ZERO(writefds);
  if (exceptfds) ws::WS_FD_ZERO(exceptfds);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    short rev = fds[i].revents;
    if (!rev) continue;
    // A connect that failed shows in the exception set, not as writable.
    bool failedConnect = e.state == ConnState::Connecting && (rev & (POLLERR | POLLHUP));
    if (e.read && (rev & (POLLIN | POLLHUP | POLLERR)) && !failedConnect) {
      ws::WS_FD_SET(e.handle, readfds);
      ++total;
    }
    if (e.write && (rev & POLLOUT) && !failedConnect) {
      ws::WS_FD_SET(e.handle, writefds);
      ++total;
    }
    if (e.except && ((rev & POLLPRI) || failedConnect)) {
      ws::WS_FD_SET(e.handle, exceptfds);
      ++total;
    }
  }
  return total;
}

}  // namespace wsimpl
