// TApdSocket: a component around the Winsock entry table. It owns a hidden notification
// window, asks Winsock to report socket events to it (message 0B11h), turns each report into
// a call of an overridable handler and an event, and wraps the socket calls the comm library
// makes with a start-up check and one error path.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "errors/exceptions.h"
#include "forms/class_record.h"
#include "forms/component.h"
#include "forms/events.h"
#include "platform/messages.h"
#include "platform/winsock.h"
#include "platform/wintypes.h"

// Winsock socket handles are 32-bit values here; -1 is "no socket".
using TSocket = std::int32_t;
inline constexpr TSocket NoSocket = -1;

// 16 bytes: family 2, port and address in network byte order, 8 zero bytes.
using TSockAddrIn = winsock::sockaddr_in;
// DottedToAddress's answer for a text that is not a dotted address.
inline constexpr std::uint32_t AddressNone = 0xFFFFFFFFu;

// Socket notices (wParam = socket, lParam = error << 16 | event) and the Winsock port's
// close request.
inline constexpr UINT CM_APDSOCKETMESSAGE = 0x0B11;
inline constexpr UINT CM_APDSOCKETQUIT = 0x0B12;

// Event bits of RequestNotices.
inline constexpr long SockNoticeRead = winsock::FD_READ;        // 1
inline constexpr long SockNoticeWrite = winsock::FD_WRITE;      // 2
inline constexpr long SockNoticeAccept = winsock::FD_ACCEPT;    // 8
inline constexpr long SockNoticeConnect = winsock::FD_CONNECT;  // 16
inline constexpr long SockNoticeClose = winsock::FD_CLOSE;      // 32

using TWsNotifyEvent = TEvent<void(TObject* Sender, TSocket Socket)>;
using TWsErrorEvent = TEvent<void(TObject* Sender, TSocket Socket, int ErrorCode)>;

// Names handed to ResolveHost and ResolveService are limited to this many characters.
inline constexpr std::size_t MaxSocketNameLength = 255;

class TApdSocket : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // Binds Winsock, starts it for version 1.1 and creates the notification window. Failures
  // are recorded (StartupError) and raised at the first use of an operation.
  explicit TApdSocket(TComponent* owner);
  ~TApdSocket() override;
  void BeforeDestruction() override;

  // No start-up check.
  HWND NoticeWindow() const { return FNoticeWindow; }
  bool Bound() const { return FBound; }
  int StartupError() const { return FStartupError; }
  const winsock::WSADATA& StartupData() const { return FStartupData; }

  // Every operation below raises EApdSocketException (the 9004 text) when start-up failed.
  // "Reported" failures go to the error handler: OnSockError when assigned, an exception
  // otherwise. The would-block code 10035 is not reported where noted.
  int WinsockError();
  WORD PortToNetwork(WORD port);
  WORD PortFromNetwork(WORD port);
  // Network-order address as "a.b.c.d".
  std::string AddressToDotted(std::uint32_t address);
  // Network-order address of the whole text; AddressNone when it is not dotted.
  std::uint32_t DottedToAddress(const std::string& text);
  // First address of the host (network order); 0 when there is none (also for a name with
  // a NUL inside). Names longer than MaxSocketNameLength raise EApdSocketException 10063.
  std::uint32_t ResolveHost(const std::string& name);
  // TCP port of the service in host order; 0 when there is none. Long names as above.
  WORD ResolveService(const std::string& name);
  // A TCP socket; raises EApdSocketException with the Winsock error on failure.
  TSocket MakeStreamSocket();
  int BindLocal(TSocket socket, const TSockAddrIn& address);
  int StartConnect(TSocket socket, const TSockAddrIn& address);  // 10035 not reported
  int StartListening(TSocket socket, int backlog);               // 10035 not reported
  // The accepted socket, or NoSocket; address receives the peer's address.
  TSocket TakeConnection(TSocket socket, TSockAddrIn& address);
  // Cancels the socket's notices and closes it. Notices of it still queued for the
  // notification window are dropped there, also when a new socket gets the same handle
  // before they are taken.
  int DropSocket(TSocket socket);
  int StopSocket(TSocket socket, int how);  // 10035 not reported
  // Count, or -1 (10035 not reported: nothing waiting).
  int ReceiveInto(TSocket socket, void* buffer, int length, int flags);
  // Count, or -1 (10035 not reported: no room).
  int SendFrom(TSocket socket, const void* buffer, int length, int flags);
  // WSAAsyncSelect to the notification window with message 0B11h; events 0 cancels.
  int RequestNotices(TSocket socket, long events);
  int SetOption(TSocket socket, int level, int name, const void* value, int length);

  TWsNotifyEvent OnSockAccept;
  TWsNotifyEvent OnSockConnect;
  TWsNotifyEvent OnSockDisconnect;
  TWsErrorEvent OnSockError;
  TWsNotifyEvent OnSockRead;
  TWsNotifyEvent OnSockWrite;

 protected:
  // Notice handlers. Each calls its event; DoError raises EApdSocketException (code and its
  // text) when OnSockError is not assigned.
  virtual void DoAccept(TSocket socket);
  virtual void DoConnect(TSocket socket);
  virtual void DoDisconnect(TSocket socket);
  virtual void DoError(TSocket socket, int errorCode);
  virtual void DoRead(TSocket socket);
  virtual void DoWrite(TSocket socket);

  // Raises when start-up failed.
  void CheckStartup() const;
  // Reads the last error and hands it to DoError, unless it is 10035 and that is allowed.
  void ReportLastError(TSocket socket, bool quietWouldBlock);
  virtual void WndProc(TMessage& message);

 private:
  void Cleanup();

  HWND FNoticeWindow = nullptr;
  bool FBound = false;
  int FStartupError = 0;
  winsock::WSADATA FStartupData{};
  bool FCleanedUp = false;
  // Sockets closed by DropSocket whose closing mark has not come through the notification
  // window yet: a notice that names one of them was queued before the close. A count, as
  // the same handle can be closed, given out again and closed again meanwhile.
  std::unordered_map<TSocket, int> FClosedUnmarked;
};
