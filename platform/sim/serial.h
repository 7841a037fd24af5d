// The serial API of the simulated machine: device handles onto its SerialDevices, with the
// Win32 calls' argument and handle checks and last-error codes.
//
// Names: "\\.\COM3" and "COM3" open the same device; names compare case-insensitively.
// CreateFileA fails with ERROR_FILE_NOT_FOUND for an unknown or unplugged device and with
// ERROR_ACCESS_DENIED when it is open already or held by another program (SetBusy). Calls on an
// unknown or closed handle fail with ERROR_INVALID_HANDLE; on the handle of an unplugged device
// with ERROR_ACCESS_DENIED (CloseHandle still succeeds). A null OVERLAPPED makes ReadFile,
// WriteFile and WaitCommEvent synchronous, whatever the handle was opened with. CloseHandle
// also closes event objects. EscapeCommFunction(RESETDEV) fails with ERROR_NOT_SUPPORTED.
// CommConfigDialogA fails with ERROR_CANCELLED unless a test installs an answer.
// RequestLowLatency lowers LatencyTimer in the machine's registry as on Windows; ConverterLatency
// reports the converter model's timer.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/kernel.h"
#include "platform/sim/serial_device.h"

namespace sim {

class Serial : public plat::SerialApi {
 public:
  Serial(Scheduler& scheduler, Kernel& kernel, ObjectTable& objects, plat::SystemApi& registry);
  ~Serial() override;

  // The device of a port name (a new one if there is none yet). Devices live as long as the
  // machine, so references to them stay valid.
  SerialDevice& AddDevice(const std::string& name);
  // The device of a name ("COM3" or "\\.\COM3", any case), or null.
  SerialDevice* FindDevice(const std::string& name);
  // Another program holds the port: CreateFileA gives ERROR_ACCESS_DENIED.
  void SetBusy(const std::string& name, bool busy);
  // What the configuration dialog does: return true to confirm (after changing the record),
  // false to cancel. Without one, every dialog is cancelled.
  using ConfigDialog = std::function<bool(const std::string& name, COMMCONFIG& config)>;
  void SetConfigDialog(ConfigDialog dialog);

  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                     DWORD flagsAndAttributes) override;
  BOOL CloseHandle(HANDLE device) override;
  BOOL GetCommState(HANDLE device, DCB* dcb) override;
  BOOL SetCommState(HANDLE device, const DCB* dcb) override;
  BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
  BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override;
  BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) override;
  BOOL SetCommMask(HANDLE device, DWORD mask) override;
  BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override;
  BOOL ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                 OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                           BOOL wait) override;
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
  plat::LatencyStep RequestLowLatency(const std::string& converterKey) override;
  DWORD ConverterLatency(HANDLE device) override;
  // A port held by another program (SetBusy) names no program: the machine does not model one.
  std::vector<plat::OpenFailure::Holder> PortHolders(const char* name) override;

 private:
  using Operation = std::function<DWORD(SerialDevice&, HostHandle&, Scheduler::Lock&)>;
  // Runs op on the handle's device with the lock held, after the handle checks; a non-zero
  // result becomes the last error and FALSE.
  BOOL OnDevice(HANDLE device, const Operation& op);
  // Completes a transfer or event wait started without an OVERLAPPED of the caller's.
  DWORD WaitSynchronously(Scheduler::Lock& lock, DWORD started, OVERLAPPED& local,
                          const char* what);
  SerialDevice* FindLocked(const std::string& name);
  BOOL Fail(DWORD error);

  Scheduler& scheduler_;
  Kernel& kernel_;
  ObjectTable& objects_;
  plat::SystemApi& registry_;
  std::map<std::string, std::unique_ptr<SerialDevice>> devices_;
  ConfigDialog dialog_;
};

}  // namespace sim
