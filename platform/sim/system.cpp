#include "platform/sim/system.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>

namespace sim {

namespace {

constexpr DWORD kResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
constexpr DWORD kBelowNormalPriorityClass = 0x4000;
constexpr DWORD kAboveNormalPriorityClass = 0x8000;
constexpr DWORD kNotifyAllInterfaceClasses = 0x4;  // DEVICE_NOTIFY_ALL_INTERFACE_CLASSES
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
constexpr DWORD kVosNtWindows32 = 0x00040004;
constexpr DWORD kVftApp = 0x1;

// The version block GetFileVersionInfoA copies out: a tag, whether its root query fails, and
// the fixed record.
struct VersionBlock {
  char tag[4];
  std::uint32_t rootUnreadable;
  plat::FixedFileInfo info;
};
constexpr char kVersionTag[4] = {'S', 'V', 'E', 'R'};

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

void PutDword(std::vector<std::uint8_t>& bytes, std::size_t offset, DWORD value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

std::vector<std::uint8_t> PortBroadcast(const std::string& portName) {
  std::vector<std::uint8_t> bytes(12 + portName.size() + 1, 0);
  PutDword(bytes, 0, static_cast<DWORD>(bytes.size()));
  PutDword(bytes, 4, DBT_DEVTYP_PORT);
  std::memcpy(bytes.data() + 12, portName.c_str(), portName.size());
  return bytes;
}

std::vector<std::uint8_t> InterfaceBroadcast(const GUID& classGuid, const std::string& path) {
  std::vector<std::uint8_t> bytes(28 + path.size() + 1, 0);
  PutDword(bytes, 0, static_cast<DWORD>(bytes.size()));
  PutDword(bytes, 4, DBT_DEVTYP_DEVICEINTERFACE);
  std::memcpy(bytes.data() + 12, &classGuid, sizeof classGuid);
  std::memcpy(bytes.data() + 28, path.c_str(), path.size());
  return bytes;
}

System::System(Scheduler& scheduler, Kernel& kernel) : scheduler_(scheduler), kernel_(kernel) {}

// --- the machine description ---

void System::AddDosDevice(const std::string& name, const std::string& target) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& entry : dosDevices_) {
    if (SameName(entry.first, name)) {
      entry.second = target;
      return;
    }
  }
  dosDevices_.emplace_back(name, target);
}

bool System::RemoveDosDevice(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::erase_if(dosDevices_, [&](const auto& e) { return SameName(e.first, name); }) > 0;
}

void System::SetFileVersion(WORD major, WORD minor, WORD release, WORD build) {
  std::lock_guard<std::mutex> lock(mutex_);
  version_ = plat::FixedFileInfo{};
  version_.dwSignature = kFixedFileInfoSignature;
  version_.dwStrucVersion = 0x00010000;
  version_.dwFileVersionMS = (static_cast<DWORD>(major) << 16) | minor;
  version_.dwFileVersionLS = (static_cast<DWORD>(release) << 16) | build;
  version_.dwProductVersionMS = version_.dwFileVersionMS;
  version_.dwProductVersionLS = version_.dwFileVersionLS;
  version_.dwFileFlagsMask = 0x3F;
  version_.dwFileOS = kVosNtWindows32;
  version_.dwFileType = kVftApp;
  versionState_ = VersionState::Readable;
}

void System::ClearFileVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  versionState_ = VersionState::None;
}

void System::SetUnreadableFileVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  versionState_ = VersionState::Unreadable;
}

void System::SetProgramPath(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  programPath_ = std::move(path);
}

void System::BroadcastDeviceChange(WPARAM event, const std::string& portName,
                                   const std::string& interfacePath) {
  std::vector<plat::MessageSink*> portSinks;
  std::vector<plat::MessageSink*> interfaceSinks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::set<plat::MessageSink*> seen;
    for (const auto& [handle, registration] : registrations_) {
      if (seen.insert(registration.sink).second) portSinks.push_back(registration.sink);
      if ((registration.flags & kNotifyAllInterfaceClasses) != 0 ||
          std::memcmp(&registration.classGuid, &kUsbDeviceInterface, sizeof(GUID)) == 0) {
        interfaceSinks.push_back(registration.sink);
      }
    }
  }
  const auto sendInterface = [&] {
    if (interfacePath.empty()) return;
    for (plat::MessageSink* sink : interfaceSinks) {
      sink->PostDeviceChange(event, InterfaceBroadcast(kUsbDeviceInterface, interfacePath));
    }
  };
  // A converter's USB device comes before its port and goes after it.
  if (event == DBT_DEVICEARRIVAL) sendInterface();
  for (plat::MessageSink* sink : portSinks) sink->PostDeviceChange(event, PortBroadcast(portName));
  if (event != DBT_DEVICEARRIVAL) sendInterface();
}

// --- SystemApi ---

LONG System::RegOpenKeyExA(HKEY root, const char* path, HKEY* key) {
  return registry_.OpenKey(root, path, key);
}

LONG System::RegCloseKey(HKEY key) { return registry_.CloseKey(key); }

LONG System::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                              DWORD* size) {
  return registry_.QueryValue(key, name, type, data, size);
}

LONG System::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                           BYTE* data, DWORD* dataLength) {
  return registry_.EnumValue(key, index, name, nameLength, type, data, dataLength);
}

