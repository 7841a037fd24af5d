// What the signal indicator tests share: a simulated port on a common owner, a message pump on
// the virtual clock, and a log of what the indicators and the port's own handlers did.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "comport/comport.h"
#include "comport/comsignal.h"
#include "framework/application.h"
#include "framework/controls.h"
#include "platform/sim/machine.h"

namespace comport::testing {

using Log = std::vector<std::string>;

// Logs "DSR on (lit)" for an indicator's change, "owner ..." for the port's own handlers.
struct Recorder {
  void Signal(fw::TObject* sender) {
    auto* s = static_cast<TComSignal*>(sender);
    std::string entry = s->Name() + (s->SignalValue() ? " on" : " off");
    if (s->Control() != nullptr) entry += s->Control()->Color() == s->ColorOn() ? " (lit)" : "";
    log.push_back(entry);
  }
  void AfterOpen(TCustomComPort*) { log.push_back("owner AfterOpen"); }
  void Notify(fw::TObject* sender) {
    EXPECT_NE(dynamic_cast<TCustomComPort*>(sender), nullptr);  // passed on with the port
    log.push_back("owner Notify");
  }
  Log Take() { return std::exchange(log, {}); }
  Log log;
};

class IndicatorTest : public ::testing::Test {
 protected:
  IndicatorTest() { port->SetDeviceName("COM3"); }
  TComSignal* AddIndicator(const std::string& name, TSignal signal,
                           fw::TControl* control = nullptr) {
    auto* indicator = new TComSignal(&owner);
    indicator->SetName(name);
    indicator->SetSignal(signal);
    indicator->SetControl(control);
    indicator->SetOnSignal(fw::Method<&Recorder::Signal>(&recorder));
    indicator->SetComPort(port);
    return indicator;
  }
  // Lets ms of machine time pass, handling messages and timers every millisecond.
  void Pump(int ms) {
    for (int i = 0; i < ms; ++i) {
      machine.RunFor(sim::kNsPerMs);
      app.ProcessMessages();
    }
  }

  sim::Machine machine;
  fw::TApplication app{machine};
  sim::SerialDevice& device = machine.AddPort("COM3");
  Recorder recorder;
  fw::TComponent owner{nullptr};
  TComPort* port = new TComPort(&owner, machine);
};

}  // namespace comport::testing
