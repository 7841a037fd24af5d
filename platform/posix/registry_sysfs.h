// The registry a Windows machine would hold for the serial ports Linux has, built from their
// Win32 view (sysfs_ports.h). Under HKEY_LOCAL_MACHINE:
//   HARDWARE\DEVICEMAP\SERIALCOMM: one REG_SZ value per port, "\Device\ttyUSB0" = "ttyUSB0",
//     in the ports' order;
//   SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>: ClassGUID (the ports class),
//     FriendlyName, DeviceDesc and Mfg when the USB device names them, and below it
//     "Device Parameters" with PortName.
// Both keys exist even when there are no ports.
#pragma once

#include <memory>
#include <vector>

#include "platform/posix/registry.h"
#include "platform/posix/sysfs_ports.h"

namespace plat::posix {

inline constexpr std::string_view kSerialCommPath = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr std::string_view kEnumPath = "SYSTEM\\CurrentControlSet\\Enum";

// The HKEY_LOCAL_MACHINE tree for these ports.
std::unique_ptr<RegKey> BuildPortRegistry(const std::vector<PortView>& ports);

}  // namespace plat::posix
