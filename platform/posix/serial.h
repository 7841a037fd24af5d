// The serial API on Linux: termios2 and ioctl on tty devices (see serial_device.h for how
// overlapped I/O, time-outs and device events are emulated).
//
// Names: "\\.\NAME" and "NAME" open <device root>/NAME ("\\.\ttyUSB0" is /dev/ttyUSB0,
// "\\.\pts/3" is /dev/pts/3). Names with an empty, "." or ".." component, a leading "/" or a
// backslash are refused with ERROR_FILE_NOT_FOUND, so a name never leaves the device root.
// Opening is exclusive three ways: within the process (a set of open device numbers), across
// processes (flock), and for other openers of the tty (TIOCEXCL, which root ignores); a second
// open fails with ERROR_ACCESS_DENIED. A node that is not a tty gives ERROR_FILE_NOT_FOUND.
// The tty is put in raw mode at open (no echo, no line editing, no XON/XOFF); rate, character
// size, parity, stop bits and RTS/CTS handshake keep the device's values until SetCommState.
//
// Line ioctls a driver lacks (every modem ioctl on a pty) make GetCommModemStatus and
// EscapeCommFunction(SETDTR ...) fail with ERROR_NOT_SUPPORTED; SetCommState ignores them;
// WaitCommEvent then simply never reports modem events. A device that vanished gives
// ERROR_ACCESS_DENIED from every call but CloseHandle.
//
// SetCommState reads the settings back and refuses (ERROR_INVALID_PARAMETER, old settings
// kept) what the driver did not take: a pty, for one, always runs 8 data bits without parity.
// DCB fields Linux has no counterpart for are kept and read back but act on nothing: DSR
// output flow and sensitivity, DTR handshake (DTR is simply raised), fTXContinueOnXoff, the
// error, EOF and event characters, fNull, fAbortOnError, XonLim and XoffLim. EV_RXFLAG,
// EV_PERR, EV_EVENT1 and EV_EVENT2 never fire. TransmitCommChar fails with ERROR_GEN_FAILURE
// while its previous character still waits; EscapeCommFunction(RESETDEV) does nothing.
//
// Beyond Win32: a tty with hardware behind it (sysfs lists its device) that another process has
// open is refused with ERROR_ACCESS_DENIED before it is opened, as a port in use is on Windows
// (open_diagnosis.h says how "in use" shows on Linux). A failed open leaves the reason for
// LastOpenFailure; an open asks a USB-serial converter for low latency and the close puts the
// previous setting back (latency.h), both described by LastDeviceNotes; RequestLowLatency
// finds nothing to lower ahead of the open.
//
// CloseHandle also closes event objects of the kernel (as the Win32 call does). Configuration
// records (Get/SetDefaultCommConfigA) are kept in memory per device name; there is no dialog
// (CommConfigDialogA fails with ERROR_CANCELLED).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/handletable.h"
#include "platform/posix/hostfiles.h"
#include "platform/posix/kernel.h"
#include "platform/posix/latency.h"
#include "platform/posix/serial_sys.h"

namespace plat::posix {

class SerialDevice;

class Serial : public SerialApi {
 public:
  // sys: the system calls to use (tests pass failing ones); devRoot: the device directory;
  // paths: sysfs, /proc and the directory of restore records (DefaultHostPaths without).
  explicit Serial(Kernel& kernel, const SysCalls& sys = RealSysCalls(), std::string devRoot = "/dev");
  Serial(Kernel& kernel, const SysCalls& sys, std::string devRoot, HostPaths paths);
  // Closes every handle still open.
  ~Serial() override;

  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation, DWORD flagsAndAttributes) override;
  BOOL CloseHandle(HANDLE device) override;
  BOOL GetCommState(HANDLE device, DCB* dcb) override;
  BOOL SetCommState(HANDLE device, const DCB* dcb) override;
  BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
  BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override;
  BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) override;
  BOOL SetCommMask(HANDLE device, DWORD mask) override;
  BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override;
  BOOL ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) override;
  BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) override;
  BOOL PurgeComm(HANDLE device, DWORD flags) override;
  BOOL FlushFileBuffers(HANDLE device) override;
  BOOL EscapeCommFunction(HANDLE device, DWORD function) override;
  BOOL SetCommBreak(HANDLE device) override;
  BOOL ClearCommBreak(HANDLE device) override;
  BOOL TransmitCommChar(HANDLE device, char c) override;
  BOOL GetCommModemStatus(HANDLE device, DWORD* status) override;
  BOOL GetCommProperties(HANDLE device, COMMPROP* properties) override;
  BOOL GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) override;
  BOOL CommConfigDialogA(const char* name, HWND parent, COMMCONFIG* config) override;
  BOOL SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) override;
  OpenFailure LastOpenFailure() override;
  std::vector<std::string> LastDeviceNotes() override;
  DWORD ConverterLatency(HANDLE device) override;  // LatencyRequest::TimerMs
  std::vector<OpenFailure::Holder> PortHolders(const char* name) override;  // from /proc
  DWORD IdleConverterLatency(const char* name) override;  // the latency_timer attribute

 private:
  // What stays with an open device besides its SerialDevice.
  struct Opened {
    int fd = -1;
    LatencyRequest latency;
  };

  BOOL Done(DWORD code);
  HANDLE FailOpen(DWORD code);
  // Fails the open with the Win32 code of err and what DiagnoseOpenFailure finds out.
  HANDLE FailOpen(int err, const std::string& path);
  HANDLE FailOpen(OpenFailure failure);
  template <class Call>
  BOOL OnDevice(HANDLE device, Call call);
  // The path of a device name under the device root; false for a name that is refused.
  bool DevicePath(const char* name, std::string& key, std::string& path) const;

  Kernel& kernel_;
  const SysCalls& sys_;
  const std::string devRoot_;
  const HostPaths paths_;
  HandleTable<SerialDevice> devices_{0x70000000};
  std::mutex mutex_;
  std::map<HANDLE, Opened> open_;
  std::map<std::string, DCB> defaults_;
};

}  // namespace plat::posix
