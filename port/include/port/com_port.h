// TApdCustomComPort: the component through which the comm library talks to a device. It owns
// one dispatcher while open, opens and closes it, pushes its settings to it, sends text
// through it, keeps the dispatcher's triggers across a close and a reopen, routes trigger
// messages reaching its hidden "awComWindow" window to its events, and tells registered
// clients when the port opens and closes. Only the Winsock device kind has a dispatcher here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dispatch/dispatcher.h"
#include "dispatch/triggers.h"
#include "forms/events.h"
#include "platform/messages.h"
#include "platform/wintypes.h"
#include "port/base_component.h"

enum TPortState : BYTE { psClosed = 0, psClosing = 1, psOpen = 2 };

// Device kinds; only DeviceKindWinsock has a dispatcher in this system.
inline constexpr BYTE DeviceKindSerial = 2;
inline constexpr BYTE DeviceKindWinsock = 3;

// Posted to the port window to finish a close deferred while handlers were running.
inline constexpr UINT APW_CLOSEPENDING = 0x7E0A;

inline constexpr DWORD MaxTraceSize = 4000000;
inline constexpr DWORD MaxLogSize = 16000000;

// Software flow modes (pushed with the two directions swapped).
inline constexpr BYTE swfNone = 0;
inline constexpr BYTE swfReceive = 1;
inline constexpr BYTE swfTransmit = 2;
inline constexpr BYTE swfBoth = 3;

// Hardware flow option bits.
inline constexpr BYTE hwfUseDTR = 1;
inline constexpr BYTE hwfUseRTS = 2;
inline constexpr BYTE hwfRequireDSR = 4;
inline constexpr BYTE hwfRequireCTS = 8;

class TApdCustomComPort;

using TTriggerEvent = TEvent<void(TObject* Sender, WORD Msg, WORD TriggerHandle, WORD Data)>;
using TTriggerAvailEvent = TEvent<void(TObject* Sender, WORD Count)>;
using TTriggerHandleEvent = TEvent<void(TObject* Sender, WORD TriggerHandle)>;
using TTriggerLineErrorEvent = TEvent<void(TObject* Sender, WORD ErrorCode, bool BreakSeen)>;

// An open/close callback: a method (Sender, Opening) with its object. Registered as
// AddPortCallback(PortCallbackMethod<&TFoo::PortChange>, this).
using TPortCallback = void (*)(void* object, TObject* sender, bool opening);
template <auto Method>
struct PortCallbackOf;
template <class T, void (T::*Method)(TObject*, bool)>
struct PortCallbackOf<Method> {
  static void Call(void* object, TObject* sender, bool opening) {
    (static_cast<T*>(object)->*Method)(sender, opening);
  }
};
template <auto Method>
inline constexpr TPortCallback PortCallbackMethod = &PortCallbackOf<Method>::Call;

