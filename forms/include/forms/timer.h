// TTimer: OnTimer every Interval milliseconds while Enabled, on a window timer of its own
// hidden window. An exception from OnTimer goes to the application's error box.
#pragma once

#include "forms/component.h"
#include "forms/events.h"
#include "platform/messages.h"

class TTimer : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  // 0 stops the timer.
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned interval);

  TNotifyEvent OnTimer;

  void Loaded() override;
  void BeforeDestruction() override;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage& message);

  bool FEnabled = true;
  unsigned FInterval = 1000;
  HWND FWindow = nullptr;
  bool FRunning = false;
};
