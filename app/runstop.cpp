#include "app/runstop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/forwarding_kernel.h"

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
  // After the run (its end decided, the port closing, a simulated machine shutting down) the
  // process has nothing left worth waiting for: a request ends it at once.
  if (requested_ || phase_ != Phase::Running) {
    if (!requested_ && phase_ == Phase::Before) {
      std::fprintf(stderr, "%s\n", fw::Cp1252ToUtf8(texts::kStoppedUntouched).c_str());
    }
    if (phase_ != Phase::Before && lastWord_) lastWord_(status);
    std::_Exit(status);
  }
  status_ = status;
  requested_ = true;
  if (application_ != nullptr) application_->Post([this] { EndIfRequested(); });
}

void RunStop::SetLastWord(std::function<void(int status)> lastWord) {
  std::lock_guard<std::mutex> lock(mutex_);
  lastWord_ = std::move(lastWord);
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
  lastWord_ = nullptr;
}

// The inner platform's kernel, with the main thread's sleeps and waits looking for a request.
class StoppablePlatform::Kernel : public plat::ForwardingKernel {
 public:
  Kernel(plat::KernelApi& inner, RunStop& stop)
      : plat::ForwardingKernel(inner), stop_(stop) {}

  void Sleep(DWORD milliseconds) override {
    if (!stop_.OnMainThread()) {
      Inner().Sleep(milliseconds);
      return;
    }
    stop_.EndIfRequested();
    if (Inner().IsVirtual() || milliseconds <= kSliceMs) {
      Inner().Sleep(milliseconds);
    } else {
      // Against a deadline, so the slices add no time of their own.
      const std::int64_t deadline =
          Inner().NowMicroseconds() + static_cast<std::int64_t>(milliseconds) * 1000;
      for (std::int64_t left = deadline - Inner().NowMicroseconds(); left > 0;
           left = deadline - Inner().NowMicroseconds()) {
        Inner().Sleep(static_cast<DWORD>(std::min<std::int64_t>((left + 999) / 1000, kSliceMs)));
        stop_.EndIfRequested();
      }
    }
    stop_.EndIfRequested();
  }

  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override {
    if (!stop_.OnMainThread()) return Inner().WaitForSingleObject(event, milliseconds);
    stop_.EndIfRequested();
    if (Inner().IsVirtual() || milliseconds <= kSliceMs) {
      const DWORD result = Inner().WaitForSingleObject(event, milliseconds);
      if (result == WAIT_TIMEOUT) stop_.EndIfRequested();
      return result;
    }
    const bool forever = milliseconds == INFINITE;
    const std::int64_t deadline =
        Inner().NowMicroseconds() + static_cast<std::int64_t>(milliseconds) * 1000;
    for (;;) {
      const std::int64_t left = forever ? kSliceMs * 1000 : deadline - Inner().NowMicroseconds();
      const DWORD step =
          left <= 0 ? 0 : static_cast<DWORD>(std::min<std::int64_t>((left + 999) / 1000, kSliceMs));
      const DWORD result = Inner().WaitForSingleObject(event, step);
      if (result != WAIT_TIMEOUT) return result;
      stop_.EndIfRequested();
      if (step == 0) return result;
    }
  }

 private:
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
