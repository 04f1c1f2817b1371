// Trigger records, their handles, snapshots and the three scans of a dispatch step.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dispatch/dispatcher.h"
#include "errors/codes.h"

namespace {

constexpr DWORD RingMask = InputRingSize - 1;

// The system's ANSI upper-case rule for one byte: Big5 bytes have no case, so only ASCII
// letters fold.
BYTE AnsiUpper(BYTE c) {
  return (c >= 'a' && c <= 'z') ? static_cast<BYTE>(c - 'a' + 'A') : c;
}

template <class Record>
auto FindByHandle(std::vector<Record>& list, DWORD handle) {
  return std::find_if(list.begin(), list.end(),
                      [handle](const Record& r) { return r.Handle == handle; });
}

}  // namespace

void DiscardSnapshot(TriggerSnapshot& snapshot) {
  snapshot.TimerTriggers.reset();
  snapshot.DataTriggers.reset();
  snapshot.StatusTriggers.reset();
}

bool StepMatch(DWORD (&slots)[MaxPatternLength], BYTE byte, DWORD patternLength, bool ignoreCase,
               const BYTE* pattern) {
  if (patternLength == 0) return false;
  if (ignoreCase) byte = AnsiUpper(byte);
  const DWORD length = std::min<DWORD>(patternLength, MaxPatternLength);
  // Every attempt in progress is kept, each in a slot of its own. Two slots holding the same
  // progress would be one attempt counted twice and would leave no slot for a later start, so
  // an occurrence behind a long run of false starts ("ababb" after "abab") would be missed.
  std::uint32_t attempts = 0;  // bit p: an attempt has matched p bytes
  for (DWORD p : slots)
    if (p != 0 && p < length) attempts |= std::uint32_t{1} << p;
  std::uint32_t next = pattern[0] == byte ? std::uint32_t{1} << 1 : 0;
  for (DWORD p = 1; p < length; ++p)
    if ((attempts >> p & 1) != 0 && pattern[p] == byte) next |= std::uint32_t{1} << (p + 1);
  const bool complete = (next >> length & 1) != 0;
  // A completed pattern clears every attempt, the one the completing byte would begin too:
  // the next occurrence starts after it ("aa" in "aaaa" completes at bytes 2 and 4).
  if (complete) next = 0;
  std::fill(std::begin(slots), std::end(slots), 0u);
  DWORD slot = 0;
  for (DWORD p = length; p-- > 1;)
    if ((next >> p & 1) != 0) slots[slot++] = p;
  return complete;
}

// ---- Handles and records ----

DWORD TApdBaseDispatcher::NewTriggerHandle() {
  auto held = [this](DWORD h) {
    auto same = [h](const auto& r) { return (r.Handle & ~DWORD{7}) == h; };
    return std::any_of(TimerTriggers.begin(), TimerTriggers.end(), same) ||
           std::any_of(StatusTriggers.begin(), StatusTriggers.end(), same) ||
           std::any_of(DataTriggers.begin(), DataTriggers.end(), same);
  };
  // Triggers reinstated from a snapshot keep their handles while the seed starts afresh in a
  // reopened port's new dispatcher: the seed passes over the handles they hold.
  while (HandleSeed < HandleSeedLimit) {
    DWORD h = HandleSeed++ * 8;
    if (!held(h)) return h;
  }
  DWORD h = 8;
  while (held(h)) h += 8;
  return h;
}

DWORD TApdBaseDispatcher::NewTimerTrigger() {
  TLockHolder lock(MainLock);
  TTimerTrigger trigger;
  trigger.Handle = NewTriggerHandle();
  TimerTriggers.push_back(trigger);
  LogIf(lt_TriggerAlloc, lst_TimerAlloc, trigger.Handle);
  return trigger.Handle;
}

