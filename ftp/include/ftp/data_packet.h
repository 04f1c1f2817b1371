// TApdDataPacket cuts packets out of the bytes a com port receives: a packet begins with a
// start string or with the next byte, and ends with an end string, a byte count, or whichever
// comes first. One TApdDataPacketManager per port takes the port's input out of its
// dispatcher, lets every packet of the port scan it and makes sure one packet collects at a
// time. TApdDataPacketManagerList holds the managers of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "forms/events.h"
#include "forms/set.h"
#include "platform/wintypes.h"
#include "port/base_component.h"

class TApdCustomComPort;
class TApdDataPacketManager;

enum TPacketStartCond : BYTE { scString = 0, scAnyData = 1 };
enum TPacketEndCond : BYTE { ecString = 0, ecPacketSize = 1 };
using TPacketEndSet = TSet<TPacketEndCond>;

// Data points into the manager's buffer and is valid only during the call.
using TPacketNotifyEvent = TEvent<void(TObject* Sender, const void* Data, int Size)>;
using TStringPacketNotifyEvent = TEvent<void(TObject* Sender, const std::string& Data)>;

inline constexpr int DefaultPacketTimeOut = 2184;  // ticks: 120.12 s
// The buffer grows in these steps.
inline constexpr std::size_t PacketBufferStep = 8192;
// A packet is never longer than this: one that would grow past it is cut here and delivered
// as if it had ended by size, so a peer that never sends the end string cannot exhaust memory.
inline constexpr std::size_t MaxPacketLength = 1024 * 1024;

enum TPacketMatchState : BYTE { pmIdle = 0, pmWaiting = 1, pmCollecting = 2 };

class TApdDataPacket : public TApdBaseComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdDataPacket(TComponent* owner);
  ~TApdDataPacket() override;
  void BeforeDestruction() override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  // True arms the packet, false disarms it. Arming raises EInvalidProperty (-5501 to -5505)
  // for an unusable configuration; the packet then stays disabled.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  bool AutoEnable() const { return FAutoEnable; }
  void SetAutoEnable(bool autoEnable) { FAutoEnable = autoEnable; }
  TPacketStartCond StartCond() const { return FStartCond; }
  void SetStartCond(TPacketStartCond cond) { FStartCond = cond; }
  // Setting the end condition or the end string disarms and re-arms an enabled packet.
  TPacketEndSet EndCond() const { return FEndCond; }
  void SetEndCond(TPacketEndSet cond);
  // Patterns: "?" matches any byte; a backslash makes the next character literal.
  const std::string& StartString() const { return FStartString; }
  void SetStartString(const std::string& text) { FStartString = text; }
  const std::string& EndString() const { return FEndString; }
  void SetEndString(const std::string& text);
  bool IgnoreCase() const { return FIgnoreCase; }
  void SetIgnoreCase(bool ignore) { FIgnoreCase = ignore; }
  TApdCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TApdCustomComPort* port);
  int PacketSize() const { return FPacketSize; }
  void SetPacketSize(int size) { FPacketSize = size; }
  bool IncludeStrings() const { return FIncludeStrings; }
  void SetIncludeStrings(bool include) { FIncludeStrings = include; }
  // Ticks from the start of collecting to completion; 0: no limit.
  int TimeOut() const { return FTimeOut; }
  void SetTimeOut(int ticks) { FTimeOut = ticks; }

  TPacketNotifyEvent OnPacket;
  TStringPacketNotifyEvent OnStringPacket;
  TNotifyEvent OnTimeout;

  // Matching state, for diagnostics.
  TPacketMatchState MatchState() const { return FMatchState; }
  TApdDataPacketManager* Manager() const { return FManager; }

 private:
  friend class TApdDataPacketManager;

  void Attach(TApdCustomComPort* port);
  void Detach();
  void Arm();
  void Disarm();
  void ResetMatching();
  void SetMatchState(TPacketMatchState state);
  void BeginCollecting();
  // Scans the manager's buffer from pos; stops at a completed packet (which is delivered).
  void Scan(std::size_t pos);
  void Deliver(std::size_t size, bool endedByString);
  void Expire();
  bool MatchByte(const std::string& pattern, const std::string& mask, std::size_t index,
                 std::uint8_t byte) const;
  void Log(BYTE subType, const void* data, std::size_t length);
  void LogLabel(BYTE subType);
  // A com port inserted into the owner while ComPort was empty (its class cannot be asked
  // while it is being constructed, so this is looked at later).
  void AttachToInsertedPort();

  bool FEnabled = false;
  bool FAutoEnable = true;
  TPacketStartCond FStartCond = scString;
  TPacketEndSet FEndCond;
  std::string FStartString;
  std::string FEndString;
  bool FIgnoreCase = true;
  TApdCustomComPort* FComPort = nullptr;
  int FPacketSize = 0;
  bool FIncludeStrings = true;
  int FTimeOut = DefaultPacketTimeOut;

  TApdDataPacketManager* FManager = nullptr;
  TPacketMatchState FMatchState = pmIdle;
  bool FHasStart = false;
  std::size_t FStartPos = 0;
  std::size_t FStartMatch = 1;  // next pattern position, from 1
  std::size_t FEndMatch = 1;
  std::size_t FEndMatchBegin = 0;  // buffer position of the current end attempt's first byte
  int FSizeThreshold = 0;
  std::string FStartPattern, FStartMask;
  std::string FEndPattern, FEndMask;
  bool FWaitingForCapture = false;
  bool FArmPending = false;
  bool FHoldsCapture = false;
  bool FArmedIgnoreCase = true;
  std::string FLogLabel;
  std::vector<TComponent*> FInsertedCandidates;
};

