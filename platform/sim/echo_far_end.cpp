#include "platform/sim/echo_far_end.h"

namespace sim {

EchoFarEnd::EchoFarEnd(SerialDevice& device) : device_(device) { device_.Attach(this); }

EchoFarEnd::~EchoFarEnd() { device_.Attach(nullptr); }

void EchoFarEnd::ReplyTo(std::uint8_t byte, std::vector<std::uint8_t> reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[byte] = std::move(reply);
}

void EchoFarEnd::LoopLines(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loopLines_ = on;
  }
  if (on) OnHostLines(device_.DTR(), device_.RTS());
}

std::vector<std::uint8_t> EchoFarEnd::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void EchoFarEnd::OnReceive(std::uint8_t byte) {
  std::vector<std::uint8_t> answer{byte};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(byte);
    if (auto it = replies_.find(byte); it != replies_.end()) answer = it->second;
  }
  if (!answer.empty()) device_.Send(answer);
}

void EchoFarEnd::OnHostLines(bool dtr, bool rts) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loopLines_) return;
  }
  device_.SetDSR(dtr);
  device_.SetCTS(rts);
}

}  // namespace sim
