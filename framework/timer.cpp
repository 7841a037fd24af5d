#include "framework/timer.h"

#include "framework/application.h"
#include "framework/property.h"

namespace fw {

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  BeforeDestruction();
  if (running_ && Application != nullptr) Application->StopTimer(this);
}

void TTimer::SetEnabled(bool value) {
  if (fw::StoreChange(enabled_, value)) UpdateTimer();
}

void TTimer::SetInterval(DWORD value) {
  if (fw::StoreChange(interval_, value)) UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = handler;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (Application == nullptr) return;
  if (running_) {
    Application->StopTimer(this);
    running_ = false;
  }
  if (enabled_ && interval_ != 0 && onTimer_ && !Designing()) {
    Application->StartTimer(this, interval_);
    running_ = true;
  }
}

void TTimer::Fire() {
  if (onTimer_) onTimer_(this);
}

}  // namespace fw
