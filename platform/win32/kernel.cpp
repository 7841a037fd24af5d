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
  // Asked for wide and converted to the tool's Windows-1252 by table: the ANSI code page is
  // another one on many systems (1250 on a Polish Windows), whose bytes would be shown as the
  // wrong letters. A letter Windows-1252 lacks becomes '?', never a look-alike.
  wchar_t buffer[512];
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, 512, nullptr);
  while (length > 0 && buffer[length - 1] <= L' ') --length;
  if (length == 0) return Win32ErrorText(code);
  const int size = ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, buffer,
                                         static_cast<int>(length), nullptr, 0, "?", nullptr);
  if (size <= 0) return Win32ErrorText(code);
  std::string text(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, buffer, static_cast<int>(length), text.data(),
                        size, "?", nullptr);
  return text;
}

}  // namespace plat::win32
