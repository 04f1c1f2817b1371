// The device-independent dispatcher: input ring, output path, device slots, triggers, the
// dispatch cycle that delivers trigger messages to handlers, and the trace and dispatch log.
//
// A descendant fills the eighteen device slots for its kind of device. Because C++ cannot call
// a descendant's slots from the base destructor, a descendant's destructor must call
// CloseForDestroy() first; the base destructor then only unregisters and frees.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dispatch/tick_clock.h"
#include "dispatch/triggers.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "platform/wintypes.h"

// The com port component of the port layer that owns a dispatcher. Held by pointer only and
// never dereferenced here.
class TApdCustomComPort;
class TApdBaseDispatcher;

inline constexpr DWORD InputRingSize = 8192;
inline constexpr DWORD MaxTraceEntries = 4000000;

// State of the trace and dispatch-log switches of a com port.
enum TTraceLogState : BYTE {
  tlOff = 0,
  tlOn = 1,
  tlDump = 2,
  tlAppend = 3,
  tlClear = 4,
  tlPause = 5
};

// Trace entry kinds.
inline constexpr BYTE TraceReceive = 0x52;   // 'R': a byte taken by ReadInput
inline constexpr BYTE TraceTransmit = 0x54;  // 'T': a byte taken by the device

// Dispatch-log entry types (message table 15001 + type) and the subtypes this layer records
// (message table 15100 + subtype).
enum : BYTE {
  lt_None = 0,
  lt_Dispatch = 1,
  lt_Trigger = 2,
  lt_Error = 3,
  lt_Thread = 4,
  lt_TriggerAlloc = 5,
  lt_TriggerDispose = 6,
  lt_TriggerHandlerAlloc = 7,
  lt_TriggerHandlerDispose = 8,
  lt_TriggerDataChange = 9,
  lt_Telnet = 10,
  lt_Packet = 18,
  lt_User = 19,
};
enum : BYTE {
  lst_None = 0,
  lst_ReadCom = 1,
  lst_WriteCom = 2,
  lst_LineStatus = 3,
  lst_ModemStatus = 4,
  lst_AvailTrigger = 5,
  lst_TimerTrigger = 6,
  lst_DataTrigger = 7,
  lst_StatusTrigger = 8,
  lst_DataAlloc = 13,
  lst_TimerAlloc = 14,
  lst_StatusAlloc = 15,
  lst_AvailAlloc = 16,
  lst_WindowHandler = 17,
  lst_ProcHandler = 18,
  lst_EventHandler = 19,
  lst_TelnetSentWill = 20,  // 20..27: sent and received WILL, WONT, DO, DONT
  lst_TelnetCommand = 28,
  lst_TelnetSentTerm = 29,
};

struct TDeviceCounts {
  DWORD Flags = 0;
  DWORD InCount = 0;   // bytes waiting in the device
  DWORD OutCount = 0;  // bytes queued in the device for sending
};

// Line settings of a serial device (the parts this system keeps).
inline constexpr BYTE LineControlDisable = 0;
inline constexpr BYTE LineControlEnable = 1;
inline constexpr BYTE LineControlHandshake = 2;
inline constexpr BYTE LineControlToggle = 3;  // RTS only
struct TLineSettings {
  DWORD BaudRate = 0;
  BYTE Parity = 0;
  BYTE DataBits = 8;
  BYTE StopBits = 0;  // code: 0 one, 1 one and a half, 2 two
  char XonChar = 17;
  char XoffChar = 19;
  WORD XonLim = 0;
  WORD XoffLim = 0;
  BYTE DtrControl = LineControlEnable;
  BYTE RtsControl = LineControlEnable;
  bool OutxDsrFlow = false;
  bool OutxCtsFlow = false;
  bool OutX = false;  // obey XOFF/XON received
  bool InX = false;   // send XOFF/XON for our input
};

// Options of SetHardwareFlow.
inline constexpr DWORD hfUseDTR = 1;
inline constexpr DWORD hfUseRTS = 2;
inline constexpr DWORD hfRequireDSR = 4;
inline constexpr DWORD hfRequireCTS = 8;
// Directions of EnableSoftwareFlow.
inline constexpr DWORD sfTransmitFlow = 1;  // obey XOFF/XON received
inline constexpr DWORD sfReceiveFlow = 2;   // send XOFF/XON for our input

struct TTraceEntry {
  BYTE Kind = 0;
  BYTE Data = 0;
};

