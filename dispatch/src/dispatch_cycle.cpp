// Handler lists, delivery of trigger messages and the dispatch step.

#include <algorithm>

#include "dispatch/dispatcher.h"
#include "platform/library.h"

namespace {

constexpr DWORD RingMask = InputRingSize - 1;
constexpr UINT WindowDeliveryTimeoutMs = 3000;

template <class Record, class Match>
void RemoveHandler(std::vector<Record>& list, Match match, bool notifying, bool& removalPending) {
  auto it = std::find_if(list.begin(), list.end(), match);
  if (notifying) {
    // The delivery in progress walks the list by index: mark now, free when it ends.
    it->Removed = true;
    removalPending = true;
  } else {
    list.erase(it);
  }
}

}  // namespace

void TApdBaseDispatcher::LogIf(BYTE type, BYTE subType, DWORD value, const void* data,
                               DWORD length) {
  if (!Logging) return;
  TLockHolder lock(MainLock);
  if (Logging) RecordLogEntry(type, subType, data ? length : 0, data, value);
}

// ---- Registration ----

void TApdBaseDispatcher::AddWindowHandler(HWND window) {
  TLockHolder lock(MainLock);
  WindowHandlers.push_back({window, false});
  HandlersNeeded = true;
  LogIf(lt_TriggerHandlerAlloc, lst_WindowHandler,
        static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(window)));
}

void TApdBaseDispatcher::RemoveWindowHandler(HWND window) {
  TLockHolder lock(MainLock);
  auto match = [window](const TWindowHandler& h) { return h.Window == window && !h.Removed; };
  if (std::none_of(WindowHandlers.begin(), WindowHandlers.end(), match)) {
    RefreshHandlerFlags(0);
    return;
  }
  LogIf(lt_TriggerHandlerDispose, lst_WindowHandler,
        static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(window)));
  RemoveHandler(WindowHandlers, match, Notifying, RemovalPending);
}

void TApdBaseDispatcher::AddProcHandler(TApdNotifyProc proc) {
  TLockHolder lock(MainLock);
  ProcedureHandlers.push_back({proc, false});
  HandlersNeeded = true;
  LogIf(lt_TriggerHandlerAlloc, lst_ProcHandler, 0);
}

void TApdBaseDispatcher::RemoveProcHandler(TApdNotifyProc proc) {
  TLockHolder lock(MainLock);
  auto match = [proc](const TProcHandler& h) { return h.Proc == proc && !h.Removed; };
  if (std::none_of(ProcedureHandlers.begin(), ProcedureHandlers.end(), match)) {
    RefreshHandlerFlags(0);
    return;
  }
  LogIf(lt_TriggerHandlerDispose, lst_ProcHandler, 0);
  RemoveHandler(ProcedureHandlers, match, Notifying, RemovalPending);
}

void TApdBaseDispatcher::AddEventHandler(TApdNotifyEvent proc, void* object) {
  TLockHolder lock(MainLock);
  EventHandlers.push_back({proc, object, false});
  HandlersNeeded = true;
  LogIf(lt_TriggerHandlerAlloc, lst_EventHandler, 0);
}

void TApdBaseDispatcher::RemoveEventHandler(TApdNotifyEvent proc, void* object) {
  TLockHolder lock(MainLock);
  auto match = [proc, object](const TEventHandler& h) {
    return h.Proc == proc && h.Object == object && !h.Removed;
  };
  if (std::none_of(EventHandlers.begin(), EventHandlers.end(), match)) {
    RefreshHandlerFlags(0);
    return;
  }
  LogIf(lt_TriggerHandlerDispose, lst_EventHandler, 0);
  RemoveHandler(EventHandlers, match, Notifying, RemovalPending);
}

void TApdBaseDispatcher::RefreshHandlerFlags(BYTE kind) {
  TLockHolder lock(MainLock);
  auto live = [](const auto& list) {
    return std::count_if(list.begin(), list.end(), [](const auto& h) { return !h.Removed; });
  };
  bool others = live(WindowHandlers) > 1 || live(ProcedureHandlers) > 0 || live(EventHandlers) > 0;
  switch (kind) {
    case 0:
      HandlersNeeded = others || PortWindowWanted;
      break;
    case 1:
      PortWindowWanted = true;
      HandlersNeeded = true;
      break;
    case 2:
      PortWindowWanted = false;
      HandlersNeeded = others;
      break;
    default:
      break;
  }
}

