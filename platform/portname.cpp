#include "platform/portname.h"

namespace plat {

std::string PortNameOfArgument(std::string_view argument, std::string_view deviceFolder) {
  std::string_view name = argument;
  if (name.starts_with(kDevicePathPrefix)) {
    name.remove_prefix(kDevicePathPrefix.size());
  } else if (!deviceFolder.empty() && name.starts_with(deviceFolder)) {
    name.remove_prefix(deviceFolder.size());
  }
  if (!IsPortName(name, !deviceFolder.empty())) return {};
  return std::string(name);
}

bool IsPortName(std::string_view name, bool subFolders) {
  // No other root, no way out of the folder, sub-folders only where devices are files in one.
  if (name.find('\\') != std::string_view::npos) return false;
  if (!subFolders && name.find('/') != std::string_view::npos) return false;
  for (;;) {
    const std::size_t slash = name.find('/');
    const std::string_view part = name.substr(0, slash);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    name.remove_prefix(slash + 1);
  }
}

std::string DevicePathOf(std::string_view portName) {
  std::string path(kDevicePathPrefix);
  path += portName;
  return path;
}

std::string_view PortNameOf(std::string_view devicePath) {
  if (devicePath.starts_with(kDevicePathPrefix)) devicePath.remove_prefix(kDevicePathPrefix.size());
  return devicePath;
}

}  // namespace plat
