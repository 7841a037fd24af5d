// A simple far end for tests: it sends every byte it receives straight back.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/sim/serial_device.h"

namespace sim {

class EchoFarEnd : public FarEnd {
 public:
  // Attaches itself to device; detaches when destroyed.
  explicit EchoFarEnd(SerialDevice& device);
  ~EchoFarEnd() override;
  EchoFarEnd(const EchoFarEnd&) = delete;
  EchoFarEnd& operator=(const EchoFarEnd&) = delete;

  // The bytes received so far, in order.
  std::vector<std::uint8_t> Received() const;

  void OnReceive(std::uint8_t byte) override;

 private:
  SerialDevice& device_;
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> received_;
};

}  // namespace sim
