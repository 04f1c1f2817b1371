// The com port component: open and close sequences, settings pushed to the dispatcher, the
// "awComWindow" window that turns trigger messages into events, and the trace and log switches.

#include "port/com_port.h"

#include <algorithm>

#include "errors/code_message.h"
#include "errors/codes.h"
#include "errors/exceptions.h"
#include "forms/application.h"
#include "platform/library.h"

namespace {

constexpr const char* ComWindowClass = "awComWindow";
constexpr DWORD EventWordOption = 4;
constexpr std::size_t MaxShortString = 255;

void RegisterComWindowClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = proc;
  windowClass.cbWndExtra = 4;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = ComWindowClass;
  registered = RegisterClassA(&windowClass) != 0;
}

TApdCustomComPort* FindComPortIn(TComponent* owner) {
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    TComponent* component = owner->Components(i);
    if (auto* port = dynamic_cast<TApdCustomComPort*>(component)) return port;
    if (TApdCustomComPort* port = FindComPortIn(component)) return port;
  }
  return nullptr;
}

}  // namespace

const TClassRecord& TApdCustomComPort::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApdCustomComPort, TApdBaseComponent>(
      "TApdCustomComPort", [](TClassBuilder<TApdCustomComPort>&) {});
  return record;
}

TApdCustomComPort::TApdCustomComPort(TComponent* owner) : TApdBaseComponent(owner) {}

TApdCustomComPort::~TApdCustomComPort() {
  // Normally BeforeDestruction has released everything; a port deleted without Free still
  // must not leave its window behind.
  if (FPortWindow) DestroyWindow(FPortWindow);
  FPortWindow = nullptr;
  FDispatcher.reset();
  DiscardSnapshot(SavedTriggers);
}

void TApdCustomComPort::BeforeDestruction() {
  if (PortState == psOpen) {
    try {
      DeactivatePort();
    } catch (...) {
      Application->HandleCurrentException(this);
    }
  }
  // A close still deferred ends here: the dispatcher finishes it as it is freed.
  if (FDispatcher) FinishPortClose();
  FCallbacks.clear();
  DiscardSnapshot(SavedTriggers);
  SavedTriggersHeld = false;
  TApdBaseComponent::BeforeDestruction();
}

void TApdCustomComPort::Loaded() {
  TApdBaseComponent::Loaded();
  if (Designing()) return;
  if (OpenAfterLoad) FOpen = true;
  if (!FOpen) return;
  OpenAfterLoad = false;
  try {
    ActivatePort();
  } catch (...) {
    FOpen = false;
    Application->HandleCurrentException(this);
  }
}

TApdCustomComPort* TApdCustomComPort::FindComPort(TComponent* owner) {
  return owner ? FindComPortIn(owner) : nullptr;
}

void TApdCustomComPort::RaiseIfFailed(int code) {
  if (code >= 0) return;
  RaiseForCode(Loading(), code);
}

// ---- Opening and closing ----

void TApdCustomComPort::SetPortOpen(bool open) {
  if (Loading() || Designing()) {
    FOpen = open;
    if (open) OpenAfterLoad = true;
    return;
  }
  if (open) {
    if (PortState == psClosing) {
      OpenPending = true;
      return;
    }
    if (PortState == psOpen) return;
    ActivatePort();
  } else {
    // A close asked for after an open was queued behind a close cancels that open.
    OpenPending = false;
    DeactivatePort();
  }
}

TApdBaseDispatcher* TApdCustomComPort::GetDispatcher() {
  if (!FDispatcher && !Loading() && !Designing() && PortState != psOpen && FOpenOnDemand)
    SetPortOpen(true);
  return FDispatcher.get();
}

TApdBaseDispatcher* TApdCustomComPort::RequireDispatcher() {
  TApdBaseDispatcher* dispatcher = GetDispatcher();
  if (!dispatcher) throw ECommNotOpen(ecCommNotOpen);
  return dispatcher;
}

