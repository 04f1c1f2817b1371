#include "ftp/data_packet.h"

#include <algorithm>
#include <cstring>

#include "dispatch/dispatcher.h"
#include "dispatch/triggers.h"
#include "errors/codes.h"
#include "errors/exceptions.h"
#include "forms/application.h"
#include "forms/class_record.h"
#include "port/com_port.h"

namespace {

// Dispatch-log subtypes of the packet matcher.
enum : BYTE {
  lstPacketEnable = 242,
  lstPacketDisable = 243,
  lstStringPacket = 244,
  lstSizePacket = 245,
  lstPacketTimeout = 246,
  lstStartStr = 247,
  lstEndStr = 248,
  lstIdle = 249,
  lstWaiting = 250,
  lstCollecting = 251,
};

std::uint8_t UpperAscii(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 32) : c;
}

// "?" is a wildcard, a backslash makes the next character literal, a trailing backslash is
// dropped. The mask holds '1' at wildcard positions.
void PreparePattern(const std::string& text, bool ignoreCase, std::string& pattern,
                    std::string& mask) {
  pattern.clear();
  mask.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<std::uint8_t>(text[i]);
    bool wild = false;
    if (c == '\\') {
      if (++i >= text.size()) break;
      c = static_cast<std::uint8_t>(text[i]);
    } else if (c == '?') {
      wild = true;
    }
    pattern.push_back(static_cast<char>(ignoreCase ? UpperAscii(c) : c));
    mask.push_back(wild ? '1' : '0');
  }
}

const TEnumInfo& StartCondNames() {
  static const TEnumInfo info{"TPacketStartCond", {"scString", "scAnyData"}};
  return info;
}
const TEnumInfo& EndCondNames() {
  static const TEnumInfo info{"TPacketEndCond", {"ecString", "ecPacketSize"}};
  return info;
}

void ShowHandlerException(TObject* sender) {
  Application->HandleCurrentException(sender);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TApdDataPacket

const TClassRecord& TApdDataPacket::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<
      TApdDataPacket, TApdBaseComponent>("TApdDataPacket", [](TClassBuilder<TApdDataPacket>& c) {
    c.Bool("AutoEnable", &TApdDataPacket::AutoEnable, &TApdDataPacket::SetAutoEnable).Default(1);
    c.Component("ComPort", &TApdDataPacket::ComPort, &TApdDataPacket::SetComPort);
    c.Bool("Enabled", &TApdDataPacket::Enabled, &TApdDataPacket::SetEnabled).Default(0);
    c.Set("EndCond", &TApdDataPacket::EndCond, &TApdDataPacket::SetEndCond, EndCondNames());
    c.Str("EndString", &TApdDataPacket::EndString, &TApdDataPacket::SetEndString);
    c.Bool("IgnoreCase", &TApdDataPacket::IgnoreCase, &TApdDataPacket::SetIgnoreCase).Default(1);
    c.Bool("IncludeStrings", &TApdDataPacket::IncludeStrings, &TApdDataPacket::SetIncludeStrings)
        .Default(1);
    c.Int("PacketSize", &TApdDataPacket::PacketSize, &TApdDataPacket::SetPacketSize).Default(0);
    c.Enum("StartCond", &TApdDataPacket::StartCond, &TApdDataPacket::SetStartCond, StartCondNames())
        .Default(scString);
    c.Str("StartString", &TApdDataPacket::StartString, &TApdDataPacket::SetStartString);
    c.Int("TimeOut", &TApdDataPacket::TimeOut, &TApdDataPacket::SetTimeOut)
        .Default(DefaultPacketTimeOut);
    c.Event("OnPacket", &TApdDataPacket::OnPacket);
    c.Event("OnStringPacket", &TApdDataPacket::OnStringPacket);
    c.Event("OnTimeout", &TApdDataPacket::OnTimeout);
  });
  return record;
}

TApdDataPacket::TApdDataPacket(TComponent* owner) : TApdBaseComponent(owner) {
  // Packets made in a designer start enabled and watch the form's port.
  if (owner && owner->Designing()) {
    FEnabled = true;
    if (auto* port = TApdCustomComPort::FindComPort(owner)) SetComPort(port);
  }
}

