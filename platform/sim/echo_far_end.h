// A simple far end for tests: it sends every byte it receives straight back, unless a reply
// was set for that byte, and can wire DSR to DTR and CTS to RTS like a loop-back plug.
#pragma once

#include <cstdint>
#include <map>
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

  // Answers byte with reply (possibly empty: silence) instead of echoing it.
  void ReplyTo(std::uint8_t byte, std::vector<std::uint8_t> reply);
  // DSR follows DTR and CTS follows RTS from now on (and takes their levels at once).
  void LoopLines(bool on);
  // The bytes received so far, in order.
  std::vector<std::uint8_t> Received() const;

  void OnReceive(std::uint8_t byte) override;
  void OnHostLines(bool dtr, bool rts) override;

 private:
  SerialDevice& device_;
  mutable std::mutex mutex_;
  std::map<std::uint8_t, std::vector<std::uint8_t>> replies_;
  std::vector<std::uint8_t> received_;
  bool loopLines_ = false;
};

}  // namespace sim
