// A serial port's two names, in one place: the port name the user types and the port list
// shows ("COM3", "ttyUSB0", "serial/by-id/..." below /dev), and the device path the serial API
// opens ("\\.\COM3"), which each backend maps to its device by the port name inside it.
#pragma once

#include <string>
#include <string_view>

namespace plat {

inline constexpr std::string_view kDevicePathPrefix = "\\\\.\\";

// "COM3" -> "\\.\COM3".
inline std::string DevicePathOf(std::string_view port) { return std::string(kDevicePathPrefix) += port; }
// "\\.\COM3" -> "COM3": the prefix comes off once; a name without it stays as it is.
inline std::string_view PortNameOf(std::string_view devicePath) {
  return devicePath.substr(devicePath.starts_with(kDevicePathPrefix) ? kDevicePathPrefix.size() : 0);
}
// Whether name can name a device inside the device folder: no '\', a '/' only where devices
// may sit in sub-folders (subFolders), and no part between '/' that is empty, "." or "..".
bool IsPortName(std::string_view name, bool subFolders);
// The port name in a --port argument: "NAME", "\\.\NAME", or, where devices are files in
// deviceFolder ("/dev/"), that folder's path of the device; empty for anything else.
std::string PortNameOfArgument(std::string_view argument, std::string_view deviceFolder);

}  // namespace plat
