#include "platform/win32/kernel.h"

#include "platform/errortext.h"

namespace plat::win32 {

Kernel::Kernel() {
  LARGE_INTEGER frequency;
  // Never fails on Windows XP and later.
  ::QueryPerformanceFrequency(&frequency);
  frequency_ = frequency.QuadPart;
}

std::int64_t Kernel::NowMicroseconds() {
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  // Split so that the multiplication cannot overflow however long the machine has run.
  const std::int64_t whole = counter.QuadPart / frequency_;
  const std::int64_t part = counter.QuadPart % frequency_;
  return whole * 1000000 + part * 1000000 / frequency_;
}

void Kernel::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

HANDLE Kernel::CreateEventA(BOOL manualReset, BOOL initialState) {
  return ::CreateEventA(nullptr, manualReset, initialState, nullptr);
}

BOOL Kernel::SetEvent(HANDLE event) { return ::SetEvent(event); }

BOOL Kernel::ResetEvent(HANDLE event) { return ::ResetEvent(event); }

DWORD Kernel::WaitForSingleObject(HANDLE event, DWORD milliseconds) {
  return ::WaitForSingleObject(event, milliseconds);
}

BOOL Kernel::CloseEvent(HANDLE event) { return ::CloseHandle(event); }

std::string Kernel::SysErrorMessage(DWORD code) {
  char buffer[512];
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && static_cast<unsigned char>(buffer[length - 1]) <= ' ') --length;
  if (length == 0) return Win32ErrorText(code);
  return std::string(buffer, length);
}

}  // namespace plat::win32