int TApdBaseDispatcher::ArmTimerTrigger(DWORD handle, std::int32_t ticks, bool activate) {
  TLockHolder lock(MainLock);
  auto it = FindByHandle(TimerTriggers, handle);
  if (it == TimerTriggers.end()) return ecBadTriggerHandle;
  if (activate) {
    if (ticks != 0) it->Interval = ticks;
    StartTickTimer(it->Timer, it->Interval);
    BYTE data[4];
    auto raw = static_cast<DWORD>(ticks);
    for (int i = 0; i < 4; ++i) data[i] = static_cast<BYTE>(raw >> (8 * i));
    LogIf(lt_TriggerDataChange, lst_TimerAlloc, handle, data, 4);
  } else {
    static const char deactivated[] = "Deactivated";
    LogIf(lt_TriggerDataChange, lst_TimerAlloc, handle, deactivated, 11);
  }
  it->Active = activate ? 1 : 0;
  return 0;
}

int TApdBaseDispatcher::AddDataTrigger(const void* pattern, DWORD length, bool ignoreCase) {
  if (!pattern || length == 0 || length > MaxPatternLength) return ecBadArgument;
  TLockHolder lock(MainLock);
  TDataTrigger trigger;
  trigger.Handle = NewTriggerHandle();
  trigger.PatternLength = length;
  trigger.IgnoreCase = ignoreCase ? 1 : 0;
  std::memcpy(trigger.Pattern, pattern, length);
  if (ignoreCase)
    for (DWORD i = 0; i < length; ++i) trigger.Pattern[i] = AnsiUpper(trigger.Pattern[i]);
  DataTriggers.push_back(trigger);
  LogIf(lt_TriggerAlloc, lst_DataAlloc, trigger.Handle);
  return static_cast<int>(trigger.Handle);
}

int TApdBaseDispatcher::AddStatusTrigger(int kind) {
  if (kind < stModem || kind > stOutSent) return ecBadArgument;
  TLockHolder lock(MainLock);
  TStatusTrigger trigger;
  trigger.Handle = NewTriggerHandle() + static_cast<DWORD>(kind);
  trigger.Kind = kind;
  StatusTriggers.push_back(trigger);
  BYTE kindByte = static_cast<BYTE>(kind);
  LogIf(lt_TriggerAlloc, lst_StatusAlloc, trigger.Handle, &kindByte, 1);
  return static_cast<int>(trigger.Handle);
}

int TApdBaseDispatcher::SetStatusTrigger(DWORD handle, DWORD value, bool activate) {
  TLockHolder lock(MainLock);
  auto it = FindByHandle(StatusTriggers, handle);
  if (it == StatusTriggers.end()) return ecBadTriggerHandle;
  if (activate) {
    if (it->Kind == stModem) {
      // value is the mask of lines to watch; their present state is what changes are seen from
      it->Value = static_cast<WORD>(((value & 0xFF) << 8) | (ModemBits & 0xFF));
    } else {
      it->Value = static_cast<WORD>(value);
    }
    // Only writes after arming count as sent.
    if (it->Kind == stOutSent) OutputSent = false;
  }
  it->Armed = activate;
  LogIf(lt_TriggerDataChange, lst_StatusAlloc, handle);
  return 0;
}

int TApdBaseDispatcher::FindTrigger(DWORD handle, bool remove, void*& record, int& kind) {
  record = nullptr;
  kind = 0;
  if (handle == 0 || handle == AvailTriggerHandle) return ecBadTriggerHandle;
  if (auto it = FindByHandle(TimerTriggers, handle); it != TimerTriggers.end()) {
    kind = TriggerKindTimer;
    if (remove) {
      TimerTriggers.erase(it);
      LogIf(lt_TriggerDispose, lst_TimerTrigger, handle);
    } else {
      record = &*it;
    }
    return 0;
  }
  if (auto it = FindByHandle(StatusTriggers, handle); it != StatusTriggers.end()) {
    kind = TriggerKindStatus;
    if (remove) {
      StatusTriggers.erase(it);
      BYTE kindByte = static_cast<BYTE>(handle & 7);
      LogIf(lt_TriggerDispose, lst_StatusAlloc, handle, &kindByte, 1);
    } else {
      record = &*it;
    }
    return 0;
  }
  if (auto it = FindByHandle(DataTriggers, handle); it != DataTriggers.end()) {
    kind = TriggerKindData;
    if (remove) {
      DataTriggers.erase(it);
      LogIf(lt_TriggerDispose, lst_DataTrigger, handle);
    } else {
      record = &*it;
    }
    return 0;
  }
  return ecBadTriggerHandle;
}

