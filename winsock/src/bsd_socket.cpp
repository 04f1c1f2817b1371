#include "bsd_socket.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bsd {

namespace {

// The C library's own socket functions. This library exports functions of the same names,
// so calling them by name from here could bind to our exports; looking them up past this
// library cannot.
struct Libc {
  decltype(&::socket) socket;
  decltype(&::bind) bind;
  decltype(&::connect) connect;
  decltype(&::listen) listen;
  decltype(&::send) send;
  decltype(&::sendto) sendto;
  decltype(&::recv) recv;
  decltype(&::recvfrom) recvfrom;
  decltype(&::shutdown) shutdown;
  decltype(&::getpeername) getpeername;
  decltype(&::getsockname) getsockname;
  decltype(&::getsockopt) getsockopt;
  decltype(&::setsockopt) setsockopt;

  Libc() {
    void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    Resolve(libc, socket, "socket");
    Resolve(libc, bind, "bind");
    Resolve(libc, connect, "connect");
    Resolve(libc, listen, "listen");
    Resolve(libc, send, "send");
    Resolve(libc, sendto, "sendto");
    Resolve(libc, recv, "recv");
    Resolve(libc, recvfrom, "recvfrom");
    Resolve(libc, shutdown, "shutdown");
    Resolve(libc, getpeername, "getpeername");
    Resolve(libc, getsockname, "getsockname");
    Resolve(libc, getsockopt, "getsockopt");
    Resolve(libc, setsockopt, "setsockopt");
  }