// Header of a dispatch-log entry as it is kept in the log queue.
struct TLogEntryHeader {
  BYTE Type = 0;
  BYTE SubType = 0;
  BYTE Unused[2] = {};
  DWORD Time = 0;  // ms since the dispatcher opened
  DWORD Value = 0;
  DWORD DataLength = 0;
};
static_assert(sizeof(TLogEntryHeader) == 16);

// The time column of the dispatch log: at least seven digits with a point before the fifth
// (1234 ms gives "0001.234", 12345678 ms "1234.5678").
std::string LogTimeText(DWORD ms);

// Holds a critical section for a scope. A dispatch step takes its locks several times for
// every block of input, so the section's mutex is taken here directly rather than through
// the library call; a section that was never initialised still goes to the library, which
// reports the mistake.
#ifdef _WIN32
// The system's critical sections are cheap to enter already.
class TLockHolder {
 public:
  explicit TLockHolder(CRITICAL_SECTION& section) : FSection(section) {
    EnterCriticalSection(&FSection);
  }
  ~TLockHolder() { LeaveCriticalSection(&FSection); }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;

 private:
  CRITICAL_SECTION& FSection;
};
#else
class TLockHolder {
 public:
  explicit TLockHolder(CRITICAL_SECTION& section) : FMutex(section.mutex) {
    if (FMutex)
      FMutex->lock();
    else
      EnterCriticalSection(&section);
  }
  ~TLockHolder() { FMutex->unlock(); }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;

 private:
  std::recursive_mutex* FMutex;
};
#endif

// ---- The process-wide registry of dispatchers ----

// Guards DispatcherRegistry and its lookup cache; the com port holds it while it runs its
// trigger events.
CRITICAL_SECTION& RegistryLock();
// Index = a dispatcher's Handle; empty slots are nullptr.
std::vector<TApdBaseDispatcher*>& DispatcherRegistry();
struct TDispatcherCache {
  int DeviceId = -1;
  TApdBaseDispatcher* Dispatcher = nullptr;
};
TDispatcherCache& DispatcherCache();

// "Is this dispatcher of the class or a descendant of it".
using TDispatcherClassTest = bool (*)(const TApdBaseDispatcher*);
template <class T>
bool IsDispatcherOf(const TApdBaseDispatcher* dispatcher) {
  return dynamic_cast<const T*>(dispatcher) != nullptr;
}
// The cached dispatcher when deviceId is the cached id (class not tested again); else the
// first registered dispatcher of that device and class, which then becomes the cached one.
TApdBaseDispatcher* FindDispatcherByDevice(int deviceId, TDispatcherClassTest isClass);
template <class T>
T* FindDispatcherByDevice(int deviceId) {
  // The cache skips the class test; never hand out a dispatcher of another class as T.
  return dynamic_cast<T*>(FindDispatcherByDevice(deviceId, &IsDispatcherOf<T>));
}

class TApdBaseDispatcher {
 public:
  explicit TApdBaseDispatcher(TApdCustomComPort* owner);
  virtual ~TApdBaseDispatcher();
  TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
  TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;

  // ---- Device slots, in slot order ----
  virtual int DeviceEscape(int code) = 0;                                // 0
  virtual int DeviceFlush(int which) = 0;                                // 1: 0 output, 1 input
  virtual DWORD DeviceStatus(TDeviceCounts& counts) = 0;                 // 2: error bits
  virtual int DeviceEventMask(int mask) = 0;                             // 3
  virtual int DeviceGetLine(TLineSettings& settings) = 0;                // 4
  virtual int DeviceRead(void* buffer, DWORD count) = 0;                 // 5: never waits
  virtual int DeviceSetLine(const TLineSettings& settings) = 0;          // 6
  virtual int DeviceWrite(const void* buffer, DWORD count) = 0;          // 7: bytes taken
  virtual bool DeviceWaitEvent(DWORD& eventMask, void* overlapped) = 0;  // 8
  virtual bool DeviceSetup(DWORD inSize, DWORD outSize) = 0;             // 9
  virtual void FinishClose();                                            // 10: base frees the ring
  virtual void BeginDispatching() = 0;                                   // 11
  virtual void EndDispatching() = 0;                                     // 12
  virtual int DeviceOpen(const char* deviceName, DWORD inSize, DWORD outSize) = 0;  // 13
  virtual int DeviceClose() = 0;                                                    // 14
  virtual int PollDevice() = 0;                                                     // 15
  virtual void SetPriorityBoost(BYTE boost);                                        // 16
  virtual void RefreshHandlerFlags(BYTE kind);                                      // 17

