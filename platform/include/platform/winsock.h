// Winsock 1.1 declarations for code that binds "WSOCK32" at run time.
//
// Everything lives in namespace winsock, because the C library already declares fd_set,
// timeval, hostent, sockaddr_in, u_long ... at global scope (and u_long there is 64 bits,
// here 32). The header declares no functions: callers look the entry points up with
// GetProcAddress and call them through the Tfn_* pointer types at the end.
//
// Do not include it together with <sys/socket.h>, <netinet/in.h> or <netdb.h>: their macros
// (AF_INET, SOL_SOCKET, SO_REUSEADDR, FIONBIO ...) carry other values and would replace the
// names below. <sys/select.h> (pulled in by most standard headers) defines FD_SETSIZE and the
// FD_SET family as macros, so the Winsock versions here are named WS_FD_SETSIZE, WS_FD_SET ...
//
// Layouts follow the 64-bit Windows headers (servent has s_proto before s_port; WSADATA has
// its counts and vendor pointer before the two strings).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

#if defined(_SYS_SOCKET_H) || defined(_NETINET_IN_H) || defined(_NETDB_H)
#error "platform/winsock.h cannot share a translation unit with the BSD socket headers"
#endif

#ifdef _WIN32
// <windows.h> (winerror.h) has the error numbers and MAKEWORD as macros; this header has them,
// with the same values, in its namespace.
#undef MAKEWORD
#undef WSABASEERR
#undef WSAEACCES
#undef WSAEADDRINUSE
#undef WSAEADDRNOTAVAIL
#undef WSAEAFNOSUPPORT
#undef WSAEALREADY
#undef WSAEBADF
#undef WSAECONNABORTED
#undef WSAECONNREFUSED
#undef WSAECONNRESET
#undef WSAEDESTADDRREQ
#undef WSAEDISCON
#undef WSAEDQUOT
#undef WSAEFAULT
#undef WSAEHOSTDOWN
#undef WSAEHOSTUNREACH
#undef WSAEINPROGRESS
#undef WSAEINTR
#undef WSAEINVAL
#undef WSAEISCONN
#undef WSAELOOP
#undef WSAEMFILE
#undef WSAEMSGSIZE
#undef WSAENAMETOOLONG
#undef WSAENETDOWN
#undef WSAENETRESET
#undef WSAENETUNREACH
#undef WSAENOBUFS
#undef WSAENOPROTOOPT
#undef WSAENOTCONN
#undef WSAENOTEMPTY
#undef WSAENOTSOCK
#undef WSAEOPNOTSUPP
#undef WSAEPFNOSUPPORT
#undef WSAEPROCLIM
#undef WSAEPROTONOSUPPORT
#undef WSAEPROTOTYPE
#undef WSAEREMOTE
#undef WSAESHUTDOWN
#undef WSAESOCKTNOSUPPORT
#undef WSAESTALE
#undef WSAETIMEDOUT
#undef WSAETOOMANYREFS
#undef WSAEUSERS
#undef WSAEWOULDBLOCK
#undef WSAHOST_NOT_FOUND
#undef WSANOTINITIALISED
#undef WSANO_DATA
#undef WSANO_RECOVERY
#undef WSASYSNOTREADY
#undef WSATRY_AGAIN
#undef WSAVERNOTSUPPORTED
#endif

