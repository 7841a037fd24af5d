#include "platform/posix/serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "platform/portname.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/open_diagnosis.h"
#include "platform/posix/serial_device.h"
#include "platform/posix/serial_termios.h"
#include "platform/posix/sysfs.h"
#include "platform/posix/terminal_check.h"

namespace plat::posix {

namespace {

// Device numbers of the ttys open in this process, over all Serial objects.
std::mutex g_openMutex;
std::set<dev_t> g_openDevices;

constexpr DWORD kProviderRs232 = 0x00000001;  // PST_RS232

// The calling thread's last open failure and device notes (SerialApi::LastOpenFailure and
// LastDeviceNotes), shared by every Serial as the last error is.
thread_local OpenFailure t_openFailure;
thread_local std::vector<std::string> t_deviceNotes;

}  // namespace

Serial::Serial(Kernel& kernel, const SysCalls& sys, std::string devRoot)
    : Serial(kernel, sys, std::move(devRoot), DefaultHostPaths(sys)) {}

Serial::Serial(Kernel& kernel, const SysCalls& sys, std::string devRoot, HostPaths paths)
    : kernel_(kernel), sys_(sys), devRoot_(std::move(devRoot)), paths_(std::move(paths)) {}

Serial::~Serial() {
  std::vector<HANDLE> handles;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : open_) handles.push_back(entry.first);
  }
  for (HANDLE handle : handles) CloseHandle(handle);
}

BOOL Serial::Done(DWORD code) {
  if (code == ERROR_SUCCESS) return TRUE;
  kernel_.SetLastError(code);
  return FALSE;
}

HANDLE Serial::FailOpen(DWORD code) {
  OpenFailure failure;
  failure.code = code;
  return FailOpen(std::move(failure));
}

HANDLE Serial::FailOpen(int err, const std::string& path) {
  const DWORD code = Win32FromErrno(err, ErrnoContext::Open);
  return FailOpen(DiagnoseOpenFailure(sys_, paths_, path, err, code));
}

HANDLE Serial::FailOpen(OpenFailure failure) {
  const DWORD code = failure.code;
  t_openFailure = std::move(failure);
  kernel_.SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

OpenFailure Serial::LastOpenFailure() { return t_openFailure; }

std::vector<std::string> Serial::LastDeviceNotes() { return t_deviceNotes; }

DWORD Serial::ConverterLatency(HANDLE device) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = open_.find(device);
  return found == open_.end() ? 0 : found->second.latency.TimerMs(sys_);
}

std::vector<OpenFailure::Holder> Serial::PortHolders(const char* name) {
  std::string key, path;
  struct stat node {};
  if (!name || !DevicePath(name, key, path) || sys_.Stat(path.c_str(), &node) != 0 ||
      !S_ISCHR(node.st_mode)) {
    return {};
  }
  return FindHolders(sys_, paths_.proc, node.st_rdev);
}

