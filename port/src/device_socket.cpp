// The process-wide device socket: finds the connection a socket notice belongs to and passes
// the notice on to its dispatcher (data) or its port (connect, accept, close, errors).

#include "port/device_socket.h"

#include <exception>

#include "dispatch/dispatcher.h"
#include "port/com_port.h"
#include "port/winsock_dispatcher.h"

namespace {

TApdDeviceSocket* TheDeviceSocket = nullptr;

TApdWinsockDispatcher* DispatcherOf(TSocket socket) {
  return FindDispatcherByDevice<TApdWinsockDispatcher>(socket);
}

// Sets a dispatcher's Notifying flag for a scope and puts back what it was, so that a notice
// given from inside a delivery does not end that delivery's flag.
class TNotifyingScope {
 public:
  explicit TNotifyingScope(TApdBaseDispatcher& dispatcher) : FDispatcher(dispatcher) {
    TLockHolder lock(FDispatcher.MainLock);
    FWas = FDispatcher.Notifying;
    FDispatcher.Notifying = true;
  }
  ~TNotifyingScope() {
    TLockHolder lock(FDispatcher.MainLock);
    FDispatcher.Notifying = FWas;
  }
  bool Outer() const { return !FWas; }

 private:
  TApdBaseDispatcher& FDispatcher;
  bool FWas = false;
};

}  // namespace

const TClassRecord& TApdDeviceSocket::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApdDeviceSocket, TApdSocket>(
      "TApdDeviceSocket", [](TClassBuilder<TApdDeviceSocket>&) {});
  return record;
}

TApdDeviceSocket::TApdDeviceSocket(TComponent* owner) : TApdSocket(owner) {
  InitializeCriticalSection(&Lock);
  RegisterDispatchWindowClass();
}

TApdDeviceSocket::~TApdDeviceSocket() {
  // Connections are owned components and are gone by now.
  DeleteCriticalSection(&Lock);
}

TApdDeviceSocket& DeviceSocket() {
  if (!TheDeviceSocket) TheDeviceSocket = new TApdDeviceSocket(nullptr);
  return *TheDeviceSocket;
}

bool DeviceSocketExists() {
  return TheDeviceSocket != nullptr;
}

void FreeDeviceSocket() {
  TApdDeviceSocket* socket = TheDeviceSocket;
  TheDeviceSocket = nullptr;
  TObject::Free(socket);
}

TWsConnection* TApdDeviceSocket::FindConnection(TSocket socket) {
  TLockHolder lock(Lock);
  if (socket == FCachedSocket && FCachedConnection) return FCachedConnection;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* connection = dynamic_cast<TWsConnection*>(Components(i));
    if (connection && (connection->CommSocket == socket || connection->MainSocket == socket)) {
      FCachedSocket = socket;
      FCachedConnection = connection;
      return connection;
    }
  }
  return nullptr;
}

void TApdDeviceSocket::ForgetCache() {
  TLockHolder lock(Lock);
  FCachedSocket = NoSocket;
  FCachedConnection = nullptr;
}

TWsConnection* TApdDeviceSocket::CreateConnection(DWORD inSize, DWORD outSize) {
  TLockHolder lock(Lock);
  TSocket socket = MakeStreamSocket();
  return new TWsConnection(this, socket, inSize, outSize);
}

void TApdDeviceSocket::DestroyConnection(TWsConnection* connection) {
  TLockHolder lock(Lock);
  // Forget it first: closing reports failures, and those look the connection up.
  TSocket comm = connection->CommSocket;
  TSocket main = connection->MainSocket;
  connection->CommSocket = NoSocket;
  connection->MainSocket = NoSocket;
  FCachedSocket = NoSocket;
  FCachedConnection = nullptr;
  if (connection->Busy())
    connection->Detach();  // freed when its running operation returns
  else
    TObject::Free(connection);
  if (comm != NoSocket && comm != main) DropSocket(comm);
  if (main != NoSocket) DropSocket(main);
}

LRESULT TApdDeviceSocket::NotifyPort(TSocket socket, int code, LPARAM value) {
  TApdWinsockDispatcher* dispatcher = DispatcherOf(socket);
  if (!dispatcher) return 0;
  LRESULT result = 0;
  bool outer;
  {
    TNotifyingScope notifying(*dispatcher);
    outer = notifying.Outer();
    if (!dispatcher->Owner) return 0;
    HWND window = dispatcher->Owner->PortWindow();
    if (window)
      result = SendMessageA(window, CM_APDSOCKETMESSAGE, static_cast<WPARAM>(code), value);
  }
  // A close asked for by the notified code was deferred; outside a processing pass nobody
  // else would finish it before the next timer tick.
  if (outer && dispatcher->CloseDeferred && !dispatcher->InPass) dispatcher->FinishClose();
  return result;
}

// ---- Notice handlers ----

void TApdDeviceSocket::DoRead(TSocket socket) {
  if (TWsConnection* connection = FindConnection(socket)) {
    connection->SetDrained(false);
    TApdWinsockDispatcher* dispatcher = DispatcherOf(connection->MainSocket);
    if (dispatcher && dispatcher->DispatchWindow)
      SendMessageA(dispatcher->DispatchWindow, CM_APDSOCKETMESSAGE,
                   static_cast<WPARAM>(connection->MainSocket), 0);
  }
  TApdSocket::DoRead(socket);
}

