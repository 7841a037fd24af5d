// The converter between a simulated device's line and its host (see converter.h): bytes from
// the far end wait in the chip's buffer until a packet takes them to the host's input queue.
#include "platform/sim/serial_device.h"

namespace sim {

void SerialDevice::SetConverter(const ConverterSettings& settings,
                                std::function<std::optional<DWORD>()> requestedLatency) {
  Scheduler::Lock lock(scheduler_.Mutex());
  converter_ = settings;
  requestedLatency_ = std::move(requestedLatency);
  chip_.Restart(scheduler_.NowNs(), settings.latencyMs);
}

int SerialDevice::LatencyMs() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return LatencyMsLocked();
}

int SerialDevice::LatencyMsLocked() const { return converter_ ? chip_.LatencyMs() : 0; }

void SerialDevice::StartChipLocked() {
  if (!converter_) return;
  DropChipBuffer();
  // The driver programs the latency timer as it opens the port.
  int latency = converter_->latencyMs;
  if (converter_->honoursRequest && requestedLatency_) {
    const std::optional<DWORD> requested = requestedLatency_();
    if (requested && *requested >= static_cast<DWORD>(ConverterBuffer::kMinLatencyMs) &&
        *requested <= static_cast<DWORD>(ConverterBuffer::kMaxLatencyMs)) {
      latency = static_cast<int>(*requested);
    }
  }
  chip_.Restart(scheduler_.NowNs(), latency);
}

void SerialDevice::ChipReceive(Scheduler::Lock& lock, std::uint8_t byte) {
  if (chip_.Add(scheduler_.NowNs(), byte)) {
    SendPacket(lock);
    return;
  }
  if (chipEvent_ == 0) {
    const std::uint64_t generation = chipGeneration_;
    chipEvent_ = scheduler_.ScheduleLocked(lock, chip_.DueNs(),
                                           [this, generation] { ChipTimerExpired(generation); });
  }
}

void SerialDevice::SendPacket(Scheduler::Lock& lock) {
  if (chipEvent_ != 0) scheduler_.CancelLocked(chipEvent_);
  chipEvent_ = 0;
  ++chipGeneration_;
  for (std::uint8_t byte : chip_.Take(scheduler_.NowNs())) ReceiveByte(lock, byte);
}

void SerialDevice::ChipTimerExpired(std::uint64_t generation) {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (generation != chipGeneration_ || open_ == nullptr) return;
  chipEvent_ = 0;
  SendPacket(lock);
  scheduler_.Changed(lock);
}

void SerialDevice::DropChipBuffer() {
  if (chipEvent_ != 0) scheduler_.CancelLocked(chipEvent_);
  chipEvent_ = 0;
  ++chipGeneration_;
  chip_.Clear();
}

}  // namespace sim
