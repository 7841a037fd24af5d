// The native platform of a POSIX build: the real clock and events, termios serial devices, and
// the Linux system view (sysfs as registry and device-name source).
#include <chrono>

#include "platform/posix/kernel.h"
#include "platform/posix/serial.h"
#include "platform/posix/system.h"

namespace plat {

namespace {
class PosixPlatform : public Platform {
 public:
  PosixPlatform() : serial_(kernel_), system_(kernel_) {}
  KernelApi& kernel() override { return kernel_; }
  SerialApi& serial() override { return serial_; }
  SystemApi& system() override { return system_; }

 private:
  posix::Kernel kernel_;
  posix::Serial serial_;
  posix::System system_;
};

// At exit, the free-on-terminate threads still finishing (a port's event thread told to stop
// as the program ended) are waited for and joined, so none is left half-way through its exit.
class AdoptedThreadsAtExit {
 public:
  explicit AdoptedThreadsAtExit(KernelApi& kernel) : kernel_(kernel) {}
  ~AdoptedThreadsAtExit() { kernel_.Adopted().JoinAll(std::chrono::seconds(5)); }

 private:
  KernelApi& kernel_;
};
}  // namespace

Platform& NativePlatform() {
  // Never destroyed: a thread that does not end by itself may still use it while the process
  // exits; the system releases everything after that.
  static PosixPlatform* const platform = new PosixPlatform;
  static AdoptedThreadsAtExit joinAtExit(platform->kernel());
  return *platform;
}

}  // namespace plat
