// The system API of the simulated machine: its registry, its MS-DOS device names, process and
// thread priorities, sounds, the running program's file version and path, the current
// directory, and device-change notification.
//
// Beep blocks for its duration on the machine's clock, as the Win32 call does. The program's
// file version exists only for ProgramPath(); VerQueryValueA answers only the root block "\".
// Device-change broadcasts go to every registration: the port broadcast once per sink (Windows
// sends it to every top-level window), the device-interface broadcast once per registration
// whose filter names the USB device interface class (or all classes).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/kernel.h"
#include "platform/sim/registry.h"

namespace sim {

// GUID_DEVINTERFACE_USB_DEVICE, the class the serial port component registers for.
inline constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// The bytes of the broadcasts that WM_DEVICECHANGE carries.
std::vector<std::uint8_t> PortBroadcast(const std::string& portName);
std::vector<std::uint8_t> InterfaceBroadcast(const GUID& classGuid, const std::string& path);

class System : public plat::SystemApi {
 public:
  System(Scheduler& scheduler, Kernel& kernel);

  Registry& registry() { return registry_; }

  // --- the machine description ---
  // Appends a name to the MS-DOS device list (or changes the target of an existing one).
  void AddDosDevice(const std::string& name, const std::string& target);
  bool RemoveDosDevice(const std::string& name);
  // The program's file version; none at all; or a version block whose root query fails.
  void SetFileVersion(WORD major, WORD minor, WORD release, WORD build);
  void ClearFileVersion();
  void SetUnreadableFileVersion();
  void SetProgramPath(std::string path);
  // Sends a device-change broadcast (DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE) for a port
  // and, when interfacePath is not empty, for its USB device interface. Lock not held.
  void BroadcastDeviceChange(WPARAM event, const std::string& portName,
                             const std::string& interfacePath);
  // Called at every read of the whole device-name list (QueryDosDeviceA with no name): just
  // before the list is taken (taken false) and just after (taken true), on the reading thread,
  // without the lock; it may change the machine (plug a converter in, pull one). Tests use it
  // to change the machine at an exact moment of a program's scans. Null removes it.
  void SetDeviceListHook(std::function<void(bool taken)> hook);

  // --- SystemApi ---
  LONG RegOpenKeyExA(HKEY root, const char* path, HKEY* key) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                        DWORD* size) override;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                     BYTE* data, DWORD* dataLength) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) override;
  LONG RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* key) override;
  LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                      DWORD size) override;
  DWORD QueryDosDeviceA(const char* name, char* buffer, DWORD size) override;
  DWORD GetPriorityClass() override;
  BOOL SetPriorityClass(DWORD priorityClass) override;
  BOOL SetThreadPriority(std::uintptr_t thread, int priority) override;
  BOOL MessageBeep(UINT type) override;
  BOOL Beep(DWORD frequency, DWORD duration) override;
  DWORD GetFileVersionInfoSizeA(const char* path) override;
  BOOL GetFileVersionInfoA(const char* path, DWORD size, void* block) override;
  BOOL VerQueryValueA(const void* block, const char* subBlock, void** value,
                      UINT* length) override;
  std::string ProgramPath() override;
  bool CurrentDirectory(std::string& directory) override;
  HANDLE RegisterDeviceNotificationA(plat::MessageSink* sink, const void* filter,
                                     DWORD flags) override;
  BOOL UnregisterDeviceNotification(HANDLE registration) override;

 private:
  enum class VersionState { None, Readable, Unreadable };
  struct Registration {
    plat::MessageSink* sink = nullptr;
    GUID classGuid{};
    DWORD flags = 0;
  };
  // Checks a version query's path; 0 when it names the program and it has a version block.
  DWORD VersionError(const char* path) const;

  Scheduler& scheduler_;
  Kernel& kernel_;
  Registry registry_;

  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> dosDevices_;
  std::function<void(bool)> deviceListHook_;
  DWORD priorityClass_ = NORMAL_PRIORITY_CLASS;
  VersionState versionState_ = VersionState::None;
  plat::FixedFileInfo version_{};
  std::string programPath_ = "/sim/lcdwrite";
  std::map<std::uintptr_t, Registration> registrations_;
  std::uintptr_t nextRegistration_ = 0x7000;
};

}  // namespace sim
