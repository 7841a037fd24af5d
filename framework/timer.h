// TTimer: a component that calls OnTimer every Interval milliseconds while Enabled.
//
// Enabling a timer that is already enabled changes nothing (its countdown is not restarted);
// changing Interval or OnTimer while enabled restarts the countdown. A timer runs only when it
// has a handler and an interval above 0. Ticks come from the application's message loop.
#pragma once

#include "framework/component.h"
#include "platform/wintypes.h"

namespace fw {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  const char* ClassName() const override { return "TTimer"; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  DWORD Interval() const { return interval_; }
  void SetInterval(DWORD value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  // Called by the application when the countdown has run out.
  void Fire();

 private:
  void UpdateTimer();

  bool enabled_ = true;
  DWORD interval_ = 1000;
  TNotifyEvent onTimer_;
  bool running_ = false;
};

}  // namespace fw
