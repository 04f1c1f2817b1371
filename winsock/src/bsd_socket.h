// The BSD socket calls behind the Winsock entry points, with neutral types.
//
// Only bsd_socket.cpp sees <sys/socket.h> and friends: their macros clash with the Winsock
// names, and the library exports C symbols (socket, recv, select ...) with the same names as
// the C library's. The C library's socket functions are reached through pointers looked up
// in libc itself, so a call can never land on one of our own exports.
//
// Every call returns -1 (or false) on failure and leaves the reason in errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bsd {

enum class SockType { Stream, Datagram, Raw };

// An IPv4 address and port, both in network byte order.
struct Inet4 {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

// Message flags with their Winsock values; translated to the host's inside.
inline constexpr int kMsgOob = 0x1;
inline constexpr int kMsgPeek = 0x2;
inline constexpr int kMsgDontRoute = 0x4;

int OpenSocket(SockType type, int protocol);
int CloseSocket(int fd);
int SetNonBlocking(int fd, bool on);
int Bind(int fd, const Inet4& local);
int Connect(int fd, const Inet4& remote);
int Listen(int fd, int backlog);
int Accept(int fd, Inet4* peer, bool nonBlocking);
long Send(int fd, const void* data, std::size_t size, int flags);
long SendTo(int fd, const void* data, std::size_t size, int flags, const Inet4& to);
long Recv(int fd, void* data, std::size_t size, int flags);
long RecvFrom(int fd, void* data, std::size_t size, int flags, Inet4* from, bool* hasFrom);
int Shutdown(int fd, int how);  // 0 receive, 1 send, 2 both
int PeerName(int fd, Inet4* name);
int SockName(int fd, Inet4* name);

// The socket's pending error (SO_ERROR), cleared by reading; 0 when none.
int TakePendingError(int fd);
// Bytes waiting to be read.
int BytesReadable(int fd, int* count);
// Looks at one byte without taking it and without blocking: 1 data, 0 end of stream, -1 error
// (errno EAGAIN when nothing is there yet).
int PeekOne(int fd);
// Urgent (out-of-band) data waiting that has not been read.
bool UrgentPending(int fd);

// Options, by meaning rather than by number.
enum class Option {
  Debug,
  AcceptConn,
  ReuseAddr,
  KeepAlive,
  DontRoute,
  Broadcast,
  OobInline,
  SndBuf,
  RcvBuf,
  SndLowat,
  RcvLowat,
  Error,  // get only; the errno value
  Type,   // get only; a SockType
  TcpNoDelay,
  IpTtl,
  IpTos,
  IpMulticastTtl,
  IpMulticastLoop,
  IpDontFragment,
};
int SetIntOption(int fd, Option option, int value);
int GetIntOption(int fd, Option option, int* value);
int SetLinger(int fd, bool on, int seconds);
int GetLinger(int fd, bool* on, int* seconds);
int SetTimeoutMs(int fd, bool send, std::uint32_t ms);
int GetTimeoutMs(int fd, bool send, std::uint32_t* ms);
int SetMulticastInterface(int fd, std::uint32_t address);
int GetMulticastInterface(int fd, std::uint32_t* address);
int SetMembership(int fd, bool add, std::uint32_t group, std::uint32_t interfaceAddress);
int SetIpOptions(int fd, const void* data, std::size_t size);
int GetIpOptions(int fd, void* data, std::size_t* size);

// Name and service database.
enum class LookupError { None, HostNotFound, TryAgain, NoRecovery, NoData, Other };

struct HostEntry {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<std::uint32_t> addresses;  // IPv4, network byte order
};
struct ServEntry {
  std::string name;
  std::vector<std::string> aliases;
  std::uint16_t port = 0;  // network byte order
  std::string protocol;
};
struct ProtoEntry {
  std::string name;
  std::vector<std::string> aliases;
  int number = 0;
};

LookupError HostByName(const char* name, HostEntry* entry);
LookupError HostByAddr(const void* address, std::size_t size, HostEntry* entry);
// protocol may be null (any).
LookupError ServByName(const char* name, const char* protocol, ServEntry* entry);
LookupError ServByPort(std::uint16_t portNetworkOrder, const char* protocol, ServEntry* entry);
LookupError ProtoByName(const char* name, ProtoEntry* entry);
LookupError ProtoByNumber(int number, ProtoEntry* entry);
int HostName(std::string* name);

}  // namespace bsd