DWORD Serial::IdleConverterLatency(const char* name) {
  std::string key, path;
  struct stat node {};
  if (!name || !DevicePath(name, key, path) || sys_.Stat(path.c_str(), &node) != 0) return 0;
  const std::optional<std::string> tty = KernelDeviceName(sys_, paths_.sysfs, node.st_rdev);
  if (!tty) return 0;
  const std::optional<std::string> text =
      ReadAttribute(paths_.sysfs + "/bus/usb-serial/devices/" + *tty + "/latency_timer");
  // A number of 1 to 255 ms, as the driver keeps it; anything else is no answer.
  if (!text || text->empty() || text->size() > 3 ||
      text->find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  const int ms = std::stoi(*text);
  return ms >= 1 && ms <= 255 ? static_cast<DWORD>(ms) : 0;
}

template <class Call>
BOOL Serial::OnDevice(HANDLE device, Call call) {
  const std::shared_ptr<SerialDevice> found = devices_.Find(device);
  if (!found) return Done(ERROR_INVALID_HANDLE);
  return Done(call(*found));
}

bool Serial::DevicePath(const char* name, std::string& key, std::string& path) const {
  const std::string_view portName = PortNameOf(name);
  if (!IsPortName(portName, /*subFolders=*/true)) return false;  // "pts/7" is a device too
  key.assign(portName);
  path = devRoot_ + "/" + key;
  return true;
}

HANDLE Serial::CreateFileA(const char* name, DWORD access, DWORD, DWORD, DWORD flagsAndAttributes) {
  t_openFailure = {};
  t_deviceNotes.clear();
  if (!name) return FailOpen(ERROR_INVALID_PARAMETER);
  std::string key, path;
  if (!DevicePath(name, key, path)) return FailOpen(ERROR_FILE_NOT_FOUND);

  struct stat node {};
  if (RetryEintr([&] { return sys_.Stat(path.c_str(), &node); }) != 0) return FailOpen(errno, path);
  if (!S_ISCHR(node.st_mode)) return FailOpen(NotSerialPortFailure(path, OpenFailure::Terminal::None));
  {
    // Refused before opening: a terminal must not be configured as the board's port.
    OpenFailure::Holder session;
    const OpenFailure::Terminal terminal = TerminalInUse(sys_, paths_.proc, node.st_rdev, &session);
    if (terminal != OpenFailure::Terminal::None) {
      return FailOpen(NotSerialPortFailure(path, terminal, std::move(session)));
    }
  }
  {
    // Refused before opening: opening a tty already raises DTR and RTS.
    std::lock_guard<std::mutex> lock(g_openMutex);
    if (g_openDevices.count(node.st_rdev)) {
      return FailOpen(HeldFailure(sys_, paths_, path, ERROR_ACCESS_DENIED, {ThisProgram(sys_, paths_.proc)}));
    }
  }
  // The tty's kernel name; a pty slave has none (sysfs does not list it) and keeps its own.
  const std::optional<std::string> kernelName = KernelDeviceName(sys_, paths_.sysfs, node.st_rdev);
  const std::string tty = kernelName.value_or(key);
  if (kernelName && Exists(sys_, paths_.sysfs + "/class/tty/" + *kernelName + "/device")) {
    // A port with hardware behind it that another program has open, even without a lock.
    std::vector<OpenFailure::Holder> holders = FindHolders(sys_, paths_.proc, node.st_rdev);
    if (!holders.empty()) return FailOpen(HeldFailure(sys_, paths_, path, ERROR_ACCESS_DENIED, std::move(holders)));
  }

  const bool canRead = (access & GENERIC_READ) != 0;
  const bool canWrite = (access & GENERIC_WRITE) != 0;
  const int mode = canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  const int fd =
      RetryEintr([&] { return sys_.Open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return FailOpen(errno, path);

  auto fail = [&](DWORD code) {
    sys_.Close(fd);
    return FailOpen(code);
  };
  struct stat opened {};
  if (sys_.Fstat(fd, &opened) != 0) return fail(Win32FromErrno(errno, ErrnoContext::Open));
  KernelTermios settings{};
  if (IoctlRetry(sys_, fd, TCGETS2, &settings) != 0) {
    // A character device that is no tty is no serial port.
    if (errno != ENOTTY) return fail(Win32FromErrno(errno, ErrnoContext::Open));
    sys_.Close(fd);
    return FailOpen(NotSerialPortFailure(path, OpenFailure::Terminal::None));
  }
  const KernelTermios found = settings;
  // A failure after the settings were changed puts them back before the device is let go.
  auto failChanged = [&](DWORD code) {
    KernelTermios previous = found;
    IoctlRetry(sys_, fd, TCSETS2, &previous);
    return fail(code);
  };
  if (RetryEintr([&] { return sys_.Flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    const int err = errno;
    sys_.Close(fd);
    return FailOpen(err, path);
  }
  IoctlRetry(sys_, fd, TIOCEXCL, nullptr);  // best effort: root may open anyway

  MakeRaw(settings);
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (IoctlRetry(sys_, fd, TCSETS2, &settings) != 0) return failChanged(Win32FromErrno(errno, ErrnoContext::Open));
  DCB initial = DefaultDcb();
  TermiosToDcb(settings, initial);

  {
    std::lock_guard<std::mutex> lock(g_openMutex);
    if (!g_openDevices.insert(opened.st_rdev).second) return failChanged(ERROR_ACCESS_DENIED);
  }
  std::shared_ptr<SerialDevice> device;
  try {
    device = std::make_shared<SerialDevice>(kernel_, sys_, fd, opened.st_rdev, canRead, canWrite,
                                            (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0, initial);
  } catch (const std::exception&) {
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_openDevices.erase(opened.st_rdev);
    return failChanged(ERROR_NOT_ENOUGH_MEMORY);
  }
  Opened extra;
  extra.fd = fd;
  extra.latency = LatencyRequest::Apply(sys_, paths_, fd, tty, opened, t_deviceNotes);
  const HANDLE handle = devices_.Add(device);
  std::lock_guard<std::mutex> lock(mutex_);
  open_.emplace(handle, std::move(extra));
  return handle;
}

BOOL Serial::CloseHandle(HANDLE handle) {
  const std::shared_ptr<SerialDevice> device = devices_.Remove(handle);
  if (!device) return kernel_.CloseEvent(handle);  // not a device: maybe an event object
  Opened extra;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = open_.find(handle);
    if (found != open_.end()) {
      extra = std::move(found->second);
      open_.erase(found);
    }
  }
  t_deviceNotes.clear();
  // Still open: the device has not closed its descriptor yet.
  extra.latency.Restore(sys_, extra.fd, t_deviceNotes);
  device->Close();
  std::lock_guard<std::mutex> lock(g_openMutex);
  g_openDevices.erase(device->DeviceNumber());
  return TRUE;
}

BOOL Serial::GetCommState(HANDLE device, DCB* dcb) {
  return OnDevice(device, [&](SerialDevice& d) { return d.GetState(dcb); });
}

BOOL Serial::SetCommState(HANDLE device, const DCB* dcb) {
  return OnDevice(device, [&](SerialDevice& d) { return d.SetState(dcb); });
}

BOOL Serial::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Setup(inQueue, outQueue); });
}

BOOL Serial::GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) {
  return OnDevice(device, [&](SerialDevice& d) { return d.GetTimeouts(timeouts); });
}

BOOL Serial::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) {
  return OnDevice(device, [&](SerialDevice& d) { return d.SetTimeouts(timeouts); });
}

