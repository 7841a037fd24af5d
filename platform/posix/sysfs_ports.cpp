#include "platform/posix/sysfs_ports.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/ftdinames.h"

namespace plat::posix {

namespace {

constexpr std::string_view kFtdiDriver = "ftdi_sio";
constexpr std::string_view kFtdiVendor = "0403";
constexpr int kMaxInterfaceLetters = 26;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// sysfs writes USB ids as four lower-case hex digits; anything else means the tree is damaged.
bool IsUsbId(std::string_view id) {
  if (id.size() != 4) return false;
  for (char c : id) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string FriendlyName(const std::string& tty) {
  const char* kind = "Communications Port";
  if (tty.rfind("ttyUSB", 0) == 0) kind = "USB Serial Port";
  if (tty.rfind("ttyACM", 0) == 0) kind = "USB Serial Device";
  return std::string(kind) + " (" + tty + ")";
}

// The key of an FTDIBUS instance, or "" when the port cannot have one: the serial number and
// the interface letter, or for a single-interface chip without a serial number its location.
std::string FtdiBusDevice(const SerialTty& tty, const UsbIdentity& usb) {
  const bool ftdi = tty.driver == kFtdiDriver || usb.vendorId == kFtdiVendor;
  if (!ftdi || !usb.interfaceNumber) return {};
  if (*usb.interfaceNumber < 0 || *usb.interfaceNumber >= kMaxInterfaceLetters) return {};
  std::string instance;
  if (usb.serial) {
    instance = SanitizeInstanceText(*usb.serial) + static_cast<char>('A' + *usb.interfaceNumber);
  } else if (*usb.interfaceNumber == 0) {
    instance = UsbLocationInstance(usb.deviceName);
  }
  if (instance.empty()) return {};
  return ftdi::DeviceId(Upper(usb.vendorId), Upper(usb.productId), instance);
}

std::string UsbDevice(const UsbIdentity& usb) {
  std::string device = "VID_" + Upper(usb.vendorId) + "&PID_" + Upper(usb.productId);
  if (usb.interfaceNumber && *usb.interfaceNumber > 0) {
    char mi[16];
    std::snprintf(mi, sizeof mi, "&MI_%02X", static_cast<unsigned>(*usb.interfaceNumber & 0xFF));
    device += mi;
  }
  return device;
}

}  // namespace

std::string SanitizeInstanceText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool bad = u <= 0x20 || u >= 0x7F || c == '\\' || c == '/' || c == '#' || c == ',';
    out.push_back(bad ? '_' : c);
  }
  return out;
}

std::string UsbLocationInstance(const std::string& deviceName) {
  const size_t dash = deviceName.find('-');
  if (dash == 0 || dash == std::string::npos) return {};
  if (deviceName.find_first_not_of("0123456789") != dash ||
      deviceName.find_first_not_of("0123456789.", dash + 1) != std::string::npos) {
    return {};
  }
  const size_t last = deviceName.find_last_of("-.");
  const std::string port = deviceName.substr(last + 1);
  if (port.empty() || port.size() > 3 ||
      port.find_first_not_of("0123456789") != std::string::npos) {
    return {};
  }
  const std::string hub =
      last == dash ? "usb" + deviceName.substr(0, dash) : deviceName.substr(0, last);
  const auto tier = static_cast<unsigned>(1 + std::count(deviceName.begin(), deviceName.end(), '.'));
  return ftdi::LocationInstanceId(hub, static_cast<unsigned>(std::stoi(port)), tier);
}

std::vector<PortView> DescribePorts(const std::vector<SerialTty>& ttys) {
  std::vector<PortView> ports;
  std::set<std::string> usedKeys;  // upper-cased enumerator\device\instance
  auto keyOf = [](const PortView& p) { return Upper(p.enumerator + "\\" + p.device + "\\" + p.instance); };

  for (const SerialTty& tty : ttys) {
    PortView port;
    port.portName = tty.name;
    port.friendlyName = FriendlyName(tty.name);
    const bool usbValid = tty.usb && IsUsbId(tty.usb->vendorId) && IsUsbId(tty.usb->productId);

    if (usbValid) {
      const UsbIdentity& usb = *tty.usb;
      port.manufacturer = usb.manufacturer.value_or("");
      port.product = usb.product.value_or("");
      port.enumerator = ftdi::kEnumerator;
      port.device = FtdiBusDevice(tty, usb);
      port.instance = "0000";
      port.ftdiBus = !port.device.empty() && !usedKeys.count(keyOf(port));
      if (!port.ftdiBus) {
        port.enumerator = "USB";
        port.device = UsbDevice(usb);
        port.instance = SanitizeInstanceText(usb.serial.value_or(usb.deviceName));
      }
    } else if (tty.name.rfind("ttyS", 0) == 0) {
      port.enumerator = "ACPI";
      port.device = "PNP0501";
      port.instance = tty.name.substr(4);
    } else {
      port.enumerator = "ROOT";
      port.device = "PORTS";
      port.instance = tty.name;
    }
    if (port.instance.empty() || usedKeys.count(keyOf(port))) {
      port.instance += "&" + tty.name;  // tty names are unique, so this key is too
    }
    usedKeys.insert(keyOf(port));
    ports.push_back(std::move(port));
  }
  return ports;
}

std::string FtdiBusDeviceName(const PortView& port) {
  return ftdi::DeviceName(port.device, port.instance);
}

}  // namespace plat::posix
