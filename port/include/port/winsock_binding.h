// The run-time binding of the Winsock 1.1 library ("WSOCK32"): one process-wide table of entry
// points. Every socket call of the comm library goes through it; nothing links the library.
#pragma once

#include <string>

#include "platform/winsock.h"
#include "platform/wintypes.h"

// One slot per entry point, in look-up order; all empty until BindWinsock fills them.
struct TWinsockEntryTable {
  winsock::Tfn_accept accept = nullptr;
  winsock::Tfn_bind bind = nullptr;
  winsock::Tfn_closesocket closesocket = nullptr;
  winsock::Tfn_connect connect = nullptr;
  winsock::Tfn_getpeername getpeername = nullptr;
  winsock::Tfn_getsockname getsockname = nullptr;
  winsock::Tfn_getsockopt getsockopt = nullptr;
  winsock::Tfn_htonl htonl = nullptr;
  winsock::Tfn_htons htons = nullptr;
  winsock::Tfn_inet_addr inet_addr = nullptr;
  winsock::Tfn_inet_ntoa inet_ntoa = nullptr;
  winsock::Tfn_ioctlsocket ioctlsocket = nullptr;
  winsock::Tfn_listen listen = nullptr;
  winsock::Tfn_ntohl ntohl = nullptr;
  winsock::Tfn_ntohs ntohs = nullptr;
  winsock::Tfn_recv recv = nullptr;
  winsock::Tfn_recvfrom recvfrom = nullptr;
  winsock::Tfn_select select = nullptr;
  winsock::Tfn_send send = nullptr;
  winsock::Tfn_sendto sendto = nullptr;
  winsock::Tfn_setsockopt setsockopt = nullptr;
  winsock::Tfn_shutdown shutdown = nullptr;
  winsock::Tfn_socket socket = nullptr;
  winsock::Tfn_gethostbyaddr gethostbyaddr = nullptr;
  winsock::Tfn_gethostbyname gethostbyname = nullptr;
  winsock::Tfn_gethostname gethostname = nullptr;
  winsock::Tfn_getservbyport getservbyport = nullptr;
  winsock::Tfn_getservbyname getservbyname = nullptr;
  winsock::Tfn_getprotobynumber getprotobynumber = nullptr;
  winsock::Tfn_getprotobyname getprotobyname = nullptr;
  winsock::Tfn_WSAStartup WSAStartup = nullptr;
  winsock::Tfn_WSACleanup WSACleanup = nullptr;
  winsock::Tfn_WSASetLastError WSASetLastError = nullptr;
  winsock::Tfn_WSAGetLastError WSAGetLastError = nullptr;
  winsock::Tfn_WSAIsBlocking WSAIsBlocking = nullptr;
  winsock::Tfn_WSAUnhookBlockingHook WSAUnhookBlockingHook = nullptr;
  winsock::Tfn_WSASetBlockingHook WSASetBlockingHook = nullptr;
  winsock::Tfn_WSACancelBlockingCall WSACancelBlockingCall = nullptr;
  winsock::Tfn_WSAAsyncGetServByName WSAAsyncGetServByName = nullptr;
  winsock::Tfn_WSAAsyncGetServByPort WSAAsyncGetServByPort = nullptr;
  winsock::Tfn_WSAAsyncGetProtoByName WSAAsyncGetProtoByName = nullptr;
  winsock::Tfn_WSAAsyncGetProtoByNumber WSAAsyncGetProtoByNumber = nullptr;
  winsock::Tfn_WSAAsyncGetHostByName WSAAsyncGetHostByName = nullptr;
  winsock::Tfn_WSAAsyncGetHostByAddr WSAAsyncGetHostByAddr = nullptr;
  winsock::Tfn_WSACancelAsyncRequest WSACancelAsyncRequest = nullptr;
  winsock::Tfn_WSAAsyncSelect WSAAsyncSelect = nullptr;

  // The loaded library; empty until the first successful load.
  HMODULE Library = nullptr;
};

// The process-wide table. Never cleared while the program runs.
TWinsockEntryTable& WinsockEntryTable();

// Loads the library once, then looks all 46 names up again (every call), stopping at the
// first missing one. True when the library is loaded and every name was found.
bool BindWinsock();
// Frees the library (program end).
void UnbindWinsock();

// The name the library is loaded by: "WSOCK32" unless changed. A name with a '/' is a host
// path. Only has an effect before the library is loaded for the first time.
void SetWinsockLibraryName(const std::string& name);
const std::string& WinsockLibraryName();
