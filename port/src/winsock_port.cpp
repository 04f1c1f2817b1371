// The Winsock port: a com port whose device is one TCP connection.

#include "port/winsock_port.h"

#include <charconv>

#include "errors/codes.h"
#include "forms/application.h"
#include "port/device_socket.h"
#include "port/winsock_dispatcher.h"

namespace {

// Blanks and control characters (codes up to 32) off both ends.
std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

// A port given as plain decimal digits; false for anything else (a service name).
bool ParsePortNumber(const std::string& text, long& number) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, error] = std::from_chars(first, last, number, 10);
  if (error == std::errc::result_out_of_range && end == last) {
    number = -1;  // digits, but no port
    return true;
  }
  return error == std::errc() && end == last && text[0] != '-';
}

}  // namespace

const TClassRecord& TApdCustomWinsockPort::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApdCustomWinsockPort, TApdCustomComPort>(
      "TApdCustomWinsockPort", [](TClassBuilder<TApdCustomWinsockPort>&) {});
  return record;
}

TApdCustomWinsockPort::TApdCustomWinsockPort(TComponent* owner) : TApdCustomComPort(owner) {
  SetDeviceKind(DeviceKindWinsock);
}

TApdCustomWinsockPort::~TApdCustomWinsockPort() {
  // Deleted without Free while open: the window outlives this part of the object, so its
  // messages must not reach the subclass any more.
  HWND window = PortWindow();
  if (window && FPreviousProc) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FPreviousProc));
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  }
}

void TApdCustomWinsockPort::SetServerAddress(const std::string& address) {
  if (address == FServerAddress) return;
  if (PortState == psOpen) throw EApdSocketException(ecWsCantChangeWhileConnected);
  FServerAddress = Trimmed(address);
}

void TApdCustomWinsockPort::SetWsPort(const std::string& port) {
  if (port == FWsPort) return;
  if (PortState == psOpen) throw EApdSocketException(ecWsCantChangeWhileConnected);
  FWsPort = Trimmed(port);
}

TApdBaseDispatcher* TApdCustomWinsockPort::CreateDispatcher() {
  if (DeviceKind() == DeviceKindWinsock) return new TApdWinsockDispatcher(this);
  return TApdCustomComPort::CreateDispatcher();
}

void TApdCustomWinsockPort::CheckPortNumber() {
  if (DeviceKind() != DeviceKindWinsock) TApdCustomComPort::CheckPortNumber();
}

int TApdCustomWinsockPort::OpenDevice() {
  if (DeviceKind() != DeviceKindWinsock) return TApdCustomComPort::OpenDevice();
  auto* dispatcher = static_cast<TApdWinsockDispatcher*>(CurrentDispatcher());
  TApdDeviceSocket& device = DeviceSocket();
  if (device.StartupError() != 0)
    throw EApdSocketException(device.StartupError(), WinsockNotInitialized);

  std::uint32_t address = 0;
  if (FPortRole == prClient) {
    if (FServerAddress.empty()) throw EApdSocketException(winsock::WSAEDESTADDRREQ);
    address = device.DottedToAddress(FServerAddress);
    if (address == AddressNone) address = device.ResolveHost(FServerAddress);
    if (address == 0) throw EApdSocketException(ecWsCantResolveAddress);
  }

  long number = 0;
  if (!ParsePortNumber(FWsPort, number)) number = device.ResolveService(FWsPort);
  // Numbers beyond 16 bits are refused rather than wrapped onto another port.
  if (number <= 0 || number > 0xFFFF) throw EApdSocketException(ecWsInvalidPort);
  const WORD port = device.PortToNetwork(static_cast<WORD>(number));

  dispatcher->SetupAddresses(address, port, FTelnetProcessing, FPortRole == prClient);
  int result = dispatcher->OpenConnection(InputBufferSize(), OutputBufferSize());
  if (result < 0) throw EApdSocketException(-result);
  PortState = psOpen;
  return 0;
}

void TApdCustomWinsockPort::DoPortOpened() {
  HWND window = PortWindow();
  if (window) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FPreviousProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CALLBACK_SubclassProc)));
  }
  TApdCustomComPort::DoPortOpened();
}

void TApdCustomWinsockPort::DoPortClosing() {
  TApdCustomComPort::DoPortClosing();
  DoDisconnected();
}

LRESULT TApdCustomWinsockPort::CALLBACK_SubclassProc(HWND window, UINT msg, WPARAM wParam,
                                                     LPARAM lParam) {
  auto* port = reinterpret_cast<TApdCustomWinsockPort*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!port) return DefWindowProcA(window, msg, wParam, lParam);
  return port->SubclassProc(window, msg, wParam, lParam);
}

