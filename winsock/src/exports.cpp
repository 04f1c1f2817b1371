// The exported entry points, under their Winsock names with C linkage.
//
// This file must not include anything that declares the C library's socket functions
// (select and gethostname come with almost every standard header): only the Winsock
// declarations and api.h. Everything else is in namespace wsimpl.

#include "api.h"

#define WS_EXPORT extern "C" __attribute__((visibility("default")))

namespace ws = winsock;

WS_EXPORT ws::SOCKET accept(ws::SOCKET s, ws::sockaddr* addr, int* addrlen) {
  return wsimpl::Accept(s, addr, addrlen);
}
WS_EXPORT int bind(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return wsimpl::Bind(s, name, namelen);
}
WS_EXPORT int closesocket(ws::SOCKET s) {
  return wsimpl::CloseSocket(s);
}
WS_EXPORT int connect(ws::SOCKET s, const ws::sockaddr* name, int namelen) {
  return wsimpl::Connect(s, name, namelen);
}
WS_EXPORT int getpeername(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return wsimpl::GetPeerName(s, name, namelen);
}
WS_EXPORT int getsockname(ws::SOCKET s, ws::sockaddr* name, int* namelen) {
  return wsimpl::GetSockName(s, name, namelen);
}
WS_EXPORT int getsockopt(ws::SOCKET s, int level, int optname, char* optval, int* optlen) {
  return wsimpl::GetSockOpt(s, level, optname, optval, optlen);
}
WS_EXPORT ws::u_long htonl(ws::u_long v) {
  return wsimpl::Htonl(v);
}
WS_EXPORT ws::u_short htons(ws::u_short v) {
  return wsimpl::Htons(v);
}
WS_EXPORT ws::u_long inet_addr(const char* cp) {
  return wsimpl::InetAddr(cp);
}
WS_EXPORT char* inet_ntoa(ws::in_addr in) {
  return wsimpl::InetNtoa(in);
}
WS_EXPORT int ioctlsocket(ws::SOCKET s, long cmd, ws::u_long* argp) {
  return wsimpl::IoctlSocket(s, cmd, argp);
}
WS_EXPORT int listen(ws::SOCKET s, int backlog) {
  return wsimpl::Listen(s, backlog);
}
WS_EXPORT ws::u_long ntohl(ws::u_long v) {
  return wsimpl::Htonl(v);
}
WS_EXPORT ws::u_short ntohs(ws::u_short v) {
  return wsimpl::Htons(v);
}
WS_EXPORT int recv(ws::SOCKET s, char* buf, int len, int flags) {
  return wsimpl::Recv(s, buf, len, flags);
}
WS_EXPORT int recvfrom(ws::SOCKET s, char* buf, int len, int flags, ws::sockaddr* from,
                       int* fromlen) {
  return wsimpl::RecvFrom(s, buf, len, flags, from, fromlen);
}
WS_EXPORT int select(int nfds, ws::fd_set* readfds, ws::fd_set* writefds, ws::fd_set* exceptfds,
                     const ws::timeval* timeout) {
  return wsimpl::Select(nfds, readfds, writefds, exceptfds, timeout);
}
WS_EXPORT int send(ws::SOCKET s, const char* buf, int len, int flags) {
  return wsimpl::Send(s, buf, len, flags);
}
WS_EXPORT int sendto(ws::SOCKET s, const char* buf, int len, int flags, const ws::sockaddr* to,
                     int tolen) {
  return wsimpl::SendTo(s, buf, len, flags, to, tolen);
}
WS_EXPORT int setsockopt(ws::SOCKET s, int level, int optname, const char* optval, int optlen) {
  return wsimpl::SetSockOpt(s, level, optname, optval, optlen);
}
WS_EXPORT int shutdown(ws::SOCKET s, int how) {
  return wsimpl::Shutdown(s, how);
}
WS_EXPORT ws::SOCKET socket(int af, int type, int protocol) {
  return wsimpl::Socket(af, type, protocol);
}
WS_EXPORT ws::hostent* gethostbyaddr(const char* addr, int len, int type) {
  return wsimpl::GetHostByAddr(addr, len, type);
}
WS_EXPORT ws::hostent* gethostbyname(const char* name) {
  return wsimpl::GetHostByName(name);
}
WS_EXPORT int gethostname(char* name, int namelen) {
  return wsimpl::GetHostName(name, namelen);
}
WS_EXPORT ws::servent* getservbyport(int port, const char* proto) {
  return wsimpl::GetServByPort(port, proto);
}
WS_EXPORT ws::servent* getservbyname(const char* name, const char* proto) {
  return wsimpl::GetServByName(name, proto);
}
WS_EXPORT ws::protoent* getprotobynumber(int number) {
  return wsimpl::GetProtoByNumber(number);
}
WS_EXPORT ws::protoent* getprotobyname(const char* name) {
  return wsimpl::GetProtoByName(name);
}
WS_EXPORT int WSAStartup(WORD version, ws::WSADATA* data) {
  return wsimpl::WSAStartup(version, data);
}
WS_EXPORT int WSACleanup() {
  return wsimpl::WSACleanup();
}
WS_EXPORT void WSASetLastError(int error) {
  wsimpl::WSASetLastError(error);
}
WS_EXPORT int WSAGetLastError() {
  return wsimpl::WSAGetLastError();
}
WS_EXPORT BOOL WSAIsBlocking() {
  return wsimpl::WSAIsBlocking();
}
WS_EXPORT int WSAUnhookBlockingHook() {
  return wsimpl::WSAUnhookBlockingHook();
}
WS_EXPORT FARPROC WSASetBlockingHook(FARPROC hook) {
  return wsimpl::WSASetBlockingHook(hook);
}
WS_EXPORT int WSACancelBlockingCall() {
  return wsimpl::WSACancelBlockingCall();
}
WS_EXPORT HANDLE WSAAsyncGetServByName(HWND hwnd, UINT msg, const char* name, const char* proto,
                                       char* buf, int buflen) {
  return wsimpl::WSAAsyncGetServByName(hwnd, msg, name, proto, buf, buflen);
}
WS_EXPORT HANDLE WSAAsyncGetServByPort(HWND hwnd, UINT msg, int port, const char* proto, char* buf,
                                       int buflen) {
  return wsimpl::WSAAsyncGetServByPort(hwnd, msg, port, proto, buf, buflen);
}
WS_EXPORT HANDLE WSAAsyncGetProtoByName(HWND hwnd, UINT msg, const char* name, char* buf,
                                        int buflen) {
  return wsimpl::WSAAsyncGetProtoByName(hwnd, msg, name, buf, buflen);
}
WS_EXPORT HANDLE WSAAsyncGetProtoByNumber(HWND hwnd, UINT msg, int number, char* buf, int buflen) {
  return wsimpl::WSAAsyncGetProtoByNumber(hwnd, msg, number, buf, buflen);
}
WS_EXPORT HANDLE WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf,
                                       int buflen) {
  return wsimpl::WSAAsyncGetHostByName(hwnd, msg, name, buf, buflen);
}
WS_EXPORT HANDLE WSAAsyncGetHostByAddr(HWND hwnd, UINT msg, const char* addr, int len, int type,
                                       char* buf, int buflen) {
  return wsimpl::WSAAsyncGetHostByAddr(hwnd, msg, addr, len, type, buf, buflen);
}
WS_EXPORT int WSACancelAsyncRequest(HANDLE task) {
  return wsimpl::WSACancelAsyncRequest(task);
}
WS_EXPORT int WSAAsyncSelect(ws::SOCKET s, HWND hwnd, UINT msg, long events) {
  return wsimpl::WSAAsyncSelect(s, hwnd, msg, events);
}

