// WSAStartup, WSACleanup, the last error and the blocking-hook calls.
//
// This library makes no blocking call of the Winsock 1.1 kind (one that pumps messages
// through a hook while it waits), so the hook calls only keep their bookkeeping.

#include <cstring>

#include "api.h"
#include "sockets.h"

namespace wsimpl {

namespace {

constexpr WORD kHighestVersion = 0x0202;

void DefaultBlockingHook() {}

thread_local FARPROC blockingHook = &DefaultBlockingHook;

void CopyText(char* to, std::size_t size, const char* text) {
  std::strncpy(to, text, size - 1);
  to[size - 1] = '\0';
}

}  // namespace

// Errors are the return value here, not the last error.
int WSAStartup(WORD version, ws::WSADATA* data) {
  BYTE major = static_cast<BYTE>(version & 0xFF);
  BYTE minor = static_cast<BYTE>(version >> 8);
  if (major == 0) return ws::WSAVERNOTSUPPORTED;
  if (!data) return ws::WSAEFAULT;
  // The version the caller should use: what it asked for, within what we offer.
  WORD use = version;
  if (major == 1 && minor > 1) use = ws::MAKEWORD(1, 1);
  if (major == 2 && minor > 2) use = kHighestVersion;
  if (major > 2) use = kHighestVersion;
  std::memset(data, 0, sizeof *data);
  data->wVersion = use;
  data->wHighVersion = kHighestVersion;
  data->iMaxSockets = 32767;
  data->iMaxUdpDg = 65467;
  data->lpVendorInfo = nullptr;
  CopyText(data->szDescription, sizeof data->szDescription, "WinSock 2.0");
  CopyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
  startupCount.fetch_add(1);
  return 0;
}

int WSACleanup() {
  int count = startupCount.load();
  do {
    if (count <= 0) return Fail(ws::WSANOTINITIALISED);
  } while (!startupCount.compare_exchange_weak(count, count - 1));
  // The last clean-up closes whatever sockets are left.
  if (count == 1) CloseAllSockets();
  return 0;
}

void WSASetLastError(int error) {
  SetLastError(static_cast<DWORD>(error));
}

int WSAGetLastError() {
  return static_cast<int>(GetLastError());
}

BOOL WSAIsBlocking() {
  return FALSE;
}

int WSACancelBlockingCall() {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  return Fail(ws::WSAEINVAL);  // no blocking call is ever in progress
}

FARPROC WSASetBlockingHook(FARPROC hook) {
  if (!CheckStarted()) return nullptr;
  if (!hook) return Fail(ws::WSAEFAULT), nullptr;
  FARPROC previous = blockingHook;
  blockingHook = hook;
  return previous;
}

int WSAUnhookBlockingHook() {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  blockingHook = &DefaultBlockingHook;
  return 0;
}

}  // namespace wsimpl