TApdDataPacket::~TApdDataPacket() {
  Detach();
}

void TApdDataPacket::BeforeDestruction() {
  Detach();
  TApdBaseComponent::BeforeDestruction();
}

void TApdDataPacket::Loaded() {
  TApdBaseComponent::Loaded();
  AttachToInsertedPort();
  FLogLabel = "Packet:" + Name();
  if (FManager && FManager->FEnableWhenLoaded) FManager->PacketLoaded();
  if (FArmPending) {
    FArmPending = false;
    if (FEnabled) Arm();
  }
}

void TApdDataPacket::Notification(TComponent* component, TOperation operation) {
  TApdBaseComponent::Notification(component, operation);
  if (operation == opRemove) {
    std::erase(FInsertedCandidates, component);
    if (component == FComPort && FComPort) SetComPort(nullptr);
  } else if (component != this && !FComPort && component->Owner() == Owner()) {
    FInsertedCandidates.push_back(component);
  }
}

void TApdDataPacket::AttachToInsertedPort() {
  if (!FComPort) {
    for (TComponent* candidate : FInsertedCandidates) {
      if (auto* port = dynamic_cast<TApdCustomComPort*>(candidate)) {
        FInsertedCandidates.clear();
        SetComPort(port);
        return;
      }
    }
  }
  FInsertedCandidates.clear();
}

void TApdDataPacket::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  if (enabled) {
    AttachToInsertedPort();
    FEnabled = true;
    Arm();
  } else {
    FEnabled = false;
    Disarm();
  }
}

void TApdDataPacket::SetEndCond(TPacketEndSet cond) {
  Disarm();
  FEndCond = cond;
  if (FEnabled) Arm();
}

void TApdDataPacket::SetEndString(const std::string& text) {
  Disarm();
  FEndString = text;
  if (FEnabled) Arm();
}

void TApdDataPacket::SetComPort(TApdCustomComPort* port) {
  if (port == FComPort) return;
  Detach();
  FInsertedCandidates.clear();
  if (port) Attach(port);
  if (FEnabled && FManager) Arm();
}

void TApdDataPacket::Attach(TApdCustomComPort* port) {
  FComPort = port;
  port->FreeNotification(this);
  FManager = PacketManagerList().GetPortManager(port);
  if (!FManager) FManager = new TApdDataPacketManager(port);
  FManager->AddPacket(this);
}

void TApdDataPacket::Detach() {
  if (FManager) {
    Disarm();
    TApdDataPacketManager* manager = FManager;
    FManager = nullptr;
    manager->RemovePacket(this);
    if (manager->PacketCount() == 0) manager->Release();
  }
  if (FComPort) {
    FComPort->RemoveFreeNotification(this);
    FComPort = nullptr;
  }
}

void TApdDataPacket::Arm() {
  if (Designing()) return;
  if (Loading()) {
    FArmPending = true;
    return;
  }
  if (!FManager || !FManager->FHandlerEnabled) {
    ResetMatching();
    return;
  }
  if (FManager->FSuspended) {
    FArmPending = true;
    return;
  }
  try {
    LogLabel(lstPacketEnable);
    if (FStartCond == scString) {
      Log(lstStartStr, FStartString.data(), FStartString.size());
      // A lone trailing backslash is dropped, so such a string leaves nothing to match.
      PreparePattern(FStartString, FIgnoreCase, FStartPattern, FStartMask);
      if (FStartPattern.empty()) throw EInvalidProperty(ecStartStringEmpty);
      if (FEndCond.Contains(ecPacketSize) && static_cast<int>(FStartString.size()) > FPacketSize)
        throw EInvalidProperty(ecPacketTooSmall);
      SetMatchState(pmWaiting);
    } else {
      if (FEndCond.Empty()) throw EInvalidProperty(ecNoEndCharCount);
      if (FManager->FCapture && FManager->FCapture != this)
        FWaitingForCapture = true;
      else
        BeginCollecting();
    }
    if (FEndCond.Contains(ecString)) {
      PreparePattern(FEndString, FIgnoreCase, FEndPattern, FEndMask);
      if (FEndPattern.empty()) throw EInvalidProperty(ecEmptyEndString);
      Log(lstEndStr, FEndString.data(), FEndString.size());
    }
    if (FEndCond.Contains(ecPacketSize) && FPacketSize == 0)
      throw EInvalidProperty(ecZeroSizePacket);
  } catch (...) {
    FEnabled = false;
    Disarm();
    throw;
  }
  FArmedIgnoreCase = FIgnoreCase;
  ResetMatching();
}

