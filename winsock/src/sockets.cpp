#include "sockets.h"

#include <cerrno>
#include <vector>

namespace wsimpl {

std::atomic<int> startupCount{0};

Table& Sockets() {
  static auto* table = new Table;  // outlives every other static, as sockets may
  return *table;
}

std::shared_ptr<Sock> FindSocket(ws::SOCKET s) {
  auto& t = Sockets();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.sockets.find(s);
    if (it != t.sockets.end()) return it->second;
  }
  Fail(ws::WSAENOTSOCK);
  return nullptr;
}

Sock* FindStreamSocket(ws::SOCKET s) {
  thread_local std::shared_ptr<Sock> last;
  if (last && last->handle == s && !last->closed.load(std::memory_order_acquire)) return last.get();
  last = FindSocket(s);
  return last.get();
}

// WSAGetLastError is GetLastError, as on Windows.
int Fail(int wsaError) {
  SetLastError(static_cast<DWORD>(wsaError));
  return ws::SOCKET_ERROR;
}

int FailErrno(int errnoValue) {
  return Fail(WsaFromErrno(errnoValue));
}

// Winsock numbers are 10000 + the BSD errno, which is not Linux's numbering.
int WsaFromErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return ws::WSAEINTR;
    case EBADF:
      return ws::WSAEBADF;
    case EPERM:
    case EACCES:
      return ws::WSAEACCES;
    case EFAULT:
      return ws::WSAEFAULT;
    case EINVAL:
      return ws::WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return ws::WSAEMFILE;
    case EAGAIN:
      return ws::WSAEWOULDBLOCK;
    // A non-blocking connect under way "would block" in Winsock; WSAEINPROGRESS means
    // something else there (a blocking call in progress).
    case EINPROGRESS:
      return ws::WSAEWOULDBLOCK;
    case EALREADY:
      return ws::WSAEALREADY;
    case ENOTSOCK:
      return ws::WSAENOTSOCK;
    case EDESTADDRREQ:
      return ws::WSAEDESTADDRREQ;
    case EMSGSIZE:
      return ws::WSAEMSGSIZE;
    case EPROTOTYPE:
      return ws::WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return ws::WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return ws::WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return ws::WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return ws::WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return ws::WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return ws::WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return ws::WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return ws::WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return ws::WSAENETDOWN;
    case ENETUNREACH:
      return ws::WSAENETUNREACH;
    case ENETRESET:
      return ws::WSAENETRESET;
    case ECONNABORTED:
      return ws::WSAECONNABORTED;
    case EPIPE:
    case ECONNRESET:
      return ws::WSAECONNRESET;
    case ENOMEM:
    case ENOBUFS:
      return ws::WSAENOBUFS;
    case EISCONN:
      return ws::WSAEISCONN;
    case ENOTCONN:
      return ws::WSAENOTCONN;
    case ESHUTDOWN:
      return ws::WSAESHUTDOWN;
    case ETOOMANYREFS:
      return ws::WSAETOOMANYREFS;
    case ETIMEDOUT:
      return ws::WSAETIMEDOUT;
    case ECONNREFUSED:
      return ws::WSAECONNREFUSED;
    case ELOOP:
      return ws::WSAELOOP;
    case ENAMETOOLONG:
      return ws::WSAENAMETOOLONG;
    case EHOSTDOWN:
      return ws::WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return ws::WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return ws::WSAENOTEMPTY;
    case EUSERS:
      return ws::WSAEUSERS;
    case EDQUOT:
      return ws::WSAEDQUOT;
    case ESTALE:
      return ws::WSAESTALE;
    case EREMOTE:
      return ws::WSAEREMOTE;
    default:
      return ws::WSAEFAULT;
  }
}

int WsaFromLookup(bsd::LookupError error) {
  switch (error) {
    case bsd::LookupError::None:
      return 0;
    case bsd::LookupError::HostNotFound:
      return ws::WSAHOST_NOT_FOUND;
    case bsd::LookupError::TryAgain:
      return ws::WSATRY_AGAIN;
    case bsd::LookupError::NoRecovery:
      return ws::WSANO_RECOVERY;
    case bsd::LookupError::NoData:
      return ws::WSANO_DATA;
    case bsd::LookupError::Other:
      return ws::WSAEOPNOTSUPP;
  }
  return ws::WSAEOPNOTSUPP;
}

bool CheckStarted() {
  if (Started()) return true;
  Fail(ws::WSANOTINITIALISED);
  return false;
}

void CloseAllSockets() {
  auto& t = Sockets();
  std::vector<int> fds;
  {
    std::lock_guard lock(t.mutex);
    for (auto& [handle, s] : t.sockets) {
      s->closed.store(true, std::memory_order_release);
      DropRegistration(*s);
      fds.push_back(s->fd);
    }
    t.sockets.clear();
  }
  for (int fd : fds) bsd::CloseSocket(fd);
}

}  // namespace wsimpl
