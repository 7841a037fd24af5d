#include "platform/platform.h"

#include <atomic>
#include <new>
#include <system_error>

namespace plat {

namespace {
std::atomic<Platform*> g_current{nullptr};
}

Platform& CurrentPlatform() {
  Platform* p = g_current.load();
  return p != nullptr ? *p : NativePlatform();
}

Platform* SetCurrentPlatform(Platform* p) {
  Platform* previous = g_current.exchange(p);
  return previous != nullptr ? previous : &NativePlatform();
}

BOOL KernelApi::CreateThread(std::function<void()> body, std::thread* thread) {
  try {
    *thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

}  // namespace plat
