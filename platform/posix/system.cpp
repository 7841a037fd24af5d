#include "platform/posix/system.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/posix/devwatch.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/registry.h"
#include "platform/posix/registry_sysfs.h"
#include "platform/posix/sysfs.h"
#include "platform/posix/sysfs_ports.h"
#include "platform/posix/version.h"

namespace plat::posix {

namespace {

struct PriorityClassNice {
  DWORD priorityClass;
  int nice;
};
constexpr PriorityClassNice kPriorityClasses[] = {
    {IDLE_PRIORITY_CLASS, 19},
    {NORMAL_PRIORITY_CLASS, 0},
    {HIGH_PRIORITY_CLASS, -10},
    {REALTIME_PRIORITY_CLASS, -20},
};

constexpr int kThreadPriorities[] = {
    THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
    THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
    THREAD_PRIORITY_TIME_CRITICAL,
};

constexpr char kBell = '\a';
constexpr std::size_t kMaxPathBuffer = 1 << 16;

// The errno of the calls made here as a Win32 code (no call here has the meanings that the
// serial contexts distinguish; Open reads a missing path as "not found").
DWORD LastErrnoAsWin32() { return Win32FromErrno(errno, ErrnoContext::Open); }

HKEY ToKey(HANDLE handle) { return reinterpret_cast<HKEY>(handle); }
HANDLE ToHandle(HKEY key) { return reinterpret_cast<HANDLE>(key); }

// The bytes of a DEV_BROADCAST_PORT_A for a port name.
std::vector<std::uint8_t> PortBroadcast(const std::string& port) {
  const std::size_t header = offsetof(DEV_BROADCAST_PORT_A, dbcp_name);
  std::vector<std::uint8_t> bytes(header + port.size() + 1, 0);
  const auto size = static_cast<DWORD>(bytes.size());
  const DWORD type = DBT_DEVTYP_PORT;
  std::memcpy(bytes.data() + offsetof(DEV_BROADCAST_PORT_A, dbcp_size), &size, sizeof size);
  std::memcpy(bytes.data() + offsetof(DEV_BROADCAST_PORT_A, dbcp_devicetype), &type, sizeof type);
  std::memcpy(bytes.data() + header, port.data(), port.size());
  return bytes;
}

// Copies a multi-string into a caller's buffer; the count stored, or 0 when it does not fit.
DWORD StoreMultiString(KernelApi& kernel, const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || text.size() > size) {
    kernel.SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.data(), text.size());
  return static_cast<DWORD>(text.size());
}

}  // namespace

SystemCalls RealSystemCalls() {
  SystemCalls calls;
  calls.getpriority = [](int which, id_t who) { return ::getpriority(which, who); };
  calls.setpriority = [](int which, id_t who, int value) { return ::setpriority(which, who, value); };
  calls.isatty = ::isatty;
  calls.write = ::write;
  calls.getcwd = ::getcwd;
  calls.readlink = ::readlink;
  return calls;
}

System::System(KernelApi& kernel, std::string sysfsRoot, std::string devRoot, SystemCalls calls)
    : kernel_(kernel),
      sysfsRoot_(std::move(sysfsRoot)),
      devRoot_(std::move(devRoot)),
      calls_(calls) {}

System::~System() {
  std::unique_ptr<DevWatch> watch;
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    sinks_.clear();
    ++watchGeneration_;
    watch = std::move(watch_);
  }
}

// ---- registry ----

std::shared_ptr<const RegKey> System::BuildRegistry() const {
  return BuildPortRegistry(DescribePorts(ScanSerialTtys(sysfsRoot_)));
}

std::optional<System::OpenKey> System::Resolve(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) {
    std::shared_ptr<const RegKey> tree = BuildRegistry();
    const RegKey* root = tree.get();
    return OpenKey{std::move(tree), root};
  }
  std::shared_ptr<OpenKey> open = keys_.Find(ToHandle(key));
  if (!open) return std::nullopt;
  return *open;
}

LONG System::RegOpenKeyExA(HKEY root, const char* path, HKEY* key) {
  if (key == nullptr) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::optional<OpenKey> parent = Resolve(root);
  if (!parent) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  const RegKey* found = parent->key->Find(path == nullptr ? "" : path);
  if (found == nullptr) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  *key = ToKey(keys_.Add(std::make_shared<OpenKey>(OpenKey{parent->tree, found})));
  return static_cast<LONG>(ERROR_SUCCESS);
}

