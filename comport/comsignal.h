// TComSignal: watches one line signal or one event of a port and shows it as an on/off value,
// as the background colour of a bound control, and through OnSignal.
//
// Attaching to a port takes over the port's AfterOpen and AfterClose and the one event that the
// Signal kind watches (both BeforeWrite and AfterWrite for siTxChar): the port's previous
// handler is saved and called after the indicator's own work, so several indicators on one port
// form a chain in which the last one attached runs first. Detaching puts a saved handler back
// only where the port's slot still holds this indicator's own handler; a handler someone else
// installed meanwhile stays.
//
// Chain safety: an indicator that detaches (or is destroyed) while a later-attached indicator
// still holds it as its saved handler hands its own saved handler over to that indicator, so an
// indicator never calls into one that has gone, whatever order they detach in. Changing Signal
// while attached detaches with the old kind and attaches with the new one. Two indicators on
// the same event both work: the port ignores a handler whose code it already holds, so each
// indicator answers to two codes and installs the one that differs from the handler it replaces.
//
// Detaching always completes. When the port fails to re-apply its event mask (its device has
// gone), every slot is restored all the same and the first EComError is raised afterwards (by
// SetComPort and SetSignal); the destructor and the port's removal notice swallow it.
//
// Pulse kinds (siBreak, siRxChar, siEvent1/2, siLineError, siPrinterError, siRx80PercFull,
// siRxFlag, siTxEmpty) go on at each event and off Delay milliseconds after the last one; with
// Delay 0 they stay on until the port opens or closes. Level kinds (siCTS, siDSR, siRing,
// siRLSD) follow the modem status of the open port and are off while it is closed. siTxChar is
// on from BeforeWrite until the first timer tick after AfterWrite.
//
// Main thread only: the indicator takes no locks and paints a control, so its port must deliver
// events synchronised (the port's default) and be opened, closed and written on the main thread.
// The port and the control must share the indicator's owner, which passes their removal on.
#pragma once

#include <cstdint>

#include "comport/comport.h"
#include "framework/component.h"
#include "framework/graphics.h"
#include "framework/timer.h"

namespace fw {
class TControl;
}

namespace comport {

enum TSignal : std::uint8_t {
  siNone, siBreak, siRxChar, siTxChar, siCTS, siDSR, siEvent1, siEvent2, siLineError,
  siPrinterError, siRing, siRLSD, siRx80PercFull, siRxFlag, siTxEmpty
};

// Makes TComSignal known to the form reader and writer (its constructor does this; calling it
// again does nothing).
void RegisterComSignalClass();

class TComSignal : public fw::TComponent {
 public:
  // ColorOff green, ColorOn lime, Delay 100, Signal siNone, no port, no control; the pulse
  // timer runs once and stops (the value is already off).
  explicit TComSignal(fw::TComponent* owner);
  // Stops the pulse timer, then detaches from the port.
  ~TComSignal() override;
  const char* ClassName() const override { return "TComSignal"; }

  // Read-only version text; SetAbout does nothing.
  static const char* About();
  void SetAbout(const char*) {}

  fw::TColor ColorOff() const { return colorOff_; }
  // Repaints the bound control at once when the value is off.
  void SetColorOff(fw::TColor value);
  fw::TColor ColorOn() const { return colorOn_; }
  // Stored only; the control shows it at the next change of the value.
  void SetColorOn(fw::TColor value) { colorOn_ = value; }
  TCustomComPort* ComPort() const { return comPort_; }
  // Stops the pulse timer, detaches from the old port and attaches to the new one (not while
  // loading: Loaded does that), then recomputes the value, which reads the modem status of an
  // open port for a level kind (a failing read raises EComError). The same port again changes
  // nothing.
  void SetComPort(TCustomComPort* value);
  fw::TControl* Control() const { return control_; }
  // Paints the new control in the current colour; the old one keeps its last colour.
  void SetControl(fw::TControl* value);
  std::int32_t Delay() const { return delay_; }
  // The pulse timer's interval; with 0 the timer never runs.
  void SetDelay(std::int32_t value);
  TSignal Signal() const { return signal_; }
  // While attached: detaches with the old kind, then attaches with the new one.
  void SetSignal(TSignal value);
  bool SignalValue() const { return signalValue_; }
  fw::TNotifyEvent OnSignal() const { return onSignal_; }
  void SetOnSignal(fw::TNotifyEvent handler) { onSignal_ = handler; }

