// The converter's latency step of the port search: the platform asks for low latency ahead of
// the open (SerialApi::RequestLowLatency), and what it found and did goes to the console and the
// port's log.
#include "app/mainform.h"
#include "app/texts.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"

namespace app {

void TMainForm::ReportConverterLatency(const std::string& keyPath, const std::string& portName) {
  using Outcome = plat::LatencyStep::Outcome;
  const plat::LatencyStep latency = ComPort->PlatformRef().serial().RequestLowLatency(keyPath);
  latency_ = latency;
  // A line for the console and the port's log; the window shows none of them.
  auto say = [this](const std::string& text) {
    if (ComPort->Log()) ComPort->WriteLog(text);
    fw::Note(text);
  };
  if (latency.outcome == Outcome::kAbsent) {
    if (ComPort->Log()) ComPort->WriteLog(fw::Format(texts::kLatencyAbsent, portName));
    return;
  }
  say(fw::Format(texts::kLatencyFound, portName, static_cast<unsigned long>(latency.found)));
  switch (latency.outcome) {
    case Outcome::kLowered:
      say(texts::kLatencyLowered);
      break;
    case Outcome::kNotWritable:
      say(fw::Format(texts::kLatencyNotSet, ComPort->PlatformRef().kernel().SysErrorMessage(
                                                  static_cast<DWORD>(latency.error))));
      say(fw::Format(texts::kLatencyRemedy, portName));
      break;
    default:
      break;
  }
}

}  // namespace app