LONG System::RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return static_cast<LONG>(ERROR_SUCCESS);
  return static_cast<LONG>(keys_.Remove(ToHandle(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

LONG System::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  std::optional<OpenKey> open = Resolve(key);
  if (!open) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return QueryRegValue(*open->key, name, type, data, size);
}

LONG System::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                           BYTE* data, DWORD* dataLength) {
  std::optional<OpenKey> open = Resolve(key);
  if (!open) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return EnumRegValue(*open->key, index, name, nameLength, type, data, dataLength);
}

LONG System::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) {
  std::optional<OpenKey> open = Resolve(key);
  if (!open) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return EnumRegKey(*open->key, index, name, nameLength);
}

LONG System::RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* /*key*/) {
  HKEY readable = nullptr;
  const LONG result = RegOpenKeyExA(root, path, &readable);
  if (result != static_cast<LONG>(ERROR_SUCCESS)) return result;
  RegCloseKey(readable);
  return static_cast<LONG>(ERROR_ACCESS_DENIED);
}

LONG System::RegSetValueExA(HKEY key, const char* /*name*/, DWORD /*type*/,
                            const BYTE* /*data*/, DWORD /*size*/) {
  if (!Resolve(key)) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return static_cast<LONG>(ERROR_ACCESS_DENIED);
}

// ---- MS-DOS device names ----

