// The serial API on Windows: every call goes straight to the system's function of the same
// name. Devices are opened without security attributes or template file; the default
// configuration calls take the device name as the system does ("COM3"). RequestLowLatency
// goes to the registry (win32rules/latency.h); ConverterLatency cannot tell (0).
#pragma once

#include "platform/platform.h"

namespace plat::win32 {

class Serial : public SerialApi {
 public:
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
  LatencyStep RequestLowLatency(const std::string& converterKey) override;
};

}  // namespace plat::win32
