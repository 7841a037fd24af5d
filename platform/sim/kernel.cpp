#include "platform/sim/kernel.h"

#include "platform/errortext.h"

namespace sim {

std::int64_t DeadlineAfter(const Scheduler& scheduler, DWORD milliseconds) {
  if (milliseconds == INFINITE) return kNever;
  return scheduler.NowNs() + static_cast<std::int64_t>(milliseconds) * kNsPerMs;
}

void Kernel::Sleep(DWORD milliseconds) {
  Scheduler::Lock lock(scheduler_.Mutex());
  scheduler_.Block(lock, nullptr, DeadlineAfter(scheduler_, milliseconds), "Sleep");
}

HANDLE Kernel::CreateEventA(BOOL manualReset, BOOL initialState) {
  auto event = std::make_shared<EventObject>();
  event->manualReset = manualReset != FALSE;
  event->signalled = initialState != FALSE;
  return objects_.Add(std::move(event));
}

BOOL Kernel::SetEvent(HANDLE handle) {
  auto event = FindObject<EventObject>(objects_, handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Scheduler::Lock lock(scheduler_.Mutex());
  event->signalled = true;
  scheduler_.Changed(lock);
  return TRUE;
}

BOOL Kernel::ResetEvent(HANDLE handle) {
  auto event = FindObject<EventObject>(objects_, handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Scheduler::Lock lock(scheduler_.Mutex());
  event->signalled = false;
  return TRUE;
}

DWORD Kernel::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto event = FindObject<EventObject>(objects_, handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const std::function<bool()> take = [&] {
    if (!event->signalled) return false;
    if (!event->manualReset) event->signalled = false;
    return true;
  };
  Scheduler::Lock lock(scheduler_.Mutex());
  if (take()) return WAIT_OBJECT_0;
  // A zero time-out only tests the state; it is no yield point.
  if (milliseconds == 0) return WAIT_TIMEOUT;
  return scheduler_.Block(lock, take, DeadlineAfter(scheduler_, milliseconds),
                          "WaitForSingleObject")
             ? WAIT_OBJECT_0
             : WAIT_TIMEOUT;
}

BOOL Kernel::CloseEvent(HANDLE handle) {
  if (!FindObject<EventObject>(objects_, handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  objects_.Remove(handle);
  return TRUE;
}

std::string Kernel::SysErrorMessage(DWORD code) { return plat::Win32ErrorText(code); }

void Kernel::SignalLocked(HANDLE handle) {
  if (auto event = FindObject<EventObject>(objects_, handle)) event->signalled = true;
}

void Kernel::ResetLocked(HANDLE handle) {
  if (auto event = FindObject<EventObject>(objects_, handle)) event->signalled = false;
}

}  // namespace sim
