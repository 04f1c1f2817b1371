// The process-wide device socket that serves every Winsock dispatcher, and TWsConnection, one
// TCP connection with its two rings and the Telnet conventions on its byte stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "forms/component.h"
#include "platform/system.h"
#include "port/socket.h"

class TApdWinsockDispatcher;
class TApdDeviceSocket;

// Codes with which the device socket notifies a port (message 0B11h, wParam); any other value
// is a Winsock error code.
inline constexpr int NoticeAccept = 8;  // lParam: the peer's 32-bit address
inline constexpr int NoticeConnected = 16;
inline constexpr int NoticeClosed = 32;        // closed by the peer
inline constexpr int NoticeDisconnected = 48;  // server role: the client went away

// Telnet bytes.
inline constexpr std::uint8_t TelnetIAC = 255;
inline constexpr std::uint8_t TelnetDONT = 254;
inline constexpr std::uint8_t TelnetDO = 253;
inline constexpr std::uint8_t TelnetWONT = 252;
inline constexpr std::uint8_t TelnetWILL = 251;
inline constexpr std::uint8_t TelnetSB = 250;
inline constexpr std::uint8_t TelnetSE = 240;
inline constexpr std::uint8_t TelnetOptBinary = 0;
inline constexpr std::uint8_t TelnetOptEcho = 1;
inline constexpr std::uint8_t TelnetOptSuppressGA = 3;
inline constexpr std::uint8_t TelnetOptTermType = 24;
inline constexpr std::uint8_t TelnetOptTermSpeed = 32;
// Option states.
inline constexpr std::uint8_t TelnetOptionOff = 0;
inline constexpr std::uint8_t TelnetOptionOn = 2;

// The output ring is the port's output size plus this.
inline constexpr DWORD OutputRingExtra = 4096;

class TWsConnection : public TComponent {
 public:
  // Takes over mainSocket; the input ring has inSize bytes, the output ring outSize + 4096.
  TWsConnection(TApdDeviceSocket* owner, TSocket mainSocket, DWORD inSize, DWORD outSize);
  ~TWsConnection() override;

  // Read path: tops the input ring up from the comm socket when it runs low, then delivers
  // at most count decoded bytes. count 0 only tops up. Without Telnet, a request at least as
  // large as the ring is received straight into buffer once the ring is empty.
  int Read(void* buffer, DWORD count);
  // Write path: takes what fits (Telnet-encoded), then sends what the ring holds.
  int Write(const void* buffer, DWORD count);
  // Bytes stored in the input ring after a top-up (Telnet sequences count as stored bytes).
  DWORD InputCount();
  // OutCount of DeviceStatus: tries to send what is waiting first.
  DWORD OutputWaiting();
  void FlushInput();
  void FlushOutput();

  // A new peer of a server-role connection starts with empty input and every Telnet option
  // off; what the previous peer left behind is not the new one's.
  void ResetForPeer();

  // True while one of the operations above runs. A connection destroyed meanwhile (a handler
  // told of a failed send or receive closed the port) is only detached: it is freed when
  // the outermost operation returns.
  bool Busy() const { return FBusy > 0; }
  void Detach();

  DWORD InStored() const;
  DWORD OutStored() const;
  bool InputRingFull() const { return InFull; }
  bool OutputRingFull() const { return OutFull; }
  // The last receive found the socket empty: no new bytes until the next read notice.
  bool Drained() const { return FDrained; }
  void SetDrained(bool drained) { FDrained = drained; }

  // ---- Fields, in the declared order of the system ----
  DWORD OutputCount = 0;
  TSocket CommSocket = NoSocket;
  TApdWinsockDispatcher* Dispatcher = nullptr;
  std::uint8_t Connected = 0;
  // Input ring.
  std::unique_ptr<std::uint8_t[]> InBuffer;
  DWORD InSize = 0;
  bool InFull = false;
  DWORD InRead = 0;
  DWORD InWrite = 0;
  bool Client = true;
  bool Telnet = false;
  // Output ring.
  std::unique_ptr<std::uint8_t[]> OutBuffer;
  DWORD OutSize = 0;
  bool OutFull = false;
  DWORD OutSend = 0;
  DWORD OutWrite = 0;
  TSocket MainSocket = NoSocket;
  std::uint8_t OptBinary = TelnetOptionOff;
  std::uint8_t OptSuppressGA = TelnetOptionOff;
  std::uint8_t OptEcho = TelnetOptionOff;

