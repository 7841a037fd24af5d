#include "comport/comsignal.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "framework/controls.h"
#include "framework/property.h"

namespace comport {

namespace {

// Every indicator alive, so that one that detaches can find the indicator that saved its
// handler (main thread only, like the indicators themselves).
std::vector<TComSignal*>& LiveIndicators() {
  static std::vector<TComSignal*> indicators;
  return indicators;
}

// A sender-only port event: how to read its slot and how to set it through the port.
struct NotifyEventSlot {
  TNotifyEvent (TCustomComPort::*get)() const;
  void (TCustomComPort::*set)(TNotifyEvent);
};

// The sender-only event a pulse kind takes over; null for every other kind.
const NotifyEventSlot* PulseEvent(TSignal signal) {
  static const NotifyEventSlot kBreak{&TCustomComPort::OnBreak, &TCustomComPort::SetOnBreak};
  static const NotifyEventSlot kRxChar{&TCustomComPort::OnRxChar, &TCustomComPort::SetOnRxChar};
  static const NotifyEventSlot kEvent1{&TCustomComPort::OnEvent1, &TCustomComPort::SetOnEvent1};
  static const NotifyEventSlot kEvent2{&TCustomComPort::OnEvent2, &TCustomComPort::SetOnEvent2};
  static const NotifyEventSlot kPrinterError{&TCustomComPort::OnPrinterError,
                                             &TCustomComPort::SetOnPrinterError};
  static const NotifyEventSlot kRx80PercFull{&TCustomComPort::OnRx80PercFull,
                                             &TCustomComPort::SetOnRx80PercFull};
  static const NotifyEventSlot kRxFlag{&TCustomComPort::OnRxFlag, &TCustomComPort::SetOnRxFlag};
  static const NotifyEventSlot kTxEmpty{&TCustomComPort::OnTxEmpty,
                                        &TCustomComPort::SetOnTxEmpty};
  switch (signal) {
    case siBreak: return &kBreak;
    case siRxChar: return &kRxChar;
    case siEvent1: return &kEvent1;
    case siEvent2: return &kEvent2;
    case siPrinterError: return &kPrinterError;
    case siRx80PercFull: return &kRx80PercFull;
    case siRxFlag: return &kRxFlag;
    case siTxEmpty: return &kTxEmpty;
    default: return nullptr;
  }
}

// The change event a level kind takes over; null for every other kind.
const NotifyEventSlot* LevelEvent(TSignal signal) {
  static const NotifyEventSlot kCTS{&TCustomComPort::OnCTSChange,
                                    &TCustomComPort::SetOnCTSChange};
  static const NotifyEventSlot kDSR{&TCustomComPort::OnDSRChange,
                                    &TCustomComPort::SetOnDSRChange};
  static const NotifyEventSlot kRing{&TCustomComPort::OnRing, &TCustomComPort::SetOnRing};
  static const NotifyEventSlot kRLSD{&TCustomComPort::OnRLSDChange,
                                     &TCustomComPort::SetOnRLSDChange};
  switch (signal) {
    case siCTS: return &kCTS;
    case siDSR: return &kDSR;
    case siRing: return &kRing;
    case siRLSD: return &kRLSD;
    default: return nullptr;
  }
}

// The modem line a level kind follows.
bool LevelLine(TSignal signal, TModemStatusValue& line) {
  switch (signal) {
    case siCTS: line = msCTS; return true;
    case siDSR: line = msDSR; return true;
    case siRing: line = msRing; return true;
    case siRLSD: line = msRLSD; return true;
    default: return false;
  }
}

// Runs steps that must all happen even when one of them raises, and raises the first error
// afterwards (a port whose device has gone fails to re-apply its event mask, but the handler
// slot has been written by then and the remaining slots still need restoring).
class AllSteps {
 public:
  template <class Step>
  void Run(Step&& step) {
    try {
      step();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }
  void RaiseFirst() {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

}  // namespace

const char* TComSignal::About() { return "TComSignal 1.0"; }

TComSignal::TComSignal(fw::TComponent* owner) : fw::TComponent(owner) {
  RegisterComSignalClass();
  LiveIndicators().push_back(this);
  pulseTimer_ = new fw::TTimer(this);
  pulseTimer_->SetInterval(static_cast<DWORD>(delay_));
  pulseTimer_->SetOnTimer(fw::Method<&TComSignal::OnTimer>(this));
}

TComSignal::~TComSignal() {
  fw::TComponent::Free(pulseTimer_);
  pulseTimer_ = nullptr;
  try {
    RestoreEvents();
  } catch (...) {
    // The port has reported its failure through OnError already; the slots are restored.
  }
  auto& live = LiveIndicators();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

// ---- Properties ----

void TComSignal::SetColorOff(fw::TColor value) {
  if (fw::StoreChange(colorOff_, value)) UpdateColor();
}

void TComSignal::SetComPort(TCustomComPort* value) {
  if (value == comPort_) return;
  pulseTimer_->SetEnabled(false);
  // Detaching always completes; a failure of the old port is raised once the switch is done.
  AllSteps steps;
  steps.Run([this] { RestoreEvents(); });
  comPort_ = value;
  RetrieveEvents();
  UpdateSignalValue();
  steps.RaiseFirst();
}

void TComSignal::SetControl(fw::TControl* value) {
  if (fw::StoreChange(control_, value)) UpdateColor();
}

void TComSignal::SetDelay(std::int32_t value) {
  if (fw::StoreChange(delay_, value)) pulseTimer_->SetInterval(static_cast<DWORD>(value));
}

void TComSignal::SetSignal(TSignal value) {
  if (value == signal_) return;
  if (!attached_) {
    signal_ = value;
    return;
  }
  // The installed handlers belong to the old kind: take them off before switching.
  AllSteps steps;
  steps.Run([this] { RestoreEvents(); });
  signal_ = value;
  RetrieveEvents();
  steps.RaiseFirst();
}

// ---- Component life ----

void TComSignal::Loaded() {
  fw::TComponent::Loaded();
  RetrieveEvents();
  UpdateSignalValue();
  UpdateColor();
}

void TComSignal::Notification(fw::TComponent* component, fw::TOperation operation) {
  fw::TComponent::Notification(component, operation);
  if (operation != fw::opRemove) return;
  if (component == comPort_) {
    // The port is going whatever happens here, so a failure it reports cannot stop anything.
    try {
      SetComPort(nullptr);
    } catch (...) {
    }
  } else if (component != nullptr && component == static_cast<fw::TComponent*>(control_)) {
    SetControl(nullptr);
  }
}

// ---- Attaching and detaching ----

TNotifyEvent TComSignal::OtherVariant(const TNotifyEvent& handler) {
  auto* indicator = static_cast<TComSignal*>(handler.Object());
  if (handler.SameCode(fw::Method<&TComSignal::OnNotifySignal>(indicator))) {
    return fw::Method<&TComSignal::OnNotifySignal2>(indicator);
  }
  if (handler.SameCode(fw::Method<&TComSignal::OnNotifySignal2>(indicator))) {
    return fw::Method<&TComSignal::OnNotifySignal>(indicator);
  }
  if (handler.SameCode(fw::Method<&TComSignal::OnModemSignal>(indicator))) {
    return fw::Method<&TComSignal::OnModemSignal2>(indicator);
  }
  if (handler.SameCode(fw::Method<&TComSignal::OnModemSignal2>(indicator))) {
    return fw::Method<&TComSignal::OnModemSignal>(indicator);
  }
  return handler;
}

TLineErrorEvent TComSignal::OtherVariant(const TLineErrorEvent& handler) {
  auto* indicator = static_cast<TComSignal*>(handler.Object());
  if (handler.SameCode(fw::Method<&TComSignal::OnLineErrorSignal>(indicator))) {
    return fw::Method<&TComSignal::OnLineErrorSignal2>(indicator);
  }
  if (handler.SameCode(fw::Method<&TComSignal::OnLineErrorSignal2>(indicator))) {
    return fw::Method<&TComSignal::OnLineErrorSignal>(indicator);
  }
  return handler;
}

template <class H>
void TComSignal::InstallThroughSetter(void (TCustomComPort::*setter)(H), const H& current,
                                      const H& handler) {
  // The port ignores a handler whose code equals the one it holds. Only an indicator's
  // handlers share code with ours, and each indicator answers to two codes that do the same,
  // so the other one of that indicator is installed instead.
  TCustomComPort* port = comPort_;
  if (current.SameCode(handler) && current != handler) {
    (port->*setter)(OtherVariant(handler));
  } else {
    (port->*setter)(handler);
  }
}

template <class H>
bool TComSignal::HandOver(H TComSignal::*slot, const H& handler, const H& replacement) {
  bool found = false;
  for (TComSignal* other : LiveIndicators()) {
    if (other == this || other->comPort_ != comPort_ || !other->attached_) continue;
    if (other->*slot == handler) {
      other->*slot = replacement;
      found = true;
    }
  }
  return found;
}

void TComSignal::RetrieveEvents() {
  if (Loading() || Designing() || comPort_ == nullptr || attached_) return;
  TCustomComPort& port = *comPort_;
  attached_ = true;
  attachedSignal_ = signal_;

  savedAfterOpen_ = port.AfterOpen();
  port.SetAfterOpen(fw::Method<&TComSignal::AfterOpenHandler>(this));
  savedAfterClose_ = port.AfterClose();
  port.SetAfterClose(fw::Method<&TComSignal::AfterCloseHandler>(this));

  if (const NotifyEventSlot* event = PulseEvent(signal_)) {
    savedNotify_ = (port.*event->get)();
    InstallThroughSetter(event->set, savedNotify_,
                         TNotifyEvent(fw::Method<&TComSignal::OnNotifySignal>(this)));
  } else if (const NotifyEventSlot* level = LevelEvent(signal_)) {
    savedModemSignal_ = (port.*level->get)();
    InstallThroughSetter(level->set, savedModemSignal_,
                         TNotifyEvent(fw::Method<&TComSignal::OnModemSignal>(this)));
  } else if (signal_ == siLineError) {
    savedLineError_ = port.OnLineError();
    InstallThroughSetter(&TCustomComPort::SetOnLineError, savedLineError_,
                         TLineErrorEvent(fw::Method<&TComSignal::OnLineErrorSignal>(this)));
  } else if (signal_ == siTxChar) {
    savedBeforeWrite_ = port.BeforeWrite();
    savedAfterWrite_ = port.AfterWrite();
    port.SetBeforeWrite(fw::Method<&TComSignal::BeforeWriteHandler>(this));
    port.SetAfterWrite(fw::Method<&TComSignal::AfterWriteHandler>(this));
  }
}

template <class H>
void TComSignal::RestoreDirect(const H& current, const H& own, H TComSignal::*saved,
                               void (TCustomComPort::*setter)(H)) {
  // Put the saved handler back if the slot is still ours; otherwise hand it to the indicator
  // that saved ours, if any. A slot somebody else took stays theirs.
  if (current == own) {
    TCustomComPort* port = comPort_;
    (port->*setter)(this->*saved);
  } else {
    HandOver(saved, own, this->*saved);
  }
}

template <class H>
void TComSignal::RestoreThroughSetter(const H& current, const H& own1, const H& own2,
                                      H TComSignal::*saved,
                                      void (TCustomComPort::*setter)(H)) {
  // Ours is whichever of the two variants was installed.
  if (current == own1 || current == own2) {
    InstallThroughSetter(setter, current, this->*saved);
  } else if (!HandOver(saved, own1, this->*saved)) {
    HandOver(saved, own2, this->*saved);
  }
}

void TComSignal::RestoreEvents() {
  AllSteps steps;
  // Handlers are installed only outside design mode; whatever is installed is taken off.
  if (attached_ && comPort_ != nullptr) {
    TCustomComPort& port = *comPort_;
    RestoreDirect(port.AfterOpen(), fw::Method<&TComSignal::AfterOpenHandler>(this),
                  &TComSignal::savedAfterOpen_, &TCustomComPort::SetAfterOpen);
    RestoreDirect(port.AfterClose(), fw::Method<&TComSignal::AfterCloseHandler>(this),
                  &TComSignal::savedAfterClose_, &TCustomComPort::SetAfterClose);
    if (const NotifyEventSlot* event = PulseEvent(attachedSignal_)) {
      steps.Run([this, &port, event] {
        RestoreThroughSetter((port.*event->get)(),
                             fw::Method<&TComSignal::OnNotifySignal>(this),
                             fw::Method<&TComSignal::OnNotifySignal2>(this),
                             &TComSignal::savedNotify_, event->set);
      });
    } else if (const NotifyEventSlot* level = LevelEvent(attachedSignal_)) {
      steps.Run([this, &port, level] {
        RestoreThroughSetter((port.*level->get)(), fw::Method<&TComSignal::OnModemSignal>(this),
                             fw::Method<&TComSignal::OnModemSignal2>(this),
                             &TComSignal::savedModemSignal_, level->set);
      });
    } else if (attachedSignal_ == siLineError) {
      steps.Run([this, &port] {
        RestoreThroughSetter(port.OnLineError(),
                             fw::Method<&TComSignal::OnLineErrorSignal>(this),
                             fw::Method<&TComSignal::OnLineErrorSignal2>(this),
                             &TComSignal::savedLineError_, &TCustomComPort::SetOnLineError);
      });
    } else if (attachedSignal_ == siTxChar) {
      RestoreDirect(port.BeforeWrite(), fw::Method<&TComSignal::BeforeWriteHandler>(this),
                    &TComSignal::savedBeforeWrite_, &TCustomComPort::SetBeforeWrite);
      RestoreDirect(port.AfterWrite(), fw::Method<&TComSignal::AfterWriteHandler>(this),
                    &TComSignal::savedAfterWrite_, &TCustomComPort::SetAfterWrite);
    }
  }
  attached_ = false;
  savedAfterOpen_ = nullptr;
  savedAfterClose_ = nullptr;
  savedBeforeWrite_ = nullptr;
  savedAfterWrite_ = nullptr;
  savedNotify_ = nullptr;
  savedLineError_ = nullptr;
  savedModemSignal_ = nullptr;
  steps.RaiseFirst();
}

// ---- Value and colour ----

void TComSignal::UpdateSignalValue() {
  bool value = false;
  TModemStatusValue line;
  if (comPort_ != nullptr && comPort_->Active() && LevelLine(signal_, line)) {
    value = comPort_->GetModemStatus().Contains(line);
  }
  SetSignalValue(value);
}

void TComSignal::SetSignalValue(bool value) {
  if (!fw::StoreChange(signalValue_, value)) return;
  UpdateColor();
  if (onSignal_) onSignal_(this);
}

void TComSignal::UpdateColor() {
  if (control_ != nullptr) control_->SetColor(signalValue_ ? colorOn_ : colorOff_);
}

void TComSignal::StartTimer() {
  // A full Delay from now.
  pulseTimer_->SetEnabled(false);
  pulseTimer_->SetEnabled(true);
}

void TComSignal::OnTimer(fw::TObject*) {
  // A write in progress keeps the value on; the timer ticks again after Delay.
  if (signal_ == siTxChar && writing_) return;
  pulseTimer_->SetEnabled(false);
  SetSignalValue(false);
}

// ---- Handlers on the port ----

void TComSignal::AfterOpenHandler(TCustomComPort* port) {
  UpdateSignalValue();
  const TOpenCloseEvent next = savedAfterOpen_;
  if (next) next(port);
}

void TComSignal::AfterCloseHandler(TCustomComPort* port) {
  UpdateSignalValue();
  const TOpenCloseEvent next = savedAfterClose_;
  if (next) next(port);
}

void TComSignal::BeforeWriteHandler(fw::TObject* sender, const void* buffer,
                                    std::int32_t length, bool wait) {
  SetSignalValue(true);
  writing_ = true;
  StartTimer();
  const TReadWriteEvent next = savedBeforeWrite_;
  if (next) next(sender, buffer, length, wait);
}

void TComSignal::AfterWriteHandler(fw::TObject* sender, const void* buffer,
                                   std::int32_t length, bool wait) {
  // The value stays on until the next timer tick.
  writing_ = false;
  const TReadWriteEvent next = savedAfterWrite_;
  if (next) next(sender, buffer, length, wait);
}

void TComSignal::OnNotifySignal(fw::TObject*) {
  SetSignalValue(true);
  StartTimer();
  const TNotifyEvent next = savedNotify_;
  if (next) next(comPort_);
}

void TComSignal::OnLineErrorSignal(fw::TObject*, TLineErrors errors) {
  SetSignalValue(true);
  StartTimer();
  const TLineErrorEvent next = savedLineError_;
  if (next) next(comPort_, errors);
}

void TComSignal::OnModemSignal(fw::TObject*) {
  UpdateSignalValue();
  const TNotifyEvent next = savedModemSignal_;
  if (next) next(comPort_);
}

}  // namespace comport
