// The dispatcher registry, opening and closing, the input ring, the output path and the line
// controls.

#include "dispatch/dispatcher.h"

#include <algorithm>
#include <cstring>

#include "dispatch/byte_copy.h"
#include "errors/codes.h"

namespace {

constexpr DWORD RingMask = InputRingSize - 1;
static_assert((InputRingSize & RingMask) == 0, "the ring size must be a power of two");

bool IsWindowsNT() {
  static const bool nt = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }();
  return nt;
}

}  // namespace

// ---- Registry ----

CRITICAL_SECTION& RegistryLock() {
  struct TRegistryLock {
    TRegistryLock() { InitializeCriticalSection(&Section); }
    ~TRegistryLock() { DeleteCriticalSection(&Section); }
    CRITICAL_SECTION Section;
  };
  static TRegistryLock lock;
  return lock.Section;
}

std::vector<TApdBaseDispatcher*>& DispatcherRegistry() {
  static std::vector<TApdBaseDispatcher*> registry;
  return registry;
}

TDispatcherCache& DispatcherCache() {
  static TDispatcherCache cache;
  return cache;
}

TApdBaseDispatcher* FindDispatcherByDevice(int deviceId, TDispatcherClassTest isClass) {
  TLockHolder lock(RegistryLock());
  TDispatcherCache& cache = DispatcherCache();
  // A cached dispatcher whose device has changed since (closed, id reused) is not trusted.
  if (cache.Dispatcher && cache.DeviceId == deviceId && cache.Dispatcher->DeviceId == deviceId)
    return cache.Dispatcher;
  for (TApdBaseDispatcher* dispatcher : DispatcherRegistry()) {
    if (dispatcher && dispatcher->DeviceId == deviceId && (!isClass || isClass(dispatcher))) {
      cache.DeviceId = deviceId;
      cache.Dispatcher = dispatcher;
      return dispatcher;
    }
  }
  return nullptr;
}

namespace {

void ForgetCached(const TApdBaseDispatcher* dispatcher) {
  TDispatcherCache& cache = DispatcherCache();
  if (cache.Dispatcher == dispatcher) {
    cache.DeviceId = -1;
    cache.Dispatcher = nullptr;
  }
}

}  // namespace

// ---- Life ----

TApdBaseDispatcher::TApdBaseDispatcher(TApdCustomComPort* owner) : Owner(owner) {
  {
    TLockHolder lock(RegistryLock());
    auto& registry = DispatcherRegistry();
    auto slot = std::find(registry.begin(), registry.end(), nullptr);
    if (slot == registry.end()) slot = registry.insert(registry.end(), this);
    *slot = this;
    Handle = static_cast<std::int32_t>(slot - registry.begin());
  }
  InitializeCriticalSection(&MainLock);
  InitializeCriticalSection(&OutputLock);
  InitializeCriticalSection(&InputLock);
  HandleSeed = 1;
}

TApdBaseDispatcher::~TApdBaseDispatcher() {
  // The descendant has closed the device through CloseForDestroy; its slots are gone now, so
  // only what the base owns is released here.
  InputBuffer.reset();
  {
    TLockHolder lock(RegistryLock());
    auto& registry = DispatcherRegistry();
    if (Handle >= 0 && static_cast<std::size_t>(Handle) < registry.size() &&
        registry[Handle] == this)
      registry[Handle] = nullptr;
    while (!registry.empty() && registry.back() == nullptr) registry.pop_back();
    ForgetCached(this);
  }
  DeleteCriticalSection(&InputLock);
  DeleteCriticalSection(&OutputLock);
  DeleteCriticalSection(&MainLock);
}

void TApdBaseDispatcher::CloseForDestroy() {
  if (!CloseDeferred) CloseDevice();
  // Destruction finishes a deferred close in any case.
  if (CloseDeferred) FinishClose();
}

int TApdBaseDispatcher::OpenConnection(DWORD inSize, DWORD outSize) {
  DeviceId = DeviceOpen(nullptr, inSize, outSize);
  if (DeviceId < 0) {
    int result = DeviceId;
    CloseDevice();
    return result;
  }
  if (!DeviceSetup(0, 0)) {
    // Taken before the close, which may reset what the device remembers.
    auto error = static_cast<std::int32_t>(DeviceStatus(DeviceCounts));
    CloseDevice();
    // A device that failed without naming an error must not look like success.
    return error > 0 ? -error : ecHardware;
  }
  InputBuffer = std::make_unique<BYTE[]>(InputRingSize);  // zeroed
  InputSize = inSize;
  OutputSize = outSize;
  ModemBits = 0;
  UpdateDeviceCounts();
  OpenTime = NowMs();
  BeginDispatching();
  return 0;
}

