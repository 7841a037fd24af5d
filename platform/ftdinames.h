// How the FTDI converter's Windows driver names a converter instance, in one place: the device
// name it publishes in the MS-DOS device list, and the instance's key under
// SYSTEM\CurrentControlSet\Enum where it keeps "Device Parameters" (PortName, LatencyTimer).
// The search builds the key from the name it found; the Linux sysfs view and the simulated
// machine publish names and keys of the same form, so all three meet here.
//
//   device id      VID_0403+PID_6001+A50285BIA   (USB ids, then the instance id)
//   device name    FTDIBUS#VID_0403+PID_6001+A50285BIA#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}
//   instance key   FTDIBUS\VID_0403+PID_6001+A50285BIA\0000   (below ...\Enum)
//
// The instance id is the chip's serial number followed by its interface letter (A for the one
// interface of an FT232R). A chip without a serial number is named by where it is plugged in,
// as Windows names any USB device without one: "5&1C4A9D3E&0&2", the hub's prefix (its tier
// in the tree, a hash of the hub, 0) and the port on that hub.
#pragma once

#include <string>
#include <string_view>

namespace plat::ftdi {

// The bus enumerator of the driver: the first part of its device names and instance keys.
inline constexpr std::string_view kEnumerator = "FTDIBUS";
// The device id's start for the board's converter (USB 0403:6001).
inline constexpr std::string_view kConverterIdPrefix = "VID_0403+PID_6001+";
// The start of the board's converter's device name: "FTDIBUS#VID_0403+PID_6001+".
inline constexpr std::string_view kConverterNamePrefix = "FTDIBUS#VID_0403+PID_6001+";
// The interface class that ends a device name.
inline constexpr std::string_view kInterfaceClass = "{86e0d1e0-8089-11d0-9ce4-08002be10318}";
// The driver's one port instance of a single-interface chip.
inline constexpr std::string_view kFirstInstance = "0000";

// "VID_0403+PID_6001+<instanceId>": vendorId and productId as four upper-case hex digits.
std::string DeviceId(std::string_view vendorId, std::string_view productId,
                     std::string_view instanceId);
// The instance id of a converter without a serial number on port `port` of the hub `hub`
// (any text naming the hub for good, such as its Linux sysfs name "1-1"), `tier` hubs below
// the host controller (1 for a root hub's port). The hash is our own (FNV-1a of hub), so the
// id is stable for one place of plugging but not the number Windows would compute.
std::string LocationInstanceId(std::string_view hub, unsigned port, unsigned tier);
// The board's converter's device id for an instance id.
std::string ConverterDeviceId(std::string_view instanceId);
// "FTDIBUS#<deviceId>#<instance>#{86e0d1e0-...}".
std::string DeviceName(std::string_view deviceId, std::string_view instance = kFirstInstance);
// "FTDIBUS\<deviceId>\0000", relative to SYSTEM\CurrentControlSet\Enum.
std::string InstanceKey(std::string_view deviceId);
// The full path of the board's converter's "Device Parameters" key for an instance id, as the
// search opens it: "System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+<id>\0000\Device
// Parameters".
std::string ConverterParametersKey(std::string_view instanceId);

}  // namespace plat::ftdi
