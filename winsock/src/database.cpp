// Host, service and protocol look-ups, blocking and asynchronous.
//
// A result is laid out as Windows does: the structure first, then its pointer arrays and
// strings, every pointer aiming inside the same buffer. The blocking calls use one buffer per
// thread (valid until that thread's next call of the same kind); the asynchronous ones write
// into the caller's buffer and post the reply.

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "api.h"
#include "sockets.h"

namespace wsimpl {

namespace {

std::size_t Align(std::size_t offset, std::size_t alignment) {
  return (offset + alignment - 1) / alignment * alignment;
}

// Writes into a buffer that may not be aligned for the pointers it holds.
template <typename T>
void Put(char* buf, std::size_t offset, const T& value) {
  std::memcpy(buf + offset, &value, sizeof value);
}

// Reserves a string list: the array of pointers and the strings. Writes when `buf` is set.
struct ListLayout {
  std::size_t arrayOffset = 0;
  std::vector<std::size_t> stringOffsets;
};

std::size_t PlaceList(const std::vector<std::string>& items, std::size_t offset, ListLayout* out) {
  out->arrayOffset = Align(offset, alignof(char*));
  offset = out->arrayOffset + (items.size() + 1) * sizeof(char*);
  out->stringOffsets.clear();
  for (auto& item : items) {
    out->stringOffsets.push_back(offset);
    offset += item.size() + 1;
  }
  return offset;
}

void WriteList(const std::vector<std::string>& items, const ListLayout& layout, char* buf) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::memcpy(buf + layout.stringOffsets[i], items[i].c_str(), items[i].size() + 1);
    Put(buf, layout.arrayOffset + i * sizeof(char*), buf + layout.stringOffsets[i]);
  }
  Put(buf, layout.arrayOffset + items.size() * sizeof(char*), static_cast<char*>(nullptr));
}

// Each Write* returns the size the result needs and writes it only when `buf` is set (the
// caller checked the size).
std::size_t WriteHost(const bsd::HostEntry& e, char* buf) {
  ListLayout aliases;
  std::size_t offset = PlaceList(e.aliases, sizeof(ws::hostent), &aliases);
  std::size_t addrArray = Align(offset, alignof(char*));
  std::size_t addrBytes = addrArray + (e.addresses.size() + 1) * sizeof(char*);
  std::size_t nameOffset = addrBytes + e.addresses.size() * 4;
  std::size_t size = nameOffset + e.name.size() + 1;
  if (!buf) return size;
  WriteList(e.aliases, aliases, buf);
  for (std::size_t i = 0; i < e.addresses.size(); ++i) {
    Put(buf, addrBytes + i * 4, e.addresses[i]);
    Put(buf, addrArray + i * sizeof(char*), buf + addrBytes + i * 4);
  }
  Put(buf, addrArray + e.addresses.size() * sizeof(char*), static_cast<char*>(nullptr));
  std::memcpy(buf + nameOffset, e.name.c_str(), e.name.size() + 1);
  ws::hostent h{};
  h.h_name = buf + nameOffset;
  h.h_aliases = reinterpret_cast<char**>(buf + aliases.arrayOffset);
  h.h_addrtype = ws::AF_INET;
  h.h_length = 4;
  h.h_addr_list = reinterpret_cast<char**>(buf + addrArray);
  Put(buf, 0, h);
  return size;
}

std::size_t WriteServ(const bsd::ServEntry& e, char* buf) {
  ListLayout aliases;
  std::size_t nameOffset = PlaceList(e.aliases, sizeof(ws::servent), &aliases);
  std::size_t protoOffset = nameOffset + e.name.size() + 1;
  std::size_t size = protoOffset + e.protocol.size() + 1;
  if (!buf) return size;
  WriteList(e.aliases, aliases, buf);
  std::memcpy(buf + nameOffset, e.name.c_str(), e.name.size() + 1);
  std::memcpy(buf + protoOffset, e.protocol.c_str(), e.protocol.size() + 1);
  ws::servent s{};
  s.s_name = buf + nameOffset;
  s.s_aliases = reinterpret_cast<char**>(buf + aliases.arrayOffset);
  s.s_proto = buf + protoOffset;
  s.s_port = static_cast<short>(e.port);
  Put(buf, 0, s);
  return size;
}

