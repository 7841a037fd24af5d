// The system API on Linux: sysfs as registry and device-name source. (Interim: every call fails
// until the Linux system view lands.)
#pragma once

#include "platform/posix/kernel.h"

namespace plat::posix {

class System : public SystemApi {
 public:
  explicit System(Kernel& kernel) : kernel_(kernel) {}
  LONG RegOpenKeyExA(HKEY root, const char* path, HKEY* key) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) override;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data, DWORD* dataLength) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) override;
  DWORD QueryDosDeviceA(const char* name, char* buffer, DWORD size) override;
  DWORD GetPriorityClass() override;
  BOOL SetPriorityClass(DWORD priorityClass) override;
  BOOL SetThreadPriority(std::uintptr_t thread, int priority) override;
  BOOL MessageBeep(UINT type) override;
  BOOL Beep(DWORD frequency, DWORD duration) override;
  DWORD GetFileVersionInfoSizeA(const char* path) override;
  BOOL GetFileVersionInfoA(const char* path, DWORD size, void* block) override;
  BOOL VerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length) override;
  std::string ProgramPath() override;
  bool CurrentDirectory(std::string& directory) override;
  HANDLE RegisterDeviceNotificationA(MessageSink* sink, const void* filter, DWORD flags) override;
  BOOL UnregisterDeviceNotification(HANDLE registration) override;

 private:
  Kernel& kernel_;
};

}  // namespace plat::posix
