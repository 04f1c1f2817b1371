// Trigger and handler records of the dispatcher, the trigger messages and the snapshot a port
// keeps of its triggers across a close and a reopen.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "dispatch/tick_clock.h"
#include "platform/wintypes.h"

// Trigger messages. lParam is the dispatcher's Handle shifted left by 16 plus the low value.
inline constexpr UINT DM_DATA_AVAILABLE = 0x7E01;  // wParam: bytes announced
inline constexpr UINT DM_DATA_MATCH = 0x7E02;      // wParam: trigger handle; low: pattern length
inline constexpr UINT DM_TIMER_EXPIRED = 0x7E03;   // wParam: trigger handle
inline constexpr UINT DM_STATUS_CHANGE = 0x7E04;   // wParam: trigger handle; low: bytes measured

// Handle 1 names the data-available notification; handed-out handles are multiples of 8.
inline constexpr DWORD AvailTriggerHandle = 1;
inline constexpr DWORD HandleSeedLimit = 4096;

// What FindTrigger reports as the kind of the record it found.
inline constexpr int TriggerKindTimer = 2;
inline constexpr int TriggerKindData = 3;
inline constexpr int TriggerKindStatus = 4;

// Kinds of status triggers; a status trigger's handle carries its kind in the low three bits.
inline constexpr int stNotActive = 0;
inline constexpr int stModem = 1;
inline constexpr int stLine = 2;
inline constexpr int stOutBuffFree = 3;
inline constexpr int stOutBuffUsed = 4;
inline constexpr int stOutSent = 5;

inline constexpr int MaxPatternLength = 22;

struct TTimerTrigger {
  DWORD Handle = 0;
  TickTimer Timer;
  std::int32_t Interval = 0;  // ticks; the last interval given
  std::uint32_t Active = 0;   // armed and not yet fired
};

struct TDataTrigger {
  DWORD Handle = 0;
  DWORD PatternLength = 0;  // 0 disables the trigger
  DWORD MatchSlots[MaxPatternLength] = {};
  std::uint32_t Matched = 0;     // complete, notification still to be sent
  std::uint32_t IgnoreCase = 0;  // incoming bytes are folded to upper case
  BYTE Pattern[24] = {};         // upper case when IgnoreCase
};

struct TStatusTrigger {
  DWORD Handle = 0;
  std::int32_t Kind = stNotActive;
  WORD Value = 0;  // modem: low byte bits, high byte mask; line: error mask; output: threshold
  bool Armed = false;
  bool Hit = false;  // fired in the current dispatch step
};

// Copy of a dispatcher's threshold and trigger records; an absent list adds nothing when
// reinstated. The holder owns it.
struct TriggerSnapshot {
  std::int32_t Threshold = 0;
  std::optional<std::vector<TTimerTrigger>> TimerTriggers;
  std::optional<std::vector<TDataTrigger>> DataTriggers;
  std::optional<std::vector<TStatusTrigger>> StatusTriggers;
};
// Frees the lists and marks them absent.
void DiscardSnapshot(TriggerSnapshot& snapshot);

// Feeds one byte to a pattern's partial-match slots; true when the byte completes the pattern
// (all slots are then reset). Overlapping attempts are tracked, so "aab" is found in "aaab".
bool StepMatch(DWORD (&slots)[MaxPatternLength], BYTE byte, DWORD patternLength, bool ignoreCase,
               const BYTE* pattern);

// Handlers. A procedure handler gets the message, wParam and lParam; an event handler is a
// method: a plain function that receives its object first. Both are compared by value when
// removed, so a method is registered as (ApdMethod<&T::M>, object).
using TApdNotifyProc = void (*)(UINT msg, WPARAM wParam, LPARAM lParam);
using TApdNotifyEvent = void (*)(void* object, UINT msg, WPARAM wParam, LPARAM lParam);

template <class T, void (T::*Method)(UINT, WPARAM, LPARAM)>
void ApdMethodThunk(void* object, UINT msg, WPARAM wParam, LPARAM lParam) {
  (static_cast<T*>(object)->*Method)(msg, wParam, lParam);
}
template <auto Method>
struct ApdMethodOf;
template <class T, void (T::*Method)(UINT, WPARAM, LPARAM)>
struct ApdMethodOf<Method> {
  static constexpr TApdNotifyEvent Proc = &ApdMethodThunk<T, Method>;
};
// The event-handler procedure of a method: AddEventHandler(ApdMethod<&TFoo::OnTrigger>, this).
template <auto Method>
inline constexpr TApdNotifyEvent ApdMethod = ApdMethodOf<Method>::Proc;

struct TWindowHandler {
  HWND Window = nullptr;
  bool Removed = false;
};
struct TProcHandler {
  TApdNotifyProc Proc = nullptr;
  bool Removed = false;
};
struct TEventHandler {
  TApdNotifyEvent Proc = nullptr;
  void* Object = nullptr;
  bool Removed = false;
};
