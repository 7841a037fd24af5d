#include "platform/posix/sysfs.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace plat::posix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSerialPrefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
constexpr std::size_t kMaxAttributeBytes = 4096;
// Real sysfs has the USB device three levels above a ttyUSB's device; this bounds the walk
// on a broken or looping fake tree.
constexpr int kMaxWalkLevels = 16;

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<long> ParseNumber(const std::optional<std::string>& text, int base) {
  if (!text || text->empty()) return std::nullopt;
  long value = 0;
  const char* end = text->data() + text->size();
  auto [ptr, ec] = std::from_chars(text->data(), end, value, base);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<std::string> NonEmpty(std::optional<std::string> text) {
  if (text && text->empty()) return std::nullopt;
  return text;
}

bool IsUnder(const fs::path& path, const fs::path& root) {
  const std::string& p = path.native();
  const std::string& r = root.native();
  if (p.size() < r.size() || p.compare(0, r.size(), r) != 0) return false;
  return p.size() == r.size() || r.back() == '/' || p[r.size()] == '/';
}

SerialTty Describe(const fs::path& rootCanonical, const fs::path& ttyDir, std::string name) {
  SerialTty tty;
  tty.name = std::move(name);
  std::error_code ec;
  const fs::path device = fs::canonical(ttyDir / "device", ec);
  if (ec || !IsUnder(device, rootCanonical)) return tty;

  const fs::path driver = fs::canonical(device / "driver", ec);
  if (!ec) tty.driver = driver.filename().native();

  std::optional<int> interfaceNumber;
  fs::path dir = device;
  for (int level = 0; level < kMaxWalkLevels && IsUnder(dir, rootCanonical); ++level) {
    if (!interfaceNumber) {
      if (auto number = ParseNumber(ReadAttribute(dir / "bInterfaceNumber"), 16)) {
        interfaceNumber = static_cast<int>(*number);
      }
    }
    auto vendor = ReadAttribute(dir / "idVendor");
    auto product = ReadAttribute(dir / "idProduct");
    if (vendor && product) {
      UsbIdentity usb;
      usb.vendorId = *vendor;
      usb.productId = *product;
      usb.serial = NonEmpty(ReadAttribute(dir / "serial"));
      usb.manufacturer = NonEmpty(ReadAttribute(dir / "manufacturer"));
      usb.product = NonEmpty(ReadAttribute(dir / "product"));
      usb.interfaceNumber = interfaceNumber;
      usb.deviceName = dir.filename().native();
      tty.usb = std::move(usb);
      break;
    }
    if (dir == dir.parent_path()) break;
    dir = dir.parent_path();
  }
  return tty;
}

}  // namespace

bool IsSerialTtyName(std::string_view name) {
  for (std::string_view prefix : kSerialPrefixes) {
    if (name.substr(0, prefix.size()) == prefix && IsDigits(name.substr(prefix.size()))) {
      return true;
    }
  }
  return false;
}

bool NaturalLess(std::string_view a, std::string_view b) {
  auto split = [](std::string_view s) {
    std::size_t i = s.size();
    while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
    return std::pair{s.substr(0, i), s.substr(i)};
  };
  auto [aText, aDigits] = split(a);
  auto [bText, bDigits] = split(b);
  if (aText != bText) return aText < bText;
  // Compare the numbers by value without converting them (they may not fit an integer).
  auto trim = [](std::string_view d) {
    while (d.size() > 1 && d.front() == '0') d.remove_prefix(1);
    return d;
  };
  std::string_view aNum = trim(aDigits);
  std::string_view bNum = trim(bDigits);
  if (aNum.size() != bNum.size()) return aNum.size() < bNum.size();
  if (aNum != bNum) return aNum < bNum;
  return aDigits < bDigits;  // "ttyS01" and "ttyS1": any fixed order
}

std::optional<std::string> ReadAttribute(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxAttributeBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

bool BelongsInPortMap(const std::string& sysfsRoot, std::string_view name) {
  if (!IsSerialTtyName(name)) return false;
  const bool uart = name.substr(0, 4) == "ttyS";
  if (!uart) return true;
  const std::string typePath = sysfsRoot + "/class/tty/" + std::string(name) + "/type";
  auto type = ParseNumber(ReadAttribute(typePath), 10);
  return type && *type != 0;
}

std::vector<SerialTty> ScanSerialTtys(const std::string& sysfsRoot) {
  std::vector<SerialTty> ttys;
  std::error_code ec;
  const fs::path rootCanonical = fs::canonical(sysfsRoot, ec);
  if (ec) return ttys;
  const fs::path classDir = rootCanonical / "class" / "tty";
  for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().native();
    if (!BelongsInPortMap(rootCanonical.native(), name)) continue;
    ttys.push_back(Describe(rootCanonical, it->path(), std::move(name)));
  }
  std::sort(ttys.begin(), ttys.end(),
            [](const SerialTty& a, const SerialTty& b) { return NaturalLess(a.name, b.name); });
  return ttys;
}

}  // namespace plat::posix