// The pointer types that binders use must match what is exported.
#define WS_SAME_TYPE(name) \
  static_assert(__is_same(decltype(&::name), ws::Tfn_##name), #name " signature")
WS_SAME_TYPE(accept);
WS_SAME_TYPE(bind);
WS_SAME_TYPE(closesocket);
WS_SAME_TYPE(connect);
WS_SAME_TYPE(getpeername);
WS_SAME_TYPE(getsockname);
WS_SAME_TYPE(getsockopt);
WS_SAME_TYPE(htonl);
WS_SAME_TYPE(htons);
WS_SAME_TYPE(inet_addr);
WS_SAME_TYPE(inet_ntoa);
WS_SAME_TYPE(ioctlsocket);
WS_SAME_TYPE(listen);
WS_SAME_TYPE(ntohl);
WS_SAME_TYPE(ntohs);
WS_SAME_TYPE(recv);
WS_SAME_TYPE(recvfrom);
WS_SAME_TYPE(select);
WS_SAME_TYPE(send);
WS_SAME_TYPE(sendto);
WS_SAME_TYPE(setsockopt);
WS_SAME_TYPE(shutdown);
WS_SAME_TYPE(socket);
WS_SAME_TYPE(gethostbyaddr);
WS_SAME_TYPE(gethostbyname);
WS_SAME_TYPE(gethostname);
WS_SAME_TYPE(getservbyport);
WS_SAME_TYPE(getservbyname);
WS_SAME_TYPE(getprotobynumber);
WS_SAME_TYPE(getprotobyname);
WS_SAME_TYPE(WSAStartup);
WS_SAME_TYPE(WSACleanup);
WS_SAME_TYPE(WSASetLastError);
WS_SAME_TYPE(WSAGetLastError);
WS_SAME_TYPE(WSAIsBlocking);
WS_SAME_TYPE(WSAUnhookBlockingHook);
WS_SAME_TYPE(WSASetBlockingHook);
WS_SAME_TYPE(WSACancelBlockingCall);
WS_SAME_TYPE(WSAAsyncGetServByName);
WS_SAME_TYPE(WSAAsyncGetServByPort);
WS_SAME_TYPE(WSAAsyncGetProtoByName);
WS_SAME_TYPE(WSAAsyncGetProtoByNumber);
WS_SAME_TYPE(WSAAsyncGetHostByName);
WS_SAME_TYPE(WSAAsyncGetHostByAddr);
WS_SAME_TYPE(WSACancelAsyncRequest);
WS_SAME_TYPE(WSAAsyncSelect);