  // ---- Opening, closing, buffers ----
  // Open for a device without line parameters: 0 or a negative error.
  int OpenConnection(DWORD inSize, DWORD outSize);
  // Flushes and closes the device; while handlers run, the release is deferred (CloseDeferred).
  void CloseDevice();
  // What destruction does with the device; a descendant's destructor calls it first.
  void CloseForDestroy();
  void UpdateDeviceCounts();

  DWORD InputCount();
  // All or nothing: count, or -3007 when fewer bytes are waiting.
  int ReadInput(void* buffer, DWORD count);
  // count bytes starting offset bytes after InputTail; -3007 when they are not all there.
  // nextIndex receives the ring index after the last byte copied.
  int CopyInput(void* destination, DWORD offset, DWORD count, DWORD& nextIndex);
  int ClearInput();
  // Moves waiting device bytes into the ring; false when the device had none.
  bool FillInput();

  // 0, -3006 (no room), -3004 (device took nothing) or -3010.
  int WriteOutput(const void* buffer, DWORD count);
  DWORD OutputCount();
  DWORD OutputFree();
  int ClearOutput();

  void SetOptionBits(DWORD mask);
  void ClearOptionBits(DWORD mask);

  // ---- Line control (no effect beyond these fields on a device without serial lines) ----
  int SetDtr(bool level);
  int SetRts(bool level);
  int SetHardwareFlow(DWORD stopLevel, DWORD resumeLevel, DWORD options);
  int EnableSoftwareFlow(DWORD stopLevel, DWORD resumeLevel, DWORD directions);
  int DisableSoftwareFlow();
  int SetFlowChars(char xon, char xoff);
  int SetRs485Mode(bool on);
  int SetBaseAddress(WORD address);
  int TakeLineError();
  bool TakeLineBreak();

  // ---- Triggers ----
  DWORD NewTriggerHandle();
  DWORD NewTimerTrigger();
  int ArmTimerTrigger(DWORD handle, std::int32_t ticks, bool activate);
  // Data and status triggers are created by no component of this system; kept for users that
  // watch patterns or line state. Patterns are 1 to 22 bytes. Results: handle or -1002.
  int AddDataTrigger(const void* pattern, DWORD length, bool ignoreCase);
  int AddStatusTrigger(int kind);
  // Arms (activate) or disarms a status trigger with its value; 0 or -5003.
  int SetStatusTrigger(DWORD handle, DWORD value, bool activate);
  int DeleteTrigger(DWORD handle);
  // 0 or -5003; record and kind (TriggerKind*) of the trigger found; with remove it is freed.
  int FindTrigger(DWORD handle, bool remove, void*& record, int& kind);
  void SetAvailThreshold(std::int32_t count);
  void SnapshotTriggers(TriggerSnapshot& snapshot);
  void ReinstateTriggers(const TriggerSnapshot& snapshot);
  void ClearStatusHits();
  void ClearMatchStates();
  // One scan of timer, status and data triggers; true when something was delivered and the
  // caller should scan again.
  bool ScanTriggers();
  bool ScanTimerTriggers();
  bool ScanStatusTriggers();
  bool ScanReceivedData();

  // ---- Handlers and delivery ----
  void AddWindowHandler(HWND window);
  void RemoveWindowHandler(HWND window);
  void AddProcHandler(TApdNotifyProc proc);
  void RemoveProcHandler(TApdNotifyProc proc);
  void AddEventHandler(TApdNotifyEvent proc, void* object);
  void RemoveEventHandler(TApdNotifyEvent proc, void* object);
  // Delivers one trigger message to every handler; false when the close was deferred during
  // it or a data-available notice was not wholly consumed.
  bool DeliverTrigger(UINT msg, WPARAM wParam, DWORD lowValue);
  // One dispatch step; what a descendant's driver runs. pollOnly moves input without testing
  // triggers.
  void DispatchStep(bool pollOnly);
  // Hidden "awDispatch" window (the class is registered by the socket layer).
  void CreateDispatchWindow();

  // ---- Trace ----
  int BeginTrace(DWORD entries);
  void ResetTrace();
  void DiscardTrace();
  void ResumeTrace();
  void PauseTrace();
  void RecordTraceByte(BYTE kind, BYTE data);
  int WriteTraceFile(const std::string& fileName, bool append, bool allHex, bool hexNonPrintables);