LONG System::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) {
  return registry_.EnumKey(key, index, name, nameLength);
}

LONG System::RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* key) {
  return registry_.OpenKeyForWrite(root, path, key);
}

LONG System::RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                            DWORD size) {
  return registry_.SetValueEx(key, name, type, data, size);
}

void System::SetDeviceListHook(std::function<void(bool taken)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  deviceListHook_ = std::move(hook);
}

DWORD System::QueryDosDeviceA(const char* name, char* buffer, DWORD size) {
  std::function<void(bool)> hook;
  if (name == nullptr) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = deviceListHook_;
    }
    if (hook) hook(false);
  }
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (name == nullptr) {
      for (const auto& entry : dosDevices_) text += entry.first + '\0';
    } else {
      auto it = std::find_if(dosDevices_.begin(), dosDevices_.end(),
                             [&](const auto& e) { return SameName(e.first, name); });
      if (it == dosDevices_.end()) {
        kernel_.SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
      }
      text = it->second + '\0';
    }
  }
  text += '\0';
  if (hook) hook(true);
  if (buffer == nullptr || size < text.size()) {
    kernel_.SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.data(), text.size());
  return static_cast<DWORD>(text.size());
}

DWORD System::GetPriorityClass() {
  std::lock_guard<std::mutex> lock(mutex_);
  return priorityClass_;
}

BOOL System::SetPriorityClass(DWORD priorityClass) {
  static constexpr DWORD kValid[] = {IDLE_PRIORITY_CLASS,       kBelowNormalPriorityClass,
                                     NORMAL_PRIORITY_CLASS,     kAboveNormalPriorityClass,
                                     HIGH_PRIORITY_CLASS,       REALTIME_PRIORITY_CLASS};
  if (std::find(std::begin(kValid), std::end(kValid), priorityClass) == std::end(kValid)) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  priorityClass_ = priorityClass;
  return TRUE;
}

BOOL System::SetThreadPriority(std::uintptr_t /*thread*/, int priority) {
  const bool valid = priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL ||
                     (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST);
  if (!valid) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL System::MessageBeep(UINT /*type*/) { return TRUE; }

BOOL System::Beep(DWORD frequency, DWORD duration) {
  if (frequency < 37 || frequency > 32767) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The call returns when the tone has ended.
  if (duration != 0) kernel_.Sleep(duration);
  return TRUE;
}

DWORD System::VersionError(const char* path) const {
  if (path == nullptr) return ERROR_INVALID_PARAMETER;
  if (path != programPath_) return ERROR_FILE_NOT_FOUND;
  if (versionState_ == VersionState::None) return kResourceTypeNotFound;
  return 0;
}

DWORD System::GetFileVersionInfoSizeA(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (const DWORD error = VersionError(path); error != 0) {
    kernel_.SetLastError(error);
    return 0;
  }
  return sizeof(VersionBlock);
}

BOOL System::GetFileVersionInfoA(const char* path, DWORD size, void* block) {
  std::lock_guard<std::mutex> lock(mutex_);
  DWORD error = VersionError(path);
  if (error == 0 && block == nullptr) error = ERROR_INVALID_PARAMETER;
  if (error == 0 && size < sizeof(VersionBlock)) error = ERROR_INSUFFICIENT_BUFFER;
  if (error != 0) {
    kernel_.SetLastError(error);
    return FALSE;
  }
  VersionBlock copy{};
  std::memcpy(copy.tag, kVersionTag, sizeof kVersionTag);
  copy.rootUnreadable = versionState_ == VersionState::Unreadable ? 1 : 0;
  copy.info = version_;
  std::memcpy(block, &copy, sizeof copy);
  return TRUE;
}

BOOL System::VerQueryValueA(const void* block, const char* subBlock, void** value,
                            UINT* length) {
  if (block == nullptr || subBlock == nullptr || value == nullptr || length == nullptr) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The answer points into the caller's block, as the Win32 call's does.
  auto* data = static_cast<VersionBlock*>(const_cast<void*>(block));
  if (std::memcmp(data->tag, kVersionTag, sizeof kVersionTag) != 0 ||
      std::strcmp(subBlock, "\\") != 0 || data->rootUnreadable != 0) {
    kernel_.SetLastError(kResourceTypeNotFound);
    return FALSE;
  }
  *value = &data->info;
  *length = sizeof(plat::FixedFileInfo);
  return TRUE;
}

std::string System::ProgramPath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return programPath_;
}

bool System::CurrentDirectory(std::string& directory) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::current_path(error);
  if (error) return false;
  directory = path.string();
  return true;
}

HANDLE System::RegisterDeviceNotificationA(plat::MessageSink* sink, const void* filter,
                                           DWORD flags) {
  const auto* header = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
  if (sink == nullptr || header == nullptr ||
      header->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uintptr_t value = nextRegistration_;
  nextRegistration_ += 4;
  registrations_[value] = Registration{sink, header->dbcc_classguid, flags};
  return reinterpret_cast<HANDLE>(value);
}

BOOL System::UnregisterDeviceNotification(HANDLE registration) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (registrations_.erase(reinterpret_cast<std::uintptr_t>(registration)) == 0) {
    kernel_.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace sim
