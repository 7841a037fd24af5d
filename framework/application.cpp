#include "framework/application.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "framework/timer.h"

namespace fw {

TApplication* Application = nullptr;

namespace {
TApplication::ExitHook& ExitHookSlot() {
  static TApplication::ExitHook hook;
  return hook;
}
}  // namespace

TApplication::TApplication(plat::Platform& platform)
    : platform_(platform), mainThread_(std::this_thread::get_id()) {
  wakeEvent_ = platform_.kernel().CreateEventA(FALSE, FALSE);
  Application = this;
}

TApplication::~TApplication() {
  Close();
  if (Application == this) Application = nullptr;
  if (wakeEvent_ != nullptr) platform_.kernel().CloseEvent(wakeEvent_);
}

void TApplication::Post(std::function<void()> call) { Enqueue(Queued{std::move(call), nullptr}); }

void TApplication::Close() {
  std::deque<Queued> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    left.swap(queue_);
  }
  for (Queued& item : left) {
    if (item.cancel) item.cancel();
  }
}

void TApplication::Enqueue(Queued item) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) {
      queue_.push_back(std::move(item));
      item.cancel = nullptr;
    }
  }
  if (item.cancel) {
    item.cancel();
    return;
  }
  platform_.kernel().SetEvent(wakeEvent_);
  if (pump_ != nullptr) pump_->Wake();
}

void TApplication::Synchronize(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  plat::KernelApi& kernel = platform_.kernel();
  struct Request {
    std::exception_ptr error;
    HANDLE done = nullptr;
  };
  auto request = std::make_shared<Request>();
  request->done = kernel.CreateEventA(TRUE, FALSE);
  Enqueue(Queued{[request, call, &kernel] {
                   try {
                     call();
                   } catch (...) {
                     request->error = std::current_exception();
                   }
                   kernel.SetEvent(request->done);
                 },
                 [request, &kernel] {
                   request->error = std::make_exception_ptr(
                       EThread("The application ended before the call could run"));
                   kernel.SetEvent(request->done);
                 }});
  kernel.WaitForSingleObject(request->done, INFINITE);
  kernel.CloseEvent(request->done);
  // Taken out of the request, so the exception dies on this thread, which uses it, and not on
  // the main thread when that drops its copy of the request.
  if (std::exception_ptr error = std::move(request->error)) std::rethrow_exception(error);
}

bool TApplication::HasQueuedWork() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty();
}

void TApplication::ProcessMessages() {
  if (pump_ != nullptr) pump_->ProcessEvents();
  // Only what is queued now; calls queued meanwhile wait for the next round.
  std::deque<Queued> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(queue_);
  }
  while (!batch.empty()) {
    std::function<void()> call = std::move(batch.front().call);
    batch.pop_front();
    try {
      call();
    } catch (const ProcessEnded&) {
      // Put the rest back so nothing queued is lost, then let the end unwind.
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.insert(queue_.begin(), batch.begin(), batch.end());
      throw;
    } catch (...) {
      HandleException();
    }
  }
  RunDueTimers();
}

void TApplication::RunDueTimers() {
  const std::int64_t now = platform_.kernel().NowMicroseconds();
  std::vector<TTimer*> due;
  for (Timer& t : timers_) {
    if (t.dueUs <= now) {
      due.push_back(t.timer);
      t.dueUs = now + static_cast<std::int64_t>(t.interval) * 1000;
    }
  }
  for (TTimer* timer : due) {
    // A handler may stop or free other timers: fire only those still registered.
    bool still = false;
    for (const Timer& t : timers_) still = still || t.timer == timer;
    if (!still) continue;
    try {
      timer->Fire();
    } catch (const ProcessEnded&) {
      throw;
    } catch (...) {
      HandleException();
    }
  }
}

DWORD TApplication::NextTimerDelay() {
  if (timers_.empty()) return INFINITE;
  const std::int64_t now = platform_.kernel().NowMicroseconds();
  std::int64_t next = timers_.front().dueUs;
  for (const Timer& t : timers_) next = std::min(next, t.dueUs);
  if (next <= now) return 0;
  // Round up, so waking early never spins.
  return static_cast<DWORD>((next - now + 999) / 1000);
}

void TApplication::HandleMessage() {
  if (!HasQueuedWork()) {
    const DWORD delay = NextTimerDelay();
    if (delay != 0) {
      if (pump_ != nullptr && pump_->HasOwnEvents() && !platform_.kernel().IsVirtual()) {
        pump_->WaitForEvents(delay);
      } else {
        platform_.kernel().WaitForSingleObject(wakeEvent_, delay);
      }
    }
  }
  ProcessMessages();
}

void TApplication::Run() {
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  terminated_ = true;
  platform_.kernel().SetEvent(wakeEvent_);
  if (pump_ != nullptr) pump_->Wake();
}

void TApplication::HandleException() {
  try {
    throw;
  } catch (const EAbort&) {
    // The silent abort: no message.
  } catch (const EOutOfResources&) {
    // Without a thread, a timer or memory the program cannot go on: the run ends.
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const Exception& e) {
    ShowException(e.Message());
  } catch (const ProcessEnded&) {
    throw;
  } catch (...) {
    ShowException(std::string());
  }
}

void TApplication::ShowException(const std::string& message) {
  if (OnShowException) {
    OnShowException(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
}

void TApplication::HookMainWindow(TWindowHook hook) { hooks_.push_back(hook); }

void TApplication::UnhookMainWindow(TWindowHook hook) {
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
    if (*it == hook) {
      hooks_.erase(it);
      return;
    }
  }
}

bool TApplication::DispatchToHooks(TMessage& message) {
  std::vector<TWindowHook> hooks = hooks_;
  for (const TWindowHook& hook : hooks) {
    if (hook(message)) return true;
  }
  return false;
}

void TApplication::PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) {
  // The hooks read a broadcast as Win32 hands one out: by the size its header declares. A
  // record copied from elsewhere is made to keep that promise: it holds at least a whole header
  // (size, device type, reserved; zeros where it was short), and declares no more than it holds.
  constexpr std::size_t kHeaderSize = 12;
  if (!broadcast.empty()) {
    if (broadcast.size() < kHeaderSize) broadcast.resize(kHeaderSize, 0);
    std::uint32_t declared = 0;
    std::memcpy(&declared, broadcast.data(), sizeof declared);
    if (declared > broadcast.size()) {
      declared = static_cast<std::uint32_t>(broadcast.size());
      std::memcpy(broadcast.data(), &declared, sizeof declared);
    }
  }
  Post([this, wParam, data = std::move(broadcast)]() mutable {
    TMessage message{WM_DEVICECHANGE, wParam, reinterpret_cast<LPARAM>(data.data()), 0};
    DispatchToHooks(message);
  });
}

void TApplication::StartTimer(TTimer* timer, DWORD interval) {
  StopTimer(timer);
  const std::int64_t now = platform_.kernel().NowMicroseconds();
  timers_.push_back(Timer{timer, now + static_cast<std::int64_t>(interval) * 1000, interval});
  platform_.kernel().SetEvent(wakeEvent_);
  if (pump_ != nullptr) pump_->Wake();
}

void TApplication::StopTimer(TTimer* timer) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->timer == timer) {
      timers_.erase(it);
      return;
    }
  }
}

void TApplication::EndProcess(int status) {
  ExitHook& hook = ExitHookSlot();
  if (hook) hook(status);
  if (Application != nullptr) Application->Close();
  std::exit(status);
}

void TApplication::SetExitHook(ExitHook hook) { ExitHookSlot() = std::move(hook); }

}  // namespace fw