  // ---- Dispatch log ----
  int BeginLog(DWORD bytes);
  void ResetLog();
  void DiscardLog();
  void ResumeLog();
  void PauseLog();
  // Callers test Logging first.
  void RecordLogEntry(BYTE type, BYTE subType, DWORD dataLength, const void* data, DWORD value);
  int WriteLogFile(const std::string& fileName, bool append, bool allHex, bool hexNonPrintables);
  DWORD ElapsedMs() const;

  // ---- Fields, in the declared order of the system ----
  TApdCustomComPort* Owner = nullptr;
  std::int32_t Handle = -1;
  std::int32_t DeviceId = -1;
  DWORD LineErrors = 0;
  DWORD InputSize = 0;
  DWORD OutputSize = 0;
  DWORD ModemBits = 0;
  TDeviceCounts DeviceCounts;
  TLineSettings LineSettings;
  DWORD LastBaudRate = 0;
  DWORD OptionBits = 0;
  bool DtrState = false;
  bool DtrHandshake = false;
  bool RtsState = false;
  bool RtsHandshake = false;
  HWND DispatchWindow = nullptr;
  bool Rs485Mode = false;
  WORD BaseAddress = 0;
  bool PortWindowWanted = false;
  bool HandlersNeeded = false;
  std::vector<TWindowHandler> WindowHandlers;
  std::vector<TProcHandler> ProcedureHandlers;
  std::vector<TEventHandler> EventHandlers;
  std::vector<TTimerTrigger> TimerTriggers;
  std::vector<TDataTrigger> DataTriggers;
  std::vector<TStatusTrigger> StatusTriggers;
  std::int32_t ScanPosition = 0;
  std::int32_t AvailThreshold = 0;
  bool StatusHit = false;
  bool InAvailNotify = false;
  DWORD TakenCount = 0;
  DWORD MaxTaken = 0;
  bool InputFull = false;
  std::int32_t NotifyPosition = 0;
  BYTE PriorityBoost = 0;
  CRITICAL_SECTION MainLock;
  CRITICAL_SECTION OutputLock;
  CRITICAL_SECTION InputLock;
  std::unique_ptr<BYTE[]> InputBuffer;
  DWORD InputHead = 0;
  DWORD InputTail = 0;
  bool Notifying = false;
  bool RemovalPending = false;
  bool CloseDeferred = false;
  bool OutputSent = false;
  // Trace.
  bool Tracing = false;
  std::unique_ptr<TTraceEntry[]> TraceQueue;
  DWORD TraceIndex = 0;
  DWORD TraceMax = 0;
  bool TraceWrapped = false;
  // Dispatch log.
  bool Logging = false;
  std::unique_ptr<BYTE[]> LogQueue;
  DWORD LogHead = 0;
  DWORD LogTail = 0;
  DWORD LogFree = 0;
  DWORD LogSize = 0;
  std::vector<BYTE> LogScratch;
  DWORD OpenTime = 0;
  UINT_PTR DispatchTimerId = 0;
  DWORD HandleSeed = 1;
  bool Dispatching = false;
  // The head has come round to ScanPosition since the last scan: a whole ring is unscanned.
  bool ScanWrapped = false;

 protected:
  // Log queue.
  bool PushLogBytes(const void* bytes, DWORD count);
  // Takes the oldest entry off the queue; its data goes to LogScratch when keepData.
  bool PopLogEntry(TLogEntryHeader& header, bool keepData);

 private:
  DWORD UsedCount() const;
  int SetLineSignal(bool handshake, bool& state, bool level, int setCode, int clearCode);
  int ApplyLineSettings(TLineSettings& settings);
  int ReadDevicePiece(DWORD count);
  bool FillInputFromCounts();
  void NoteBytesArrived();
  bool DeliverToHandlers(UINT msg, WPARAM wParam, LPARAM lParam);
  // Ends a delivery: for a data notification whose handlers all ran (completed), gives up
  // the bytes the hungriest handler took; then clears the delivery state. The result is the
  // delivery's (false when a data-available notification was not wholly taken).
  bool EndDelivery(bool outer, bool completed, UINT msg, WPARAM announced);
  void LogIf(BYTE type, BYTE subType, DWORD value, const void* data = nullptr, DWORD length = 0);
  void PurgeRemovedHandlers();
};
