// The system API on Linux: the machine as the tool's Win32 code expects to see it.
//
//   registry     a read-only HKEY_LOCAL_MACHINE built from sysfs at every RegOpenKeyExA of a
//                path below HKEY_LOCAL_MACHINE (so it is always current; a key handle keeps the
//                tree it was opened in, so enumerating through it is stable). Layout in
//                registry_sysfs.h, naming rules in sysfs_ports.h.
//   device names QueryDosDeviceA(null): the port map's port names ("ttyUSB0"), then one
//                "FTDIBUS#VID_0403+PID_6001+<serial>A#0000#{86e0d1e0-...}" name per FTDI port
//                with a serial. QueryDosDeviceA(name) gives the device file ("/dev/ttyUSB0").
//   notification device nodes appearing in and leaving the dev root (devwatch.h) become the
//                port broadcasts Windows sends (DEV_BROADCAST_PORT_A: type 3, the port name at
//                offset 12), posted to every registered sink. A node is reported when it
//                belongs in the port map by its name (and, for a ttyS, by its sysfs "type").
//   priorities   priority classes are the process's nice value (IDLE 19, NORMAL 0, HIGH -10,
//                REALTIME -20); never a real-time scheduling policy. A thread priority is only
//                checked: Linux keeps a nice value per kernel thread id, which a
//                std::thread's native handle does not give to the creating thread.
//   sounds       there is no speaker to drive: a BEL goes to stderr when it is a terminal.
//   version      the running program's version is the project version compiled into it.
//
// The sysfs and dev roots are parameters so that tests run on fake trees; the system calls that
// can fail for reasons a test cannot arrange (permissions) go through SystemCalls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/handletable.h"
#include "platform/platform.h"

namespace plat::posix {

class DevWatch;
class RegKey;

struct SystemCalls {
  int (*getpriority)(int which, id_t who);
  int (*setpriority)(int which, id_t who, int value);
  int (*isatty)(int fd);
  ssize_t (*write)(int fd, const void* data, size_t size);
  char* (*getcwd)(char* buffer, size_t size);
  ssize_t (*readlink)(const char* path, char* buffer, size_t size);
};

// The real calls of the C library.
SystemCalls RealSystemCalls();

class System : public SystemApi {
 public:
  explicit System(KernelApi& kernel, std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                  SystemCalls calls = RealSystemCalls());
  // Ends device notification (joins the watch thread). Open key handles become invalid.
  ~System() override;

  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Registry: Win32 semantics (registry.h). root is HKEY_LOCAL_MACHINE or a key opened here.
  LONG RegOpenKeyExA(HKEY root, const char* path, HKEY* key) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) override;
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                     BYTE* data, DWORD* dataLength) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) override;
  // The registry is a view of sysfs: an existing key cannot be opened for writing
  // (ERROR_ACCESS_DENIED) and no value can be set.
  LONG RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* key) override;
  LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                      DWORD size) override;

  // The count stored, NULs included; 0 with ERROR_INSUFFICIENT_BUFFER when the list does not
  // fit (the buffer is then untouched), ERROR_FILE_NOT_FOUND for an unknown name. Names compare
  // case-insensitively.
  DWORD QueryDosDeviceA(const char* name, char* buffer, DWORD size) override;

  // 0 / FALSE with the Win32 error of the failed call (5 without the permission to raise the
  // priority); an unknown class is ERROR_INVALID_PARAMETER. Setting the class that the last
  // GetPriorityClass returned sets the exact nice value it read (a process started with nice 10
  // reads as IDLE and is put back at 10, not 19).
  DWORD GetPriorityClass() override;
  BOOL SetPriorityClass(DWORD priorityClass) override;
  // Checks the priority (see the file comment). FALSE with ERROR_INVALID_HANDLE for thread 0,
  // ERROR_INVALID_PARAMETER for a value that is not a THREAD_PRIORITY_ constant.
  BOOL SetThreadPriority(std::uintptr_t thread, int priority) override;

  // Always TRUE. Beep also sleeps for its duration through the kernel, as Windows' Beep blocks.
  BOOL MessageBeep(UINT type) override;
  BOOL Beep(DWORD frequency, DWORD duration) override;

  // Only the running program (any path that resolves to it) has a version: other existing files
  // give 0 with 1813 (no version resource), missing ones ERROR_FILE_NOT_FOUND.
  // GetFileVersionInfoA fails with ERROR_INSUFFICIENT_BUFFER rather than store a cut block.
  DWORD GetFileVersionInfoSizeA(const char* path) override;
  BOOL GetFileVersionInfoA(const char* path, DWORD size, void* block) override;
  // Only the root block "\" exists.
  BOOL VerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length) override;
  // /proc/self/exe resolved; "" when it cannot be read.
  std::string ProgramPath() override;
  bool CurrentDirectory(std::string& directory) override;

  // The filter is not inspected: port broadcasts go to every registration, as Windows sends
  // them to every top-level window. The first registration starts watching the dev root; null
  // with the Win32 error when that is impossible (ERROR_FILE_NOT_FOUND for a missing dev root),
  // ERROR_INVALID_PARAMETER for a null sink. Unregistering returns only when no broadcast is
  // being delivered to that sink any more; the last one stops the watch and joins its thread.
  // A sink must not unregister from inside PostDeviceChange.
  HANDLE RegisterDeviceNotificationA(MessageSink* sink, const void* filter, DWORD flags) override;
  BOOL UnregisterDeviceNotification(HANDLE registration) override;

 private:
  struct OpenKey {
    std::shared_ptr<const RegKey> tree;
    const RegKey* key = nullptr;
  };
  std::shared_ptr<const RegKey> BuildRegistry() const;
  // The key behind a handle (HKEY_LOCAL_MACHINE: a fresh tree); null when unknown.
  std::optional<OpenKey> Resolve(HKEY key);
  bool IsProgram(const char* path, DWORD& error);
  void Deliver(std::uint64_t generation, const std::string& port, bool arrived);
  void Ring();

  KernelApi& kernel_;
  const std::string sysfsRoot_;
  const std::string devRoot_;
  const SystemCalls calls_;
  HandleTable<OpenKey> keys_{0x40000};

  mutable std::mutex stateMutex_;
  std::optional<std::pair<DWORD, int>> lastRead_;  // class and nice of the last GetPriorityClass

  std::mutex notifyMutex_;
  std::map<std::uintptr_t, MessageSink*> sinks_;
  std::uintptr_t nextRegistration_ = 0x50000;  // never reused
  std::uint64_t watchGeneration_ = 0;          // broadcasts of older watches are dropped
  std::unique_ptr<DevWatch> watch_;
};

}  // namespace plat::posix
