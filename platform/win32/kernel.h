// The Win32 kernel objects, passed straight through: QueryPerformanceCounter as the clock,
// Sleep, real event objects and waits, and FormatMessage for error texts. The per-thread last
// error is the system's own (lasterror.cpp).
#pragma once

#include "platform/platform.h"

namespace plat::win32 {

class Kernel : public KernelApi {
 public:
  Kernel();
  std::int64_t NowMicroseconds() override;
  void Sleep(DWORD milliseconds) override;
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override;
  BOOL SetEvent(HANDLE event) override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override;
  BOOL CloseEvent(HANDLE event) override;
  // The system's text for code without its trailing line break; the English text of
  // errortext.h when the system has none.
  std::string SysErrorMessage(DWORD code) override;
  AdoptedThreads& Adopted() override { return adopted_; }

 private:
  AdoptedThreads adopted_;
  std::int64_t frequency_;
};

}  // namespace plat::win32
