// A kernel that passes every call on to another kernel: a wrapper derives from it and overrides
// only the calls it changes (the run's stoppable kernel; tests that watch or fail calls). Every
// call of the interface is forwarded here, so a call added to the interface is forwarded once,
// for every wrapper.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace plat {

class ForwardingKernel : public KernelApi {
 public:
  explicit ForwardingKernel(KernelApi& inner) : inner_(inner) {}

  std::int64_t NowMicroseconds() override { return inner_.NowMicroseconds(); }
  void Sleep(DWORD milliseconds) override { inner_.Sleep(milliseconds); }
  bool IsVirtual() const override { return inner_.IsVirtual(); }
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
    return inner_.CreateEventA(manualReset, initialState);
  }
  BOOL SetEvent(HANDLE event) override { return inner_.SetEvent(event); }
  BOOL ResetEvent(HANDLE event) override { return inner_.ResetEvent(event); }
  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override {
    return inner_.WaitForSingleObject(event, milliseconds);
  }
  BOOL CloseEvent(HANDLE event) override { return inner_.CloseEvent(event); }
  DWORD GetLastError() override { return inner_.GetLastError(); }
  void SetLastError(DWORD code) override { inner_.SetLastError(code); }
  std::string SysErrorMessage(DWORD code) override { return inner_.SysErrorMessage(code); }
  void ThreadStarting() override { inner_.ThreadStarting(); }
  void ThreadEntered() override { inner_.ThreadEntered(); }
  void ThreadFinished() override { inner_.ThreadFinished(); }
  void ThreadNotStarted() override { inner_.ThreadNotStarted(); }
  void ThreadJoining(std::thread::id thread) override { inner_.ThreadJoining(thread); }
  BOOL CreateThread(std::function<void()> body, std::thread* thread) override {
    return inner_.CreateThread(std::move(body), thread);
  }
  DWORD GetCurrentThreadId() override { return inner_.GetCurrentThreadId(); }
  AdoptedThreads& Adopted() override { return inner_.Adopted(); }

 protected:
  KernelApi& Inner() { return inner_; }

 private:
  KernelApi& inner_;
};

}  // namespace plat
