// TComSignal's published properties for form streaming, in their published order. Delay and
// Signal have no declared default, so a form always carries them; About and SignalValue are
// read-only and never written. A ComPort or Control named in a form is bound once the whole form
// has been read, and the indicator attaches to its port in Loaded.
#include <string>
#include <vector>

#include "comport/comsignal.h"
#include "framework/controls.h"
#include "framework/streaming.h"

namespace comport {

namespace {

const std::vector<std::string> kSignalNames = {
    "siNone",   "siBreak",        "siRxChar", "siTxChar", "siCTS",          "siDSR",
    "siEvent1", "siEvent2",       "siLineError", "siPrinterError", "siRing", "siRLSD",
    "siRx80PercFull", "siRxFlag", "siTxEmpty"};

void RegisterIndicator() {
  using S = TComSignal;
  fw::RegisterComponentClass<S>("TComSignal", "TComponent")
      .Text("About", [](S&) { return std::string(S::About()); }, [](S&, const std::string&) {})
      .NeverStored()
      .Color("ColorOff", &S::ColorOff, &S::SetColorOff, fw::clGreen)
      .Color("ColorOn", &S::ColorOn, &S::SetColorOn, fw::clLime)
      .Component("ComPort", &S::ComPort, &S::SetComPort)
      .Component("Control", &S::Control, &S::SetControl)
      .Integer("Delay", &S::Delay, &S::SetDelay)
      .Enumeration("Signal", kSignalNames, &S::Signal, &S::SetSignal)
      .Boolean("SignalValue", &S::SignalValue, nullptr)
      .NeverStored()
      .Event("OnSignal", &S::OnSignal, &S::SetOnSignal);
}

}  // namespace

void RegisterComSignalClass() {
  static const bool registered = [] {
    RegisterIndicator();
    return true;
  }();
  (void)registered;
}

}  // namespace comport
