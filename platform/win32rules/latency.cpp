#include "platform/win32rules/latency.h"

namespace plat::win32rules {

namespace {

constexpr char kLatencyValue[] = "LatencyTimer";
constexpr DWORD kLowLatencyMs = 1;

}  // namespace

LatencyStep LowerLatencyTimer(SystemApi& registry, const std::string& parametersKey) {
  LatencyStep result;
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, parametersKey.c_str(), &key) != ERROR_SUCCESS) {
    return result;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG read = registry.RegQueryValueExA(key, kLatencyValue, &type,
                                              reinterpret_cast<BYTE*>(&value), &size);
  registry.RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return result;
  result.found = value;
  if (value <= kLowLatencyMs) {
    result.outcome = LatencyStep::Outcome::kLow;
    return result;
  }
  result.outcome = LatencyStep::Outcome::kNotWritable;
  result.error = registry.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, parametersKey.c_str(), &key);
  if (result.error != ERROR_SUCCESS) return result;
  const DWORD low = kLowLatencyMs;
  result.error = registry.RegSetValueExA(key, kLatencyValue, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&low), sizeof low);
  registry.RegCloseKey(key);
  if (result.error == ERROR_SUCCESS) result.outcome = LatencyStep::Outcome::kLowered;
  return result;
}

}  // namespace plat::win32rules
