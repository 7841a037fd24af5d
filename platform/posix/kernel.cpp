#include "platform/posix/kernel.h"

#include <time.h>

#include <cerrno>
#include <chrono>

#include "platform/errortext.h"
#include "platform/posix/errno_map.h"

namespace plat::posix {

std::int64_t Kernel::NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Kernel::Sleep(DWORD milliseconds) {
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  RetryEintr([&] { return nanosleep(&request, &request); });  // sleeps on for what is left
}

HANDLE Kernel::CreateEventA(BOOL manualReset, BOOL initialState) {
  auto event = std::make_shared<Event>();
  event->manualReset = manualReset != FALSE;
  event->signalled = initialState != FALSE;
  return events_.Add(std::move(event));
}

BOOL Kernel::SetEvent(HANDLE handle) {
  auto event = events_.Find(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(event->mutex);
    event->signalled = true;
  }
  event->changed.notify_all();
  return TRUE;
}

BOOL Kernel::ResetEvent(HANDLE handle) {
  auto event = events_.Find(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = false;
  return TRUE;
}

DWORD Kernel::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto event = events_.Find(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(event->mutex);
  auto ready = [&] { return event->signalled; };
  if (milliseconds == 0) {
    // A poll: answered without sleeping (a zero timed wait still enters the kernel).
    if (!ready()) return WAIT_TIMEOUT;
  } else if (milliseconds == INFINITE) {
    event->changed.wait(lock, ready);
  } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
    return WAIT_TIMEOUT;
  }
  if (!event->manualReset) event->signalled = false;
  return WAIT_OBJECT_0;
}

BOOL Kernel::CloseEvent(HANDLE handle) {
  if (!events_.Remove(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

std::string Kernel::SysErrorMessage(DWORD code) { return Win32ErrorText(code); }

}  // namespace plat::posix