namespace winsock {

using u_char = std::uint8_t;
using u_short = std::uint16_t;
using u_int = std::uint32_t;
using u_long = std::uint32_t;

using SOCKET = UINT_PTR;
inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

// Address families, socket types, protocols.
inline constexpr int AF_UNSPEC = 0;
inline constexpr int AF_INET = 2;
inline constexpr int PF_INET = AF_INET;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int SOCK_RAW = 3;
inline constexpr int IPPROTO_IP = 0;
inline constexpr int IPPROTO_ICMP = 1;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int IPPROTO_UDP = 17;

inline constexpr u_long INADDR_ANY = 0x00000000;
inline constexpr u_long INADDR_LOOPBACK = 0x7F000001;  // host order
inline constexpr u_long INADDR_BROADCAST = 0xFFFFFFFF;
inline constexpr u_long INADDR_NONE = 0xFFFFFFFF;

// Socket options (level SOL_SOCKET).
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_DEBUG = 0x0001;
inline constexpr int SO_ACCEPTCONN = 0x0002;
inline constexpr int SO_REUSEADDR = 0x0004;
inline constexpr int SO_KEEPALIVE = 0x0008;
inline constexpr int SO_DONTROUTE = 0x0010;
inline constexpr int SO_BROADCAST = 0x0020;
inline constexpr int SO_USELOOPBACK = 0x0040;
inline constexpr int SO_LINGER = 0x0080;
inline constexpr int SO_OOBINLINE = 0x0100;
inline constexpr int SO_DONTLINGER = ~SO_LINGER;
inline constexpr int SO_SNDBUF = 0x1001;
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr int SO_SNDLOWAT = 0x1003;
inline constexpr int SO_RCVLOWAT = 0x1004;
inline constexpr int SO_SNDTIMEO = 0x1005;
inline constexpr int SO_RCVTIMEO = 0x1006;
inline constexpr int SO_ERROR = 0x1007;
inline constexpr int SO_TYPE = 0x1008;

inline constexpr int TCP_NODELAY = 0x0001;

// Winsock 1 numbers of the IPPROTO_IP options (not those of Winsock 2, nor Linux's).
inline constexpr int IP_OPTIONS = 1;
inline constexpr int IP_MULTICAST_IF = 2;
inline constexpr int IP_MULTICAST_TTL = 3;
inline constexpr int IP_MULTICAST_LOOP = 4;
inline constexpr int IP_ADD_MEMBERSHIP = 5;
inline constexpr int IP_DROP_MEMBERSHIP = 6;
inline constexpr int IP_TTL = 7;
inline constexpr int IP_TOS = 8;
inline constexpr int IP_DONTFRAGMENT = 9;

inline constexpr int MSG_OOB = 0x1;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr int MSG_DONTROUTE = 0x4;

inline constexpr int SOMAXCONN = 5;
inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

// ioctlsocket commands, as the _IOW/_IOR macros of the Windows header work them out (FIONBIO
// is negative there, a 32-bit long; the library looks at the low 32 bits only).
inline constexpr long FIONBIO = static_cast<std::int32_t>(0x8004667EU);
inline constexpr long FIONREAD = 0x4004667FL;
inline constexpr long SIOCATMARK = 0x40047307L;

// WSAAsyncSelect events.
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_OOB = 0x04;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

inline constexpr int MAXGETHOSTSTRUCT = 1024;
inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

// Error numbers (WSAGetLastError, the high word of notifications).
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAEDISCON = 10101;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSANO_ADDRESS = WSANO_DATA;

// lParam of socket notifications and of the asynchronous look-up replies.
inline constexpr LPARAM WSAMAKESELECTREPLY(WORD event, WORD error) {
  return static_cast<LPARAM>(MAKELONG(event, error));
}
inline constexpr WORD WSAGETSELECTEVENT(LPARAM lParam) {
  return LOWORD(static_cast<std::uintptr_t>(lParam));
}
inline constexpr WORD WSAGETSELECTERROR(LPARAM lParam) {
  return HIWORD(static_cast<std::uintptr_t>(lParam));
}
inline constexpr LPARAM WSAMAKEASYNCREPLY(WORD buflen, WORD error) {
  return static_cast<LPARAM>(MAKELONG(buflen, error));
}
inline constexpr WORD WSAGETASYNCBUFLEN(LPARAM lParam) {
  return LOWORD(static_cast<std::uintptr_t>(lParam));
}
inline constexpr WORD WSAGETASYNCERROR(LPARAM lParam) {
  return HIWORD(static_cast<std::uintptr_t>(lParam));
}

inline constexpr WORD MAKEWORD(BYTE low, BYTE high) {
  return static_cast<WORD>(low | (high << 8));
}

struct in_addr {
  union {
    u_long s_addr;  // network byte order
    union {
      struct {
        u_char s_b1, s_b2, s_b3, s_b4;
      } S_un_b;
      struct {
        u_short s_w1, s_w2;
      } S_un_w;
      u_long S_addr;
    } S_un;
  };
};
static_assert(sizeof(in_addr) == 4);

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

// 16 bytes: family, port and address in network byte order, 8 zero bytes.
struct sockaddr_in {
  short sin_family;
  u_short sin_port;
  in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16 && offsetof(sockaddr_in, sin_addr) == 4);

struct linger {
  u_short l_onoff;
  u_short l_linger;  // seconds
};

struct ip_mreq {
  in_addr imr_multiaddr;
  in_addr imr_interface;
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;  // each entry points at h_length bytes, network order
};

struct servent {
  char* s_name;
  char** s_aliases;
  char* s_proto;
  short s_port;  // network byte order
};

struct protoent {
  char* p_name;
  char** p_aliases;
  short p_proto;
};

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
using LPWSADATA = WSADATA*;

// select() takes arrays of sockets, not bitmaps.
inline constexpr u_int WS_FD_SETSIZE = 64;
struct fd_set {
  u_int fd_count;
  SOCKET fd_array[WS_FD_SETSIZE];
};

struct timeval {
  std::int32_t tv_sec;
  std::int32_t tv_usec;
};

inline void WS_FD_ZERO(fd_set* set) {
  set->fd_count = 0;
}
inline bool WS_FD_ISSET(SOCKET s, const fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == s) return true;
  return false;
}
inline void WS_FD_SET(SOCKET s, fd_set* set) {
  if (!WS_FD_ISSET(s, set) && set->fd_count < WS_FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}
inline void WS_FD_CLR(SOCKET s, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] != s) continue;
    for (u_int j = i + 1; j < set->fd_count; ++j) set->fd_array[j - 1] = set->fd_array[j];
    --set->fd_count;
    return;
  }
}

