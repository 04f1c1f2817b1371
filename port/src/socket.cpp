// The socket component: Winsock start-up per component, checked wrappers of the socket calls
// and the notification window that turns socket notices into handler calls.

#include "port/socket.h"

#include <cstring>

#include "errors/codes.h"
#include "forms/application.h"
#include "port/winsock_binding.h"

namespace {

constexpr UINT WmQueryEndSession = 0x0011;
constexpr WORD WinsockVersion11 = 0x0101;
// Posted to the notification window (0B11h, wParam = the socket) right after a socket was
// closed: a reply without an event, which Winsock never posts. Notices queue in the order
// they were posted, so every notice of the closed socket is ahead of its mark, and every
// notice of a new socket that gets the same handle is behind it.
constexpr LPARAM ClosedMark = 0;

winsock::SOCKET ToWs(TSocket socket) {
  return socket < 0 ? winsock::INVALID_SOCKET : static_cast<winsock::SOCKET>(socket);
}

const winsock::sockaddr* AsAddr(const TSockAddrIn& address) {
  return reinterpret_cast<const winsock::sockaddr*>(&address);
}

// Copies a name into a 256-byte buffer; longer names cannot be looked up. False for a name
// with a NUL inside, which would be looked up as its first part only.
bool CopyName(const std::string& name, char (&buffer)[MaxSocketNameLength + 1]) {
  if (name.size() > MaxSocketNameLength) throw EApdSocketException(winsock::WSAENAMETOOLONG);
  if (name.find('\0') != std::string::npos) return false;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  return true;
}

}  // namespace

const TClassRecord& TApdSocket::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TApdSocket, TComponent>("TApdSocket", [](TClassBuilder<TApdSocket>&) {});
  return record;
}

TApdSocket::TApdSocket(TComponent* owner) : TComponent(owner) {
  FBound = BindWinsock();
  if (!FBound) {
    FStartupError = ecWsLoadError;
    return;
  }
  int result = WinsockEntryTable().WSAStartup(WinsockVersion11, &FStartupData);
  if (result != 0) {
    FStartupError = result;
    return;
  }
  const WORD version = FStartupData.wVersion;
  if ((version & 0xFF) != 1 || (version >> 8) != 1) FStartupError = ecWsVersionError;
  FNoticeWindow = AllocateHWnd([this](TMessage& message) { WndProc(message); });
}

TApdSocket::~TApdSocket() {
  Cleanup();
}

void TApdSocket::BeforeDestruction() {
  Cleanup();
  TComponent::BeforeDestruction();
}

void TApdSocket::Cleanup() {
  if (FCleanedUp) return;
  FCleanedUp = true;
  if (FBound) {
    // Winsock counts start-ups, so another component's use stays intact.
    const TWinsockEntryTable& table = WinsockEntryTable();
    table.WSACancelBlockingCall();
    table.WSACleanup();
  }
  if (FNoticeWindow) {
    DeallocateHWnd(FNoticeWindow);
    FNoticeWindow = nullptr;
  }
}

void TApdSocket::CheckStartup() const {
  if (FStartupError != 0) throw EApdSocketException(FStartupError, WinsockNotInitialized);
}

void TApdSocket::ReportLastError(TSocket socket, bool quietWouldBlock) {
  int code = WinsockEntryTable().WSAGetLastError();
  if (quietWouldBlock && code == winsock::WSAEWOULDBLOCK) return;
  DoError(socket, code);
}

// ---- Wrappers ----

int TApdSocket::WinsockError() {
  CheckStartup();
  return WinsockEntryTable().WSAGetLastError();
}

WORD TApdSocket::PortToNetwork(WORD port) {
  CheckStartup();
  return WinsockEntryTable().htons(port);
}

WORD TApdSocket::PortFromNetwork(WORD port) {
  CheckStartup();
  return WinsockEntryTable().ntohs(port);
}

std::string TApdSocket::AddressToDotted(std::uint32_t address) {
  CheckStartup();
  winsock::in_addr in{};
  in.s_addr = address;
  const char* text = WinsockEntryTable().inet_ntoa(in);
  char buffer[16] = {};
  if (text) std::strncpy(buffer, text, sizeof buffer - 1);
  return buffer;
}

std::uint32_t TApdSocket::DottedToAddress(const std::string& text) {
  CheckStartup();
  // The whole text is looked at: cut to the 15 characters of the longest plain address, a
  // longer text ("192.168.100.2009", "192.168.100.200-b.example") would name another host.
  if (text.find('\0') != std::string::npos) return AddressNone;
  return WinsockEntryTable().inet_addr(text.c_str());
}

std::uint32_t TApdSocket::ResolveHost(const std::string& name) {
  CheckStartup();
  char buffer[MaxSocketNameLength + 1];
  if (!CopyName(name, buffer)) return 0;
  const winsock::hostent* host = WinsockEntryTable().gethostbyname(buffer);
  if (!host || !host->h_addr_list || !host->h_addr_list[0] || host->h_length < 4) return 0;
  std::uint32_t address;
  std::memcpy(&address, host->h_addr_list[0], sizeof address);
  return address;
}

WORD TApdSocket::ResolveService(const std::string& name) {
  CheckStartup();
  char buffer[MaxSocketNameLength + 1];
  if (!CopyName(name, buffer)) return 0;
  const winsock::servent* service = WinsockEntryTable().getservbyname(buffer, "tcp");
  if (!service) return 0;
  return WinsockEntryTable().ntohs(static_cast<WORD>(service->s_port));
}