int TApdBaseDispatcher::DeleteTrigger(DWORD handle) {
  TLockHolder lock(MainLock);
  if (handle == AvailTriggerHandle) {
    AvailThreshold = 0;
    return 0;
  }
  void* record;
  int kind;
  return FindTrigger(handle, true, record, kind);
}

void TApdBaseDispatcher::SetAvailThreshold(std::int32_t count) {
  TLockHolder lock(MainLock);
  AvailThreshold = count;
  LogIf(lt_TriggerDataChange, lst_AvailAlloc, static_cast<DWORD>(count));
}

void TApdBaseDispatcher::SnapshotTriggers(TriggerSnapshot& snapshot) {
  TLockHolder lock(MainLock);
  DiscardSnapshot(snapshot);
  snapshot.Threshold = AvailThreshold;
  snapshot.TimerTriggers = TimerTriggers;
  snapshot.DataTriggers = DataTriggers;
  snapshot.StatusTriggers = StatusTriggers;
}

void TApdBaseDispatcher::ReinstateTriggers(const TriggerSnapshot& snapshot) {
  TLockHolder lock(MainLock);
  AvailThreshold = snapshot.Threshold;
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
  if (snapshot.TimerTriggers) TimerTriggers = *snapshot.TimerTriggers;
  if (snapshot.DataTriggers) DataTriggers = *snapshot.DataTriggers;
  if (snapshot.StatusTriggers) StatusTriggers = *snapshot.StatusTriggers;
}

void TApdBaseDispatcher::ClearStatusHits() {
  for (TStatusTrigger& trigger : StatusTriggers) trigger.Hit = false;
  StatusHit = false;
}

void TApdBaseDispatcher::ClearMatchStates() {
  TLockHolder lock(MainLock);
  for (TDataTrigger& trigger : DataTriggers)
    std::fill(std::begin(trigger.MatchSlots), std::end(trigger.MatchSlots), 0u);
}

// ---- Scans ----

bool TApdBaseDispatcher::ScanTriggers() {
  return ScanTimerTriggers() || ScanStatusTriggers() || ScanReceivedData();
}

bool TApdBaseDispatcher::ScanTimerTriggers() {
  for (TTimerTrigger& trigger : TimerTriggers) {
    if (trigger.Active && TickTimerExpired(trigger.Timer)) {
      trigger.Active = 0;
      DWORD handle = trigger.Handle;
      LogIf(lt_Trigger, lst_TimerTrigger, handle);
      // The record may go while handlers run; nothing of it is touched after this.
      return DeliverTrigger(DM_TIMER_EXPIRED, handle, 0);
    }
  }
  return false;
}

bool TApdBaseDispatcher::ScanStatusTriggers() {
  for (TStatusTrigger& trigger : StatusTriggers) {
    if (!trigger.Armed || trigger.Hit) continue;
    bool fired = false;
    DWORD low = 0;
    switch (trigger.Kind) {
      case stModem:
        fired = (((trigger.Value & 0xFF) ^ (ModemBits & 0xFF)) & (trigger.Value >> 8)) != 0;
        break;
      case stLine:
        if ((trigger.Value & (LineErrors & 0xFFFF)) != 0) {
          fired = true;
          trigger.Value = static_cast<WORD>(LineErrors & 0xFFFF);
        }
        break;
      case stOutBuffFree: {
        DWORD n = OutputFree();
        if (n >= trigger.Value) {
          fired = true;
          low = n;
        }
        break;
      }
      case stOutBuffUsed: {
        DWORD n = OutputCount();
        if (n <= trigger.Value) {
          fired = true;
          low = n;
        }
        break;
      }
      case stOutSent:
        if (OutputSent) {
          fired = true;
          OutputSent = false;
        }
        break;
      default:
        break;
    }
    if (fired) {
      trigger.Armed = false;
      trigger.Hit = true;
      StatusHit = true;
      DWORD handle = trigger.Handle;
      LogIf(lt_Trigger, lst_StatusTrigger, handle);
      return DeliverTrigger(DM_STATUS_CHANGE, handle, low);
    }
  }
  return false;
}

