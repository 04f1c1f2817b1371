// The Winsock dispatcher: device slots over a TWsConnection, the opening steps, the 50 ms
// timer and the "awDispatch" window that drive processing passes, and closing.

#include "port/winsock_dispatcher.h"

#include "errors/codes.h"
#include "forms/application.h"
#include "platform/library.h"
#include "platform/sysutils.h"
#include "port/device_socket.h"

namespace {

constexpr DWORD CarrierDetect = 0x80;
// Steps one pass may run back to back while input keeps coming (8 KiB each at most), and
// the larger bound for the last bytes of a connection the peer is closing.
constexpr int PassSteps = 128;
constexpr int DrainSteps = 4096;
// Read, write, accept, connect and close.
constexpr long SetupNotices =
    SockNoticeRead | SockNoticeWrite | SockNoticeAccept | SockNoticeConnect | SockNoticeClose;
constexpr int ListenBacklog = 5;

void CALLBACK_DispatchTimer(HWND, UINT, UINT_PTR id, DWORD) {
  TApdWinsockDispatcher* found = nullptr;
  {
    TLockHolder lock(RegistryLock());
    for (TApdBaseDispatcher* dispatcher : DispatcherRegistry()) {
      if (dispatcher && dispatcher->Dispatching && dispatcher->DispatchTimerId == id) {
        found = dynamic_cast<TApdWinsockDispatcher*>(dispatcher);
        break;
      }
    }
  }
  if (!found) return;
  try {
    found->ProcessPass(false);
  } catch (...) {
    Application->HandleCurrentException(nullptr);
  }
}

LRESULT CALLBACK_DispatchWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != CM_APDSOCKETMESSAGE) return DefWindowProcA(window, msg, wParam, lParam);
  auto* dispatcher = FindDispatcherByDevice<TApdWinsockDispatcher>(static_cast<TSocket>(wParam));
  if (dispatcher) {
    try {
      dispatcher->ProcessPass(false);
    } catch (...) {
      Application->HandleCurrentException(nullptr);
    }
  }
  return 0;
}

}  // namespace

void RegisterDispatchWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = CALLBACK_DispatchWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "awDispatch";
  registered = RegisterClassA(&windowClass) != 0;
}

TApdWinsockDispatcher::TApdWinsockDispatcher(TApdCustomComPort* owner)
    : TApdBaseDispatcher(owner) {}

TApdWinsockDispatcher::~TApdWinsockDispatcher() {
  CloseForDestroy();
}

void TApdWinsockDispatcher::SetupAddresses(std::uint32_t address, WORD port, bool telnet,
                                           bool client) {
  Client = client;
  Telnet = telnet;
  RemoteAddress = TSockAddrIn{};
  RemoteAddress.sin_family = winsock::AF_INET;
  RemoteAddress.sin_port = port;
  RemoteAddress.sin_addr.s_addr = address;
  LocalAddress = TSockAddrIn{};
  LocalAddress.sin_family = winsock::AF_INET;
  LocalAddress.sin_port = client ? 0 : port;
}

void TApdWinsockDispatcher::SetConnected(TWsConnection& connection, bool connected) {
  const std::uint8_t state = connected ? 1 : 0;
  if (connection.Connected == state) return;
  connection.Connected = state;
  TLockHolder lock(MainLock);
  if (connected)
    ModemBits |= CarrierDetect;
  else
    ModemBits &= ~CarrierDetect;
}

// ---- Device slots ----

int TApdWinsockDispatcher::DeviceEscape(int) {
  return 0;
}

int TApdWinsockDispatcher::DeviceFlush(int which) {
  if (FConnection) {
    if (which == 0) FConnection->FlushOutput();
    if (which == 1) FConnection->FlushInput();
  }
  return 0;
}

DWORD TApdWinsockDispatcher::DeviceStatus(TDeviceCounts& counts) {
  if (FConnection) {
    counts.InCount = FConnection->InputCount();
    // A handler told of a failed receive may have closed the port meanwhile.
    if (FConnection) counts.OutCount = FConnection->OutputWaiting();
  }
  return static_cast<DWORD>(DeviceSocket().WinsockError());
}

int TApdWinsockDispatcher::DeviceEventMask(int) {
  return 0;
}

int TApdWinsockDispatcher::DeviceGetLine(TLineSettings& settings) {
  settings.BaudRate = 19200;
  settings.DataBits = 8;
  settings.Parity = 0;
  settings.StopBits = 1;
  return 0;
}

int TApdWinsockDispatcher::DeviceRead(void* buffer, DWORD count) {
  if (!FConnection || !FConnection->Connected) return 0;
  int n = FConnection->Read(buffer, count);
  if (n > 0) FMoved += static_cast<DWORD>(n);
  return n;
}

int TApdWinsockDispatcher::DeviceSetLine(const TLineSettings&) {
  return 0;
}