void TApdDataPacket::Disarm() {
  if (FMatchState == pmIdle && !FArmPending && !FWaitingForCapture) return;
  FArmPending = false;
  FWaitingForCapture = false;
  SetMatchState(pmIdle);
  LogLabel(lstPacketDisable);
}

void TApdDataPacket::ResetMatching() {
  FSizeThreshold = FPacketSize;
  FHasStart = false;
  FStartPos = 0;
  FStartMatch = 1;
  FEndMatch = 1;
  FEndMatchBegin = 0;
}

void TApdDataPacket::SetMatchState(TPacketMatchState state) {
  if (state == FMatchState) return;
  TPacketMatchState old = FMatchState;
  FMatchState = state;
  static constexpr BYTE stateLog[] = {lstIdle, lstWaiting, lstCollecting};
  LogLabel(stateLog[state]);
  if (old == pmCollecting && FHoldsCapture && FManager) FManager->ReleaseCapture(this);
  if (state == pmCollecting && FManager) FManager->SetCapture(this);
}

void TApdDataPacket::BeginCollecting() {
  SetMatchState(pmCollecting);
}

bool TApdDataPacket::MatchByte(const std::string& pattern, const std::string& mask,
                               std::size_t index, std::uint8_t byte) const {
  if (mask[index - 1] == '1') return true;
  auto want = static_cast<std::uint8_t>(pattern[index - 1]);
  return (FArmedIgnoreCase ? UpperAscii(byte) : byte) == want;
}

void TApdDataPacket::Scan(std::size_t pos) {
  TApdDataPacketManager* manager = FManager;
  if (!manager) return;
  const std::uint64_t generation = manager->FGeneration;
  while (pos < manager->FCount && FEnabled && manager->FGeneration == generation) {
    const std::uint8_t byte = manager->FBuffer[pos];
    if (FMatchState == pmIdle) {
      if (!FWaitingForCapture) return;
      FWaitingForCapture = false;
      BeginCollecting();
      if (FMatchState != pmCollecting) return;
    }
    if (FMatchState == pmCollecting) {
      if (!FHasStart) {
        FHasStart = true;
        FStartPos = pos;
      }
      const std::size_t size = pos - FStartPos + 1;
      if (FEndCond.Contains(ecPacketSize) && static_cast<std::int64_t>(size) >= FSizeThreshold) {
        Deliver(size, false);
        return;
      }
      if (FEndCond.Contains(ecString) && !FEndPattern.empty()) {
        if (MatchByte(FEndPattern, FEndMask, FEndMatch, byte)) {
          if (FEndMatch == FEndPattern.size()) {
            Deliver(size, true);
            return;
          }
          if (FEndMatch == 1) FEndMatchBegin = pos;
          ++FEndMatch;
        } else if (FEndMatch > 1) {
          // The end may still begin inside the failed attempt (CR LF in CR CR LF).
          FEndMatch = 1;
          pos = FEndMatchBegin + 1;
          continue;
        }
      }
      if (size >= MaxPacketLength) {
        Deliver(size, false);
        return;
      }
    } else {  // Waiting for the start string
      if (MatchByte(FStartPattern, FStartMask, FStartMatch, byte)) {
        if (FStartMatch == 1) {
          FHasStart = true;
          FStartPos = pos;
        }
        if (FStartMatch == FStartPattern.size()) {
          // A size limit no larger than the start string is reached by the start string.
          const std::size_t size = pos - FStartPos + 1;
          if (FEndCond.Empty() || (FEndCond.Contains(ecPacketSize) &&
                                   static_cast<std::int64_t>(size) >= FSizeThreshold)) {
            Deliver(size, false);
            return;
          }
          FStartMatch = 1;
          SetMatchState(pmCollecting);
        } else {
          ++FStartMatch;
        }
      } else if (FStartMatch > 1) {
        FStartMatch = 1;
        FHasStart = false;
        pos = FStartPos + 1;
        continue;
      }
    }
    ++pos;
  }
}