TSocket TApdSocket::MakeStreamSocket() {
  CheckStartup();
  const TWinsockEntryTable& table = WinsockEntryTable();
  winsock::SOCKET socket = table.socket(winsock::AF_INET, winsock::SOCK_STREAM, 0);
  if (socket == winsock::INVALID_SOCKET) throw EApdSocketException(table.WSAGetLastError());
  return static_cast<TSocket>(socket);
}

int TApdSocket::BindLocal(TSocket socket, const TSockAddrIn& address) {
  CheckStartup();
  int result = WinsockEntryTable().bind(ToWs(socket), AsAddr(address), sizeof(TSockAddrIn));
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, false);
  return result;
}

int TApdSocket::StartConnect(TSocket socket, const TSockAddrIn& address) {
  CheckStartup();
  int result = WinsockEntryTable().connect(ToWs(socket), AsAddr(address), sizeof(TSockAddrIn));
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, true);
  return result;
}

int TApdSocket::StartListening(TSocket socket, int backlog) {
  CheckStartup();
  int result = WinsockEntryTable().listen(ToWs(socket), backlog);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, true);
  return result;
}

TSocket TApdSocket::TakeConnection(TSocket socket, TSockAddrIn& address) {
  CheckStartup();
  int length = sizeof(TSockAddrIn);
  winsock::SOCKET accepted = WinsockEntryTable().accept(
      ToWs(socket), reinterpret_cast<winsock::sockaddr*>(&address), &length);
  if (accepted == winsock::INVALID_SOCKET) {
    ReportLastError(socket, false);
    return NoSocket;
  }
  return static_cast<TSocket>(accepted);
}

int TApdSocket::DropSocket(TSocket socket) {
  CheckStartup();
  const TWinsockEntryTable& table = WinsockEntryTable();
  // No notice of this socket is posted from here on (a failure means there is none to stop).
  if (FNoticeWindow) table.WSAAsyncSelect(ToWs(socket), FNoticeWindow, 0, 0);
  int result = table.closesocket(ToWs(socket));
  if (result != winsock::SOCKET_ERROR && FNoticeWindow &&
      PostMessageA(FNoticeWindow, CM_APDSOCKETMESSAGE, static_cast<WPARAM>(socket), ClosedMark))
    ++FClosedUnmarked[socket];
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, false);
  return result;
}

int TApdSocket::StopSocket(TSocket socket, int how) {
  CheckStartup();
  int result = WinsockEntryTable().shutdown(ToWs(socket), how);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, true);
  return result;
}

int TApdSocket::ReceiveInto(TSocket socket, void* buffer, int length, int flags) {
  CheckStartup();
  int result = WinsockEntryTable().recv(ToWs(socket), static_cast<char*>(buffer), length, flags);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, true);
  return result;
}

int TApdSocket::SendFrom(TSocket socket, const void* buffer, int length, int flags) {
  CheckStartup();
  int result =
      WinsockEntryTable().send(ToWs(socket), static_cast<const char*>(buffer), length, flags);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, true);
  return result;
}

int TApdSocket::RequestNotices(TSocket socket, long events) {
  CheckStartup();
  int result =
      WinsockEntryTable().WSAAsyncSelect(ToWs(socket), FNoticeWindow, CM_APDSOCKETMESSAGE, events);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, false);
  return result;
}

int TApdSocket::SetOption(TSocket socket, int level, int name, const void* value, int length) {
  CheckStartup();
  int result = WinsockEntryTable().setsockopt(ToWs(socket), level, name,
                                              static_cast<const char*>(value), length);
  if (result == winsock::SOCKET_ERROR) ReportLastError(socket, false);
  return result;
}

// ---- Notices ----

void TApdSocket::DoAccept(TSocket socket) {
  OnSockAccept(this, socket);
}

void TApdSocket::DoConnect(TSocket socket) {
  OnSockConnect(this, socket);
}

void TApdSocket::DoDisconnect(TSocket socket) {
  OnSockDisconnect(this, socket);
}

void TApdSocket::DoError(TSocket socket, int errorCode) {
  if (OnSockError.Assigned())
    OnSockError(this, socket, errorCode);
  else
    throw EApdSocketException(errorCode);
}

void TApdSocket::DoRead(TSocket socket) {
  OnSockRead(this, socket);
}

void TApdSocket::DoWrite(TSocket socket) {
  OnSockWrite(this, socket);
}

void TApdSocket::WndProc(TMessage& message) {
  if (message.Msg != CM_APDSOCKETMESSAGE) {
    message.Result = message.Msg == WmQueryEndSession ? 1 : 0;
    return;
  }
  message.Result = 0;
  const auto socket = static_cast<TSocket>(message.WParam);
  if (auto closed = FClosedUnmarked.find(socket); closed != FClosedUnmarked.end()) {
    // Queued before the socket was closed: it names a socket that is gone (or, when the
    // handle was given out again, another socket, which this notice is not about).
    if (message.LParam == ClosedMark && --closed->second == 0) FClosedUnmarked.erase(closed);
    return;
  }
  const WORD error = winsock::WSAGETSELECTERROR(message.LParam);
  try {
    if (error != 0) {
      DoError(socket, error);
      return;
    }
    switch (winsock::WSAGETSELECTEVENT(message.LParam)) {
      case winsock::FD_READ:
        DoRead(socket);
        break;
      case winsock::FD_WRITE:
        DoWrite(socket);
        break;
      case winsock::FD_ACCEPT:
        DoAccept(socket);
        break;
      case winsock::FD_CONNECT:
        DoConnect(socket);
        break;
      case winsock::FD_CLOSE:
        DoDisconnect(socket);
        break;
      default:
        break;
    }
  } catch (...) {
    Application->HandleCurrentException(this);
  }
}
