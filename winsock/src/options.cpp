// getsockopt, setsockopt and ioctlsocket: Winsock levels, option numbers and value layouts
// translated to the host's.

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "api.h"
#include "sockets.h"

namespace wsimpl {

namespace {

constexpr int kIntSize = static_cast<int>(sizeof(int));

enum class Kind { Bool, Int, Linger, DontLinger, TimeoutMs, ReadOnly, Unknown };

struct Mapping {
  Kind kind = Kind::Unknown;
  bsd::Option option = bsd::Option::Debug;
  bool sendSide = false;  // timeouts: SO_SNDTIMEO rather than SO_RCVTIMEO
};

Mapping SocketLevel(int name) {
  switch (name) {
    case ws::SO_DEBUG:
      return {Kind::Bool, bsd::Option::Debug};
    case ws::SO_ACCEPTCONN:
      return {Kind::ReadOnly, bsd::Option::AcceptConn};
    case ws::SO_REUSEADDR:
      return {Kind::Bool, bsd::Option::ReuseAddr};
    case ws::SO_KEEPALIVE:
      return {Kind::Bool, bsd::Option::KeepAlive};
    case ws::SO_DONTROUTE:
      return {Kind::Bool, bsd::Option::DontRoute};
    case ws::SO_BROADCAST:
      return {Kind::Bool, bsd::Option::Broadcast};
    case ws::SO_OOBINLINE:
      return {Kind::Bool, bsd::Option::OobInline};
    case ws::SO_SNDBUF:
      return {Kind::Int, bsd::Option::SndBuf};
    case ws::SO_RCVBUF:
      return {Kind::Int, bsd::Option::RcvBuf};
    case ws::SO_SNDLOWAT:
      return {Kind::Int, bsd::Option::SndLowat};
    case ws::SO_RCVLOWAT:
      return {Kind::Int, bsd::Option::RcvLowat};
    case ws::SO_ERROR:
      return {Kind::ReadOnly, bsd::Option::Error};
    case ws::SO_TYPE:
      return {Kind::ReadOnly, bsd::Option::Type};
    case ws::SO_LINGER:
      return {Kind::Linger, {}};
    case ws::SO_DONTLINGER:
      return {Kind::DontLinger, {}};
    case ws::SO_SNDTIMEO:
      return {Kind::TimeoutMs, {}, true};
    case ws::SO_RCVTIMEO:
      return {Kind::TimeoutMs, {}, false};
    default:
      return {};
  }
}

Mapping IpLevel(int name) {
  switch (name) {
    case ws::IP_TTL:
      return {Kind::Int, bsd::Option::IpTtl};
    case ws::IP_TOS:
      return {Kind::Int, bsd::Option::IpTos};
    case ws::IP_MULTICAST_TTL:
      return {Kind::Int, bsd::Option::IpMulticastTtl};
    case ws::IP_MULTICAST_LOOP:
      return {Kind::Bool, bsd::Option::IpMulticastLoop};
    case ws::IP_DONTFRAGMENT:
      return {Kind::Bool, bsd::Option::IpDontFragment};
    default:
      return {};
  }
}

// Winsock takes short values for int options too (a BOOL passed as one char).
int ReadValue(const char* optval, int optlen) {
  std::uint32_t raw = 0;
  std::memcpy(&raw, optval, static_cast<std::size_t>(std::min(optlen, kIntSize)));
  return static_cast<int>(raw);
}

int WriteInt(int value, char* optval, int* optlen) {
  if (*optlen < kIntSize) return Fail(ws::WSAEFAULT);
  std::memcpy(optval, &value, sizeof value);
  *optlen = kIntSize;
  return 0;
}

int SetMapped(Sock& s, const Mapping& m, const char* optval, int optlen) {
  if (optlen < 1) return Fail(ws::WSAEFAULT);
  int value = ReadValue(optval, optlen);
  switch (m.kind) {
    case Kind::Bool:
      value = value != 0;
      [[fallthrough]];
    case Kind::Int:
      if (bsd::SetIntOption(s.fd, m.option, value) < 0) return FailErrno(errno);
      return 0;
    case Kind::Linger: {
      if (optlen < static_cast<int>(sizeof(ws::linger))) return Fail(ws::WSAEFAULT);
      ws::linger l;
      std::memcpy(&l, optval, sizeof l);
      if (bsd::SetLinger(s.fd, l.l_onoff != 0, l.l_linger) < 0) return FailErrno(errno);
      return 0;
    }
    case Kind::DontLinger: {
      // Turning lingering back on keeps the time set earlier.
      bool on = false;
      int seconds = 0;
      bsd::GetLinger(s.fd, &on, &seconds);
      if (bsd::SetLinger(s.fd, value == 0, seconds) < 0) return FailErrno(errno);
      return 0;
    }
    case Kind::TimeoutMs:
      if (bsd::SetTimeoutMs(s.fd, m.sendSide, static_cast<std::uint32_t>(value)) < 0)
        return FailErrno(errno);
      return 0;
    case Kind::ReadOnly:
    case Kind::Unknown:
      break;
  }
  return Fail(ws::WSAENOPROTOOPT);
}

int GetMapped(Sock& s, const Mapping& m, char* optval, int* optlen) {
  switch (m.kind) {
    case Kind::Bool:
    case Kind::Int:
    case Kind::ReadOnly: {
      int value = 0;
      if (bsd::GetIntOption(s.fd, m.option, &value) < 0) return FailErrno(errno);
      if (m.option == bsd::Option::Error) value = WsaFromErrno(value);
      if (m.option == bsd::Option::Type)
        value = value == static_cast<int>(bsd::SockType::Stream)     ? ws::SOCK_STREAM
                : value == static_cast<int>(bsd::SockType::Datagram) ? ws::SOCK_DGRAM
                                                                     : ws::SOCK_RAW;
      if (m.kind == Kind::Bool) value = value != 0;
      return WriteInt(value, optval, optlen);
    }
    case Kind::Linger:
    case Kind::DontLinger: {
      bool on = false;
      int seconds = 0;
      if (bsd::GetLinger(s.fd, &on, &seconds) < 0) return FailErrno(errno);
      if (m.kind == Kind::DontLinger) return WriteInt(!on, optval, optlen);
      if (*optlen < static_cast<int>(sizeof(ws::linger))) return Fail(ws::WSAEFAULT);
      ws::linger l{static_cast<ws::u_short>(on), static_cast<ws::u_short>(seconds)};
      std::memcpy(optval, &l, sizeof l);
      *optlen = sizeof l;
      return 0;
    }
    case Kind::TimeoutMs: {
      std::uint32_t ms = 0;
      if (bsd::GetTimeoutMs(s.fd, m.sendSide, &ms) < 0) return FailErrno(errno);
      return WriteInt(static_cast<int>(ms), optval, optlen);
    }
    case Kind::Unknown:
      break;
  }
  return Fail(ws::WSAENOPROTOOPT);
}

}  // namespace

int SetSockOpt(ws::SOCKET handle, int level, int optname, const char* optval, int optlen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (optlen < 0 || (!optval && optlen > 0)) return Fail(ws::WSAEFAULT);
  switch (level) {
    case ws::SOL_SOCKET:
      return SetMapped(*s, SocketLevel(optname), optval, optlen);
    case ws::IPPROTO_TCP:
      if (optname != ws::TCP_NODELAY) return Fail(ws::WSAENOPROTOOPT);
      return SetMapped(*s, {Kind::Bool, bsd::Option::TcpNoDelay}, optval, optlen);
    case ws::IPPROTO_IP: {
      switch (optname) {
        case ws::IP_MULTICAST_IF: {
          if (optlen < 4) return Fail(ws::WSAEFAULT);
          std::uint32_t address;
          std::memcpy(&address, optval, 4);
          return bsd::SetMulticastInterface(s->fd, address) < 0 ? FailErrno(errno) : 0;
        }
        case ws::IP_ADD_MEMBERSHIP:
        case ws::IP_DROP_MEMBERSHIP: {
          if (optlen < static_cast<int>(sizeof(ws::ip_mreq))) return Fail(ws::WSAEFAULT);
          ws::ip_mreq m;
          std::memcpy(&m, optval, sizeof m);
          return bsd::SetMembership(s->fd, optname == ws::IP_ADD_MEMBERSHIP, m.imr_multiaddr.s_addr,
                                    m.imr_interface.s_addr) < 0
                     ? FailErrno(errno)
                     : 0;
        }
        case ws::IP_OPTIONS:
          return bsd::SetIpOptions(s->fd, optval, static_cast<std::size_t>(optlen)) < 0
                     ? FailErrno(errno)
                     : 0;
        default:
          return SetMapped(*s, IpLevel(optname), optval, optlen);
      }
    }
    default:
      return Fail(ws::WSAEINVAL);
  }
}

int GetSockOpt(ws::SOCKET handle, int level, int optname, char* optval, int* optlen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (!optval || !optlen || *optlen < 0) return Fail(ws::WSAEFAULT);
  switch (level) {
    case ws::SOL_SOCKET:
      return GetMapped(*s, SocketLevel(optname), optval, optlen);
    case ws::IPPROTO_TCP:
      if (optname != ws::TCP_NODELAY) return Fail(ws::WSAENOPROTOOPT);
      return GetMapped(*s, {Kind::Bool, bsd::Option::TcpNoDelay}, optval, optlen);
    case ws::IPPROTO_IP:
      switch (optname) {
        case ws::IP_MULTICAST_IF: {
          if (*optlen < 4) return Fail(ws::WSAEFAULT);
          std::uint32_t address = 0;
          if (bsd::GetMulticastInterface(s->fd, &address) < 0) return FailErrno(errno);
          std::memcpy(optval, &address, 4);
          *optlen = 4;
          return 0;
        }
        case ws::IP_OPTIONS: {
          std::size_t size = static_cast<std::size_t>(*optlen);
          if (bsd::GetIpOptions(s->fd, optval, &size) < 0) return FailErrno(errno);
          *optlen = static_cast<int>(size);
          return 0;
        }
        default:
          return GetMapped(*s, IpLevel(optname), optval, optlen);
      }
    default:
      return Fail(ws::WSAEINVAL);
  }
}

int IoctlSocket(ws::SOCKET handle, long cmd, ws::u_long* argp) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto s = FindSocket(handle);
  if (!s) return ws::SOCKET_ERROR;
  if (!argp) return Fail(ws::WSAEFAULT);
  // Callers may hand the command over sign-extended or not: only 32 bits count.
  switch (static_cast<std::uint32_t>(cmd)) {
    case static_cast<std::uint32_t>(ws::FIONBIO): {
      bool on = *argp != 0;
      std::lock_guard lock(Sockets().mutex);
      // Back to blocking only after the registration was cancelled.
      if (!on && Registered(*s)) return Fail(ws::WSAEINVAL);
      if (bsd::SetNonBlocking(s->fd, on) < 0) return FailErrno(errno);
      s->nonBlocking = on;
      return 0;
    }
    case static_cast<std::uint32_t>(ws::FIONREAD): {
      int count = 0;
      if (bsd::BytesReadable(s->fd, &count) < 0) return FailErrno(errno);
      *argp = static_cast<ws::u_long>(count);
      return 0;
    }
    case static_cast<std::uint32_t>(ws::SIOCATMARK):
      // TRUE when no urgent data waits to be read.
      *argp = bsd::UrgentPending(s->fd) ? 0 : 1;
      return 0;
    default:
      return Fail(ws::WSAEINVAL);
  }
}

}  // namespace wsimpl