void TApdDataPacket::Deliver(std::size_t size, bool endedByString) {
  TApdDataPacketManager* manager = FManager;
  const std::size_t start = FStartPos;
  TApdDataPacketManager::TBusy busy(manager);
  manager->Suspend();
  struct ResumeGuard {
    TApdDataPacketManager* Manager;
    ~ResumeGuard() { Manager->Resume(); }
  } guard{manager};

  FEnabled = false;
  const std::uint8_t* data = manager->FBuffer.data() + start;
  std::size_t length = size;
  if (!FIncludeStrings) {
    if (FStartCond == scString) {
      std::size_t skip = std::min(FStartPattern.size(), length);
      data += skip;
      length -= skip;
    }
    if (endedByString) length -= std::min(FEndPattern.size(), length);
  }
  LogLabel(lstStringPacket);
  Log(endedByString ? lstStringPacket : lstSizePacket, data, length);
  // The string copy is made before any handler runs, so a handler cannot change what the
  // second one sees.
  std::string text(reinterpret_cast<const char*>(data), length);
  try {
    OnPacket(this, data, static_cast<int>(length));
  } catch (...) {
    ShowHandlerException(this);
  }
  try {
    OnStringPacket(this, text);
  } catch (...) {
    ShowHandlerException(this);
  }
  // The delivered bytes go also when a handler has taken the packet off its port, so the
  // other packets never see them again.
  manager->RemoveData(start + size);
  if (FAutoEnable) {
    try {
      SetEnabled(true);  // deferred to the resume unless the packet now watches another port
    } catch (...) {
      ShowHandlerException(this);
    }
  }
}

void TApdDataPacket::Expire() {
  TApdDataPacketManager* manager = FManager;
  TApdDataPacketManager::TBusy busy(manager);
  manager->Suspend();
  struct ResumeGuard {
    TApdDataPacketManager* Manager;
    ~ResumeGuard() { Manager->Resume(); }
  } guard{manager};
  LogLabel(lstPacketTimeout);
  FEnabled = false;
  try {
    OnTimeout(this);
  } catch (...) {
    ShowHandlerException(this);
  }
}

void TApdDataPacket::Log(BYTE subType, const void* data, std::size_t length) {
  if (!FComPort) return;
  TApdBaseDispatcher* dispatcher = FComPort->CurrentDispatcher();
  if (dispatcher && dispatcher->Logging)
    dispatcher->RecordLogEntry(lt_Packet, subType, static_cast<DWORD>(length), data, 0);
}

void TApdDataPacket::LogLabel(BYTE subType) {
  Log(subType, FLogLabel.data(), FLogLabel.size());
}

// ---------------------------------------------------------------------------------------------
// TApdDataPacketManager

TApdDataPacketManager::TApdDataPacketManager(TApdCustomComPort* port) : FPort(port) {
  port->AddPortCallback(PortCallbackMethod<&TApdDataPacketManager::PortChanged>, this);
  PacketManagerList().Insert(this);
  if (port->PortOpen() && !port->Designing()) {
    if (port->Loading())
      FEnableWhenLoaded = true;
    else
      EnableHandler();
  }
}

TApdDataPacketManager::~TApdDataPacketManager() {
  Retire();
}

void TApdDataPacketManager::Retire() {
  if (FRetired) return;
  FRetired = true;
  PacketManagerList().Remove(this);
  DisableHandler();
  FPort->RemovePortCallback(PortCallbackMethod<&TApdDataPacketManager::PortChanged>);
}

void TApdDataPacketManager::Release() {
  if (FBusy == 0) {
    delete this;
    return;
  }
  Retire();
  FFreeWhenIdle = true;
}

