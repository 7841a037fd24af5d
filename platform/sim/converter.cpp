#include "platform/sim/converter.h"

#include "platform/sim/scheduler.h"

namespace sim {

void ConverterBuffer::Restart(std::int64_t nowNs, int latencyMs) {
  waiting_.clear();
  anchorNs_ = nowNs;
  latencyMs_ = latencyMs;
}

std::int64_t ConverterBuffer::NextExpiry(std::int64_t nowNs) const {
  const std::int64_t step = static_cast<std::int64_t>(latencyMs_) * kNsPerMs;
  const std::int64_t elapsed = nowNs > anchorNs_ ? nowNs - anchorNs_ : 0;
  return anchorNs_ + (elapsed / step + 1) * step;
}

bool ConverterBuffer::Add(std::int64_t nowNs, std::uint8_t byte) {
  if (waiting_.empty()) dueNs_ = NextExpiry(nowNs);
  waiting_.push_back(byte);
  return waiting_.size() >= kPacketData;
}

std::vector<std::uint8_t> ConverterBuffer::Take(std::int64_t nowNs) {
  std::vector<std::uint8_t> packet;
  packet.swap(waiting_);
  // Every packet restarts the timer; one sent at an expiry keeps the grid where it was.
  anchorNs_ = nowNs;
  return packet;
}

}  // namespace sim
