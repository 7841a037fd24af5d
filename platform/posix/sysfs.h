// Reading the serial ttys of a Linux machine from sysfs.
//
// Linux has no registry and no MS-DOS device names; what the tool needs from them (which serial
// ports exist, and which of them belongs to which USB converter) is in sysfs instead. This file
// only reads: it lists the ttys under <root>/class/tty that have a real device behind them and,
// for USB ones, the identity of the USB device (vendor, product, serial, interface). How those
// ttys are named in the Win32 view lives in sysfs_ports.h.
//
// The root is a parameter ("/sys" in production) so that tests run on fake trees. Nothing here
// raises: an unreadable directory gives an empty list, a missing attribute an empty optional.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::posix {

// The USB device a serial tty belongs to, found by walking up from the tty's device.
struct UsbIdentity {
  std::string vendorId;                    // idVendor as sysfs writes it: four hex digits, "0403"
  std::string productId;                   // idProduct, "6001"
  std::optional<std::string> serial;       // "serial"; absent when missing, unreadable or empty
  std::optional<std::string> manufacturer; // "manufacturer"
  std::optional<std::string> product;      // "product"
  std::optional<int> interfaceNumber;      // bInterfaceNumber of the interface the tty hangs on
  std::string deviceName;                  // the USB device's sysfs directory name, "1-1.2"
};

struct SerialTty {
  std::string name;                 // "ttyUSB0"
  std::string driver;               // the driver bound to the tty's device ("ftdi_sio"), or ""
  std::optional<UsbIdentity> usb;   // absent for non-USB ports and when sysfs does not say
};

// True for the names of the serial ttys that can be in the port map: "ttyUSB", "ttyACM" or
// "ttyS" followed by one or more decimal digits and nothing else.
bool IsSerialTtyName(std::string_view name);

// The natural order of tty names: the letters compare as text, the trailing numbers as numbers
// (ttyACM0 < ttyS0 < ttyS1 < ttyUSB2 < ttyUSB10).
bool NaturalLess(std::string_view a, std::string_view b);

// Reads one sysfs attribute (at most 4 KiB), without its trailing newline. Empty optional when
// the file cannot be read.
std::optional<std::string> ReadAttribute(const std::string& path);

// Whether a tty of this name under <sysfsRoot>/class/tty belongs in the port map: ttyUSB* and
// ttyACM* always; ttyS* only when its "type" attribute reads as a number other than 0 (0 is a
// UART slot with no hardware; a ttyS without a readable type is left out).
bool BelongsInPortMap(const std::string& sysfsRoot, std::string_view name);

// Every tty under <sysfsRoot>/class/tty that belongs in the port map, in natural order, with
// what sysfs tells about its device. USB identity: <tty>/device is resolved (a symlink in real
// sysfs) and its directories are walked upwards, never above the sysfs root, until one has
// both idVendor and idProduct; the first bInterfaceNumber met on the way is the interface.
std::vector<SerialTty> ScanSerialTtys(const std::string& sysfsRoot);

}  // namespace plat::posix
