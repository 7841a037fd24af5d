// The converter's latency step of the port search: the platform asks for low latency ahead of
// the open, and what it found and did goes to the port's log and the console.
#include "app/mainform.h"
#include "app/texts.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"

namespace app {

void TMainForm::ReportConverterLatency(const std::string& keyPath, const std::string& portName) {
  using Outcome = plat::LatencyStep::Outcome;
  latency_ = ComPort->PlatformRef().serial().RequestLowLatency(keyPath);
  // Lines for the port's log and, but for an absent value, the console; never the window.
  auto say = [this](const std::string& text, bool console = true) {
    if (ComPort->Log()) ComPort->WriteLog(text);
    if (console) fw::Note(text);
  };
  if (latency_.outcome == Outcome::kAbsent) {
    say(fw::Format(texts::kLatencyAbsent, portName), false);
    return;
  }
  say(fw::Format(texts::kLatencyFound, portName, static_cast<unsigned long>(latency_.found)));
  if (latency_.outcome == Outcome::kLowered) say(texts::kLatencyLowered);
  if (latency_.outcome == Outcome::kNotWritable) {
    say(fw::Format(texts::kLatencyNotSet, ComPort->PlatformRef().kernel().SysErrorMessage(
                                              static_cast<DWORD>(latency_.error))));
    say(fw::Format(texts::kLatencyRemedy, portName));
  }
}

}  // namespace app