std::size_t WriteProto(const bsd::ProtoEntry& e, char* buf) {
  ListLayout aliases;
  std::size_t nameOffset = PlaceList(e.aliases, sizeof(ws::protoent), &aliases);
  std::size_t size = nameOffset + e.name.size() + 1;
  if (!buf) return size;
  WriteList(e.aliases, aliases, buf);
  std::memcpy(buf + nameOffset, e.name.c_str(), e.name.size() + 1);
  ws::protoent p{};
  p.p_name = buf + nameOffset;
  p.p_aliases = reinterpret_cast<char**>(buf + aliases.arrayOffset);
  p.p_proto = static_cast<short>(e.number);
  Put(buf, 0, p);
  return size;
}

// One result buffer per thread and kind, as Winsock has.
template <typename Result, typename Entry>
Result* ThreadResult(std::vector<char>& storage, const Entry& e,
                     std::size_t (*write)(const Entry&, char*)) {
  storage.assign(write(e, nullptr), 0);
  write(e, storage.data());
  return reinterpret_cast<Result*>(storage.data());
}

thread_local std::vector<char> hostResult;
thread_local std::vector<char> servResult;
thread_local std::vector<char> protoResult;

bsd::LookupError LookupHostByName(const char* name, bsd::HostEntry* e) {
  std::string local;
  // No name (or an empty one) means this host, as on Windows.
  if (!name || !*name) {
    if (bsd::HostName(&local) < 0) return bsd::LookupError::NoRecovery;
    name = local.c_str();
  }
  return bsd::HostByName(name, e);
}

int CheckHostAddr(const char* addr, int len, int type) {
  if (type != ws::AF_INET) return ws::WSAEAFNOSUPPORT;
  if (!addr || len != 4) return ws::WSAEFAULT;
  return 0;
}

std::atomic<std::uint32_t> tasksIssued{0};

// Task handles are small numbers, never 0, as Windows' are.
HANDLE NewTask() {
  std::uint32_t n = tasksIssued.fetch_add(1) % 0xFFFF + 1;
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(n));
}

// The look-up runs at once; its reply is posted like any other, so the caller sees it from
// its message loop after the call has returned the task handle.
template <typename Entry>
HANDLE Reply(HWND hwnd, UINT msg, char* buf, int buflen, bsd::LookupError error, const Entry& e,
             std::size_t (*write)(const Entry&, char*)) {
  HANDLE task = NewTask();
  LPARAM reply;
  if (error != bsd::LookupError::None) {
    reply = ws::WSAMAKEASYNCREPLY(0, static_cast<WORD>(WsaFromLookup(error)));
  } else {
    std::size_t need = write(e, nullptr);
    WORD needWord = static_cast<WORD>(need > 0xFFFF ? 0xFFFF : need);
    if (!buf || buflen < 0 || need > static_cast<std::size_t>(buflen)) {
      reply = ws::WSAMAKEASYNCREPLY(needWord, ws::WSAENOBUFS);
    } else {
      write(e, buf);
      reply = ws::WSAMAKEASYNCREPLY(needWord, 0);
    }
  }
  PostMessageA(hwnd, msg, reinterpret_cast<WPARAM>(task), reply);
  return task;
}

bool CheckAsync(HWND hwnd) {
  if (!CheckStarted()) return false;
  if (hwnd && !IsWindow(hwnd)) {
    Fail(ws::WSAEINVAL);
    return false;
  }
  return true;
}

}  // namespace

