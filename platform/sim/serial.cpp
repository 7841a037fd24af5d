#include "platform/sim/serial.h"

#include <cctype>
#include <cstring>

#include "platform/portname.h"
#include "platform/win32rules/latency.h"
#include "platform/win32rules/transfers.h"

namespace sim {

namespace {

// "\\.\com3" -> "COM3": the port's name, case ignored as Windows does.
std::string DeviceKey(const std::string& devicePath) {
  std::string name(plat::PortNameOf(devicePath));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

Serial::Serial(Scheduler& scheduler, Kernel& kernel, ObjectTable& objects,
               plat::SystemApi& registry)
    : scheduler_(scheduler), kernel_(kernel), objects_(objects), registry_(registry) {}

Serial::~Serial() = default;

SerialDevice& Serial::AddDevice(const std::string& name) {
  Scheduler::Lock lock(scheduler_.Mutex());
  std::unique_ptr<SerialDevice>& slot = devices_[DeviceKey(name)];
  if (!slot) slot = std::make_unique<SerialDevice>(name, scheduler_, kernel_);
  return *slot;
}

SerialDevice* Serial::FindDevice(const std::string& name) {
  Scheduler::Lock lock(scheduler_.Mutex());
  return FindLocked(name);
}

SerialDevice* Serial::FindLocked(const std::string& name) {
  auto it = devices_.find(DeviceKey(name));
  return it == devices_.end() ? nullptr : it->second.get();
}

void Serial::SetBusy(const std::string& name, bool busy) {
  SerialDevice& device = AddDevice(name);
  Scheduler::Lock lock(scheduler_.Mutex());
  device.busy_ = busy;
}

std::vector<plat::OpenFailure::Holder> Serial::PortHolders(const char* name) {
  if (name == nullptr) return {};
  Scheduler::Lock lock(scheduler_.Mutex());
  const SerialDevice* device = FindLocked(name);
  if (device == nullptr || !device->busy_) return {};
  return {plat::OpenFailure::Holder{}};
}

void Serial::SetConfigDialog(ConfigDialog dialog) {
  Scheduler::Lock lock(scheduler_.Mutex());
  dialog_ = std::move(dialog);
}

BOOL Serial::Fail(DWORD error) {
  kernel_.SetLastError(error);
  return FALSE;
}

HANDLE Serial::CreateFileA(const char* name, DWORD access, DWORD /*shareMode*/,
                           DWORD /*creation*/, DWORD flagsAndAttributes) {
  if (name == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto handle = std::make_shared<HostHandle>();
  handle->access = access;
  handle->overlapped = (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
  Scheduler::Lock lock(scheduler_.Mutex());
  SerialDevice* device = FindLocked(name);
  if (device == nullptr) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  handle->device = device;
  // Serial ports are exclusive whatever the share mode asks for.
  if (const DWORD error = device->OpenLocked(lock, handle.get()); error != 0) {
    Fail(error);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE result = objects_.Add(handle);
  scheduler_.Changed(lock);
  return result;
}

BOOL Serial::CloseHandle(HANDLE device) {
  std::shared_ptr<KernelObject> object = objects_.Find(device);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  if (auto handle = std::dynamic_pointer_cast<HostHandle>(object)) {
    Scheduler::Lock lock(scheduler_.Mutex());
    if (!handle->dead && handle->device->open_ == handle.get()) {
      handle->device->CloseLocked(lock);
    }
    objects_.Remove(device);
    scheduler_.Changed(lock);
    return TRUE;
  }
  return kernel_.CloseEvent(device);
}

BOOL Serial::OnDevice(HANDLE device, const Operation& op) {
  auto handle = FindObject<HostHandle>(objects_, device);
  if (!handle) return Fail(ERROR_INVALID_HANDLE);
  Scheduler::Lock lock(scheduler_.Mutex());
  if (handle->dead) return Fail(ERROR_ACCESS_DENIED);
  const DWORD error = op(*handle->device, *handle, lock);
  scheduler_.Changed(lock);
  if (error != 0) return Fail(error);
  return TRUE;
}

DWORD Serial::WaitSynchronously(Scheduler::Lock& lock, DWORD started, OVERLAPPED& local,
                                const char* what) {
  if (started != ERROR_IO_PENDING) return started;
  scheduler_.Block(lock, [&] { return local.Internal != kStatusPending; }, kNever, what);
  return ErrorOfStatus(local.Internal);
}

BOOL Serial::GetCommState(HANDLE device, DCB* dcb) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    if (dcb == nullptr) return ERROR_INVALID_PARAMETER;
    *dcb = d.dcb_;
    return 0;
  });
}

BOOL Serial::SetCommState(HANDLE device, const DCB* dcb) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) -> DWORD {
    if (dcb == nullptr) return ERROR_INVALID_PARAMETER;
    return d.SetStateLocked(lock, *dcb);
  });
}

