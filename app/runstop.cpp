#include "app/runstop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/texts.h"
#include "framework/sysutils.h"

namespace app {

namespace {
// How long the main thread sleeps or waits at most before it looks for a stop request again.
constexpr DWORD kSliceMs = 50;
}  // namespace

RunStop& RunStop::Instance() {
  static RunStop stop;
  return stop;
}

void RunStop::Request(int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requested_ || phase_ == Phase::Before) {
    if (!requested_) {
      std::fprintf(stderr, "%s\n", fw::Cp1252ToUtf8(texts::kStoppedUntouched).c_str());
    }
    std::_Exit(status);
  }
  status_ = status;
  requested_ = true;
  if (application_ != nullptr) application_->Post([this] { EndIfRequested(); });
}

void RunStop::BeginRun(fw::TApplication& application) {
  std::lock_guard<std::mutex> lock(mutex_);
  phase_ = Phase::Running;
  application_ = &application;
  mainThread_ = std::this_thread::get_id();
  requested_ = false;
  ended_ = false;
  running_ = true;
}

void RunStop::EndRun() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (phase_ == Phase::Running) phase_ = Phase::After;
  application_ = nullptr;
  running_ = false;
}

void RunStop::EndIfRequested() {
  if (!running_ || !requested_ || !OnMainThread()) return;
  EndRun();
  ended_ = true;
  fw::TApplication::EndProcess(status_);
}

void RunStop::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  phase_ = Phase::Before;
  application_ = nullptr;
  mainThread_ = std::thread::id();
  running_ = false;
  requested_ = false;
  status_ = 0;
  ended_ = false;
}

// The inner platform's kernel, with the main thread's sleeps and waits looking for a request.
class StoppablePlatform::Kernel : public plat::KernelApi {
 public:
  Kernel(plat::KernelApi& inner, RunStop& stop) : inner_(inner), stop_(stop) {}

  std::int64_t NowMicroseconds() override { return inner_.NowMicroseconds(); }
  bool IsVirtual() const override { return inner_.IsVirtual(); }

  void Sleep(DWORD milliseconds) override {
    if (!stop_.OnMainThread()) {
      inner_.Sleep(milliseconds);
      return;
    }
    stop_.EndIfRequested();
    if (inner_.IsVirtual() || milliseconds <= kSliceMs) {
      inner_.Sleep(milliseconds);
    } else {
      // Against a deadline, so the slices add no time of their own.
      const std::int64_t deadline =
          inner_.NowMicroseconds() + static_cast<std::int64_t>(milliseconds) * 1000;
      for (std::int64_t left = deadline - inner_.NowMicroseconds(); left > 0;
           left = deadline - inner_.NowMicroseconds()) {
        inner_.Sleep(static_cast<DWORD>(std::min<std::int64_t>((left + 999) / 1000, kSliceMs)));
        stop_.EndIfRequested();
      }
    }
    stop_.EndIfRequested();
  }

  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override {
    if (!stop_.OnMainThread()) return inner_.WaitForSingleObject(event, milliseconds);
    stop_.EndIfRequested();
    if (inner_.IsVirtual() || milliseconds <= kSliceMs) {
      const DWORD result = inner_.WaitForSingleObject(event, milliseconds);
      if (result == WAIT_TIMEOUT) stop_.EndIfRequested();
      return result;
    }
    const bool forever = milliseconds == INFINITE;
    const std::int64_t deadline =
        inner_.NowMicroseconds() + static_cast<std::int64_t>(milliseconds) * 1000;
    for (;;) {
      const std::int64_t left = forever ? kSliceMs * 1000 : deadline - inner_.NowMicroseconds();
      const DWORD step =
          left <= 0 ? 0 : static_cast<DWORD>(std::min<std::int64_t>((left + 999) / 1000, kSliceMs));
      const DWORD result = inner_.WaitForSingleObject(event, step);
      if (result != WAIT_TIMEOUT) return result;
      stop_.EndIfRequested();
      if (step == 0) return result;
    }
  }

  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
    return inner_.CreateEventA(manualReset, initialState);
  }
  BOOL SetEvent(HANDLE event) override { return inner_.SetEvent(event); }
  BOOL ResetEvent(HANDLE event) override { return inner_.ResetEvent(event); }
  BOOL CloseEvent(HANDLE event) override { return inner_.CloseEvent(event); }
  DWORD GetLastError() override { return inner_.GetLastError(); }
  void SetLastError(DWORD code) override { inner_.SetLastError(code); }
  std::string SysErrorMessage(DWORD code) override { return inner_.SysErrorMessage(code); }
  void ThreadStarting() override { inner_.ThreadStarting(); }
  void ThreadEntered() override { inner_.ThreadEntered(); }
  void ThreadFinished() override { inner_.ThreadFinished(); }
  void ThreadJoining(std::thread::id thread) override { inner_.ThreadJoining(thread); }
  DWORD GetCurrentThreadId() override { return inner_.GetCurrentThreadId(); }
  plat::AdoptedThreads& Adopted() override { return inner_.Adopted(); }

 private:
  plat::KernelApi& inner_;
  RunStop& stop_;
};

StoppablePlatform::StoppablePlatform(plat::Platform& inner, RunStop& stop)
    : inner_(inner), kernel_(std::make_unique<Kernel>(inner.kernel(), stop)) {}

StoppablePlatform::~StoppablePlatform() = default;

StoppablePlatform& StoppablePlatform::Native(RunStop& stop) {
  static StoppablePlatform* const platform = new StoppablePlatform(plat::NativePlatform(), stop);
  return *platform;
}

plat::KernelApi& StoppablePlatform::kernel() { return *kernel_; }

}  // namespace app
