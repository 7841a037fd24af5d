// The native platform of a POSIX build: the real clock and events, termios serial devices, and
// the Linux system view (sysfs as registry and device-name source).
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
}  // namespace

Platform& NativePlatform() {
  // Never destroyed: a free-on-terminate thread may still be finishing its last calls (closing
  // an event, a device) while the process exits; the system releases everything after that.
  static PosixPlatform* const platform = new PosixPlatform;
  return *platform;
}

}  // namespace plat