  // Attaches to the port (RetrieveEvents) and shows the value in the control's colour.
  void Loaded() override;
  // The port or the control is going away: drop it (detaching from the port first).
  void Notification(fw::TComponent* component, fw::TOperation operation) override;

  // Whether the indicator's handlers are installed on its port.
  bool Attached() const { return attached_; }
  // The level value: the watched modem line of an open port; false for every other kind and on
  // a closed port (which is never asked). A failing modem status read raises EComError.
  void UpdateSignalValue();

 private:
  void RetrieveEvents();
  void RestoreEvents();
  void SetSignalValue(bool value);
  void UpdateColor();
  void StartTimer();

  // Handlers installed on the port. Each does its own work, then calls the saved handler.
  void AfterOpenHandler(TCustomComPort* port);
  void AfterCloseHandler(TCustomComPort* port);
  void BeforeWriteHandler(fw::TObject* sender, const void* buffer, std::int32_t length,
                          bool wait);
  void AfterWriteHandler(fw::TObject* sender, const void* buffer, std::int32_t length,
                         bool wait);
  void OnNotifySignal(fw::TObject* sender);
  void OnLineErrorSignal(fw::TObject* sender, TLineErrors errors);
  void OnModemSignal(fw::TObject* sender);
  // The same three once more under another code: the port ignores a handler whose code equals
  // the one it holds, so an indicator following another of its class on the same event
  // installs the other variant.
  void OnNotifySignal2(fw::TObject* sender) { OnNotifySignal(sender); }
  void OnLineErrorSignal2(fw::TObject* sender, TLineErrors errors) {
    OnLineErrorSignal(sender, errors);
  }
  void OnModemSignal2(fw::TObject* sender) { OnModemSignal(sender); }
  void OnTimer(fw::TObject* sender);

  // Installs a handler through a port setter so that the port really takes it.
  template <class H>
  void InstallThroughSetter(void (TCustomComPort::*setter)(H), const H& current,
                            const H& handler);
  // An indicator's handler under its other code (the same handler for anything else).
  static TNotifyEvent OtherVariant(const TNotifyEvent& handler);
  static TLineErrorEvent OtherVariant(const TLineErrorEvent& handler);
  // Another attached indicator of the same port that saved `handler` (one of ours) gets
  // `replacement` instead. Returns whether one did.
  template <class H>
  bool HandOver(H TComSignal::*slot, const H& handler, const H& replacement);
  // Detaching from one slot written directly, or through the port's setter.
  template <class H>
  void RestoreDirect(const H& current, const H& own, H TComSignal::*saved,
                     void (TCustomComPort::*setter)(H));
  template <class H>
  void RestoreThroughSetter(const H& current, const H& own1, const H& own2,
                            H TComSignal::*saved, void (TCustomComPort::*setter)(H));

  fw::TColor colorOff_ = fw::clGreen;
  fw::TColor colorOn_ = fw::clLime;
  TCustomComPort* comPort_ = nullptr;
  fw::TControl* control_ = nullptr;
  std::int32_t delay_ = 100;
  TSignal signal_ = siNone;
  bool signalValue_ = false;
  fw::TNotifyEvent onSignal_;

  fw::TTimer* pulseTimer_ = nullptr;
  bool writing_ = false;
  bool attached_ = false;
  // The kind the installed handlers belong to (Signal may change while attached).
  TSignal attachedSignal_ = siNone;
  TOpenCloseEvent savedAfterOpen_;
  TOpenCloseEvent savedAfterClose_;
  TReadWriteEvent savedBeforeWrite_;
  TReadWriteEvent savedAfterWrite_;
  TNotifyEvent savedNotify_;
  TLineErrorEvent savedLineError_;
  TNotifyEvent savedModemSignal_;
};

}  // namespace comport