bool TApdBaseDispatcher::ScanReceivedData() {
  if (!InputBuffer) return false;
  const DWORD head = InputHead;
  const DWORD tail = InputTail;
  const DWORD used = UsedCount();
  DWORD pos = static_cast<DWORD>(ScanPosition) & RingMask;
  DWORD toScan;
  if (ScanWrapped || ((pos - tail) & RingMask) > used) {
    // A whole ring arrived since the last scan, or the reader went past the scan point.
    pos = tail;
    toScan = used;
  } else {
    toScan = (head - pos) & RingMask;
  }
  ScanWrapped = false;

  if (!DataTriggers.empty()) {
    for (; toScan != 0; --toScan) {
      BYTE byte = InputBuffer[pos];
      bool anyHit = false;
      DWORD longest = 0;
      for (TDataTrigger& trigger : DataTriggers) {
        if (trigger.PatternLength == 0) continue;
        bool hit = trigger.Matched || StepMatch(trigger.MatchSlots, byte, trigger.PatternLength,
                                                trigger.IgnoreCase, trigger.Pattern);
        trigger.Matched = hit ? 1 : 0;
        if (hit) {
          anyHit = true;
          longest = std::max(longest, trigger.PatternLength);
        }
      }
      if (!anyHit) {
        pos = (pos + 1) & RingMask;
        continue;
      }
      bool result = true;
      if (AvailThreshold != 0 && NotifyPosition != static_cast<std::int32_t>(pos)) {
        std::int64_t through = ((pos - InputTail) & RingMask) + 1;
        if (through - longest >= AvailThreshold) {
          auto before = static_cast<DWORD>(through - longest);
          LogIf(lt_Trigger, lst_AvailTrigger, before);
          // Set before delivery, so that input arriving meanwhile is judged against it.
          ScanPosition = static_cast<std::int32_t>(pos);
          NotifyPosition = static_cast<std::int32_t>(pos);
          result = DeliverTrigger(DM_DATA_AVAILABLE, before, 0);
        }
      }
      // Last registered first; by index, since handlers may delete triggers meanwhile.
      for (std::size_t i = DataTriggers.size(); i-- > 0 && !CloseDeferred;) {
        if (i >= DataTriggers.size() || !DataTriggers[i].Matched) continue;
        DWORD handle = DataTriggers[i].Handle;
        DWORD length = DataTriggers[i].PatternLength;
        LogIf(lt_Trigger, lst_DataTrigger, handle);
        DataTriggers[i].Matched = 0;
        result = DeliverTrigger(DM_DATA_MATCH, handle, length);
      }
      ScanPosition = static_cast<std::int32_t>((pos + 1) & RingMask);
      return result;
    }
  } else {
    pos = (pos + toScan) & RingMask;  // nothing to look for: no per-byte work
  }

  ScanPosition = static_cast<std::int32_t>(pos);
  // Counted only when a notification is possible: a step whose handlers took everything
  // ends with a scan that finds nothing new.
  if (AvailThreshold == 0 || NotifyPosition == static_cast<std::int32_t>(pos)) return false;
  DWORD n = InputCount();
  if (static_cast<std::int64_t>(n) >= AvailThreshold) {
    LogIf(lt_Trigger, lst_AvailTrigger, n);
    NotifyPosition = static_cast<std::int32_t>(pos);
    return DeliverTrigger(DM_DATA_AVAILABLE, n, 0);
  }
  return false;
}