BOOL Serial::SetCommMask(HANDLE device, DWORD mask) {
  return OnDevice(device, [&](SerialDevice& d) { return d.SetMask(mask); });
}

BOOL Serial::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Wait(mask, overlapped); });
}

BOOL Serial::ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                      OVERLAPPED* overlapped) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Read(buffer, length, transferred, overlapped); });
}

BOOL Serial::WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                       OVERLAPPED* overlapped) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Write(buffer, length, transferred, overlapped); });
}

BOOL Serial::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  if (!devices_.Find(device) && overlapped && overlapped->Internal != kStatusPending) {
    // Like Win32, the result of a request that has ended is read from its record alone: the
    // handle may have been closed since (closing ended the request).
    if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return Done(static_cast<DWORD>(overlapped->Internal));
  }
  return OnDevice(device, [&](SerialDevice& d) { return d.Result(overlapped, transferred, wait != FALSE); });
}

BOOL Serial::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) {
  return OnDevice(device, [&](SerialDevice& d) { return d.ClearError(errors, stat); });
}

BOOL Serial::PurgeComm(HANDLE device, DWORD flags) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Purge(flags); });
}

BOOL Serial::FlushFileBuffers(HANDLE device) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Flush(); });
}

BOOL Serial::EscapeCommFunction(HANDLE device, DWORD function) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Escape(function); });
}

BOOL Serial::SetCommBreak(HANDLE device) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Escape(SETBREAK); });
}

BOOL Serial::ClearCommBreak(HANDLE device) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Escape(CLRBREAK); });
}

BOOL Serial::TransmitCommChar(HANDLE device, char c) {
  return OnDevice(device, [&](SerialDevice& d) { return d.TransmitChar(c); });
}

BOOL Serial::GetCommModemStatus(HANDLE device, DWORD* status) {
  return OnDevice(device, [&](SerialDevice& d) { return d.ModemStatus(status); });
}

BOOL Serial::GetCommProperties(HANDLE device, COMMPROP* properties) {
  return OnDevice(device, [&](SerialDevice& d) { return d.Properties(properties); });
}

BOOL Serial::GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) {
  if (!name || !size) return Done(ERROR_INVALID_PARAMETER);
  std::string key, path;
  struct stat node {};
  if (!DevicePath(name, key, path)) return Done(ERROR_FILE_NOT_FOUND);
  if (sys_.Stat(path.c_str(), &node) != 0) return Done(Win32FromErrno(errno, ErrnoContext::Open));
  if (!config || *size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    return Done(ERROR_INSUFFICIENT_BUFFER);
  }
  COMMCONFIG result{};
  result.dwSize = sizeof(COMMCONFIG);
  result.wVersion = 1;
  result.dwProviderSubType = kProviderRs232;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto stored = defaults_.find(key);
    result.dcb = stored != defaults_.end() ? stored->second : DefaultDcb();
  }
  *config = result;
  *size = sizeof(COMMCONFIG);
  return TRUE;
}

BOOL Serial::CommConfigDialogA(const char*, HWND, COMMCONFIG*) { return Done(ERROR_CANCELLED); }

BOOL Serial::SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) {
  if (!name || !config || size < sizeof(COMMCONFIG)) return Done(ERROR_INVALID_PARAMETER);
  std::string key, path;
  struct stat node {};
  if (!DevicePath(name, key, path)) return Done(ERROR_FILE_NOT_FOUND);
  if (sys_.Stat(path.c_str(), &node) != 0) return Done(Win32FromErrno(errno, ErrnoContext::Open));
  KernelTermios scratch{};
  if (DWORD error = DcbToTermios(config->dcb, scratch)) return Done(error);
  DCB dcb = config->dcb;
  dcb.DCBlength = sizeof(DCB);
  std::lock_guard<std::mutex> lock(mutex_);
  defaults_[key] = dcb;
  return TRUE;
}

}  // namespace plat::posix
