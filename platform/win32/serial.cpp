#include "platform/win32/serial.h"

#include "platform/win32/system.h"
#include "platform/win32rules/latency.h"

namespace plat::win32 {

HANDLE Serial::CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                           DWORD flagsAndAttributes) {
  return ::CreateFileA(name, access, shareMode, nullptr, creation, flagsAndAttributes, nullptr);
}

BOOL Serial::CloseHandle(HANDLE device) { return ::CloseHandle(device); }

BOOL Serial::GetCommState(HANDLE device, DCB* dcb) { return ::GetCommState(device, dcb); }

BOOL Serial::SetCommState(HANDLE device, const DCB* dcb) {
  // The system does not write through the pointer; its prototype just lacks the const.
  return ::SetCommState(device, const_cast<DCB*>(dcb));
}

BOOL Serial::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
  return ::SetupComm(device, inQueue, outQueue);
}

BOOL Serial::GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) {
  return ::GetCommTimeouts(device, timeouts);
}

BOOL Serial::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) {
  return ::SetCommTimeouts(device, const_cast<COMMTIMEOUTS*>(timeouts));
}

BOOL Serial::SetCommMask(HANDLE device, DWORD mask) { return ::SetCommMask(device, mask); }

BOOL Serial::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
  return ::WaitCommEvent(device, mask, overlapped);
}

BOOL Serial::ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                      OVERLAPPED* overlapped) {
  return ::ReadFile(device, buffer, length, transferred, overlapped);
}

BOOL Serial::WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                       OVERLAPPED* overlapped) {
  return ::WriteFile(device, buffer, length, transferred, overlapped);
}

BOOL Serial::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                                 BOOL wait) {
  return ::GetOverlappedResult(device, overlapped, transferred, wait);
}

BOOL Serial::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) {
  return ::ClearCommError(device, errors, stat);
}

BOOL Serial::PurgeComm(HANDLE device, DWORD flags) { return ::PurgeComm(device, flags); }

BOOL Serial::FlushFileBuffers(HANDLE device) { return ::FlushFileBuffers(device); }

BOOL Serial::EscapeCommFunction(HANDLE device, DWORD function) {
  return ::EscapeCommFunction(device, function);
}

BOOL Serial::SetCommBreak(HANDLE device) { return ::SetCommBreak(device); }

BOOL Serial::ClearCommBreak(HANDLE device) { return ::ClearCommBreak(device); }

BOOL Serial::TransmitCommChar(HANDLE device, char c) { return ::TransmitCommChar(device, c); }

BOOL Serial::GetCommModemStatus(HANDLE device, DWORD* status) {
  return ::GetCommModemStatus(device, status);
}

BOOL Serial::GetCommProperties(HANDLE device, COMMPROP* properties) {
  return ::GetCommProperties(device, properties);
}

BOOL Serial::GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) {
  return ::GetDefaultCommConfigA(name, config, size);
}

BOOL Serial::CommConfigDialogA(const char* name, HWND parent, COMMCONFIG* config) {
  return ::CommConfigDialogA(name, parent, config);
}

BOOL Serial::SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) {
  return ::SetDefaultCommConfigA(name, config, size);
}

LatencyStep Serial::RequestLowLatency(const std::string& converterKey) {
  System registry;  // its registry calls only: they make no device window
  return win32rules::LowerLatencyTimer(registry, converterKey);
}

}  // namespace plat::win32
