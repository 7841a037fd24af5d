// The converter's latency step of the port search: read LatencyTimer, lower it to 1 ms where
// the key may be written, and say what was found and done in the console and the port's log.
#include "app/converter_latency.h"


#include "app/mainform.h"
#include "app/texts.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"

namespace app {

namespace {

constexpr char kLatencyValue[] = "LatencyTimer";
constexpr DWORD kLowLatencyMs = 1;

}  // namespace

ConverterLatency LowerConverterLatency(plat::SystemApi& system, const std::string& keyPath) {
  ConverterLatency result;
  HKEY key = nullptr;
  if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key) != ERROR_SUCCESS) {
    return result;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG read = system.RegQueryValueExA(key, kLatencyValue, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
  system.RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return result;
  result.found = value;
  if (value <= kLowLatencyMs) {
    result.outcome = ConverterLatency::Outcome::kLow;
    return result;
  }
  result.outcome = ConverterLatency::Outcome::kNotWritable;
  result.error = system.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key);
  if (result.error != ERROR_SUCCESS) return result;
  const DWORD low = kLowLatencyMs;
  result.error = system.RegSetValueExA(key, kLatencyValue, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&low), sizeof low);
  system.RegCloseKey(key);
  if (result.error == ERROR_SUCCESS) result.outcome = ConverterLatency::Outcome::kLowered;
  return result;
}

void TMainForm::ReportConverterLatency(const std::string& keyPath, const std::string& portName) {
  const ConverterLatency latency = LowerConverterLatency(System(), keyPath);
  latency_ = latency;
  // A line for the console and the port's log; the window shows none of them.
  auto say = [this](const std::string& text) {
    if (ComPort->Log()) ComPort->WriteLog(text);
    fw::Note(text);
  };
  if (latency.outcome == ConverterLatency::Outcome::kAbsent) {
    if (ComPort->Log()) ComPort->WriteLog(fw::Format(texts::kLatencyAbsent, portName));
    return;
  }
  say(fw::Format(texts::kLatencyFound, portName, static_cast<unsigned long>(latency.found)));
  switch (latency.outcome) {
    case ConverterLatency::Outcome::kLowered:
      say(texts::kLatencyLowered);
      break;
    case ConverterLatency::Outcome::kNotWritable:
      say(fw::Format(texts::kLatencyNotSet, ComPort->PlatformRef().kernel().SysErrorMessage(
                                                  static_cast<DWORD>(latency.error))));
      say(fw::Format(texts::kLatencyRemedy, portName));
      break;
    default:
      break;
  }
}

}  // namespace app
