// Helpers for the tests of the POSIX system view: the fake sysfs trees, a kernel that records
// sleeps instead of sleeping, and readers that walk the registry and device list as the
// component does.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/kernel.h"
#include "platform/posix/system.h"

namespace plat::posix::testing {

// A file of the source tree. ctest names the tree in LCDWRITE_SOURCE_DIR; a program started by
// hand falls back to this header's own path, which is only absolute when the compiler was given
// an absolute one (a compiler cache may pass a relative path).
inline std::filesystem::path SourcePath(const std::string& relative) {
  if (const char* source = std::getenv("LCDWRITE_SOURCE_DIR"))
    return std::filesystem::path(source) / relative;
  return std::filesystem::path(__FILE__).parent_path() / "../../.." / relative;
}

// The root of a fake sysfs tree under tests/platform/posix/sysfs.
inline std::string TreePath(const std::string& tree) {
  return SourcePath("tests/platform/posix/sysfs/" + tree).native();
}

struct RecordingKernel : Kernel {
  std::vector<DWORD> sleeps;
  void Sleep(DWORD milliseconds) override { sleeps.push_back(milliseconds); }
};

// The names of a NUL-separated list of count characters.
inline std::vector<std::string> SplitMultiString(const char* buffer, DWORD count) {
  std::vector<std::string> names;
  std::string current;
  for (DWORD i = 0; i < count; ++i) {
    if (buffer[i] != '\0') {
      current += buffer[i];
    } else if (!current.empty()) {
      names.push_back(current);
      current.clear();
    }
  }
  return names;
}

inline std::vector<std::string> DosDevices(SystemApi& system) {
  std::vector<char> buffer(0xFFFF);
  const DWORD count = system.QueryDosDeviceA(nullptr, buffer.data(), 0xFFFF);
  return SplitMultiString(buffer.data(), count);
}

inline std::vector<std::string> SubkeyNames(SystemApi& system, HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    if (system.RegEnumKeyExA(key, index, name, &length) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// A REG_SZ value's text; "<missing>" when it cannot be read.
inline std::string StringValue(SystemApi& system, const std::string& path, const char* value) {
  HKEY key = nullptr;
  if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) {
    return "<missing>";
  }
  char data[200];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  const LONG result = system.RegQueryValueExA(key, value, &type, reinterpret_cast<BYTE*>(data), &size);
  system.RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ || size == 0) return "<missing>";
  return std::string(data, size - 1);
}

// The port map's data, in index order.
inline std::vector<std::string> PortMap(SystemApi& system) {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\HARDWARE\\DEVICEMAP\\SERIALCOMM", &key) != 0) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof name;
    char data[256];
    DWORD dataLength = sizeof data;
    DWORD type = REG_NONE;
    if (system.RegEnumValueA(key, index, name, &nameLength, &type, reinterpret_cast<BYTE*>(data),
                             &dataLength) != ERROR_SUCCESS) {
      break;
    }
    if (type == REG_SZ) ports.emplace_back(data);
  }
  system.RegCloseKey(key);
  return ports;
}

// "enumerator\device\instance = FriendlyName" for every instance of the ports class, depth
// first in registry order.
inline std::vector<std::string> PortInstances(SystemApi& system) {
  std::vector<std::string> found;
  const std::string root = "\\SYSTEM\\CurrentControlSet\\Enum";
  auto children = [&](const std::string& path) {
    HKEY key = nullptr;
    if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != 0) {
      return std::vector<std::string>{};
    }
    auto names = SubkeyNames(system, key);
    system.RegCloseKey(key);
    return names;
  };
  for (const auto& enumerator : children(root)) {
    for (const auto& device : children(root + "\\" + enumerator)) {
      for (const auto& instance : children(root + "\\" + enumerator + "\\" + device)) {
        const std::string path = enumerator + "\\" + device + "\\" + instance;
        if (StringValue(system, root + "\\" + path, "ClassGUID") !=
            "{4D36E978-E325-11CE-BFC1-08002BE10318}") {
          continue;
        }
        found.push_back(path + " = " + StringValue(system, root + "\\" + path, "FriendlyName"));
      }
    }
  }
  return found;
}

}  // namespace plat::posix::testing