  template <typename F>
  static void Resolve(void* libc, F& slot, const char* name) {
    // The objects loaded after this library: the C library (or a sanitizer's interceptor
    // in front of it), never our own export.
    void* address = dlsym(RTLD_NEXT, name);
    if (!address && libc) address = dlsym(libc, name);
    if (!address) {
      std::fprintf(stderr, "wsock32: the C library has no %s\n", name);
      std::abort();
    }
    slot = reinterpret_cast<F>(address);
  }
};

const Libc& C() {
  static const Libc libc;
  return libc;
}

sockaddr_in ToSockaddr(const Inet4& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = a.port;
  sa.sin_addr.s_addr = a.address;
  return sa;
}

void FromSockaddr(const sockaddr_in& sa, Inet4* a) {
  if (!a) return;
  a->address = sa.sin_addr.s_addr;
  a->port = sa.sin_port;
}

int HostFlags(int flags) {
  int out = 0;
  if (flags & kMsgOob) out |= MSG_OOB;
  if (flags & kMsgPeek) out |= MSG_PEEK;
  if (flags & kMsgDontRoute) out |= MSG_DONTROUTE;
  return out;
}

bool OptionNumber(Option option, int* level, int* name) {
  switch (option) {
    case Option::Debug:
      *level = SOL_SOCKET, *name = SO_DEBUG;
      return true;
    case Option::AcceptConn:
      *level = SOL_SOCKET, *name = SO_ACCEPTCONN;
      return true;
    case Option::ReuseAddr:
      *level = SOL_SOCKET, *name = SO_REUSEADDR;
      return true;
    case Option::KeepAlive:
      *level = SOL_SOCKET, *name = SO_KEEPALIVE;
      return true;
    case Option::DontRoute:
      *level = SOL_SOCKET, *name = SO_DONTROUTE;
      return true;
    case Option::Broadcast:
      *level = SOL_SOCKET, *name = SO_BROADCAST;
      return true;
    case Option::OobInline:
      *level = SOL_SOCKET, *name = SO_OOBINLINE;
      return true;
    case Option::SndBuf:
      *level = SOL_SOCKET, *name = SO_SNDBUF;
      return true;
    case Option::RcvBuf:
      *level = SOL_SOCKET, *name = SO_RCVBUF;
      return true;
    case Option::SndLowat:
      *level = SOL_SOCKET, *name = SO_SNDLOWAT;
      return true;
    case Option::RcvLowat:
      *level = SOL_SOCKET, *name = SO_RCVLOWAT;
      return true;
    case Option::Error:
      *level = SOL_SOCKET, *name = SO_ERROR;
      return true;
    case Option::Type:
      *level = SOL_SOCKET, *name = SO_TYPE;
      return true;
    case Option::TcpNoDelay:
      *level = IPPROTO_TCP, *name = TCP_NODELAY;
      return true;
    case Option::IpTtl:
      *level = IPPROTO_IP, *name = IP_TTL;
      return true;
    case Option::IpTos:
      *level = IPPROTO_IP, *name = IP_TOS;
      return true;
    case Option::IpMulticastTtl:
      *level = IPPROTO_IP, *name = IP_MULTICAST_TTL;
      return true;
    case Option::IpMulticastLoop:
      *level = IPPROTO_IP, *name = IP_MULTICAST_LOOP;
      return true;
    case Option::IpDontFragment:
      *level = IPPROTO_IP, *name = IP_MTU_DISCOVER;
      return true;
  }
  return false;
}

LookupError FromHErrno(int herr) {
  switch (herr) {
    case 0:
      return LookupError::None;
    case HOST_NOT_FOUND:
      return LookupError::HostNotFound;
    case TRY_AGAIN:
      return LookupError::TryAgain;
    case NO_RECOVERY:
      return LookupError::NoRecovery;
    case NO_DATA:
      return LookupError::NoData;
    default:
      return LookupError::Other;
  }
}

std::vector<std::string> CopyList(char** list) {
  std::vector<std::string> out;
  for (; list && *list; ++list) out.emplace_back(*list);
  return out;
}

// Calls a *_r look-up with a buffer that grows while the look-up reports ERANGE. The result
// points into `buffer`, which the caller keeps until it has copied the result.
template <typename Call>
int WithBuffer(std::vector<char>& buffer, Call call) {
  buffer.resize(1024);
  for (;;) {
    int rc = call(buffer.data(), buffer.size());
    if (rc != ERANGE || buffer.size() >= (1u << 20)) return rc;
    buffer.resize(buffer.size() * 2);
  }
}

LookupError FillHost(const hostent* h, HostEntry* entry) {
  entry->name = h->h_name ? h->h_name : "";
  entry->aliases = CopyList(h->h_aliases);
  entry->addresses.clear();
  if (h->h_addrtype != AF_INET || h->h_length != 4) return LookupError::NoData;
  for (char** a = h->h_addr_list; a && *a; ++a) {
    std::uint32_t address;
    std::memcpy(&address, *a, 4);
    entry->addresses.push_back(address);
  }
  return LookupError::None;
}

void FillServ(const servent* s, ServEntry* entry) {
  entry->name = s->s_name ? s->s_name : "";
  entry->aliases = CopyList(s->s_aliases);
  entry->port = static_cast<std::uint16_t>(s->s_port);
  entry->protocol = s->s_proto ? s->s_proto : "";
}

void FillProto(const protoent* p, ProtoEntry* entry) {
  entry->name = p->p_name ? p->p_name : "";
  entry->aliases = CopyList(p->p_aliases);
  entry->number = p->p_proto;
}

}  // namespace

int OpenSocket(SockType type, int protocol) {
  int hostType = type == SockType::Stream     ? SOCK_STREAM
                 : type == SockType::Datagram ? SOCK_DGRAM
                                              : SOCK_RAW;
  // Close-on-exec: a started installer must not inherit our connections.
  return C().socket(AF_INET, hostType | SOCK_CLOEXEC, protocol);
}

int CloseSocket(int fd) {
  return ::close(fd);
}

int SetNonBlocking(int fd, bool on) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return -1;
  int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return wanted == flags ? 0 : ::fcntl(fd, F_SETFL, wanted);
}

int Bind(int fd, const Inet4& local) {
  sockaddr_in sa = ToSockaddr(local);
  return C().bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

int Connect(int fd, const Inet4& remote) {
  sockaddr_in sa = ToSockaddr(remote);
  int rc = C().connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  // After a failed non-blocking connect Linux may refuse the next attempt once.
  if (rc < 0 && errno == ECONNABORTED)
    rc = C().connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return rc;
}

int Listen(int fd, int backlog) {
  return C().listen(fd, backlog);
}

int Accept(int fd, Inet4* peer, bool nonBlocking) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  int flags = SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0);
  int rc;
  do {
    rc = ::accept4(fd, reinterpret_cast<sockaddr*>(&sa), &len, flags);
  } while (rc < 0 && errno == EINTR);
  if (rc >= 0) FromSockaddr(sa, peer);
  return rc;
}

