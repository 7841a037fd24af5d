#include "app/converters.h"

#include <algorithm>
#include <cctype>

#include "platform/ftdinames.h"

namespace app {

namespace {

constexpr std::string_view kPrefix = plat::ftdi::kConverterNamePrefix;
// The search's key of a converter with an 8-character serial: the first 9 characters of the id.
constexpr size_t kShortInstanceId = 9;
// A registry value the converter's key may hold; longer ones are not port names.
constexpr DWORD kValueBytes = 200;

// The instance's "Device Parameters" key as the search opens it: the 9-character key first,
// the whole id's where that one does not exist. Closed by the caller; nullptr when neither opens.
HKEY OpenParameters(plat::SystemApi& system, const std::string& instanceId) {
  HKEY key = nullptr;
  const std::string shortId = instanceId.substr(0, kShortInstanceId);
  if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, plat::ftdi::ConverterParametersKey(shortId).c_str(),
                           &key) == ERROR_SUCCESS) {
    return key;
  }
  if (shortId != instanceId &&
      system.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                           plat::ftdi::ConverterParametersKey(instanceId).c_str(),
                           &key) == ERROR_SUCCESS) {
    return key;
  }
  return nullptr;
}

}  // namespace

int ReadSearchView(comport::TCustomComPort& port, fw::TStringList& ports,
                   fw::TStringList& devices) {
  fw::TStringList portsAfter;
  for (int read = 1;; ++read) {
    ports.Clear();
    devices.Clear();
    portsAfter.Clear();
    port.EnumComDevicesFromRegistry(ports);
    port.EnumDevices(devices);
    port.EnumComDevicesFromRegistry(portsAfter);
    if (read == kSearchViewReads || portsAfter.Items() == ports.Items()) return read;
  }
}

std::string SerialOfInstance(const std::string& instanceId) {
  // A location holds '&'; a serial is followed by one interface letter.
  if (instanceId.size() < 2 || instanceId.find('&') != std::string::npos) return {};
  return instanceId.substr(0, instanceId.size() - 1);
}

std::vector<AttachedConverter> AttachedConverters(const fw::TStringList& devices,
                                                  plat::SystemApi& system) {
  std::vector<AttachedConverter> found;
  for (const std::string& name : devices.Items()) {
    if (name.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    AttachedConverter converter;
    const size_t end = name.find('#', kPrefix.size());
    converter.instanceId = name.substr(
        kPrefix.size(), end == std::string::npos ? std::string::npos : end - kPrefix.size());
    converter.serial = SerialOfInstance(converter.instanceId);
    if (HKEY key = OpenParameters(system, converter.instanceId)) {
      BYTE value[kValueBytes] = {};
      DWORD size = sizeof value;
      DWORD type = REG_NONE;
      if (system.RegQueryValueExA(key, "PortName", &type, value, &size) == ERROR_SUCCESS &&
          type == REG_SZ) {
        const auto* text = reinterpret_cast<const char*>(value);
        converter.port.assign(text, std::find(text, text + std::min(size, kValueBytes), '\0'));
      }
      DWORD latency = 0;
      size = sizeof latency;
      if (system.RegQueryValueExA(key, "LatencyTimer", &type, reinterpret_cast<BYTE*>(&latency),
                                  &size) == ERROR_SUCCESS &&
          type == REG_DWORD && size == sizeof latency) {
        converter.latencyMs = latency;
      }
      system.RegCloseKey(key);
    }
    found.push_back(std::move(converter));
  }
  return found;
}

bool ConverterNamed(const AttachedConverter& converter, const std::string& wanted) {
  auto same = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
             return std::toupper(x) == std::toupper(y);
           });
  };
  return !wanted.empty() && (same(converter.serial, wanted) || same(converter.instanceId, wanted));
}

std::string ConverterNames(const std::vector<AttachedConverter>& converters) {
  std::string names;
  for (const AttachedConverter& converter : converters) {
    names += (names.empty() ? "" : ", ") + converter.Name();
  }
  return names.empty() ? "-" : names;
}

}  // namespace app