TApdDataPacketManager::TBusy::~TBusy() {
  if (--Manager->FBusy == 0 && Manager->FFreeWhenIdle) delete Manager;
}

void TApdDataPacketManager::AddPacket(TApdDataPacket* packet) {
  FPackets.push_back(packet);
}

void TApdDataPacketManager::RemovePacket(TApdDataPacket* packet) {
  std::erase(FPackets, packet);
  if (FCapture == packet) FCapture = nullptr;
}

void TApdDataPacketManager::PacketLoaded() {
  FEnableWhenLoaded = false;
  if (FPort->PortOpen()) EnableHandler();
}

void TApdDataPacketManager::EnableHandler() {
  if (FHandlerEnabled) return;
  TApdBaseDispatcher* dispatcher = FPort->CurrentDispatcher();
  if (!dispatcher) return;
  dispatcher->AddEventHandler(ApdMethod<&TApdDataPacketManager::HandleTrigger>, this);
  FTimerHandle = dispatcher->NewTimerTrigger();
  FHandlerEnabled = true;
}

void TApdDataPacketManager::DisableHandler() {
  if (!FHandlerEnabled) return;
  FHandlerEnabled = false;
  if (TApdBaseDispatcher* dispatcher = FPort->CurrentDispatcher()) {
    dispatcher->DeleteTrigger(FTimerHandle);
    dispatcher->RemoveEventHandler(ApdMethod<&TApdDataPacketManager::HandleTrigger>, this);
  }
  FTimerHandle = 0;
  DiscardData();
}

void TApdDataPacketManager::PortChanged(TObject*, bool opening) {
  if (opening) {
    EnableHandler();
    for (std::size_t i = 0; i < FPackets.size(); ++i) {
      TApdDataPacket* packet = FPackets[i];
      if (!packet->FEnabled) continue;
      try {
        packet->Arm();
      } catch (...) {
        // A misconfigured packet must not keep the port from opening.
        ShowHandlerException(packet);
      }
    }
  } else {
    for (std::size_t i = 0; i < FPackets.size(); ++i) FPackets[i]->Disarm();
    DisableHandler();
  }
}

void TApdDataPacketManager::HandleTrigger(UINT msg, WPARAM wParam, LPARAM) {
  if (msg == DM_DATA_AVAILABLE) {
    DataAvailable(static_cast<DWORD>(wParam));
  } else if (msg == DM_TIMER_EXPIRED && wParam == FTimerHandle && FCapture) {
    FCapture->Expire();
  }
}

void TApdDataPacketManager::DataAvailable(DWORD count) {
  TApdBaseDispatcher* dispatcher = FPort->CurrentDispatcher();
  if (!dispatcher || count == 0) return;
  if (FCount + count >= FBuffer.size()) {
    std::size_t capacity = FBuffer.size();
    while (FCount + count >= capacity) capacity += PacketBufferStep;
    FBuffer.resize(capacity);
  }
  if (dispatcher->ReadInput(FBuffer.data() + FCount, count) != static_cast<int>(count)) return;
  const std::size_t oldEnd = FCount;
  FCount += count;
  Scan(oldEnd);
}

void TApdDataPacketManager::Scan(std::size_t pos) {
  if (FSuspended) {
    FRescanFrom = FRescanPending ? std::min(FRescanFrom, pos) : pos;
    FRescanPending = true;
    return;
  }
  if (FCount == 0) return;
  TBusy busy(this);
  const std::uint64_t generation = FGeneration;
  if (FCapture) {
    FCapture->Scan(pos);
  } else {
    for (std::size_t i = 0; i < FPackets.size(); ++i) {
      if (FCount == 0 || FCapture || FGeneration != generation) break;
      FPackets[i]->Scan(pos);
    }
  }
  // After a delivery the remaining bytes have been scanned by the resumed manager.
  if (FGeneration != generation || FSuspended) return;
  if (FCapture) return;
  std::size_t keepFrom = FCount;
  for (TApdDataPacket* packet : FPackets) {
    if (packet->FEnabled && packet->FMatchState == pmWaiting && packet->FHasStart)
      keepFrom = std::min(keepFrom, packet->FStartPos);
  }
  if (keepFrom == FCount) {
    DiscardData();
  } else if (FCount > MaxPacketLength && keepFrom > 0) {
    // Bytes before every partial start match can never begin a packet.
    std::memmove(FBuffer.data(), FBuffer.data() + keepFrom, FCount - keepFrom);
    FCount -= keepFrom;
    for (TApdDataPacket* packet : FPackets)
      if (packet->FHasStart) packet->FStartPos -= keepFrom;
  }
}

