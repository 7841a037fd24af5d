#include "platform/ftdinames.h"

#include <cstdint>
#include <cstdio>

namespace plat::ftdi {

std::string DeviceId(std::string_view vendorId, std::string_view productId,
                     std::string_view instanceId) {
  std::string id = "VID_";
  id += vendorId;
  id += "+PID_";
  id += productId;
  id += '+';
  id += instanceId;
  return id;
}

std::string LocationInstanceId(std::string_view hub, unsigned port, unsigned tier) {
  std::uint32_t hash = 2166136261u;
  for (char c : hub) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  // Windows counts the tier from the root of its device tree, where a root hub's ports are 5.
  char id[48];
  std::snprintf(id, sizeof id, "%u&%08X&0&%u", tier + 4, static_cast<unsigned>(hash), port);
  return id;
}

std::string ConverterDeviceId(std::string_view instanceId) {
  return std::string(kConverterIdPrefix) + std::string(instanceId);
}

std::string DeviceName(std::string_view deviceId, std::string_view instance) {
  std::string name(kEnumerator);
  name += '#';
  name += deviceId;
  name += '#';
  name += instance;
  name += '#';
  name += kInterfaceClass;
  return name;
}

std::string InstanceKey(std::string_view deviceId) {
  std::string key(kEnumerator);
  key += '\\';
  key += deviceId;
  key += '\\';
  key += kFirstInstance;
  return key;
}

std::string ConverterParametersKey(std::string_view instanceId) {
  return "System\\CurrentControlSet\\Enum\\" + InstanceKey(ConverterDeviceId(instanceId)) +
         "\\Device Parameters";
}

}  // namespace plat::ftdi
