#include "platform/platform.h"

#include <atomic>

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

}  // namespace plat