void TApdCustomComPort::WriteText(const std::string& text) {
  if (PortState == psClosing) return;
  TApdBaseDispatcher* dispatcher = RequireDispatcher();
  RaiseIfFailed(dispatcher->WriteOutput(text.data(), static_cast<DWORD>(text.size())));
}

void TApdCustomComPort::AddPortCallback(TPortCallback routine, void* object) {
  FCallbacks.push_back({routine, object});
}

void TApdCustomComPort::RemovePortCallback(TPortCallback routine) {
  for (std::size_t i = FCallbacks.size(); i-- > 0;)
    if (FCallbacks[i].Routine == routine) FCallbacks.erase(FCallbacks.begin() + i);
}

void TApdCustomComPort::NotifyCallbacks(bool opening) {
  // Last registered first; a callback may remove entries while this runs.
  for (std::size_t i = FCallbacks.size(); i-- > 0;) {
    if (i >= FCallbacks.size()) continue;
    TCallbackEntry entry = FCallbacks[i];
    entry.Routine(entry.Object, this, opening);
  }
}

TApdBaseDispatcher* TApdCustomComPort::CreateDispatcher() {
  // Serial lines and the other device kinds belong to libraries outside this system.
  throw ENullApi(ecNullApi);
}

int TApdCustomComPort::OpenDevice() {
  throw ENullApi(ecNullApi);
}

void TApdCustomComPort::CheckPortNumber() {
  // The serial port number and its selection dialog belong to the serial device layer, which
  // this system does not have: CreateDispatcher refuses those kinds.
}

void TApdCustomComPort::ActivatePort() {
  CheckPortNumber();
  FDispatcher.reset(CreateDispatcher());
  bool announced = false;
  try {
    int result = OpenDevice();
    if (result == -5)
      result = ecAlreadyOpen;
    else if (result == -2 || result == -3)
      result = ecBadId;
    if (result < 0) {
      RaiseForCode(Loading(), result);
      throw EAPDException(result);
    }
    PortState = psOpen;
    UpdateHandlerNeed();
    ForceApply = true;
    SetTracing(FTracing);
    SetLogging(FLogging);
    SetHWFlowOptions(FHWFlowOptions);
    SetSWFlowOptions(FSWFlowOptions);
    SetXOnChar(FXOnChar);
    SetXOffChar(FXOffChar);
    SetDataReadyLevel(FDataReadyLevel);
    SetDTR(FDTR);
    if (FDeviceKind != 1) SetRTS(FRTS);
    SetUseEventWord(FUseEventWord);
    SetRS485Mode(FRS485Mode);
    SetBaseAddress(FBaseAddress);
    ForceApply = false;

    FOpen = true;
    PreparePortWindow(true);
    if (SavedTriggersHeld) {
      SavedTriggersHeld = false;
      FDispatcher->ReinstateTriggers(SavedTriggers);
    }
    announced = true;
    DoPortOpened();
  } catch (...) {
    ForceApply = false;
    FOpen = false;
    if (announced) {
      // Clients told of the open have attached to this dispatcher: they detach before it
      // goes, or they would keep using it (and never attach to the next one).
      PortState = psClosing;
      for (std::size_t i = FCallbacks.size(); i-- > 0;) {
        if (i >= FCallbacks.size()) continue;
        TCallbackEntry entry = FCallbacks[i];
        try {
          entry.Routine(entry.Object, this, false);
        } catch (...) {
          // The failure of the open is the one that is raised.
        }
      }
    }
    PortState = psClosed;
    PreparePortWindow(false);
    FDispatcher.reset();
    throw;
  }
}