class TApdDataPacketManager {
 public:
  // Registers its port callback, joins the manager list and, for an open port, enables its
  // handler at once (or when loading has finished).
  explicit TApdDataPacketManager(TApdCustomComPort* port);
  ~TApdDataPacketManager();
  TApdDataPacketManager(const TApdDataPacketManager&) = delete;
  TApdDataPacketManager& operator=(const TApdDataPacketManager&) = delete;

  TApdCustomComPort* Port() const { return FPort; }
  void AddPacket(TApdDataPacket* packet);
  void RemovePacket(TApdDataPacket* packet);
  int PacketCount() const { return static_cast<int>(FPackets.size()); }

  bool HandlerEnabled() const { return FHandlerEnabled; }
  bool Suspended() const { return FSuspended; }
  TApdDataPacket* CapturingPacket() const { return FCapture; }
  // Bytes held and the buffer's capacity.
  std::size_t DataCount() const { return FCount; }
  std::size_t Capacity() const { return FBuffer.size(); }
  DWORD TimerHandle() const { return FTimerHandle; }

 private:
  friend class TApdDataPacket;

  void EnableHandler();
  void DisableHandler();
  void PortChanged(TObject* sender, bool opening);
  void HandleTrigger(UINT msg, WPARAM wParam, LPARAM lParam);
  void DataAvailable(DWORD count);
  void Scan(std::size_t pos);
  void Suspend();
  void Resume();
  void SetCapture(TApdDataPacket* packet);
  void ReleaseCapture(TApdDataPacket* packet);
  void RemoveData(std::size_t count);
  void DiscardData();
  void ArmTimer(int ticks, bool activate);
  // Applied when a packet's loading-finished notification runs.
  void PacketLoaded();
  // The last packet has left: the manager goes at once, or, while it is scanning or
  // delivering (a handler may detach its packet), leaves the list and the port at once and
  // is freed when that work is over.
  void Release();
  void Retire();

  // Keeps the manager alive while it scans or delivers.
  struct TBusy {
    explicit TBusy(TApdDataPacketManager* manager) : Manager(manager) { ++manager->FBusy; }
    ~TBusy();
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
    TApdDataPacketManager* Manager;
  };

  TApdCustomComPort* FPort = nullptr;
  std::vector<TApdDataPacket*> FPackets;
  std::vector<std::uint8_t> FBuffer;
  std::size_t FCount = 0;
  TApdDataPacket* FCapture = nullptr;
  DWORD FTimerHandle = 0;
  bool FHandlerEnabled = false;
  bool FSuspended = false;
  bool FRescanPending = false;
  std::size_t FRescanFrom = 0;
  bool FEnableWhenLoaded = false;
  bool FInRescan = false;
  int FBusy = 0;
  bool FRetired = false;
  bool FFreeWhenIdle = false;
  // Changes whenever bytes leave the buffer, so a scan knows its positions went stale.
  std::uint64_t FGeneration = 0;
};

class TApdDataPacketManagerList {
 public:
  TApdDataPacketManagerList() = default;
  ~TApdDataPacketManagerList();
  TApdDataPacketManagerList(const TApdDataPacketManagerList&) = delete;
  TApdDataPacketManagerList& operator=(const TApdDataPacketManagerList&) = delete;

  void Insert(TApdDataPacketManager* manager);
  void Remove(TApdDataPacketManager* manager);
  // The first manager of that port, or none.
  TApdDataPacketManager* GetPortManager(TApdCustomComPort* port) const;
  int Count() const { return static_cast<int>(FManagers.size()); }

 private:
  std::vector<TApdDataPacketManager*> FManagers;
};

// The process's list, made on first use.
TApdDataPacketManagerList& PacketManagerList();