ws::hostent* GetHostByName(const char* name) {
  if (!CheckStarted()) return nullptr;
  bsd::HostEntry e;
  if (auto err = LookupHostByName(name, &e); err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::hostent>(hostResult, e, WriteHost);
}

ws::hostent* GetHostByAddr(const char* addr, int len, int type) {
  if (!CheckStarted()) return nullptr;
  if (int err = CheckHostAddr(addr, len, type)) return Fail(err), nullptr;
  bsd::HostEntry e;
  if (auto err = bsd::HostByAddr(addr, 4, &e); err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::hostent>(hostResult, e, WriteHost);
}

int GetHostName(char* name, int namelen) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  if (!name || namelen <= 0) return Fail(ws::WSAEFAULT);
  std::string host;
  if (bsd::HostName(&host) < 0) return FailErrno(errno);
  if (host.size() + 1 > static_cast<std::size_t>(namelen)) return Fail(ws::WSAEFAULT);
  std::memcpy(name, host.c_str(), host.size() + 1);
  return 0;
}

ws::servent* GetServByName(const char* name, const char* proto) {
  if (!CheckStarted()) return nullptr;
  if (!name) return Fail(ws::WSAEFAULT), nullptr;
  bsd::ServEntry e;
  if (auto err = bsd::ServByName(name, proto, &e); err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::servent>(servResult, e, WriteServ);
}

ws::servent* GetServByPort(int port, const char* proto) {
  if (!CheckStarted()) return nullptr;
  bsd::ServEntry e;
  if (auto err = bsd::ServByPort(static_cast<std::uint16_t>(port), proto, &e);
      err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::servent>(servResult, e, WriteServ);
}

ws::protoent* GetProtoByName(const char* name) {
  if (!CheckStarted()) return nullptr;
  if (!name) return Fail(ws::WSAEFAULT), nullptr;
  bsd::ProtoEntry e;
  if (auto err = bsd::ProtoByName(name, &e); err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::protoent>(protoResult, e, WriteProto);
}

ws::protoent* GetProtoByNumber(int number) {
  if (!CheckStarted()) return nullptr;
  bsd::ProtoEntry e;
  if (auto err = bsd::ProtoByNumber(number, &e); err != bsd::LookupError::None)
    return Fail(WsaFromLookup(err)), nullptr;
  return ThreadResult<ws::protoent>(protoResult, e, WriteProto);
}

HANDLE WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  bsd::HostEntry e;
  return Reply(hwnd, msg, buf, buflen, LookupHostByName(name, &e), e, WriteHost);
}

HANDLE WSAAsyncGetHostByAddr(HWND hwnd, UINT msg, const char* addr, int len, int type, char* buf,
                             int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  if (int err = CheckHostAddr(addr, len, type)) return Fail(err), nullptr;
  bsd::HostEntry e;
  return Reply(hwnd, msg, buf, buflen, bsd::HostByAddr(addr, 4, &e), e, WriteHost);
}

HANDLE WSAAsyncGetServByName(HWND hwnd, UINT msg, const char* name, const char* proto, char* buf,
                             int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  if (!name) return Fail(ws::WSAEFAULT), nullptr;
  bsd::ServEntry e;
  return Reply(hwnd, msg, buf, buflen, bsd::ServByName(name, proto, &e), e, WriteServ);
}

HANDLE WSAAsyncGetServByPort(HWND hwnd, UINT msg, int port, const char* proto, char* buf,
                             int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  bsd::ServEntry e;
  return Reply(hwnd, msg, buf, buflen, bsd::ServByPort(static_cast<std::uint16_t>(port), proto, &e),
               e, WriteServ);
}

HANDLE WSAAsyncGetProtoByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  if (!name) return Fail(ws::WSAEFAULT), nullptr;
  bsd::ProtoEntry e;
  return Reply(hwnd, msg, buf, buflen, bsd::ProtoByName(name, &e), e, WriteProto);
}

HANDLE WSAAsyncGetProtoByNumber(HWND hwnd, UINT msg, int number, char* buf, int buflen) {
  if (!CheckAsync(hwnd)) return nullptr;
  bsd::ProtoEntry e;
  return Reply(hwnd, msg, buf, buflen, bsd::ProtoByNumber(number, &e), e, WriteProto);
}

// Every request has completed by the time its handle is returned.
int WSACancelAsyncRequest(HANDLE task) {
  if (!CheckStarted()) return ws::SOCKET_ERROR;
  auto n = reinterpret_cast<std::uintptr_t>(task);
  std::uint32_t issued = tasksIssued.load();
  bool known = n >= 1 && n <= 0xFFFF && (issued >= 0xFFFF || n <= issued);
  return Fail(known ? ws::WSAEALREADY : ws::WSAEINVAL);
}

}  // namespace wsimpl