void TApdBaseDispatcher::CloseDevice() {
  if (DeviceId >= 0) {
    ClearOutput();
    ClearInput();
    DeviceClose();
    DeviceId = -1;
    TLockHolder lock(RegistryLock());
    ForgetCached(this);
  }
  if (Notifying) {
    CloseDeferred = true;
    return;
  }
  FinishClose();
}

void TApdBaseDispatcher::FinishClose() {
  if (Dispatching) EndDispatching();
  TLockHolder lock(InputLock);
  InputBuffer.reset();
}

void TApdBaseDispatcher::SetPriorityBoost(BYTE boost) {
  // No dispatcher threads in this system: the value is kept for descendants that have some.
  if (boost != PriorityBoost) PriorityBoost = boost;
}

void TApdBaseDispatcher::UpdateDeviceCounts() {
  LineErrors |= DeviceStatus(DeviceCounts) & 0x1F;
}

// ---- Input ring ----

DWORD TApdBaseDispatcher::UsedCount() const {
  if (!InputBuffer) return 0;
  if (InputHead == InputTail) return InputFull ? InputRingSize : 0;
  if (InputTail < InputHead) return InputHead - InputTail;
  return InputHead + InputRingSize - InputTail;
}

DWORD TApdBaseDispatcher::InputCount() {
  TLockHolder lock(InputLock);
  DWORD used = UsedCount();
  if (InAvailNotify) return used > TakenCount ? used - TakenCount : 0;
  return used;
}

int TApdBaseDispatcher::CopyInput(void* destination, DWORD offset, DWORD count, DWORD& nextIndex) {
  DWORD used = UsedCount();
  if (offset > used || count > used - offset) return ecBufferIsEmpty;
  DWORD start = (InputTail + offset) & RingMask;
  nextIndex = start;
  if (count == 0) return 0;
  auto* out = static_cast<BYTE*>(destination);
  DWORD first = std::min(count, InputRingSize - start);
  CopyBytes(out, InputBuffer.get() + start, first);
  if (count > first) CopyBytes(out + first, InputBuffer.get(), count - first);
  nextIndex = (start + count) & RingMask;
  return static_cast<int>(count);
}

int TApdBaseDispatcher::ReadInput(void* buffer, DWORD count) {
  int result;
  {
    TLockHolder lock(InputLock);
    DWORD next = 0;
    if (InAvailNotify) {
      result = CopyInput(buffer, TakenCount, count, next);
      if (result > 0) TakenCount += count;
    } else {
      result = CopyInput(buffer, 0, count, next);
      if (result > 0) {
        InputTail = next;
        InputFull = false;
      }
    }
  }
  if (result > 0 && Tracing) {
    TLockHolder lock(MainLock);
    if (Tracing) {
      const auto* bytes = static_cast<const BYTE*>(buffer);
      for (int i = 0; i < result; ++i) RecordTraceByte(TraceReceive, bytes[i]);
    }
  }
  return result;
}

int TApdBaseDispatcher::ClearInput() {
  TLockHolder lock(InputLock);
  int result = DeviceFlush(1);
  if (InAvailNotify) {
    // The notification in progress gives up everything when it ends.
    MaxTaken = UsedCount();
  } else {
    InputTail = InputHead;
    TakenCount = 0;
    // Discarded bytes are not scanned for patterns.
    ScanPosition = static_cast<std::int32_t>(InputHead);
    ScanWrapped = false;
  }
  InputFull = false;
  ClearMatchStates();
  return result;
}

int TApdBaseDispatcher::ReadDevicePiece(DWORD count) {
  int n = DeviceRead(InputBuffer.get() + InputHead, count);
  if (n < 0) {
    n = 0;
    DeviceEventMask(-1);
  }
  // Never trust a device to stay within what it was asked for.
  if (static_cast<DWORD>(n) > count) n = static_cast<int>(count);
  if (Logging) LogIf(lt_Dispatch, lst_ReadCom, n, InputBuffer.get() + InputHead, n);
  return n;
}

