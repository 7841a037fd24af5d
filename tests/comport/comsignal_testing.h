// What the signal indicator tests share: a simulated machine with one port on a common owner,
// a message pump on the virtual clock, and a recorder of what the indicators and the port's
// own handlers did, in order.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "comport/comsignal.h"
#include "framework/application.h"
#include "framework/controls.h"
#include "platform/sim/machine.h"

namespace comport::testing {

// Records indicator changes ("DSR on") and the port owner's own handlers ("owner AfterOpen").
struct Recorder {
  void Signal(fw::TObject* sender) {
    auto* indicator = static_cast<TComSignal*>(sender);
    std::string entry = indicator->Name() + (indicator->SignalValue() ? " on" : " off");
    if (indicator->Control() != nullptr) {
      entry += indicator->Control()->Color() == indicator->ColorOn() ? " (lit)" : " (dark)";
    }
    log.push_back(entry);
  }
  void AfterOpen(TCustomComPort* port) { Owner("AfterOpen", port); }
  void AfterClose(TCustomComPort* port) { Owner("AfterClose", port); }
  void BeforeWrite(fw::TObject* sender, const void*, std::int32_t length, bool) {
    Owner("BeforeWrite " + std::to_string(length), sender);
  }
  void AfterWrite(fw::TObject* sender, const void*, std::int32_t length, bool) {
    Owner("AfterWrite " + std::to_string(length), sender);
  }
  void Notify(fw::TObject* sender) { Owner("Notify", sender); }
  void LineError(fw::TObject* sender, TLineErrors errors) {
    Owner("LineError " + std::to_string(errors.ToBits()), sender);
  }
  void Owner(const std::string& what, fw::TObject* sender) {
    log.push_back("owner " + what);
    senders.push_back(sender);
  }
  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(log);
    return taken;
  }
  std::vector<std::string> log;
  std::vector<fw::TObject*> senders;
};

class IndicatorTest : public ::testing::Test {
 protected:
  IndicatorTest() {
    port = new TComPort(&owner, machine);
    port->SetName("ComPort");
    port->SetDeviceName("\\\\.\\COM3");
  }

  // A new indicator owned by the common owner, attached to the port, reporting to the recorder.
  TComSignal* AddIndicator(const std::string& name, TSignal signal, fw::TControl* control = nullptr) {
    auto* indicator = new TComSignal(&owner);
    indicator->SetName(name);
    indicator->SetSignal(signal);
    indicator->SetControl(control);
    indicator->SetOnSignal(fw::Method<&Recorder::Signal>(&recorder));
    indicator->SetComPort(port);
    return indicator;
  }

  // Lets ms milliseconds of machine time pass, handling messages and timers after each one;
  // at the end the port's event thread is back in its wait.
  void Pump(int ms) {
    for (int i = 0; i < ms; ++i) {
      machine.RunFor(sim::kNsPerMs);
      app.ProcessMessages();
    }
    machine.RunFor(0);
  }
  // Opens the port and lets its event thread start waiting for device events.
  void OpenPort() {
    port->Open();
    machine.RunFor(0);
  }

  sim::Machine machine;
  fw::TApplication app{machine};
  sim::SerialDevice& device = machine.AddPort("COM3");
  Recorder recorder;
  fw::TComponent owner{nullptr};
  TComPort* port = nullptr;
};

}  // namespace comport::testing
