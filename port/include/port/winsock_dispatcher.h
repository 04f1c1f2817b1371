// TApdWinsockDispatcher: the dispatcher of a port whose device is one TCP connection. Its
// device slots work on a TWsConnection of the process-wide device socket; a 50 ms timer and
// socket notices sent to its "awDispatch" window drive its processing passes on the
// user-interface thread.
#pragma once

#include <cstdint>

#include "dispatch/dispatcher.h"
#include "port/socket.h"

class TWsConnection;

// The processing timer's period.
inline constexpr UINT WinsockDispatchPeriodMs = 50;

class TApdWinsockDispatcher : public TApdBaseDispatcher {
 public:
  explicit TApdWinsockDispatcher(TApdCustomComPort* owner);
  ~TApdWinsockDispatcher() override;

  // Address set-up before OpenConnection: port in network byte order, address in network
  // byte order (0 in the server role).
  void SetupAddresses(std::uint32_t address, WORD port, bool telnet, bool client);

  // ---- Device slots ----
  int DeviceEscape(int code) override;
  int DeviceFlush(int which) override;
  DWORD DeviceStatus(TDeviceCounts& counts) override;
  int DeviceEventMask(int mask) override;
  int DeviceGetLine(TLineSettings& settings) override;
  int DeviceRead(void* buffer, DWORD count) override;
  int DeviceSetLine(const TLineSettings& settings) override;
  int DeviceWrite(const void* buffer, DWORD count) override;
  bool DeviceWaitEvent(DWORD& eventMask, void* overlapped) override;
  bool DeviceSetup(DWORD inSize, DWORD outSize) override;
  void BeginDispatching() override;
  void EndDispatching() override;
  int DeviceOpen(const char* deviceName, DWORD inSize, DWORD outSize) override;
  int DeviceClose() override;
  int PollDevice() override;

  // One processing pass (a dispatch step inside the re-entry guard). While the connection
  // keeps filling the rings and the handlers keep taking bytes, further steps follow at once,
  // so that a burst of input never waits for the next notice or timer.
  void ProcessPass(bool pollOnly);

  // Runs processing passes until the connection's socket has nothing more to give or the
  // handlers stop taking bytes (before a peer's close drops the socket).
  void DrainInput();

  // A peer's close noticed while a pass was running: it is taken up when that pass is over,
  // so that the bytes before it are delivered first.
  void DeferPeerClose(TSocket socket) { FPeerClosed = socket; }

  // The connection of DeviceId (none before open and after close).
  TWsConnection* Connection() const { return FConnection; }

  // Connected state of the connection, mirrored in ModemBits bit 80h (carrier detect).
  void SetConnected(TWsConnection& connection, bool connected);

  // ---- Fields ----
  bool InPass = false;  // re-entry guard
  TSockAddrIn RemoteAddress{};
  TSockAddrIn LocalAddress{};
  bool Client = true;
  bool Telnet = false;

 private:
  // One dispatch step; true when it moved input and more may be waiting.
  bool StepMoreLikely(bool pollOnly);
  void RunPass(bool pollOnly, int maxSteps);

  TWsConnection* FConnection = nullptr;
  bool FPassAgain = false;  // a pass was asked for while one was running
  DWORD FMoved = 0;         // bytes DeviceRead delivered in the current step
  TSocket FPeerClosed = NoSocket;
};

// Registers the "awDispatch" window class (once per process).
void RegisterDispatchWindowClass();