void TApdBaseDispatcher::NoteBytesArrived() {
  // The head landing on a remembered position after new bytes means a whole ring of new input,
  // not none: make sure it is announced and scanned.
  if (static_cast<std::int32_t>(InputHead) == NotifyPosition) NotifyPosition = -1;
  if (static_cast<std::int32_t>(InputHead) == ScanPosition) ScanWrapped = true;
}

bool TApdBaseDispatcher::FillInput() {
  TLockHolder lock(InputLock);
  if (!InputBuffer) return false;
  if (InputFull) return true;
  UpdateDeviceCounts();
  return FillInputFromCounts();
}

bool TApdBaseDispatcher::FillInputFromCounts() {
  if (!InputBuffer) return false;
  if (InputFull) return true;
  if (DeviceCounts.InCount == 0) return false;
  DWORD room, piece;
  if (InputHead == InputTail) {
    room = InputRingSize;
    piece = InputRingSize - InputHead;
  } else if (InputTail > InputHead) {
    room = piece = InputTail - InputHead;
  } else {
    room = InputTail + InputRingSize - InputHead;
    piece = InputRingSize - InputHead;
  }
  DWORD wanted = std::min(room, DeviceCounts.InCount);
  DWORD second = wanted > piece ? wanted - piece : 0;
  int n = 0;
  if (piece != 0) {
    n = ReadDevicePiece(piece);
    InputHead += n;
    if (static_cast<DWORD>(n) < piece) second = 0;
  }
  if (InputHead >= InputRingSize) InputHead = 0;
  if (n != 0) {
    InputFull = InputHead == InputTail;
    NoteBytesArrived();
  }
  if (second != 0) {
    int m = ReadDevicePiece(second);
    InputHead += m;
    InputFull = InputHead == InputTail;
    if (m != 0) NoteBytesArrived();
  }
  return true;
}

// ---- Output ----

int TApdBaseDispatcher::WriteOutput(const void* buffer, DWORD count) {
  if (count == 0) return 0;
  TLockHolder lock(OutputLock);
  LineErrors = DeviceStatus(DeviceCounts);
  DWORD room = OutputSize > DeviceCounts.OutCount ? OutputSize - DeviceCounts.OutCount : 0;
  if (count > room) return ecOutputBufferTooSmall;
  if (Rs485Mode && !IsWindowsNT()) {
    if (BaseAddress == 0) return ecBaseAddressNotSet;
    SetRts(true);
  }
  int result = 0;
  int taken = DeviceWrite(buffer, count);
  DWORD n;
  if (taken <= 0) {
    n = static_cast<DWORD>(-static_cast<std::int64_t>(taken));
    result = ecPutBlockFail;
    LineErrors = DeviceStatus(DeviceCounts);
  } else {
    n = static_cast<DWORD>(taken);
  }
  OutputSent = true;
  if (Logging || Tracing) {
    // A failure's magnitude is no byte count; never record past the caller's block.
    DWORD shown = std::min(n, count);
    TLockHolder mainLock(MainLock);
    if (Logging) RecordLogEntry(lt_Dispatch, lst_WriteCom, shown, buffer, n);
    if (Tracing) {
      const auto* bytes = static_cast<const BYTE*>(buffer);
      for (DWORD i = 0; i < shown; ++i) RecordTraceByte(TraceTransmit, bytes[i]);
    }
  }
  return result;
}

DWORD TApdBaseDispatcher::OutputCount() {
  TLockHolder lock(OutputLock);
  UpdateDeviceCounts();
  return DeviceCounts.OutCount;
}

DWORD TApdBaseDispatcher::OutputFree() {
  TLockHolder lock(OutputLock);
  UpdateDeviceCounts();
  return OutputSize > DeviceCounts.OutCount ? OutputSize - DeviceCounts.OutCount : 0;
}

int TApdBaseDispatcher::ClearOutput() {
  return DeviceFlush(0);
}

void TApdBaseDispatcher::SetOptionBits(DWORD mask) {
  TLockHolder lock(MainLock);
  OptionBits |= mask;
}

void TApdBaseDispatcher::ClearOptionBits(DWORD mask) {
  TLockHolder lock(MainLock);
  OptionBits &= ~mask;
}

// ---- Line control ----

int TApdBaseDispatcher::SetLineSignal(bool handshake, bool& state, bool level, int setCode,
                                      int clearCode) {
  if (handshake) return 1;
  int result = DeviceEscape(level ? setCode : clearCode);
  state = level;
  return result < 0 ? ecBadArgument : result;
}

