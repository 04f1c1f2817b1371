// The process-wide Winsock entry table and its binding.

#include "port/winsock_binding.h"

#include <cstddef>

#include "platform/library.h"

namespace {

// Slot of each name, in look-up order.
template <class Fn>
void Store(FARPROC address, Fn& slot) {
  // Through void (*)(): the one function pointer type a cast to any other is expected from.
  slot = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

// Looks the index-th name up and stores it; false when it is missing.
bool LookUp(TWinsockEntryTable& t, std::size_t index) {
  const char* name = winsock::kEntryPointNames[index];
  FARPROC address = GetProcAddress(t.Library, name);
  switch (index) {
#define KVB_SLOT(n, member)   \
  case n:                     \
    Store(address, t.member); \
    break;
    KVB_SLOT(0, accept)
    KVB_SLOT(1, bind)
    KVB_SLOT(2, closesocket)
    KVB_SLOT(3, connect)
    KVB_SLOT(4, getpeername)
    KVB_SLOT(5, getsockname)
    KVB_SLOT(6, getsockopt)
    KVB_SLOT(7, htonl)
    KVB_SLOT(8, htons)
    KVB_SLOT(9, inet_addr)
    KVB_SLOT(10, inet_ntoa)
    KVB_SLOT(11, ioctlsocket)
    KVB_SLOT(12, listen)
    KVB_SLOT(13, ntohl)
    KVB_SLOT(14, ntohs)
    KVB_SLOT(15, recv)
    KVB_SLOT(16, recvfrom)
    KVB_SLOT(17, select)
    KVB_SLOT(18, send)
    KVB_SLOT(19, sendto)
    KVB_SLOT(20, setsockopt)
    KVB_SLOT(21, shutdown)
    KVB_SLOT(22, socket)
    KVB_SLOT(23, gethostbyaddr)
    KVB_SLOT(24, gethostbyname)
    KVB_SLOT(25, gethostname)
    KVB_SLOT(26, getservbyport)
    KVB_SLOT(27, getservbyname)
    KVB_SLOT(28, getprotobynumber)
    KVB_SLOT(29, getprotobyname)
    KVB_SLOT(30, WSAStartup)
    KVB_SLOT(31, WSACleanup)
    KVB_SLOT(32, WSASetLastError)
    KVB_SLOT(33, WSAGetLastError)
    KVB_SLOT(34, WSAIsBlocking)
    KVB_SLOT(35, WSAUnhookBlockingHook)
    KVB_SLOT(36, WSASetBlockingHook)
    KVB_SLOT(37, WSACancelBlockingCall)
    KVB_SLOT(38, WSAAsyncGetServByName)
    KVB_SLOT(39, WSAAsyncGetServByPort)
    KVB_SLOT(40, WSAAsyncGetProtoByName)
    KVB_SLOT(41, WSAAsyncGetProtoByNumber)
    KVB_SLOT(42, WSAAsyncGetHostByName)
    KVB_SLOT(43, WSAAsyncGetHostByAddr)
    KVB_SLOT(44, WSACancelAsyncRequest)
    KVB_SLOT(45, WSAAsyncSelect)
#undef KVB_SLOT
    default:
      return false;
  }
  return address != nullptr;
}

std::string& LibraryName() {
  static std::string name = "WSOCK32";
  return name;
}

}  // namespace

TWinsockEntryTable& WinsockEntryTable() {
  static TWinsockEntryTable table;
  return table;
}

void SetWinsockLibraryName(const std::string& name) {
  LibraryName() = name;
}

const std::string& WinsockLibraryName() {
  return LibraryName();
}

bool BindWinsock() {
  TWinsockEntryTable& table = WinsockEntryTable();
  if (!table.Library) table.Library = LoadLibraryA(LibraryName().c_str());
  if (!table.Library) return false;
  constexpr std::size_t count = std::size(winsock::kEntryPointNames);
  for (std::size_t i = 0; i < count; ++i)
    if (!LookUp(table, i)) return false;
  return true;
}

void UnbindWinsock() {
  TWinsockEntryTable& table = WinsockEntryTable();
  if (table.Library) FreeLibrary(table.Library);
  table.Library = nullptr;
}