void TApdDeviceSocket::DoWrite(TSocket socket) {
  // Room again after a would-block send: what waits in the output ring goes now.
  if (TWsConnection* connection = FindConnection(socket)) {
    if (connection->CommSocket == socket) connection->Write(nullptr, 0);
  }
  TApdSocket::DoWrite(socket);
}

void TApdDeviceSocket::DoConnect(TSocket socket) {
  TWsConnection* connection = FindConnection(socket);
  if (!connection) return;
  if (connection->Dispatcher)
    connection->Dispatcher->SetConnected(*connection, true);
  else
    connection->Connected = 1;
  if (connection->Client) {
    connection->CommSocket = socket;
    // Output written while the connect was under way leaves now.
    connection->Write(nullptr, 0);
  }
  NotifyPort(socket, NoticeConnected, 0);
  TApdSocket::DoConnect(socket);
}

void TApdDeviceSocket::DoAccept(TSocket socket) {
  TWsConnection* connection = FindConnection(socket);
  TApdWinsockDispatcher* dispatcher = connection ? DispatcherOf(connection->MainSocket) : nullptr;
  if (!connection || !dispatcher) {
    TApdSocket::DoAccept(socket);
    return;
  }
  if (connection->CommSocket != NoSocket) {
    // One peer at a time: a second one is taken and let go at once.
    TSocket extra = TakeConnection(socket, dispatcher->RemoteAddress);
    if (extra != NoSocket) DropSocket(extra);
    return;
  }
  TSocket accepted = TakeConnection(socket, dispatcher->RemoteAddress);
  if (accepted == NoSocket) {
    dispatcher->RemoteAddress = TSockAddrIn{};
    return;
  }
  connection->CommSocket = accepted;
  connection->SetDrained(false);
  connection->ResetForPeer();
  LRESULT answer = 0;
  std::exception_ptr failure;
  try {
    answer = NotifyPort(socket, NoticeAccept,
                        static_cast<LPARAM>(dispatcher->RemoteAddress.sin_addr.s_addr));
  } catch (...) {
    // A handler that fails refuses the peer; the failure is reported once the peer is let go.
    failure = std::current_exception();
  }
  // A handler that closed the port took the connection and the accepted socket with it.
  const bool open = FindConnection(socket) == connection && DispatcherOf(socket) == dispatcher;
  if (open && answer == 1 && !failure) {
    dispatcher->SetConnected(*connection, true);
    connection->Write(nullptr, 0);
  } else if (open) {
    connection->CommSocket = NoSocket;
    dispatcher->RemoteAddress = TSockAddrIn{};
    ForgetCache();
    DropSocket(accepted);
  }
  if (failure) std::rethrow_exception(failure);
  TApdSocket::DoAccept(socket);
}

void TApdDeviceSocket::DoDisconnect(TSocket socket) {
  if (TWsConnection* connection = FindConnection(socket)) {
    TSocket main = connection->MainSocket;
    TApdWinsockDispatcher* dispatcher = DispatcherOf(main);
    if (dispatcher) {
      // The peer may have sent its last bytes together with the close: take them first.
      if (connection->CommSocket == socket && connection->Connected) {
        if (dispatcher->InPass) {
          // A handler pumps messages inside a pass: the bytes before the close still wait
          // behind it. The pass takes the close up when it is over.
          dispatcher->DeferPeerClose(socket);
          return;
        }
        dispatcher->DrainInput();
        // A handler may have closed the port meanwhile, and the connection with it.
        if (FindConnection(socket) != connection || DispatcherOf(main) != dispatcher) {
          TApdSocket::DoDisconnect(socket);
          return;
        }
      }
      dispatcher->RemoteAddress = TSockAddrIn{};
      connection->CommSocket = NoSocket;
      dispatcher->SetConnected(*connection, false);
      // Output the peer did not take is not the next peer's.
      connection->FlushOutput();
      ForgetCache();
    }
    if (socket == main) {
      NotifyPort(main, NoticeClosed, 0);
    } else {
      NotifyPort(main, NoticeDisconnected, 0);
      DropSocket(socket);
    }
  }
  TApdSocket::DoDisconnect(socket);
}

void TApdDeviceSocket::DoError(TSocket socket, int errorCode) {
  if (TWsConnection* connection = FindConnection(socket)) {
    const TSocket main = connection->MainSocket;
    NotifyPort(main, errorCode, 0);
    const bool peerGone = errorCode == winsock::WSAENETRESET ||
                          errorCode == winsock::WSAECONNABORTED ||
                          errorCode == winsock::WSAECONNRESET;
    // A server-role peer that reset its connection is gone as surely as one that closed it
    // (the port has reported it as disconnected): let the socket go, so that the next peer
    // can be taken.
    if (peerGone && FindConnection(socket) == connection && !connection->Client &&
        socket == connection->CommSocket && socket != main) {
      if (TApdWinsockDispatcher* dispatcher = DispatcherOf(main)) {
        dispatcher->RemoteAddress = TSockAddrIn{};
        dispatcher->SetConnected(*connection, false);
      }
      connection->CommSocket = NoSocket;
      ForgetCache();
      DropSocket(socket);
    }
  }
  OnSockError(this, socket, errorCode);
}