LRESULT TApdCustomWinsockPort::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == CM_APDSOCKETQUIT) {
    try {
      SetPortOpen(false);
    } catch (...) {
      Application->HandleCurrentException(this);
    }
    return 0;
  }
  if (msg != CM_APDSOCKETMESSAGE)
    return CallWindowProcA(FPreviousProc, window, msg, wParam, lParam);
  // Sent by the device socket: its handler reports what escapes from here.
  switch (static_cast<int>(wParam)) {
    case NoticeAccept:
      return DoAcceptPeer(static_cast<std::uint32_t>(lParam)) ? 1 : 0;
    case NoticeConnected:
      DoConnected();
      break;
    case NoticeClosed:
      PostMessageA(window, CM_APDSOCKETQUIT, 0, 0);
      break;
    case NoticeDisconnected:
      DoDisconnected();
      break;
    default:
      DoSocketError(static_cast<int>(wParam));
      break;
  }
  return 0;
}

bool TApdCustomWinsockPort::DoAcceptPeer(std::uint32_t address) {
  bool accept = true;
  OnAcceptPeer(this, address, accept);
  return accept;
}

void TApdCustomWinsockPort::DoConnected() {
  OnConnected(this);
}

void TApdCustomWinsockPort::DoDisconnected() {
  OnDisconnected(this);
}

void TApdCustomWinsockPort::DoSocketError(int errorCode) {
  if (errorCode == winsock::WSAENETRESET || errorCode == winsock::WSAECONNABORTED ||
      errorCode == winsock::WSAECONNRESET) {
    if (FPortRole == prClient)
      PostMessageA(PortWindow(), CM_APDSOCKETQUIT, 0, 0);
    else
      DoDisconnected();
  }
  OnSocketError(this, errorCode);
}

// ---- Published ----

const TClassRecord& TApdWinsockPort::StaticClass() {
  static const TEnumInfo roles{"TPortRole", {"prClient", "prServer"}};
  static const TEnumInfo states{"TTraceLogState",
                                {"tlOff", "tlOn", "tlDump", "tlAppend", "tlClear", "tlPause"}};
  static const TClassRecord record = TClassRecord::Define<TApdWinsockPort, TApdCustomWinsockPort>(
      "TApdWinsockPort", [](TClassBuilder<TApdWinsockPort>& c) {
        using P = TApdWinsockPort;
        c.Bool("PortOpen", &P::PortOpen, &P::SetPortOpen).Default(0);
        c.Str("ServerAddress", &P::ServerAddress, &P::SetServerAddress);
        c.Str("WsPort", &P::WsPort, &P::SetWsPort);
        c.Enum("PortRole", &P::PortRole, &P::SetPortRole, roles).Default(prClient);
        c.Bool("TelnetProcessing", &P::TelnetProcessing, &P::SetTelnetProcessing).Default(1);
        c.Int("InputBufferSize", &P::InputBufferSize, &P::SetInputBufferSize).Default(4096);
        c.Int("OutputBufferSize", &P::OutputBufferSize, &P::SetOutputBufferSize).Default(4096);
        c.Bool("OpenOnDemand", &P::OpenOnDemand, &P::SetOpenOnDemand).Default(1);
        c.Enum("Tracing", &P::Tracing, &P::SetTracing, states).Default(tlOff);
        c.Int("TraceSize", &P::TraceSize, &P::SetTraceSize).Default(10000);
        c.Str("TraceName", &P::TraceName, &P::SetTraceName);
        c.Bool("TraceHex", &P::TraceHex, &P::SetTraceHex).Default(1);
        c.Enum("Logging", &P::Logging, &P::SetLogging, states).Default(tlOff);
        c.Int("LogSize", &P::LogSize, &P::SetLogSize).Default(10000);
        c.Str("LogName", &P::LogName, &P::SetLogName);
        c.Bool("LogHex", &P::LogHex, &P::SetLogHex).Default(1);
        // The events are members of the base class; the builder wants them as this class's.
        TWsAcceptEvent P::*accept = &P::OnAcceptPeer;
        TNotifyEvent P::*connected = &P::OnConnected;
        TNotifyEvent P::*disconnected = &P::OnDisconnected;
        TWsSocketErrorEvent P::*error = &P::OnSocketError;
        c.Event("OnAcceptPeer", accept);
        c.Event("OnConnected", connected);
        c.Event("OnDisconnected", disconnected);
        c.Event("OnSocketError", error);
      });
  return record;
}
