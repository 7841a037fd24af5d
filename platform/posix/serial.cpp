#include "platform/posix/serial.h"

namespace plat::posix {

HANDLE Serial::CreateFileA(const char*, DWORD, DWORD, DWORD, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return INVALID_HANDLE_VALUE;
}

BOOL Serial::CloseHandle(HANDLE) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetCommState(HANDLE, DCB*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetCommState(HANDLE, const DCB*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetupComm(HANDLE, DWORD, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetCommTimeouts(HANDLE, COMMTIMEOUTS*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetCommTimeouts(HANDLE, const COMMTIMEOUTS*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetCommMask(HANDLE, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::WaitCommEvent(HANDLE, DWORD*, OVERLAPPED*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::ReadFile(HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::WriteFile(HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetOverlappedResult(HANDLE, OVERLAPPED*, DWORD*, BOOL) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::ClearCommError(HANDLE, DWORD*, COMSTAT*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::PurgeComm(HANDLE, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::FlushFileBuffers(HANDLE) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::EscapeCommFunction(HANDLE, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetCommBreak(HANDLE) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::ClearCommBreak(HANDLE) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::TransmitCommChar(HANDLE, char) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetCommModemStatus(HANDLE, DWORD*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetCommProperties(HANDLE, COMMPROP*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::GetDefaultCommConfigA(const char*, COMMCONFIG*, DWORD*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::CommConfigDialogA(const char*, HWND, COMMCONFIG*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Serial::SetDefaultCommConfigA(const char*, COMMCONFIG*, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace plat::posix
