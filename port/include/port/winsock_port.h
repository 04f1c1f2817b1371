// TApdCustomWinsockPort: the com port whose device is a TCP connection. It adds the server
// address, the service port, the client or server role and the Telnet switch, makes the port
// use the Winsock dispatcher, turns the connection's notices into events and closes itself
// when the peer goes away. TApdWinsockPort publishes its properties.
#pragma once

#include <cstdint>
#include <string>

#include "port/com_port.h"
#include "port/socket.h"

enum TPortRole : BYTE { prClient = 0, prServer = 1 };

using TWsAcceptEvent = TEvent<void(TObject* Sender, std::uint32_t Address, bool& Accept)>;
using TWsSocketErrorEvent = TEvent<void(TObject* Sender, int ErrorCode)>;

class TApdCustomWinsockPort : public TApdCustomComPort {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // DeviceKind 3, client role, WsPort "telnet", Telnet processing on.
  explicit TApdCustomWinsockPort(TComponent* owner);
  ~TApdCustomWinsockPort() override;

  // Dotted address or host name (client role). Stored trimmed; changing it while open raises
  // EApdSocketException 9006.
  const std::string& ServerAddress() const { return FServerAddress; }
  void SetServerAddress(const std::string& address);
  // Port number or service name; same rules.
  const std::string& WsPort() const { return FWsPort; }
  void SetWsPort(const std::string& port);
  TPortRole PortRole() const { return FPortRole; }
  void SetPortRole(TPortRole role) { FPortRole = role; }
  bool TelnetProcessing() const { return FTelnetProcessing; }
  void SetTelnetProcessing(bool on) { FTelnetProcessing = on; }

  TWsAcceptEvent OnAcceptPeer;
  TNotifyEvent OnConnected;
  TNotifyEvent OnDisconnected;
  TWsSocketErrorEvent OnSocketError;

 protected:
  TApdBaseDispatcher* CreateDispatcher() override;
  void CheckPortNumber() override;
  int OpenDevice() override;
  void DoPortOpened() override;
  void DoPortClosing() override;

  // ---- Added raisers, in slot order ----
  // Accept starts true; OnAcceptPeer may refuse.
  virtual bool DoAcceptPeer(std::uint32_t address);
  virtual void DoConnected();
  virtual void DoDisconnected();
  // 10052, 10053 and 10054 first close a client-role port (posted) or report a server-role
  // peer as disconnected; then OnSocketError.
  virtual void DoSocketError(int errorCode);

 private:
  static LRESULT CALLBACK_SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  std::string FServerAddress;
  TPortRole FPortRole = prClient;
  std::string FWsPort = "telnet";
  bool FTelnetProcessing = true;
  WNDPROC FPreviousProc = nullptr;
};

class TApdWinsockPort : public TApdCustomWinsockPort {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdWinsockPort(TComponent* owner) : TApdCustomWinsockPort(owner) {}
};
