// Platform APIs that pass every call on to another platform's: a test derives from one and
// overrides only the calls it watches, records or makes fail. Every call of the interface is
// forwarded here, so a call added to the interface is forwarded once, for every test.
#pragma once

#include <thread>

#include "platform/forwarding_kernel.h"
#include "platform/platform.h"

namespace testsupport {

class ForwardingSerial : public plat::SerialApi {
 public:
  explicit ForwardingSerial(plat::SerialApi& inner) : inner_(inner) {}

  HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                     DWORD flagsAndAttributes) override {
    return inner_.CreateFileA(name, access, shareMode, creation, flagsAndAttributes);
  }
  BOOL CloseHandle(HANDLE device) override { return inner_.CloseHandle(device); }
  BOOL GetCommState(HANDLE device, DCB* dcb) override { return inner_.GetCommState(device, dcb); }
  BOOL SetCommState(HANDLE device, const DCB* dcb) override {
    return inner_.SetCommState(device, dcb);
  }
  BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override {
    return inner_.SetupComm(device, inQueue, outQueue);
  }
  BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override {
    return inner_.GetCommTimeouts(device, timeouts);
  }
  BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) override {
    return inner_.SetCommTimeouts(device, timeouts);
  }
  BOOL SetCommMask(HANDLE device, DWORD mask) override { return inner_.SetCommMask(device, mask); }
  BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override {
    return inner_.WaitCommEvent(device, mask, overlapped);
  }
  BOOL ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                OVERLAPPED* overlapped) override {
    return inner_.ReadFile(device, buffer, length, transferred, overlapped);
  }
  BOOL WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                 OVERLAPPED* overlapped) override {
    return inner_.WriteFile(device, buffer, length, transferred, overlapped);
  }
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                           BOOL wait) override {
    return inner_.GetOverlappedResult(device, overlapped, transferred, wait);
  }
  BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) override {
    return inner_.ClearCommError(device, errors, stat);
  }
  BOOL PurgeComm(HANDLE device, DWORD flags) override { return inner_.PurgeComm(device, flags); }
  BOOL FlushFileBuffers(HANDLE device) override { return inner_.FlushFileBuffers(device); }
  BOOL EscapeCommFunction(HANDLE device, DWORD function) override {
    return inner_.EscapeCommFunction(device, function);
  }
  BOOL SetCommBreak(HANDLE device) override { return inner_.SetCommBreak(device); }
  BOOL ClearCommBreak(HANDLE device) override { return inner_.ClearCommBreak(device); }
  BOOL TransmitCommChar(HANDLE device, char c) override {
    return inner_.TransmitCommChar(device, c);
  }
  BOOL GetCommModemStatus(HANDLE device, DWORD* status) override {
    return inner_.GetCommModemStatus(device, status);
  }
  BOOL GetCommProperties(HANDLE device, COMMPROP* properties) override {
    return inner_.GetCommProperties(device, properties);
  }
  BOOL GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) override {
    return inner_.GetDefaultCommConfigA(name, config, size);
  }
  BOOL CommConfigDialogA(const char* name, HWND parent, COMMCONFIG* config) override {
    return inner_.CommConfigDialogA(name, parent, config);
  }
  BOOL SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) override {
    return inner_.SetDefaultCommConfigA(name, config, size);
  }
  plat::OpenFailure LastOpenFailure() override { return inner_.LastOpenFailure(); }
  std::vector<std::string> LastDeviceNotes() override { return inner_.LastDeviceNotes(); }
  plat::LatencyStep RequestLowLatency(const std::string& converterKey) override {
    return inner_.RequestLowLatency(converterKey);
  }
  DWORD ConverterLatency(HANDLE device) override { return inner_.ConverterLatency(device); }

 protected:
  plat::SerialApi& Inner() { return inner_; }

 private:
  plat::SerialApi& inner_;
};

// The kernel's forwarding lives beside the kernel interface: the program forwards it too.
using ForwardingKernel = plat::ForwardingKernel;

}  // namespace testsupport