BOOL Serial::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) {
    return d.SetupLocked(inQueue, outQueue);
  });
}

BOOL Serial::GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    if (timeouts == nullptr) return ERROR_INVALID_PARAMETER;
    *timeouts = d.timeouts_;
    return 0;
  });
}

BOOL Serial::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    if (timeouts == nullptr) return ERROR_INVALID_PARAMETER;
    if (!plat::win32rules::TimeoutsAccepted(*timeouts)) return ERROR_INVALID_PARAMETER;
    d.timeouts_ = *timeouts;
    return 0;
  });
}

BOOL Serial::SetCommMask(HANDLE device, DWORD mask) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) {
    return d.SetMaskLocked(lock, mask);
  });
}

BOOL Serial::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) {
    if (overlapped != nullptr) return d.WaitEventLocked(lock, mask, overlapped);
    OVERLAPPED local{};
    return WaitSynchronously(lock, d.WaitEventLocked(lock, mask, &local), local,
                             "WaitCommEvent");
  });
}

BOOL Serial::ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                      OVERLAPPED* overlapped) {
  if (transferred != nullptr) *transferred = 0;
  return OnDevice(device, [&](SerialDevice& d, HostHandle& h, Scheduler::Lock& lock) -> DWORD {
    if ((h.access & GENERIC_READ) == 0) return ERROR_ACCESS_DENIED;
    if (buffer == nullptr && length != 0) return ERROR_INVALID_PARAMETER;
    OVERLAPPED local{};
    OVERLAPPED& record = overlapped != nullptr ? *overlapped : local;
    DWORD error = d.ReadLocked(lock, buffer, length, &record);
    if (overlapped == nullptr) error = WaitSynchronously(lock, error, local, "ReadFile");
    if (error != ERROR_IO_PENDING && transferred != nullptr) {
      *transferred = static_cast<DWORD>(record.InternalHigh);
    }
    return error;
  });
}

BOOL Serial::WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                       OVERLAPPED* overlapped) {
  if (transferred != nullptr) *transferred = 0;
  return OnDevice(device, [&](SerialDevice& d, HostHandle& h, Scheduler::Lock& lock) -> DWORD {
    if ((h.access & GENERIC_WRITE) == 0) return ERROR_ACCESS_DENIED;
    if (buffer == nullptr && length != 0) return ERROR_INVALID_PARAMETER;
    OVERLAPPED local{};
    OVERLAPPED& record = overlapped != nullptr ? *overlapped : local;
    DWORD error = d.WriteLocked(lock, buffer, length, &record);
    if (overlapped == nullptr) error = WaitSynchronously(lock, error, local, "WriteFile");
    if (error != ERROR_IO_PENDING && transferred != nullptr) {
      *transferred = static_cast<DWORD>(record.InternalHigh);
    }
    return error;
  });
}

BOOL Serial::GetOverlappedResult(HANDLE /*device*/, OVERLAPPED* overlapped, DWORD* transferred,
                                 BOOL wait) {
  // Like Win32, this looks only at the OVERLAPPED record: an operation of a handle that was
  // closed or whose device vanished has already completed with its error.
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  Scheduler::Lock lock(scheduler_.Mutex());
  if (overlapped->Internal == kStatusPending) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    scheduler_.Block(lock, [&] { return overlapped->Internal != kStatusPending; }, kNever,
                     "GetOverlappedResult");
  }
  if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (const DWORD error = ErrorOfStatus(overlapped->Internal); error != 0) return Fail(error);
  return TRUE;
}