DWORD System::QueryDosDeviceA(const char* name, char* buffer, DWORD size) {
  const std::vector<PortView> ports = DescribePorts(ScanSerialTtys(sysfsRoot_));
  std::string list;
  if (name == nullptr) {
    for (const PortView& port : ports) list += port.portName + '\0';
    for (const PortView& port : ports) {
      if (port.ftdiBus) list += FtdiBusDeviceName(port) + '\0';
    }
    list += '\0';
    return StoreMultiString(kernel_, list, buffer, size);
  }
  for (const PortView& port : ports) {
    if (EqualsNoCase(name, port.portName) ||
        (port.ftdiBus && EqualsNoCase(name, FtdiBusDeviceName(port)))) {
      list = devRoot_ + "/" + port.portName + '\0' + '\0';
      return StoreMultiString(kernel_, list, buffer, size);
    }
  }
  kernel_.SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

// ---- priorities ----

DWORD System::GetPriorityClass() {
  errno = 0;
  const int nice = calls_.getpriority(PRIO_PROCESS, 0);
  if (nice == -1 && errno != 0) {
    kernel_.SetLastError(LastErrnoAsWin32());
    return 0;
  }
  // A nice value set from outside need not be one of ours: take the nearest class.
  DWORD priorityClass = IDLE_PRIORITY_CLASS;
  if (nice <= -15) {
    priorityClass = REALTIME_PRIORITY_CLASS;
  } else if (nice <= -5) {
    priorityClass = HIGH_PRIORITY_CLASS;
  } else if (nice < 10) {
    priorityClass = NORMAL_PRIORITY_CLASS;
  }
  std::lock_guard<std::mutex> lock(stateMutex_);
  lastRead_ = {priorityClass, nice};
  return priorityClass;
}

BOOL System::SetPriorityClass(DWORD priorityClass) {
  for (const PriorityClassNice& entry : kPriorityClasses) {
    if (entry.priorityClass != priorityClass) continue;
    int nice = entry.nice;
    {
      // Saving the class and setting it back later restores the nice value it was read from.
      std::lock_guard<std::mutex> lock(stateMutex_);
      if (lastRead_ && lastRead_->first == priorityClass) nice = lastRead_->second;
    }
    if (calls_.setpriority(PRIO_PROCESS, 0, nice) != 0) {
      kernel_.SetLastError(LastErrnoAsWin32());
      return FALSE;
    }
    return TRUE;
  }
  kernel_.SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL System::SetThreadPriority(std::uintptr_t thread, int priority) {
  if (thread == 0) {
    kernel_.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool known = false;
  for (int value : kThreadPriorities) known = known || value == priority;
  if (!known) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

// ---- sounds ----

void System::Ring() {
  if (calls_.isatty(STDERR_FILENO) == 1) {
    // Best effort: a bell that cannot be written is not worth an error.
    [[maybe_unused]] const ssize_t written = calls_.write(STDERR_FILENO, &kBell, 1);
  }
}

BOOL System::MessageBeep(UINT /*type*/) {
  Ring();
  return TRUE;
}

BOOL System::Beep(DWORD /*frequency*/, DWORD duration) {
  Ring();
  kernel_.Sleep(duration);
  return TRUE;
}

// ---- file version ----

std::string System::ProgramPath() {
  std::vector<char> buffer(4096);
  while (buffer.size() <= kMaxPathBuffer) {
    const ssize_t length = calls_.readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);  // possibly cut: try again with more room
  }
  return {};
}

bool System::IsProgram(const char* path, DWORD& error) {
  if (path == nullptr || *path == '\0') {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  if (ec) {
    error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const std::string program = ProgramPath();
  if (program.empty() || resolved.native() != program) {
    error = kNoVersionResource;
    return false;
  }
  return true;
}

DWORD System::GetFileVersionInfoSizeA(const char* path) {
  DWORD error = ERROR_SUCCESS;
  if (!IsProgram(path, error)) {
    kernel_.SetLastError(error);
    return 0;
  }
  return static_cast<DWORD>(ProgramVersionBlock().size());
}

BOOL System::GetFileVersionInfoA(const char* path, DWORD size, void* block) {
  DWORD error = ERROR_SUCCESS;
  if (block == nullptr) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS || !IsProgram(path, error)) {
    kernel_.SetLastError(error);
    return FALSE;
  }
  const std::vector<std::byte> version = ProgramVersionBlock();
  if (size < version.size()) {
    kernel_.SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(block, version.data(), version.size());
  return TRUE;
}

BOOL System::VerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length) {
  if (value == nullptr || length == nullptr || subBlock == nullptr) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const FixedFileInfo* info = FindFixedFileInfo(block);
  if (info == nullptr) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (std::strcmp(subBlock, "\\") != 0) {
    kernel_.SetLastError(kNoVersionResource);
    return FALSE;
  }
  *value = const_cast<FixedFileInfo*>(info);
  *length = sizeof(FixedFileInfo);
  return TRUE;
}

bool System::CurrentDirectory(std::string& directory) {
  std::vector<char> buffer(4096);
  while (buffer.size() <= kMaxPathBuffer) {
    if (calls_.getcwd(buffer.data(), buffer.size()) != nullptr) {
      directory.assign(buffer.data());
      return true;
    }
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

// ---- device notification ----

HANDLE System::RegisterDeviceNotificationA(MessageSink* sink, const void* /*filter*/,
                                           DWORD /*flags*/) {
  if (sink == nullptr) {
    kernel_.SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(notifyMutex_);
  if (!watch_) {
    const std::uint64_t generation = ++watchGeneration_;
    watch_ = DevWatch::Start(
        kernel_, devRoot_,
        [root = sysfsRoot_](const std::string& name) { return BelongsInPortMap(root, name); },
        [this, generation](const std::string& port, bool arrived) {
          Deliver(generation, port, arrived);
        });
    if (!watch_) {
      kernel_.SetLastError(LastErrnoAsWin32());
      return nullptr;
    }
  }
  const std::uintptr_t registration = nextRegistration_;
  nextRegistration_ += 4;
  sinks_[registration] = sink;
  return reinterpret_cast<HANDLE>(registration);
}

BOOL System::UnregisterDeviceNotification(HANDLE registration) {
  std::unique_ptr<DevWatch> stopped;
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    if (sinks_.erase(reinterpret_cast<std::uintptr_t>(registration)) == 0) {
      kernel_.SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (sinks_.empty()) {
      ++watchGeneration_;
      stopped = std::move(watch_);
    }
  }
  // Joined outside the lock: the watch thread may be waiting for it to deliver (and will then
  // drop its broadcast, its generation being over).
  stopped.reset();
  return TRUE;
}

void System::Deliver(std::uint64_t generation, const std::string& port, bool arrived) {
  std::lock_guard<std::mutex> lock(notifyMutex_);
  if (generation != watchGeneration_) return;
  const WPARAM event = arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  for (const auto& [registration, sink] : sinks_) sink->PostDeviceChange(event, PortBroadcast(port));
}

}  // namespace plat::posix
