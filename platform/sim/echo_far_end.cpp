#include "platform/sim/echo_far_end.h"

namespace sim {

EchoFarEnd::EchoFarEnd(SerialDevice& device) : device_(device) { device_.Attach(this); }

EchoFarEnd::~EchoFarEnd() { device_.Attach(nullptr); }

std::vector<std::uint8_t> EchoFarEnd::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void EchoFarEnd::OnReceive(std::uint8_t byte) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(byte);
  }
  device_.Send(byte);
}

}  // namespace sim