void TApdBaseDispatcher::PurgeRemovedHandlers() {
  auto removed = [](const auto& h) { return h.Removed; };
  std::erase_if(WindowHandlers, removed);
  std::erase_if(ProcedureHandlers, removed);
  std::erase_if(EventHandlers, removed);
}

// ---- Delivery ----

bool TApdBaseDispatcher::DeliverToHandlers(UINT msg, WPARAM wParam, LPARAM lParam) {
  // Only records present when the delivery began are called; new ones wait for the next,
  // also those that an event handler adds to the procedure or window list.
  const std::size_t events = EventHandlers.size();
  const std::size_t procs = ProcedureHandlers.size();
  const std::size_t windows = WindowHandlers.size();
  for (std::size_t i = 0; i < events; ++i) {
    TakenCount = 0;
    TEventHandler handler = EventHandlers[i];
    if (!handler.Removed && handler.Proc) handler.Proc(handler.Object, msg, wParam, lParam);
    if (CloseDeferred) return false;
    MaxTaken = std::max(MaxTaken, TakenCount);
  }
  for (std::size_t i = 0; i < procs; ++i) {
    TakenCount = 0;
    TProcHandler handler = ProcedureHandlers[i];
    if (!handler.Removed && handler.Proc) handler.Proc(msg, wParam, lParam);
    if (CloseDeferred) return false;
    MaxTaken = std::max(MaxTaken, TakenCount);
  }
  if (windows > 1 || PortWindowWanted) {
    for (std::size_t i = 0; i < windows; ++i) {
      TakenCount = 0;
      TWindowHandler handler = WindowHandlers[i];
      if (!handler.Removed) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(handler.Window, msg, wParam, lParam, SMTO_BLOCK,
                            WindowDeliveryTimeoutMs, &answer);
      }
      if (CloseDeferred) return false;
      MaxTaken = std::max(MaxTaken, TakenCount);
    }
  }
  return true;
}

bool TApdBaseDispatcher::EndDelivery(bool outer, bool completed, UINT msg, WPARAM announced) {
  bool result = completed;
  {
    // One pass under the input lock: the ring gives up what was taken, and reads count as
    // reads again. A delivery cut short leaves the ring as it was.
    TLockHolder lock(InputLock);
    if (completed && InAvailNotify) {
      if (InputBuffer) InputTail = (InputTail + MaxTaken) & RingMask;
      if (MaxTaken != 0) InputFull = false;
      if (msg == DM_DATA_AVAILABLE) result = MaxTaken == announced;
    }
    InAvailNotify = false;
    TakenCount = 0;
  }
  if (!outer) return result;
  TLockHolder lock(MainLock);
  Notifying = false;
  if (RemovalPending) {
    PurgeRemovedHandlers();
    RemovalPending = false;
    RefreshHandlerFlags(0);
  }
  return result;
}

bool TApdBaseDispatcher::DeliverTrigger(UINT msg, WPARAM wParam, DWORD lowValue) {
  if (!HandlersNeeded) return true;
  bool outer;
  {
    TLockHolder lock(MainLock);
    outer = !Notifying;
    Notifying = true;
  }
  {
    TLockHolder lock(InputLock);
    MaxTaken = 0;
    TakenCount = 0;
    InAvailNotify = msg == DM_DATA_AVAILABLE || msg == DM_DATA_MATCH;
  }
  const LPARAM lParam = static_cast<LPARAM>(Handle) * 65536 + static_cast<LPARAM>(lowValue);
  bool completed;
  try {
    completed = DeliverToHandlers(msg, wParam, lParam);
  } catch (...) {
    EndDelivery(outer, false, msg, wParam);
    throw;
  }
  return EndDelivery(outer, completed, msg, wParam);
}

// ---- Dispatch step ----

void TApdBaseDispatcher::DispatchStep(bool pollOnly) {
  if (CloseDeferred) {
    FinishClose();
    return;
  }
  {
    TLockHolder lock(InputLock);
    UpdateDeviceCounts();
    // The counts are fresh: no second status query before filling.
    if (DeviceCounts.InCount != 0) FillInputFromCounts();
  }
  if (pollOnly || Notifying) {
    LogIf(lt_Error, lst_None, 0);
  } else {
    StatusHit = false;
    while (ScanTriggers() && !CloseDeferred) {
    }
    if (StatusHit) ClearStatusHits();
  }
  if (CloseDeferred) FinishClose();
}

void TApdBaseDispatcher::CreateDispatchWindow() {
  // Message-only: never shown, and made without a desktop too (a batch run may have none).
  HWND window = CreateWindowExA(0, "awDispatch", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  DispatchWindow = window;
}