int TApdBaseDispatcher::SetDtr(bool level) {
  return SetLineSignal(DtrHandshake, DtrState, level, 5, 6);
}

int TApdBaseDispatcher::SetRts(bool level) {
  return SetLineSignal(RtsHandshake, RtsState, level, 3, 4);
}

int TApdBaseDispatcher::ApplyLineSettings(TLineSettings& settings) {
  if (!DtrHandshake) settings.DtrControl = DtrState ? LineControlEnable : LineControlDisable;
  if (!RtsHandshake && settings.RtsControl != LineControlToggle)
    settings.RtsControl = RtsState ? LineControlEnable : LineControlDisable;
  int result = DeviceSetLine(settings);
  LineSettings = settings;
  LastBaudRate = settings.BaudRate;
  SetDtr(DtrState);
  if (!Rs485Mode) SetRts(RtsState);
  return result;
}

int TApdBaseDispatcher::SetHardwareFlow(DWORD stopLevel, DWORD resumeLevel, DWORD options) {
  if (stopLevel < resumeLevel || stopLevel > InputSize) return ecBadArgument;
  TLockHolder lock(MainLock);
  TLineSettings settings = LineSettings;
  DeviceGetLine(settings);
  DtrHandshake = (options & hfUseDTR) != 0;
  settings.DtrControl =
      DtrHandshake ? LineControlHandshake : (DtrState ? LineControlEnable : LineControlDisable);
  RtsHandshake = (options & hfUseRTS) != 0;
  settings.RtsControl =
      RtsHandshake ? LineControlHandshake : (RtsState ? LineControlEnable : LineControlDisable);
  settings.OutxDsrFlow = (options & hfRequireDSR) != 0;
  settings.OutxCtsFlow = (options & hfRequireCTS) != 0;
  if (Rs485Mode && IsWindowsNT()) settings.RtsControl = LineControlToggle;
  settings.XoffLim = static_cast<WORD>(InputSize - stopLevel);
  settings.XonLim = static_cast<WORD>(resumeLevel);
  return ApplyLineSettings(settings);
}

int TApdBaseDispatcher::EnableSoftwareFlow(DWORD stopLevel, DWORD resumeLevel, DWORD directions) {
  if (stopLevel < resumeLevel || stopLevel > InputSize) return ecBadArgument;
  TLockHolder lock(MainLock);
  TLineSettings settings = LineSettings;
  DeviceGetLine(settings);
  settings.InX = (directions & sfReceiveFlow) != 0;
  if (settings.InX) {
    settings.XoffLim = static_cast<WORD>(InputSize - stopLevel);
    settings.XonLim = static_cast<WORD>(resumeLevel);
  }
  settings.OutX = (directions & sfTransmitFlow) != 0;
  settings.XonChar = 17;
  settings.XoffChar = 19;
  return ApplyLineSettings(settings);
}

int TApdBaseDispatcher::DisableSoftwareFlow() {
  TLockHolder lock(MainLock);
  TLineSettings settings = LineSettings;
  DeviceGetLine(settings);
  settings.InX = false;
  settings.OutX = false;
  return ApplyLineSettings(settings);
}

int TApdBaseDispatcher::SetFlowChars(char xon, char xoff) {
  TLockHolder lock(MainLock);
  TLineSettings settings = LineSettings;
  DeviceGetLine(settings);
  settings.XonChar = xon;
  settings.XoffChar = xoff;
  return ApplyLineSettings(settings);
}

int TApdBaseDispatcher::SetRs485Mode(bool on) {
  // No output thread here whose priority would follow the mode.
  TLockHolder lock(MainLock);
  Rs485Mode = on;
  return 0;
}

int TApdBaseDispatcher::SetBaseAddress(WORD address) {
  TLockHolder lock(MainLock);
  BaseAddress = address;
  return 0;
}

int TApdBaseDispatcher::TakeLineError() {
  TLockHolder lock(MainLock);
  int code = 0;
  if (LineErrors & 1)
    code = 1;
  else if (LineErrors & 2)
    code = 2;
  else if (LineErrors & 4)
    code = 3;
  else if (LineErrors & 8)
    code = 4;
  else if (LineErrors & 16)
    code = 9;
  if (code != 0) LineErrors &= ~DWORD{0x0F};
  return code;
}

bool TApdBaseDispatcher::TakeLineBreak() {
  TLockHolder lock(MainLock);
  bool seen = (LineErrors & 16) != 0;
  LineErrors &= ~DWORD{16};
  return seen;
}
