// How a serial port is named, in one place. A port has two forms:
//
//   port name     COM3, ttyUSB0, serial/by-id/usb-...   what the user types and the port list
//                                                        shows; on Linux a path below /dev
//   device path   \\.\COM3, \\.\ttyUSB0                 what the serial API opens
//
// A --port argument becomes a port name once, checked here; the tool turns a port name into
// the device path here; each backend takes the port name back out of a device path here and
// maps it to its own device (Linux: the file below its device root; the simulated machine:
// its port of that name, case ignored; Windows opens the path as it is).
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The start of a device path: "\\.\".
inline constexpr std::string_view kDevicePathPrefix = "\\\\.\\";

// The port name in a --port argument: "NAME", "\\.\NAME" (the device path), or, where devices
// are files in deviceFolder ("/dev/"), that folder's path of the device. Empty when the
// argument names nothing inside the device folder (an absolute path elsewhere, "..", an empty
// name) or is no valid port name.
std::string PortNameOfArgument(std::string_view argument, std::string_view deviceFolder);

// Whether name can name a device inside the device folder: no '\', a '/' only where devices
// may sit in sub-folders (subFolders), and no part between '/' that is empty, "." or "..".
bool IsPortName(std::string_view name, bool subFolders);

// The device path of a port name: "COM3" -> "\\.\COM3".
std::string DevicePathOf(std::string_view portName);

// The port name inside a device path: "\\.\COM3" -> "COM3". The prefix is taken off once; a
// name without it is returned as it is (the serial API also opens "COM3").
std::string_view PortNameOf(std::string_view devicePath);

}  // namespace plat