void TApdDataPacketManager::Suspend() {
  FSuspended = true;
  // What remains after a delivery or a timeout is scanned afresh when the manager resumes.
  FRescanPending = true;
  FRescanFrom = 0;
  for (std::size_t i = 0; i < FPackets.size(); ++i)
    if (FPackets[i]->FEnabled) FPackets[i]->Disarm();
}

void TApdDataPacketManager::Resume() {
  FSuspended = false;
  for (std::size_t i = 0; i < FPackets.size(); ++i) {
    TApdDataPacket* packet = FPackets[i];
    if (!packet->FEnabled) continue;
    packet->FArmPending = false;
    try {
      packet->Arm();
    } catch (...) {
      ShowHandlerException(packet);
    }
  }
  // Nested resumes (deliveries found by the rescan below) leave the rescan to this loop, so
  // many packets in one block do not nest one call per packet.
  if (FInRescan) return;
  FInRescan = true;
  struct Clear {
    bool& Flag;
    ~Clear() { Flag = false; }
  } clear{FInRescan};
  while (FRescanPending && !FSuspended) {
    FRescanPending = false;
    if (FCount == 0) break;
    Scan(FRescanFrom);
  }
}

void TApdDataPacketManager::SetCapture(TApdDataPacket* packet) {
  FCapture = packet;
  packet->FHoldsCapture = true;
  if (packet->FTimeOut != 0) ArmTimer(packet->FTimeOut, true);
  // Partial matches of the others start afresh.
  for (std::size_t i = 0; i < FPackets.size(); ++i) {
    TApdDataPacket* other = FPackets[i];
    if (other == packet || !other->FEnabled) continue;
    other->Disarm();
    try {
      other->Arm();
    } catch (...) {
      ShowHandlerException(other);
    }
  }
}

void TApdDataPacketManager::ReleaseCapture(TApdDataPacket* packet) {
  packet->FHoldsCapture = false;
  if (FCapture != packet) return;
  FCapture = nullptr;
  ArmTimer(0, false);
  Scan(0);
}

void TApdDataPacketManager::ArmTimer(int ticks, bool activate) {
  if (!FHandlerEnabled || FTimerHandle == 0) return;
  if (TApdBaseDispatcher* dispatcher = FPort->CurrentDispatcher())
    dispatcher->ArmTimerTrigger(FTimerHandle, ticks, activate);
}

void TApdDataPacketManager::RemoveData(std::size_t count) {
  count = std::min(count, FCount);
  ++FGeneration;
  if (count == FCount) {
    DiscardData();
    return;
  }
  std::memmove(FBuffer.data(), FBuffer.data() + count, FCount - count);
  FCount -= count;
}

void TApdDataPacketManager::DiscardData() {
  ++FGeneration;
  FCount = 0;
  std::vector<std::uint8_t>().swap(FBuffer);
}

// ---------------------------------------------------------------------------------------------
// TApdDataPacketManagerList

TApdDataPacketManagerList::~TApdDataPacketManagerList() = default;

void TApdDataPacketManagerList::Insert(TApdDataPacketManager* manager) {
  FManagers.push_back(manager);
}

void TApdDataPacketManagerList::Remove(TApdDataPacketManager* manager) {
  std::erase(FManagers, manager);
}

TApdDataPacketManager* TApdDataPacketManagerList::GetPortManager(TApdCustomComPort* port) const {
  for (TApdDataPacketManager* manager : FManagers)
    if (manager->Port() == port) return manager;
  return nullptr;
}

TApdDataPacketManagerList& PacketManagerList() {
  static TApdDataPacketManagerList list;
  return list;
}