 private:
  TApdDeviceSocket& Device() const;
  // Receives when fewer than `wanted` bytes are stored.
  void TopUp(DWORD wanted, bool both);
  // Receives into `at`; the bytes received (0 also when nothing was waiting).
  DWORD ReceiveDirect(std::uint8_t* at, DWORD length);
  // Receives into the ring at the write position; the bytes received.
  DWORD ReceivePiece(DWORD length);
  DWORD CopyPlain(std::uint8_t* out, DWORD count);
  DWORD Decode(std::uint8_t* out, DWORD count);
  // Skips a subnegotiation up to its IAC SE; false while that has not arrived.
  bool SkipSubnegotiation();
  std::uint8_t PeekIn(DWORD offset) const;
  void ConsumeIn(DWORD count);
  void Negotiate(std::uint8_t command, std::uint8_t option);
  // Queues bytes that must reach the peer unencoded (negotiation replies) and sends them.
  void SendRaw(const std::uint8_t* bytes, DWORD length);
  void LogTelnet(std::uint8_t subType, DWORD value, const void* data = nullptr, DWORD length = 0);
  DWORD OutFree() const;
  void PutOut(const std::uint8_t* bytes, DWORD length);
  DWORD EncodeInto(const std::uint8_t* source, DWORD count);
  void SendStored();
  // Moves negotiation replies that found the ring full into it, as far as they fit.
  void TakeWaitingReplies();

  class TBusyScope;
  // The device socket that owns the connection, kept for a detached connection too.
  TApdDeviceSocket* FDevice;
  int FBusy = 0;
  bool FDetached = false;
  bool FDrained = false;
  // The two parts of wrapped output joined for one send; made at the first wrap.
  std::unique_ptr<std::uint8_t[]> FSendJoined;
  // Negotiation replies for which the output ring had no room, in order.
  std::string FWaitingReplies;
  // Telnet input state kept between reads, so that a command split across reads or across
  // the ring end is neither lost nor misread.
  bool FAfterCR = false;   // a CR was delivered; a NUL right after it is dropped
  bool FInSubneg = false;  // inside IAC SB ... IAC SE
  int FSubnegOption = -1;  // the option byte after SB (-1: none)
};

class TApdDeviceSocket : public TApdSocket {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdDeviceSocket(TComponent* owner);
  ~TApdDeviceSocket() override;

  // Under Lock: the cached connection when socket is the cached one, else the first connection
  // whose comm or main socket is socket (which is then cached).
  TWsConnection* FindConnection(TSocket socket);
  // Sends 0B11h (code, value) to the port of the socket's dispatcher with its Notifying flag
  // set; 0 when there is no dispatcher or port.
  LRESULT NotifyPort(TSocket socket, int code, LPARAM value);
  // Creates a connection under Lock (raises when its socket cannot be made).
  TWsConnection* CreateConnection(DWORD inSize, DWORD outSize);
  // Closes the connection's sockets and destroys it, under Lock.
  void DestroyConnection(TWsConnection* connection);
  void ForgetCache();
  // The close notice of a socket, taken up again after a processing pass that deferred it.
  void TakePeerClose(TSocket socket) { DoDisconnect(socket); }

  std::string TerminalType = "vt100";
  CRITICAL_SECTION Lock{};

 protected:
  void DoAccept(TSocket socket) override;
  void DoConnect(TSocket socket) override;
  void DoDisconnect(TSocket socket) override;
  void DoError(TSocket socket, int errorCode) override;
  void DoRead(TSocket socket) override;
  void DoWrite(TSocket socket) override;

 private:
  TSocket FCachedSocket = NoSocket;
  TWsConnection* FCachedConnection = nullptr;
};

// The process-wide device socket (owner none): the program makes it at start, before its
// window; made on first use where nothing did.
TApdDeviceSocket& DeviceSocket();
// True once DeviceSocket() has made it.
bool DeviceSocketExists();
// Program end: destroys it (with every connection left); nothing when it was never made.
void FreeDeviceSocket();
