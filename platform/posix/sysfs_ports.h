// How the serial ttys of a Linux machine appear in the Win32 view the tool was written for.
//
// Every serial tty becomes one device instance of the ports class, with the key path a Windows
// driver would give it under SYSTEM\CurrentControlSet\Enum:
//   - a port of an FTDI chip (driver ftdi_sio, or USB vendor 0403) with a serial number and a
//     known interface: FTDIBUS\VID_0403+PID_6001+<serial><letter>\0000, where the letter counts
//     the chip's interfaces A, B, ... (an FT232R has one: "A50285BI" gives "A50285BIA"). Only
//     these also get a device name "FTDIBUS#<device>#0000#{86e0d1e0-...}" in the MS-DOS device
//     list, which is where the tool looks for its converter. A single-interface FTDI chip
//     without a serial number is named by its USB location instead (platform/ftdinames.h):
//     FTDIBUS\VID_0403+PID_6001+5&1C4A9D3E&0&2\0000;
//   - any other USB serial port, and an FTDI port whose interface sysfs does not give (or a
//     multi-interface chip without a serial number):
//     USB\VID_vvvv&PID_pppp[&MI_ii]\<serial, or the USB device's sysfs name when it has none>;
//   - a ttyS: ACPI\PNP0501\<its number>;
//   - a ttyUSB/ttyACM whose USB device sysfs does not show: ROOT\PORTS\<tty name>.
// Two ttys never share a key: when a second FTDI port would repeat a serial-based name (cloned
// chips often carry the same serial), it falls back to the USB form and gets no device name,
// so the name the tool finds always leads to exactly one port.
//
// Characters a key or device name cannot carry (control characters, space, backslash, slash,
// '#', ',' and non-ASCII bytes), which a USB serial string may hold, become '_'.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/sysfs.h"

namespace plat::posix {

// The class identifier of the ports class, as Windows stores it in "ClassGUID".
inline constexpr std::string_view kPortsClassGuid = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

struct PortView {
  std::string portName;       // the tty name; the port map's data and the broadcasts' name
  std::string enumerator;     // "FTDIBUS", "USB", "ACPI", "ROOT"
  std::string device;         // "VID_0403+PID_6001+A50285BIA"
  std::string instance;       // "0000"
  std::string friendlyName;   // "USB Serial Port (ttyUSB0)"
  std::string manufacturer;   // from the USB device, "" when unknown
  std::string product;        // from the USB device, "" when unknown
  bool ftdiBus = false;       // has an FTDIBUS device name
};

// The Win32 view of the ttys, in their order (see the file comment for the rules).
std::vector<PortView> DescribePorts(const std::vector<SerialTty>& ttys);

// "FTDIBUS#VID_0403+PID_6001+A50285BIA#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}".
// Precondition: port.ftdiBus.
std::string FtdiBusDeviceName(const PortView& port);

// The instance id of a USB device without a serial number, from its sysfs name
// "<bus>-<port>[.<port>...]": its hub is the name without the last port ("usb<bus>" for a
// root hub's port). "" for a name of another form.
std::string UsbLocationInstance(const std::string& deviceName);

// text with every character a key or device name cannot carry replaced by '_'.
std::string SanitizeInstanceText(std::string_view text);

}  // namespace plat::posix