void TApdCustomComPort::DeactivatePort() {
  FOpen = false;
  if (PortState != psOpen) return;
  // The device is closed whatever a trace file, a callback or an event handler raises; the
  // first failure is raised when the close is done.
  std::exception_ptr failure;
  auto attempt = [&failure](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt([this] { SetTracing(tlDump); });
  attempt([this] { SetLogging(tlDump); });
  PortState = psClosing;
  attempt([this] { DoPortClosing(); });
  FDispatcher->SnapshotTriggers(SavedTriggers);
  SavedTriggersHeld = true;
  FDispatcher->CloseDevice();
  if (FDispatcher->Notifying) {
    // Handlers are running on this dispatcher: finish when they are done.
    PostMessageA(FPortWindow, APW_CLOSEPENDING, 0, static_cast<LPARAM>(FDispatcher->Handle) << 16);
    PumpOneMessage();
  } else {
    FinishPortClose();
  }
  if (failure) std::rethrow_exception(failure);
}

void TApdCustomComPort::FinishPortClose() {
  PreparePortWindow(false);
  FDispatcher.reset();
  PortState = psClosed;
}

void TApdCustomComPort::PreparePortWindow(bool create) {
  if (create) {
    RegisterComWindowClass(CALLBACK_ComWindowProc);
    // Message-only: never shown, and made without a desktop too (a batch run may have none).
    FPortWindow = CreateWindowExA(0, ComWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (FDispatcher) FDispatcher->AddWindowHandler(FPortWindow);
    return;
  }
  if (!FPortWindow) return;
  if (FDispatcher) FDispatcher->RemoveWindowHandler(FPortWindow);
  HWND window = FPortWindow;
  FPortWindow = nullptr;
  DestroyWindow(window);
}

void TApdCustomComPort::DoPortOpened() {
  NotifyCallbacks(true);
  OnPortOpened(this);
}

void TApdCustomComPort::DoPortClosing() {
  NotifyCallbacks(false);
  OnPortClosing(this);
}

// ---- Trigger messages ----

LRESULT TApdCustomComPort::CALLBACK_ComWindowProc(HWND window, UINT msg, WPARAM wParam,
                                                  LPARAM lParam) {
  if ((msg < DM_DATA_AVAILABLE || msg > DM_STATUS_CHANGE) && msg != APW_CLOSEPENDING)
    return DefWindowProcA(window, msg, wParam, lParam);
  TLockHolder lock(RegistryLock());
  const std::vector<TApdBaseDispatcher*>& registry = DispatcherRegistry();
  const std::size_t index = HIWORD(static_cast<std::uintptr_t>(lParam));
  if (index >= registry.size() || !registry[index] || !registry[index]->Owner) return 0;
  TApdBaseDispatcher* dispatcher = registry[index];
  TApdCustomComPort* port = dispatcher->Owner;
  try {
    return port->HandleTriggerMessage(dispatcher, msg, wParam, lParam);
  } catch (...) {
    Application->HandleCurrentException(port);
  }
  return 0;
}

LRESULT TApdCustomComPort::HandleTriggerMessage(TApdBaseDispatcher* dispatcher, UINT msg,
                                                WPARAM wParam, LPARAM lParam) {
  const WORD low = LOWORD(static_cast<std::uintptr_t>(lParam));
  const WORD handle = LOWORD(wParam);
  switch (msg) {
    case DM_DATA_AVAILABLE:
      DoAnyTrigger(static_cast<WORD>(msg), handle, handle);
      DoDataReady(handle);
      break;
    case DM_DATA_MATCH:
      DoAnyTrigger(static_cast<WORD>(msg), handle, low);
      DoDataMatch(handle);
      break;
    case DM_TIMER_EXPIRED:
      DoAnyTrigger(static_cast<WORD>(msg), handle, low);
      DoTimerExpired(handle);
      break;
    case DM_STATUS_CHANGE:
      DoAnyTrigger(static_cast<WORD>(msg), handle, low);
      DoStatusTrigger(handle);
      switch (wParam & 7) {
        case 1:
          DoModemChange();
          break;
        case 2: {
          WORD error = 0;
          bool lineBreak = false;
          if (PortState == psOpen) {
            error = static_cast<WORD>(dispatcher->TakeLineError());
            lineBreak = dispatcher->TakeLineBreak();
          }
          DoLineError(error, lineBreak);
          break;
        }
        case 3:
          DoOutputFree();
          break;
        case 4:
          DoOutputUsed();
          break;
        case 5:
          DoOutputSent();
          break;
        default:
          break;
      }
      break;
    case APW_CLOSEPENDING:
      DoAnyTrigger(static_cast<WORD>(msg), handle, low);
      if (dispatcher != FDispatcher.get()) break;  // a stale message of an earlier dispatcher
      if (dispatcher->Dispatching && !dispatcher->Notifying && dispatcher->CloseDeferred)
        // Nothing is running on the dispatcher any more: release it now rather than wait
        // for its next timer tick.
        dispatcher->FinishClose();
      if (dispatcher->Dispatching) {
        PostMessageA(FPortWindow, APW_CLOSEPENDING, wParam, lParam);
        break;
      }
      FinishPortClose();
      if (OpenPending) {
        OpenPending = false;
        ActivatePort();
      }
      break;
    default:
      break;
  }
  return 0;
}

bool TApdCustomComPort::AnyTriggerEventAssigned() const {
  return FOnAnyTrigger.Assigned() || FOnDataReady.Assigned() || FOnDataMatch.Assigned() ||
         FOnTimerExpired.Assigned() || FOnStatusTrigger.Assigned() || OnLineError.Assigned() ||
         OnModemChange.Assigned() || OnOutputFree.Assigned() || OnOutputUsed.Assigned() ||
         OnOutputSent.Assigned();
}

void TApdCustomComPort::UpdateHandlerNeed() {
  if (PortState != psOpen || !FDispatcher) return;
  FDispatcher->RefreshHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
}

void TApdCustomComPort::SetOnAnyTrigger(TTriggerEvent e) {
  FOnAnyTrigger = std::move(e);
  UpdateHandlerNeed();
}

void TApdCustomComPort::SetOnDataReady(TTriggerAvailEvent e) {
  FOnDataReady = std::move(e);
  UpdateHandlerNeed();
}

void TApdCustomComPort::SetOnDataMatch(TTriggerHandleEvent e) {
  FOnDataMatch = std::move(e);
  UpdateHandlerNeed();
}

void TApdCustomComPort::SetOnTimerExpired(TTriggerHandleEvent e) {
  FOnTimerExpired = std::move(e);
  UpdateHandlerNeed();
}

void TApdCustomComPort::SetOnStatusTrigger(TTriggerHandleEvent e) {
  FOnStatusTrigger = std::move(e);
  UpdateHandlerNeed();
}

void TApdCustomComPort::DoAnyTrigger(WORD msg, WORD triggerHandle, WORD data) {
  FOnAnyTrigger(this, msg, triggerHandle, data);
}

void TApdCustomComPort::DoDataReady(WORD count) {
  FOnDataReady(this, count);
}

void TApdCustomComPort::DoDataMatch(WORD triggerHandle) {
  FOnDataMatch(this, triggerHandle);
}

void TApdCustomComPort::DoStatusTrigger(WORD triggerHandle) {
  FOnStatusTrigger(this, triggerHandle);
}

void TApdCustomComPort::DoTimerExpired(WORD triggerHandle) {
  FOnTimerExpired(this, triggerHandle);
}

void TApdCustomComPort::DoLineError(WORD errorCode, bool breakSeen) {
  OnLineError(this, errorCode, breakSeen);
}

void TApdCustomComPort::DoModemChange() {
  OnModemChange(this);
}

void TApdCustomComPort::DoOutputFree() {
  OnOutputFree(this);
}

void TApdCustomComPort::DoOutputUsed() {
  OnOutputUsed(this);
}

void TApdCustomComPort::DoOutputSent() {
  OnOutputSent(this);
}

// ---- Settings ----

void TApdCustomComPort::ApplyFlowLevels() {
  // Unset or impossible levels follow the input buffer size.
  if (FHWFlowOptions != 0) {
    if (FBufferFull == 0 || FBufferFull > FInputBufferSize)
      FBufferFull = static_cast<WORD>(FInputBufferSize * 0.9);
    if (FBufferResume == 0 || FBufferResume > FBufferFull)
      FBufferResume = static_cast<WORD>(FInputBufferSize * 0.1);
  } else if (FSWFlowOptions != 0) {
    if (FBufferFull == 0 || FBufferFull > FInputBufferSize)
      FBufferFull = static_cast<WORD>(FInputBufferSize * 0.75);
    if (FBufferResume == 0 || FBufferResume > FBufferFull)
      FBufferResume = static_cast<WORD>(FInputBufferSize * 0.25);
  }
}

void TApdCustomComPort::PushHWFlow() {
  if (PortState != psOpen || !FDispatcher) return;
  RaiseIfFailed(FDispatcher->SetHardwareFlow(FBufferFull, FBufferResume, FHWFlowOptions));
}

void TApdCustomComPort::PushSWFlow() {
  if (PortState != psOpen || !FDispatcher) return;
  if (FSWFlowOptions == swfNone) {
    RaiseIfFailed(FDispatcher->DisableSoftwareFlow());
    return;
  }
  DWORD directions = FSWFlowOptions;
  if (directions == swfReceive)
    directions = swfTransmit;
  else if (directions == swfTransmit)
    directions = swfReceive;
  RaiseIfFailed(FDispatcher->EnableSoftwareFlow(FBufferFull, FBufferResume, directions));
}

void TApdCustomComPort::SetHWFlowOptions(BYTE options) {
  if (options == FHWFlowOptions && !ForceApply) return;
  // RS-485 drives RTS itself; the device leaves it before RTS or CTS become a handshake.
  if ((options & (hwfUseRTS | hwfRequireCTS)) && FRS485Mode) SetRS485Mode(false);
  FHWFlowOptions = options;
  ApplyFlowLevels();
  PushHWFlow();
}

void TApdCustomComPort::SetSWFlowOptions(BYTE mode) {
  if (mode > swfBoth) mode = swfBoth;
  if (mode == FSWFlowOptions && !ForceApply) return;
  FSWFlowOptions = mode;
  ApplyFlowLevels();
  PushSWFlow();
}

void TApdCustomComPort::SetXOnChar(char c) {
  if (c == FXOnChar && !ForceApply) return;
  FXOnChar = c;
  if (PortState == psOpen && FDispatcher)
    RaiseIfFailed(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

void TApdCustomComPort::SetXOffChar(char c) {
  if (c == FXOffChar && !ForceApply) return;
  FXOffChar = c;
  if (PortState == psOpen && FDispatcher)
    RaiseIfFailed(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

void TApdCustomComPort::SetBufferFull(WORD level) {
  if (level == FBufferFull && !ForceApply) return;
  FBufferFull = level;
  ApplyFlowLevels();
  if (FHWFlowOptions) PushHWFlow();
  if (FSWFlowOptions) PushSWFlow();
}

void TApdCustomComPort::SetBufferResume(WORD level) {
  if (level == FBufferResume && !ForceApply) return;
  FBufferResume = level;
  ApplyFlowLevels();
  if (FHWFlowOptions) PushHWFlow();
  if (FSWFlowOptions) PushSWFlow();
}

void TApdCustomComPort::SetDTR(bool on) {
  if (on == FDTR && !ForceApply) return;
  FDTR = on;
  if (PortState == psOpen && FDispatcher) RaiseIfFailed(FDispatcher->SetDtr(on));
}

void TApdCustomComPort::SetRTS(bool on) {
  if (on == FRTS && !ForceApply) return;
  FRTS = on;
  if (PortState == psOpen && FDispatcher) RaiseIfFailed(FDispatcher->SetRts(on));
}

void TApdCustomComPort::SetRS485Mode(bool on) {
  if (on == FRS485Mode && !ForceApply) return;
  FRS485Mode = on;
  if (on) {
    // Through the setters, so that an open device gives up the handshake and drops RTS.
    if (FHWFlowOptions & (hwfUseRTS | hwfRequireCTS))
      SetHWFlowOptions(static_cast<BYTE>(FHWFlowOptions & ~(hwfUseRTS | hwfRequireCTS)));
    SetRTS(false);
  }
  if (PortState == psOpen && FDispatcher) RaiseIfFailed(FDispatcher->SetRs485Mode(on));
}

void TApdCustomComPort::SetBaseAddress(BYTE address) {
  if (address == FBaseAddress && !ForceApply) return;
  FBaseAddress = address;
  if (PortState == psOpen && FDispatcher) RaiseIfFailed(FDispatcher->SetBaseAddress(address));
}

void TApdCustomComPort::SetUseEventWord(bool use) {
  if (use == FUseEventWord && !ForceApply) return;
  FUseEventWord = use;
  if (PortState != psOpen || !FDispatcher) return;
  if (use)
    FDispatcher->SetOptionBits(EventWordOption);
  else
    FDispatcher->ClearOptionBits(EventWordOption);
}

void TApdCustomComPort::SetDataReadyLevel(WORD level) {
  if (level == FDataReadyLevel && !ForceApply) return;
  FDataReadyLevel = level;
  if (PortState == psOpen && FDispatcher) FDispatcher->SetAvailThreshold(level);
}

// ---- Trace and dispatch log ----

void TApdCustomComPort::ApplyTracing(TTraceLogState state, bool log) {
  TTraceLogState& current = log ? FLogging : FTracing;
  if (state == current && !ForceApply) return;
  if (PortState != psOpen || !FDispatcher) {
    current = (state == tlOff || state == tlOn) ? state : tlOff;
    return;
  }
  TApdBaseDispatcher& d = *FDispatcher;
  const bool running = current == tlOn || current == tlPause;
  // Bit 7 of the value is ignored.
  const int action = state % 128;
  switch (action) {
    case tlOff:
      if (running) log ? d.DiscardLog() : d.DiscardTrace();
      current = tlOff;
      break;
    case tlOn:
      if (current == tlPause) {
        log ? d.ResumeLog() : d.ResumeTrace();
      } else {
        RaiseIfFailed(log ? d.BeginLog(FLogSize) : d.BeginTrace(FTraceSize));
      }
      current = tlOn;
      break;
    case tlDump:
    case tlAppend: {
      if (running) {
        const bool append = action == tlAppend;
        int result;
        if (log) {
          d.ResumeLog();
          result = d.WriteLogFile(FLogName, append, FLogFullHex, FLogHex);
        } else {
          d.ResumeTrace();
          result = d.WriteTraceFile(FTraceName, append, FTraceFullHex, FTraceHex);
        }
        current = tlOff;
        RaiseIfFailed(result);
      }
      current = tlOff;
      break;
    }
    case tlClear:
      if (running) log ? d.ResetLog() : d.ResetTrace();
      break;
    case tlPause:
      if (current == tlOn) {
        log ? d.PauseLog() : d.PauseTrace();
        current = tlPause;
      }
      break;
    default:
      break;
  }
}

void TApdCustomComPort::SetTracing(TTraceLogState state) {
  ApplyTracing(state, false);
}

void TApdCustomComPort::SetLogging(TTraceLogState state) {
  ApplyTracing(state, true);
}

void TApdCustomComPort::ApplyTraceSize(DWORD size, bool log) {
  DWORD& current = log ? FLogSize : FTraceSize;
  size = std::min(size, log ? MaxLogSize : MaxTraceSize);
  if (size == current) return;
  current = size;
  TTraceLogState state = log ? FLogging : FTracing;
  if (PortState != psOpen || (state != tlOn && state != tlPause)) return;
  // Stop and ask for the previous state again: a running one restarts with the new size, a
  // paused one ends off.
  ApplyTracing(tlOff, log);
  ApplyTracing(state, log);
}

void TApdCustomComPort::SetTraceSize(DWORD size) {
  ApplyTraceSize(size, false);
}

void TApdCustomComPort::SetLogSize(DWORD size) {
  ApplyTraceSize(size, true);
}

void TApdCustomComPort::SetTraceName(const std::string& name) {
  FTraceName = name.substr(0, MaxShortString);
}

void TApdCustomComPort::SetLogName(const std::string& name) {
  FLogName = name.substr(0, MaxShortString);
}