class TApdCustomComPort : public TApdBaseComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdCustomComPort(TComponent* owner);
  ~TApdCustomComPort() override;
  void BeforeDestruction() override;
  void Loaded() override;

  // ---- Opening and closing ----
  bool PortOpen() const { return FOpen; }
  // True runs the open sequence (or sets OpenPending while closing); false the close sequence.
  void SetPortOpen(bool open);
  HWND PortWindow() const { return FPortWindow; }

  // The dispatcher, opening the port first when OpenOnDemand allows; may be none.
  TApdBaseDispatcher* GetDispatcher();
  // As GetDispatcher; raises ECommNotOpen (-2007) when there is none.
  TApdBaseDispatcher* RequireDispatcher();
  // Sends the bytes of text through the dispatcher; nothing while closing. A failed write
  // raises through RaiseForCode.
  void WriteText(const std::string& text);

  void AddPortCallback(TPortCallback routine, void* object);
  // Removes every entry with this routine, whatever its object.
  void RemovePortCallback(TPortCallback routine);

  // ---- Settings ----
  BYTE DeviceKind() const { return FDeviceKind; }
  void SetDeviceKind(BYTE kind) { FDeviceKind = kind; }
  WORD ComNumber() const { return FComNumber; }
  void SetComNumber(WORD number) { FComNumber = number; }
  bool PromptForPort() const { return FPromptForPort; }
  void SetPromptForPort(bool prompt) { FPromptForPort = prompt; }
  bool OpenOnDemand() const { return FOpenOnDemand; }
  void SetOpenOnDemand(bool onDemand) { FOpenOnDemand = onDemand; }
  DWORD Baud() const { return FBaud; }
  void SetBaud(DWORD baud) { FBaud = baud; }
  BYTE Parity() const { return FParity; }
  void SetParity(BYTE parity) { FParity = parity; }
  WORD DataBits() const { return FDataBits; }
  void SetDataBits(WORD bits) { FDataBits = bits; }
  WORD StopBits() const { return FStopBits; }
  void SetStopBits(WORD bits) { FStopBits = bits; }
  WORD InputBufferSize() const { return FInputBufferSize; }
  void SetInputBufferSize(WORD size) { FInputBufferSize = size; }
  WORD OutputBufferSize() const { return FOutputBufferSize; }
  void SetOutputBufferSize(WORD size) { FOutputBufferSize = size; }
  BYTE HWFlowOptions() const { return FHWFlowOptions; }
  void SetHWFlowOptions(BYTE options);
  BYTE SWFlowOptions() const { return FSWFlowOptions; }
  void SetSWFlowOptions(BYTE mode);
  char XOnChar() const { return FXOnChar; }
  void SetXOnChar(char c);
  char XOffChar() const { return FXOffChar; }
  void SetXOffChar(char c);
  WORD BufferFull() const { return FBufferFull; }  // flow stop level
  void SetBufferFull(WORD level);
  WORD BufferResume() const { return FBufferResume; }  // flow resume level
  void SetBufferResume(WORD level);
  bool DTR() const { return FDTR; }
  void SetDTR(bool on);
  bool RTS() const { return FRTS; }
  void SetRTS(bool on);
  bool RS485Mode() const { return FRS485Mode; }
  void SetRS485Mode(bool on);
  BYTE BaseAddress() const { return FBaseAddress; }
  void SetBaseAddress(BYTE address);
  bool UseEventWord() const { return FUseEventWord; }
  void SetUseEventWord(bool use);
  WORD DataReadyLevel() const { return FDataReadyLevel; }
  void SetDataReadyLevel(WORD level);

  // ---- Trace and dispatch log ----
  TTraceLogState Tracing() const { return FTracing; }
  void SetTracing(TTraceLogState state);
  DWORD TraceSize() const { return FTraceSize; }
  void SetTraceSize(DWORD size);
  const std::string& TraceName() const { return FTraceName; }
  void SetTraceName(const std::string& name);
  bool TraceHex() const { return FTraceHex; }
  void SetTraceHex(bool hex) { FTraceHex = hex; }
  bool TraceFullHex() const { return FTraceFullHex; }
  void SetTraceFullHex(bool hex) { FTraceFullHex = hex; }
  TTraceLogState Logging() const { return FLogging; }
  void SetLogging(TTraceLogState state);
  DWORD LogSize() const { return FLogSize; }
  void SetLogSize(DWORD size);
  const std::string& LogName() const { return FLogName; }
  void SetLogName(const std::string& name);
  bool LogHex() const { return FLogHex; }
  void SetLogHex(bool hex) { FLogHex = hex; }
  bool LogFullHex() const { return FLogFullHex; }
  void SetLogFullHex(bool hex) { FLogFullHex = hex; }

  // ---- Trigger events (setting the first five refreshes the handler need) ----
  const TTriggerEvent& OnAnyTrigger() const { return FOnAnyTrigger; }
  void SetOnAnyTrigger(TTriggerEvent e);
  const TTriggerAvailEvent& OnDataReady() const { return FOnDataReady; }
  void SetOnDataReady(TTriggerAvailEvent e);
  const TTriggerHandleEvent& OnDataMatch() const { return FOnDataMatch; }
  void SetOnDataMatch(TTriggerHandleEvent e);
  const TTriggerHandleEvent& OnTimerExpired() const { return FOnTimerExpired; }
  void SetOnTimerExpired(TTriggerHandleEvent e);
  const TTriggerHandleEvent& OnStatusTrigger() const { return FOnStatusTrigger; }
  void SetOnStatusTrigger(TTriggerHandleEvent e);
  TTriggerLineErrorEvent OnLineError;
  TNotifyEvent OnModemChange;
  TNotifyEvent OnOutputFree;
  TNotifyEvent OnOutputUsed;
  TNotifyEvent OnOutputSent;
  TNotifyEvent OnPortOpened;
  TNotifyEvent OnPortClosing;

  // ---- State fields ----
  bool ForceApply = false;
  TPortState PortState = psClosed;
  bool OpenPending = false;
  bool OpenAfterLoad = false;
  bool SavedTriggersHeld = false;
  TriggerSnapshot SavedTriggers;

  // The dispatcher without opening anything (none while closed).
  TApdBaseDispatcher* CurrentDispatcher() const { return FDispatcher.get(); }

  // The com port among owner's components, searching one level of their own components too.
  static TApdCustomComPort* FindComPort(TComponent* owner);

 protected:
  // ---- Overridable operations, in slot order ----
  virtual TApdBaseDispatcher* CreateDispatcher();
  // 0 or a negative result code.
  virtual int OpenDevice();
  virtual void PreparePortWindow(bool create);
  virtual void CheckPortNumber();
  virtual void DoAnyTrigger(WORD msg, WORD triggerHandle, WORD data);
  virtual void DoDataReady(WORD count);
  virtual void DoDataMatch(WORD triggerHandle);
  virtual void DoStatusTrigger(WORD triggerHandle);
  virtual void DoTimerExpired(WORD triggerHandle);
  virtual void UpdateHandlerNeed();
  virtual void DoLineError(WORD errorCode, bool breakSeen);
  virtual void DoModemChange();
  virtual void DoOutputFree();
  virtual void DoOutputUsed();
  virtual void DoOutputSent();
  virtual void DeactivatePort();
  virtual void ActivatePort();
  virtual void DoPortOpened();
  virtual void DoPortClosing();

  // Window procedure of "awComWindow" (the Winsock port calls it through its subclass).
  static LRESULT CALLBACK_ComWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  // Releases the window and the dispatcher; PortState becomes psClosed.
  void FinishPortClose();
  bool ComponentLoading() const { return Loading(); }

 private:
  struct TCallbackEntry {
    TPortCallback Routine;
    void* Object;
  };

  void ApplyTracing(TTraceLogState state, bool log);
  void ApplyTraceSize(DWORD size, bool log);
  void ApplyFlowLevels();
  void PushHWFlow();
  void PushSWFlow();
  void NotifyCallbacks(bool opening);
  LRESULT HandleTriggerMessage(TApdBaseDispatcher* dispatcher, UINT msg, WPARAM wParam,
                               LPARAM lParam);
  void RaiseIfFailed(int code);
  bool AnyTriggerEventAssigned() const;

  std::unique_ptr<TApdBaseDispatcher> FDispatcher;
  HWND FPortWindow = nullptr;
  bool FOpen = false;
  std::vector<TCallbackEntry> FCallbacks;

  BYTE FDeviceKind = DeviceKindSerial;
  WORD FComNumber = 0;
  bool FPromptForPort = true;
  bool FOpenOnDemand = true;
  DWORD FBaud = 19200;
  BYTE FParity = 0;
  WORD FDataBits = 8;
  WORD FStopBits = 1;
  WORD FInputBufferSize = 4096;
  WORD FOutputBufferSize = 4096;
  BYTE FHWFlowOptions = 0;
  BYTE FSWFlowOptions = 0;
  char FXOnChar = 17;
  char FXOffChar = 19;
  WORD FBufferFull = 0;
  WORD FBufferResume = 0;
  bool FDTR = true;
  bool FRTS = true;
  bool FRS485Mode = false;
  BYTE FBaseAddress = 0;
  bool FUseEventWord = true;
  WORD FDataReadyLevel = 1;
  TTraceLogState FTracing = tlOff;
  DWORD FTraceSize = 10000;
  std::string FTraceName = "APRO.TRC";
  bool FTraceHex = true;
  bool FTraceFullHex = false;
  TTraceLogState FLogging = tlOff;
  DWORD FLogSize = 10000;
  std::string FLogName = "APRO.LOG";
  bool FLogHex = true;
  bool FLogFullHex = false;

  TTriggerEvent FOnAnyTrigger;
  TTriggerAvailEvent FOnDataReady;
  TTriggerHandleEvent FOnDataMatch;
  TTriggerHandleEvent FOnTimerExpired;
  TTriggerHandleEvent FOnStatusTrigger;
};
