// The native platform of a Windows build: the system's own kernel objects, serial devices and
// system view, with a 1 ms timer resolution for as long as the platform exists.
#include <chrono>

#include "platform/win32/kernel.h"
#include "platform/win32/serial.h"
#include "platform/win32/system.h"
#include "platform/win32/timerresolution.h"

namespace plat {

namespace {
class Win32Platform : public Platform {
 public:
  // Destroyed when the process exits: a free-on-terminate thread may still be finishing then
  // (a port's event thread told to stop as the program ended). It finishes first, so no thread
  // is left in the platform's calls, or half-way through its own exit, while the process ends.
  ~Win32Platform() override { kernel_.Adopted().JoinAll(std::chrono::seconds(5)); }
  KernelApi& kernel() override { return kernel_; }
  SerialApi& serial() override { return serial_; }
  SystemApi& system() override { return system_; }
  const win32::TimerResolution& timerResolution() const { return timerResolution_; }

 private:
  // First, so the finer tick holds before anything sleeps and until everything else is gone.
  win32::TimerResolution timerResolution_{1};
  win32::Kernel kernel_;
  win32::Serial serial_;
  win32::System system_;
};

Win32Platform& Instance() {
  static Win32Platform platform;
  return platform;
}
}  // namespace

Platform& NativePlatform() { return Instance(); }

const win32::TimerResolution& win32::NativeTimerResolution() {
  return Instance().timerResolution();
}

}  // namespace plat
