#include "framework/thread.h"

#include "framework/application.h"

namespace fw {

namespace {
// Joining is a wait the platform's kernel does not see; tell it first, so that a virtual clock
// lets the thread being joined run to its end.
void Join(plat::Platform& platform, std::thread& thread) {
  platform.kernel().ThreadJoining(thread.get_id());
  thread.join();
}
}  // namespace

int ThreadPriorityValue(TThreadPriority priority) {
  static constexpr int kValues[] = {-15, -2, -1, 0, 1, 2, 15};
  return kValues[priority];
}

TThread::TThread(bool createSuspended, plat::Platform& platform) : platform_(platform) {
  if (!createSuspended) Start();
}

TThread::~TThread() {
  if (thread_.joinable()) {
    if (IsCurrentThread()) {
      // Freed by its own thread: nobody is left to join it but the kernel.
      platform_.kernel().Adopted().Adopt(std::move(thread_));
    } else {
      Terminate();
      Join(platform_, thread_);
    }
  }
}

void TThread::Start() {
  if (started_.exchange(true)) return;
  // The new thread counts as running from now on, before it is scheduled.
  plat::KernelApi& kernel = platform_.kernel();
  kernel.ThreadStarting();
  const BOOL created = kernel.CreateThread(
      [this, &kernel] {
        Body();
        // The thread's last call on the kernel: an adopted thread may be joined from now on.
        kernel.Adopted().Ended();
      },
      &thread_);
  if (!created) {
    kernel.ThreadNotStarted();
    started_.store(false);
    throw EOutOfResources(kernel.SysErrorMessage(kernel.GetLastError()));
  }
  nativeHandle_ = static_cast<std::uintptr_t>(thread_.native_handle());
  ApplyPriority();
  // A free-on-terminate thread is never detached: the kernel joins it once it has ended, so
  // nothing of it still runs when the platform goes or the process exits.
  if (freeOnTerminate_) kernel.Adopted().Adopt(std::move(thread_));
  // Only now may the body run (and, when free-on-terminate, delete this object).
  // Notified under the lock, so the body cannot run (and delete this) before it is done.
  std::lock_guard<std::mutex> lock(setUpMutex_);
  setUpDone_ = true;
  setUpChanged_.notify_all();
}

void TThread::Body() {
  {
    std::unique_lock<std::mutex> lock(setUpMutex_);
    setUpChanged_.wait(lock, [this] { return setUpDone_; });
  }
  id_.store(std::this_thread::get_id());
  plat::KernelApi& kernel = platform_.kernel();
  kernel.ThreadEntered();
  try {
    Execute();
  } catch (...) {
    // An exception that escapes Execute ends the thread without a report.
  }
  const bool freeSelf = freeOnTerminate_;
  finished_.store(true);
  if (freeSelf) delete this;
  kernel.ThreadFinished();
}

void TThread::SetPriority(TThreadPriority priority) {
  priority_ = priority;
  if (started_.load()) ApplyPriority();
}

void TThread::ApplyPriority() {
  if (finished_.load()) return;
  platform_.system().SetThreadPriority(nativeHandle_, ThreadPriorityValue(priority_));
}

bool TThread::IsCurrentThread() const { return id_.load() == std::this_thread::get_id(); }

void TThread::WaitFor() {
  if (thread_.joinable() && !IsCurrentThread()) Join(platform_, thread_);
}

void TThread::Synchronize(const std::function<void()>& method) { Synchronize(this, method); }

void TThread::Synchronize(TThread* /*thread*/, const std::function<void()>& method) {
  if (Application == nullptr || Application->IsMainThread()) {
    method();
    return;
  }
  Application->Synchronize(method);
}

}  // namespace fw