long Send(int fd, const void* data, std::size_t size, int flags) {
  long rc;
  do {
    rc = C().send(fd, data, size, HostFlags(flags) | MSG_NOSIGNAL);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

long SendTo(int fd, const void* data, std::size_t size, int flags, const Inet4& to) {
  sockaddr_in sa = ToSockaddr(to);
  long rc;
  do {
    rc = C().sendto(fd, data, size, HostFlags(flags) | MSG_NOSIGNAL,
                    reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

long Recv(int fd, void* data, std::size_t size, int flags) {
  long rc;
  do {
    rc = C().recv(fd, data, size, HostFlags(flags));
  } while (rc < 0 && errno == EINTR);
  return rc;
}

long RecvFrom(int fd, void* data, std::size_t size, int flags, Inet4* from, bool* hasFrom) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  long rc;
  do {
    rc = C().recvfrom(fd, data, size, HostFlags(flags), reinterpret_cast<sockaddr*>(&sa), &len);
  } while (rc < 0 && errno == EINTR);
  if (rc >= 0) {
    *hasFrom = len >= sizeof(sockaddr_in) && sa.sin_family == AF_INET;
    if (*hasFrom) FromSockaddr(sa, from);
  }
  return rc;
}

int Shutdown(int fd, int how) {
  int hostHow = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return C().shutdown(fd, hostHow);
}

int PeerName(int fd, Inet4* name) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (C().getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) < 0) return -1;
  FromSockaddr(sa, name);
  return 0;
}

int SockName(int fd, Inet4* name) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (C().getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) < 0) return -1;
  FromSockaddr(sa, name);
  return 0;
}

int TakePendingError(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  if (C().getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0) return errno;
  return error;
}

int BytesReadable(int fd, int* count) {
  return ::ioctl(fd, FIONREAD, count);
}

int PeekOne(int fd) {
  char byte;
  long rc;
  do {
    rc = C().recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 ? 1 : static_cast<int>(rc);
}

bool UrgentPending(int fd) {
  char byte;
  return C().recv(fd, &byte, 1, MSG_OOB | MSG_PEEK | MSG_DONTWAIT) > 0;
}

int SetIntOption(int fd, Option option, int value) {
  int level, name;
  if (!OptionNumber(option, &level, &name)) {
    errno = ENOPROTOOPT;
    return -1;
  }
  if (option == Option::IpDontFragment) value = value ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  return C().setsockopt(fd, level, name, &value, sizeof value);
}

int GetIntOption(int fd, Option option, int* value) {
  int level, name;
  if (!OptionNumber(option, &level, &name)) {
    errno = ENOPROTOOPT;
    return -1;
  }
  int raw = 0;
  socklen_t len = sizeof raw;
  if (C().getsockopt(fd, level, name, &raw, &len) < 0) return -1;
  if (len == 1) raw = static_cast<unsigned char>(raw & 0xFF);
  if (option == Option::IpDontFragment) raw = raw == IP_PMTUDISC_DO;
  if (option == Option::Type)
    raw = static_cast<int>(raw == SOCK_STREAM  ? SockType::Stream
                           : raw == SOCK_DGRAM ? SockType::Datagram
                                               : SockType::Raw);
  *value = raw;
  return 0;
}

int SetLinger(int fd, bool on, int seconds) {
  ::linger l{on ? 1 : 0, seconds};
  return C().setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

int GetLinger(int fd, bool* on, int* seconds) {
  ::linger l{};
  socklen_t len = sizeof l;
  if (C().getsockopt(fd, SOL_SOCKET, SO_LINGER, &l, &len) < 0) return -1;
  *on = l.l_onoff != 0;
  *seconds = l.l_linger;
  return 0;
}

int SetTimeoutMs(int fd, bool send, std::uint32_t ms) {
  ::timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
  return C().setsockopt(fd, SOL_SOCKET, send ? SO_SNDTIMEO : SO_RCVTIMEO, &tv, sizeof tv);
}

int GetTimeoutMs(int fd, bool send, std::uint32_t* ms) {
  ::timeval tv{};
  socklen_t len = sizeof tv;
  if (C().getsockopt(fd, SOL_SOCKET, send ? SO_SNDTIMEO : SO_RCVTIMEO, &tv, &len) < 0) return -1;
  *ms = static_cast<std::uint32_t>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
  return 0;
}

int SetMulticastInterface(int fd, std::uint32_t address) {
  ::in_addr a{address};
  return C().setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a);
}

int GetMulticastInterface(int fd, std::uint32_t* address) {
  ::in_addr a{};
  socklen_t len = sizeof a;
  if (C().getsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &a, &len) < 0) return -1;
  *address = a.s_addr;
  return 0;
}