// The 46 entry points, one pointer type each, in the order the binding looks them up.
using Tfn_accept = SOCKET (*)(SOCKET s, sockaddr* addr, int* addrlen);
using Tfn_bind = int (*)(SOCKET s, const sockaddr* name, int namelen);
using Tfn_closesocket = int (*)(SOCKET s);
using Tfn_connect = int (*)(SOCKET s, const sockaddr* name, int namelen);
using Tfn_getpeername = int (*)(SOCKET s, sockaddr* name, int* namelen);
using Tfn_getsockname = int (*)(SOCKET s, sockaddr* name, int* namelen);
using Tfn_getsockopt = int (*)(SOCKET s, int level, int optname, char* optval, int* optlen);
using Tfn_htonl = u_long (*)(u_long hostlong);
using Tfn_htons = u_short (*)(u_short hostshort);
using Tfn_inet_addr = u_long (*)(const char* cp);
using Tfn_inet_ntoa = char* (*)(in_addr in);
using Tfn_ioctlsocket = int (*)(SOCKET s, long cmd, u_long* argp);
using Tfn_listen = int (*)(SOCKET s, int backlog);
using Tfn_ntohl = u_long (*)(u_long netlong);
using Tfn_ntohs = u_short (*)(u_short netshort);
using Tfn_recv = int (*)(SOCKET s, char* buf, int len, int flags);
using Tfn_recvfrom = int (*)(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
using Tfn_select = int (*)(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                           const timeval* timeout);
using Tfn_send = int (*)(SOCKET s, const char* buf, int len, int flags);
using Tfn_sendto = int (*)(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                           int tolen);
using Tfn_setsockopt = int (*)(SOCKET s, int level, int optname, const char* optval, int optlen);
using Tfn_shutdown = int (*)(SOCKET s, int how);
using Tfn_socket = SOCKET (*)(int af, int type, int protocol);
using Tfn_gethostbyaddr = hostent* (*)(const char* addr, int len, int type);
using Tfn_gethostbyname = hostent* (*)(const char* name);
using Tfn_gethostname = int (*)(char* name, int namelen);
using Tfn_getservbyport = servent* (*)(int port, const char* proto);
using Tfn_getservbyname = servent* (*)(const char* name, const char* proto);
using Tfn_getprotobynumber = protoent* (*)(int number);
using Tfn_getprotobyname = protoent* (*)(const char* name);
using Tfn_WSAStartup = int (*)(WORD wVersionRequired, WSADATA* lpWSAData);
using Tfn_WSACleanup = int (*)();
using Tfn_WSASetLastError = void (*)(int iError);
using Tfn_WSAGetLastError = int (*)();
using Tfn_WSAIsBlocking = BOOL (*)();
using Tfn_WSAUnhookBlockingHook = int (*)();
using Tfn_WSASetBlockingHook = FARPROC (*)(FARPROC lpBlockFunc);
using Tfn_WSACancelBlockingCall = int (*)();
using Tfn_WSAAsyncGetServByName = HANDLE (*)(HWND hWnd, UINT wMsg, const char* name,
                                             const char* proto, char* buf, int buflen);
using Tfn_WSAAsyncGetServByPort = HANDLE (*)(HWND hWnd, UINT wMsg, int port, const char* proto,
                                             char* buf, int buflen);
using Tfn_WSAAsyncGetProtoByName = HANDLE (*)(HWND hWnd, UINT wMsg, const char* name, char* buf,
                                              int buflen);
using Tfn_WSAAsyncGetProtoByNumber = HANDLE (*)(HWND hWnd, UINT wMsg, int number, char* buf,
                                                int buflen);
using Tfn_WSAAsyncGetHostByName = HANDLE (*)(HWND hWnd, UINT wMsg, const char* name, char* buf,
                                             int buflen);
using Tfn_WSAAsyncGetHostByAddr = HANDLE (*)(HWND hWnd, UINT wMsg, const char* addr, int len,
                                             int type, char* buf, int buflen);
using Tfn_WSACancelAsyncRequest = int (*)(HANDLE hAsyncTaskHandle);
using Tfn_WSAAsyncSelect = int (*)(SOCKET s, HWND hWnd, UINT wMsg, long lEvent);

// The names in look-up order, for binders and for tests that check a library exports them.
inline constexpr const char* kEntryPointNames[] = {
    "accept",
    "bind",
    "closesocket",
    "connect",
    "getpeername",
    "getsockname",
    "getsockopt",
    "htonl",
    "htons",
    "inet_addr",
    "inet_ntoa",
    "ioctlsocket",
    "listen",
    "ntohl",
    "ntohs",
    "recv",
    "recvfrom",
    "select",
    "send",
    "sendto",
    "setsockopt",
    "shutdown",
    "socket",
    "gethostbyaddr",
    "gethostbyname",
    "gethostname",
    "getservbyport",
    "getservbyname",
    "getprotobynumber",
    "getprotobyname",
    "WSAStartup",
    "WSACleanup",
    "WSASetLastError",
    "WSAGetLastError",
    "WSAIsBlocking",
    "WSAUnhookBlockingHook",
    "WSASetBlockingHook",
    "WSACancelBlockingCall",
    "WSAAsyncGetServByName",
    "WSAAsyncGetServByPort",
    "WSAAsyncGetProtoByName",
    "WSAAsyncGetProtoByNumber",
    "WSAAsyncGetHostByName",
    "WSAAsyncGetHostByAddr",
    "WSACancelAsyncRequest",
    "WSAAsyncSelect",
};
static_assert(sizeof(kEntryPointNames) / sizeof(kEntryPointNames[0]) == 46);

}  // namespace winsock