int TApdWinsockDispatcher::DeviceWrite(const void* buffer, DWORD count) {
  if (!FConnection) return 0;
  return FConnection->Write(buffer, count);
}

bool TApdWinsockDispatcher::DeviceWaitEvent(DWORD&, void*) {
  return true;
}

int TApdWinsockDispatcher::DeviceOpen(const char*, DWORD inSize, DWORD outSize) {
  TApdDeviceSocket& device = DeviceSocket();
  try {
    FConnection = device.CreateConnection(inSize, outSize);
  } catch (const EApdSocketException& e) {
    // A failed start-up is the port's to raise as it is; a failed socket is a result code.
    if (device.StartupError() != 0) throw;
    return e.ErrorCode > 0 ? -e.ErrorCode : ecHardware;
  }
  return FConnection->MainSocket;
}

bool TApdWinsockDispatcher::DeviceSetup(DWORD, DWORD) {
  if (!FConnection) return false;
  TApdDeviceSocket& device = DeviceSocket();
  const TSocket socket = FConnection->MainSocket;
  auto failed = [&device](int result) {
    return result == -1 && device.WinsockError() != winsock::WSAEWOULDBLOCK;
  };
  const std::int32_t reuse = 1;
  if (failed(device.SetOption(socket, winsock::SOL_SOCKET, winsock::SO_REUSEADDR, &reuse,
                              sizeof reuse)))
    return false;
  if (failed(device.BindLocal(socket, LocalAddress))) return false;
  if (failed(device.RequestNotices(socket, SetupNotices))) return false;
  if (Client) {
    if (failed(device.StartConnect(socket, RemoteAddress))) return false;
  } else {
    if (failed(device.StartListening(socket, ListenBacklog))) return false;
  }
  FConnection->Client = Client;
  FConnection->Telnet = Telnet;
  FConnection->Dispatcher = this;
  return true;
}

void TApdWinsockDispatcher::BeginDispatching() {
  if (Dispatching) throw platform::Exception("Dispatcher already started");
  Dispatching = true;
  DispatchTimerId = SetTimer(nullptr, 0, WinsockDispatchPeriodMs, CALLBACK_DispatchTimer);
  if (DispatchTimerId == 0) throw platform::Exception("Resource not available");
  RegisterDispatchWindowClass();
  CreateDispatchWindow();
}

void TApdWinsockDispatcher::EndDispatching() {
  if (!Dispatching) return;
  if (DispatchTimerId != 0) KillTimer(nullptr, DispatchTimerId);
  DispatchTimerId = 0;
  if (DispatchWindow) DestroyWindow(DispatchWindow);
  DispatchWindow = nullptr;
  Dispatching = false;
}

int TApdWinsockDispatcher::DeviceClose() {
  TApdDeviceSocket& device = DeviceSocket();
  TLockHolder lock(device.Lock);
  TWsConnection* connection = device.FindConnection(DeviceId);
  if (!connection) return -1;
  if (connection == FConnection) FConnection = nullptr;
  FPeerClosed = NoSocket;
  device.DestroyConnection(connection);
  return 0;
}

int TApdWinsockDispatcher::PollDevice() {
  ProcessPass(true);
  return 0;
}

// ---- Processing ----

bool TApdWinsockDispatcher::StepMoreLikely(bool pollOnly) {
  // Counted rather than read off the ring indices: a step that fills the whole ring and has
  // it emptied by the handlers leaves them where they were.
  FMoved = 0;
  DispatchStep(pollOnly);
  if (!FConnection || !InputBuffer || !Dispatching || CloseDeferred) return false;
  return FMoved > 0 && (!FConnection->Drained() || FConnection->InStored() > 0);
}

void TApdWinsockDispatcher::RunPass(bool pollOnly, int maxSteps) {
  if (InPass) {
    FPassAgain = true;
    return;
  }
  InPass = true;
  try {
    for (int step = 0; step < maxSteps; ++step) {
      FPassAgain = false;
      bool more = StepMoreLikely(pollOnly);
      if (!Dispatching || CloseDeferred) break;
      if (!more && !FPassAgain) break;
    }
  } catch (...) {
    InPass = false;
    if (CloseDeferred) FinishClose();
    throw;
  }
  InPass = false;
  if (CloseDeferred) FinishClose();
  if (FPeerClosed != NoSocket) {
    const TSocket socket = FPeerClosed;
    FPeerClosed = NoSocket;
    if (FConnection && Dispatching && !CloseDeferred) DeviceSocket().TakePeerClose(socket);
  }
}

void TApdWinsockDispatcher::ProcessPass(bool pollOnly) {
  RunPass(pollOnly, PassSteps);
}

void TApdWinsockDispatcher::DrainInput() {
  if (!FConnection) return;
  FConnection->SetDrained(false);
  RunPass(false, DrainSteps);
}
