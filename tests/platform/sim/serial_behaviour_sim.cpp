// The serial behaviour table on the simulated machine: a port on the virtual clock, the test
// playing its far end through the device's far-end side.
#include "platform/sim/machine.h"
#include "tests/platform/serial_bench.h"

namespace serialtable {
namespace {

class SimBench : public SerialBench {
 public:
  Backend Kind() const override { return Backend::Sim; }
  plat::SerialApi& Serial() override { return machine_.serial(); }
  plat::KernelApi& Kernel() override { return machine_.kernel(); }
  std::string PortName() override { return "\\\\.\\COM3"; }

  void Send(const std::string& bytes) override { port_.Send(bytes); }
  std::string Receive(std::size_t count) override {
    // Waits on the machine's clock until count bytes have arrived, or five seconds without one.
    std::int64_t quietSince = machine_.NowNs();
    std::size_t seen = port_.WireBytes(sim::Direction::HostToFar).size();
    while (seen < received_ + count && machine_.NowNs() - quietSince < 5000 * sim::kNsPerMs) {
      machine_.RunFor(sim::kNsPerMs);
      const std::size_t now = port_.WireBytes(sim::Direction::HostToFar).size();
      if (now != seen) quietSince = machine_.NowNs();
      seen = now;
    }
    const std::vector<std::uint8_t> wire = port_.WireBytes(sim::Direction::HostToFar);
    const std::size_t end = std::min(wire.size(), received_ + count);
    std::string bytes(wire.begin() + static_cast<std::ptrdiff_t>(received_),
                      wire.begin() + static_cast<std::ptrdiff_t>(end));
    received_ = end;
    return bytes;
  }
  void SetLine(FarLine line, bool on) override {
    switch (line) {
      case FarLine::Cts: port_.SetCTS(on); break;
      case FarLine::Dsr: port_.SetDSR(on); break;
      case FarLine::Ring: port_.SetRing(on); break;
      case FarLine::Dcd: port_.SetDCD(on); break;
    }
  }
  bool Dtr() override { return port_.DTR(); }
  bool Rts() override { return port_.RTS(); }
  void Fault(LineFault fault) override {
    switch (fault) {
      case LineFault::Frame: port_.InjectLineError(CE_FRAME); break;
      case LineFault::Overrun: port_.InjectLineError(CE_OVERRUN); break;
      case LineFault::Parity: port_.InjectLineError(CE_RXPARITY); break;
      case LineFault::Break: port_.InjectBreak(); break;
    }
  }
  void Vanish() override { port_.Unplug(); }
  void After(DWORD ms, std::function<void()> action) override {
    machine_.ScheduleAfter(std::int64_t{ms} * sim::kNsPerMs, std::move(action));
  }

  double FrameNs() const override { return static_cast<double>(port_.FrameNs()); }
  // The output queue holds 4096 bytes; the rest waits for the line.
  std::size_t BlockingWriteSize() const override { return 4096 + 512; }

 private:
  sim::Machine machine_;
  sim::SerialDevice& port_ = machine_.AddPort("COM3");
  std::size_t received_ = 0;
};

}  // namespace

std::unique_ptr<SerialBench> MakeSerialBench() { return std::make_unique<SimBench>(); }

bool RanInChildProcess() { return false; }

INSTANTIATE_TEST_SUITE_P(Sim, SerialBehaviour, ::testing::ValuesIn(SerialBehaviourRows()), RowName);

}  // namespace serialtable