BOOL Serial::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    d.ClearErrorLocked(errors, stat);
    return 0;
  });
}

BOOL Serial::PurgeComm(HANDLE device, DWORD flags) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) {
    return d.PurgeLocked(lock, flags);
  });
}

BOOL Serial::FlushFileBuffers(HANDLE device) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle& h, Scheduler::Lock& lock) -> DWORD {
    if ((h.access & GENERIC_WRITE) == 0) return ERROR_ACCESS_DENIED;
    const std::function<bool()> done = [&] {
      return h.dead || d.open_ != &h || d.OutputDrainedLocked();
    };
    if (!done()) scheduler_.Block(lock, done, kNever, "FlushFileBuffers");
    if (h.dead) return ERROR_ACCESS_DENIED;
    if (d.open_ != &h) return ERROR_OPERATION_ABORTED;
    return 0;
  });
}

BOOL Serial::EscapeCommFunction(HANDLE device, DWORD function) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) {
    return d.EscapeLocked(lock, function);
  });
}

BOOL Serial::SetCommBreak(HANDLE device) { return EscapeCommFunction(device, SETBREAK); }

BOOL Serial::ClearCommBreak(HANDLE device) { return EscapeCommFunction(device, CLRBREAK); }

BOOL Serial::TransmitCommChar(HANDLE device, char c) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock& lock) {
    return d.TransmitCharLocked(lock, c);
  });
}

BOOL Serial::GetCommModemStatus(HANDLE device, DWORD* status) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    if (status == nullptr) return ERROR_INVALID_PARAMETER;
    *status = d.ModemStatusLocked();
    return 0;
  });
}

BOOL Serial::GetCommProperties(HANDLE device, COMMPROP* properties) {
  return OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) -> DWORD {
    if (properties == nullptr) return ERROR_INVALID_PARAMETER;
    d.PropertiesLocked(properties);
    return 0;
  });
}

BOOL Serial::GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) {
  if (name == nullptr || config == nullptr || size == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  Scheduler::Lock lock(scheduler_.Mutex());
  SerialDevice* device = FindLocked(name);
  if (device == nullptr || !device->present_) return Fail(ERROR_FILE_NOT_FOUND);
  if (*size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memset(config, 0, sizeof(COMMCONFIG));
  config->dwSize = sizeof(COMMCONFIG);
  config->wVersion = 1;
  config->dcb = device->defaultDcb_;
  config->dwProviderSubType = 1;  // PST_RS232
  *size = sizeof(COMMCONFIG);
  return TRUE;
}

plat::LatencyStep Serial::RequestLowLatency(const std::string& converterKey) {
  return plat::win32rules::LowerLatencyTimer(registry_, converterKey);
}

DWORD Serial::ConverterLatency(HANDLE device) {
  DWORD latency = 0;
  OnDevice(device, [&](SerialDevice& d, HostHandle&, Scheduler::Lock&) {
    latency = static_cast<DWORD>(d.LatencyMsLocked());
    return DWORD{ERROR_SUCCESS};
  });
  return latency;
}

BOOL Serial::SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) {
  if (name == nullptr || config == nullptr || size < sizeof(COMMCONFIG)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  Scheduler::Lock lock(scheduler_.Mutex());
  SerialDevice* device = FindLocked(name);
  if (device == nullptr || !device->present_) return Fail(ERROR_FILE_NOT_FOUND);
  const DCB& dcb = config->dcb;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  device->defaultDcb_ = dcb;
  device->defaultDcb_.DCBlength = sizeof(DCB);
  return TRUE;
}

BOOL Serial::CommConfigDialogA(const char* name, HWND /*parent*/, COMMCONFIG* config) {
  if (name == nullptr || config == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  ConfigDialog dialog;
  {
    Scheduler::Lock lock(scheduler_.Mutex());
    SerialDevice* device = FindLocked(name);
    if (device == nullptr || !device->present_) return Fail(ERROR_FILE_NOT_FOUND);
    dialog = dialog_;
  }
  if (!dialog || !dialog(DeviceKey(name), *config)) return Fail(ERROR_CANCELLED);
  return TRUE;
}

}  // namespace sim
