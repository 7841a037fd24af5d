// The system API on Windows, passed straight through: the registry under HKEY_LOCAL_MACHINE,
// QueryDosDeviceA, the process's priority class, thread priorities, sounds, the
// file version resource, the program path and current directory, and device notification
// through the hidden device window.
#pragma once

#include "platform/win32/devicewindow.h"

namespace plat::win32 {

class System : public SystemApi {
 public:
  // Registry paths may begin with a backslash ("\HARDWARE\DEVICEMAP\SERIALCOMM"); the system
  // refuses that below HKEY_LOCAL_MACHINE, so it is dropped before the call.
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
  // thread: std::thread::native_handle() of the posix thread model, a winpthreads pthread_t;
  // its Win32 handle is looked up. FALSE with ERROR_INVALID_HANDLE when it has none.
  BOOL SetThreadPriority(std::uintptr_t thread, int priority) override;
  BOOL MessageBeep(UINT type) override;
  BOOL Beep(DWORD frequency, DWORD duration) override;
  DWORD GetFileVersionInfoSizeA(const char* path) override;
  BOOL GetFileVersionInfoA(const char* path, DWORD size, void* block) override;
  BOOL VerQueryValueA(const void* block, const char* subBlock, void** value,
                      UINT* length) override;
  // GetModuleFileNameA of the program, however long.
  std::string ProgramPath() override;
  bool CurrentDirectory(std::string& directory) override;
  HANDLE RegisterDeviceNotificationA(MessageSink* sink, const void* filter,
                                     DWORD flags) override;
  BOOL UnregisterDeviceNotification(HANDLE registration) override;

  // The hidden window that receives WM_DEVICECHANGE (created on first use; null on failure).
  HWND DeviceWindowHandle() { return deviceWindow_.Handle(); }

 private:
  DeviceWindow deviceWindow_;
};

}  // namespace plat::win32
