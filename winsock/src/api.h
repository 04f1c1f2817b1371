// The implementations behind the exported entry points. Included by exports.cpp, which must
// see nothing but the Winsock declarations: keep this header free of other includes.
#pragma once

#include "platform/winsock.h"

namespace wsimpl {

namespace ws = winsock;

ws::SOCKET Accept(ws::SOCKET s, ws::sockaddr* addr, int* addrlen);
int Bind(ws::SOCKET s, const ws::sockaddr* name, int namelen);
int CloseSocket(ws::SOCKET s);
int Connect(ws::SOCKET s, const ws::sockaddr* name, int namelen);
int GetPeerName(ws::SOCKET s, ws::sockaddr* name, int* namelen);
int GetSockName(ws::SOCKET s, ws::sockaddr* name, int* namelen);
int GetSockOpt(ws::SOCKET s, int level, int optname, char* optval, int* optlen);
ws::u_long Htonl(ws::u_long v);
ws::u_short Htons(ws::u_short v);
ws::u_long InetAddr(const char* cp);
char* InetNtoa(ws::in_addr in);
int IoctlSocket(ws::SOCKET s, long cmd, ws::u_long* argp);
int Listen(ws::SOCKET s, int backlog);
int Recv(ws::SOCKET s, char* buf, int len, int flags);
int RecvFrom(ws::SOCKET s, char* buf, int len, int flags, ws::sockaddr* from, int* fromlen);
int Select(int nfds, ws::fd_set* readfds, ws::fd_set* writefds, ws::fd_set* exceptfds,
           const ws::timeval* timeout);
int Send(ws::SOCKET s, const char* buf, int len, int flags);
int SendTo(ws::SOCKET s, const char* buf, int len, int flags, const ws::sockaddr* to, int tolen);
int SetSockOpt(ws::SOCKET s, int level, int optname, const char* optval, int optlen);
int Shutdown(ws::SOCKET s, int how);
ws::SOCKET Socket(int af, int type, int protocol);

ws::hostent* GetHostByAddr(const char* addr, int len, int type);
ws::hostent* GetHostByName(const char* name);
int GetHostName(char* name, int namelen);
ws::servent* GetServByPort(int port, const char* proto);
ws::servent* GetServByName(const char* name, const char* proto);
ws::protoent* GetProtoByNumber(int number);
ws::protoent* GetProtoByName(const char* name);

int WSAStartup(WORD version, ws::WSADATA* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();
BOOL WSAIsBlocking();
int WSAUnhookBlockingHook();
FARPROC WSASetBlockingHook(FARPROC hook);
int WSACancelBlockingCall();

HANDLE WSAAsyncGetServByName(HWND hwnd, UINT msg, const char* name, const char* proto, char* buf,
                             int buflen);
HANDLE WSAAsyncGetServByPort(HWND hwnd, UINT msg, int port, const char* proto, char* buf,
                             int buflen);
HANDLE WSAAsyncGetProtoByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetProtoByNumber(HWND hwnd, UINT msg, int number, char* buf, int buflen);
HANDLE WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND hwnd, UINT msg, const char* addr, int len, int type, char* buf,
                             int buflen);
int WSACancelAsyncRequest(HANDLE task);
int WSAAsyncSelect(ws::SOCKET s, HWND hwnd, UINT msg, long events);

}  // namespace wsimpl
