#include "forms/timer.h"

#include "forms/application.h"
#include "forms/class_record.h"

const TClassRecord& TTimer::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TTimer, TComponent>("TTimer", [](TClassBuilder<TTimer>& c) {
        c.Bool("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).Default(1);
        c.Int("Interval", &TTimer::Interval, &TTimer::SetInterval).Default(1000);
        c.Event("OnTimer", &TTimer::OnTimer);
      });
  return record;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  FWindow = AllocateHWnd([this](TMessage& m) { WndProc(m); });
  UpdateTimer();
}

TTimer::~TTimer() {
  if (FWindow) DeallocateHWnd(FWindow);
}

void TTimer::BeforeDestruction() {
  FEnabled = false;
  UpdateTimer();
  TComponent::BeforeDestruction();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned interval) {
  if (interval == FInterval) return;
  FInterval = interval;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (!FWindow) return;
  if (FRunning) {
    KillTimer(FWindow, 1);
    FRunning = false;
  }
  // While loading nothing runs: the description may still turn it off.
  if (FEnabled && FInterval > 0 && !Loading() && !Designing() && !Destroying()) {
    if (!SetTimer(FWindow, 1, FInterval, nullptr))
      throw platform::Exception("Not enough timers available");
    FRunning = true;
  }
}

void TTimer::WndProc(TMessage& message) {
  if (message.Msg != WM_TIMER) return;
  try {
    Timer();
  } catch (...) {
    Application->HandleCurrentException(this);
  }
}

void TTimer::Timer() {
  if (FEnabled) OnTimer(this);
}