int SetMembership(int fd, bool add, std::uint32_t group, std::uint32_t interfaceAddress) {
  ::ip_mreq m{};
  m.imr_multiaddr.s_addr = group;
  m.imr_interface.s_addr = interfaceAddress;
  return C().setsockopt(fd, IPPROTO_IP, add ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &m, sizeof m);
}

int SetIpOptions(int fd, const void* data, std::size_t size) {
  return C().setsockopt(fd, IPPROTO_IP, IP_OPTIONS, data, static_cast<socklen_t>(size));
}

int GetIpOptions(int fd, void* data, std::size_t* size) {
  socklen_t len = static_cast<socklen_t>(*size);
  if (C().getsockopt(fd, IPPROTO_IP, IP_OPTIONS, data, &len) < 0) return -1;
  *size = len;
  return 0;
}

LookupError HostByName(const char* name, HostEntry* entry) {
  hostent result{};
  hostent* found = nullptr;
  int herr = 0;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t size) {
    return ::gethostbyname2_r(name, AF_INET, &result, buf, size, &found, &herr);
  });
  if (rc == 0 && found) return FillHost(found, entry);
  if (rc == ERANGE || rc == ENOMEM) return LookupError::Other;
  return FromHErrno(herr ? herr : HOST_NOT_FOUND);
}

LookupError HostByAddr(const void* address, std::size_t size, HostEntry* entry) {
  hostent result{};
  hostent* found = nullptr;
  int herr = 0;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t bufSize) {
    return ::gethostbyaddr_r(address, static_cast<socklen_t>(size), AF_INET, &result, buf, bufSize,
                             &found, &herr);
  });
  if (rc == 0 && found) return FillHost(found, entry);
  if (rc == ERANGE || rc == ENOMEM) return LookupError::Other;
  return FromHErrno(herr ? herr : HOST_NOT_FOUND);
}

// The services and protocols databases give no h_errno: not found is WSANO_DATA on Windows.
LookupError ServByName(const char* name, const char* protocol, ServEntry* entry) {
  servent result{};
  servent* found = nullptr;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t size) {
    return ::getservbyname_r(name, protocol, &result, buf, size, &found);
  });
  if (rc != 0 || !found) return rc == ERANGE ? LookupError::Other : LookupError::NoData;
  FillServ(found, entry);
  return LookupError::None;
}

LookupError ServByPort(std::uint16_t portNetworkOrder, const char* protocol, ServEntry* entry) {
  servent result{};
  servent* found = nullptr;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t size) {
    return ::getservbyport_r(portNetworkOrder, protocol, &result, buf, size, &found);
  });
  if (rc != 0 || !found) return rc == ERANGE ? LookupError::Other : LookupError::NoData;
  FillServ(found, entry);
  return LookupError::None;
}

LookupError ProtoByName(const char* name, ProtoEntry* entry) {
  protoent result{};
  protoent* found = nullptr;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t size) {
    return ::getprotobyname_r(name, &result, buf, size, &found);
  });
  if (rc != 0 || !found) return rc == ERANGE ? LookupError::Other : LookupError::NoData;
  FillProto(found, entry);
  return LookupError::None;
}

LookupError ProtoByNumber(int number, ProtoEntry* entry) {
  protoent result{};
  protoent* found = nullptr;
  std::vector<char> buffer;
  int rc = WithBuffer(buffer, [&](char* buf, std::size_t size) {
    return ::getprotobynumber_r(number, &result, buf, size, &found);
  });
  if (rc != 0 || !found) return rc == ERANGE ? LookupError::Other : LookupError::NoData;
  FillProto(found, entry);
  return LookupError::None;
}

// uname() rather than gethostname(): that name is one of our exports.
int HostName(std::string* name) {
  utsname u{};
  if (::uname(&u) < 0) return -1;
  *name = u.nodename;
  return 0;
}

}  // namespace bsd
