#include "platform/ttylatency.h"

#include "platform/posix/hostfiles.h"
#include "platform/posix/latency.h"
#include "platform/posix/serial_sys.h"

namespace plat {

TtyLatency::TtyLatency() : request_(std::make_unique<posix::LatencyRequest>()) {}

TtyLatency::~TtyLatency() = default;

void TtyLatency::Request(int fd, const std::string& path, const struct stat& node,
                         std::vector<std::string>& notes) {
  const posix::SysCalls& sys = posix::RealSysCalls();
  const std::string name = posix::KernelDeviceName(sys, "/sys", node.st_rdev)
                               .value_or(path.rfind("/dev/", 0) == 0 ? path.substr(5) : path);
  *request_ =
      posix::LatencyRequest::Apply(sys, posix::DefaultHostPaths(sys), fd, name, node, notes);
}

void TtyLatency::Restore(int fd, std::vector<std::string>& notes) {
  request_->Restore(posix::RealSysCalls(), fd, notes);
}

}  // namespace plat
