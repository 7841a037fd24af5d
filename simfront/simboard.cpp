#include "simfront/simboard.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "platform/ftdinames.h"

namespace simfront {

namespace {

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr char kPortsClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

DWORD LineErrorFlags(board::LineError error) {
  switch (error) {
    case board::LineError::kFrame: return CE_FRAME;
    case board::LineError::kOverrun: return CE_OVERRUN;
    case board::LineError::kParity: return CE_RXPARITY;
    case board::LineError::kBreak: return CE_BREAK;
  }
  return CE_FRAME;
}

// The device targets of the port map, by port name, as the machine's registry holds them.
std::map<std::string, std::string> PortTargets(sim::Machine& machine) {
  std::map<std::string, std::string> targets;
  plat::SystemApi& system = machine.system();
  HKEY key = nullptr;
  if (system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, &key) != ERROR_SUCCESS) {
    return targets;
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    if (system.RegEnumValueA(key, i, name, &nameLength, &type, data, &dataLength) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string port(data, std::find(data, data + dataLength, BYTE{0}));
    targets[port] = std::string(name, nameLength);
  }
  system.RegCloseKey(key);
  return targets;
}

}  // namespace

// The firmware's line on a simulated device. Every entry into the firmware (a received byte, a
// DTR change, a timed call) holds mutex_, so they come one at a time also on the real clock,
// and a call still scheduled when the board has gone finds it detached and does nothing.
class SimulatedBoard::SimLine : public board::Line,
                                public sim::FarEnd,
                                public std::enable_shared_from_this<SimLine> {
 public:
  SimLine(sim::Machine& machine, sim::SerialDevice& device, board::BoardSettings settings)
      : machine_(machine), device_(device), board_(*this, std::move(settings)) {}

  std::int64_t NowNs() override { return machine_.NowNs(); }
  void Send(std::uint8_t byte) override { device_.Send(byte); }
  void SetDsr(bool on) override { device_.SetDSR(on); }
  void After(std::int64_t delayNs, std::function<void()> fn) override {
    machine_.ScheduleAfter(delayNs, [weak = weak_from_this(), fn = std::move(fn)] {
      if (auto self = weak.lock()) {
        std::lock_guard lock(self->mutex_);
        if (self->attached_) fn();
      }
    });
  }
  void Unplug() override { device_.Unplug(); }
  void InjectLineError(board::LineError error) override {
    if (error == board::LineError::kBreak) {
      device_.InjectBreak();
    } else {
      device_.InjectLineError(LineErrorFlags(error));
    }
  }

  void OnReceive(std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    touched_ = true;
    if (attached_) board_.OnReceive(byte);
  }
  void OnHostLines(bool dtr, bool /*rts*/) override {
    std::lock_guard lock(mutex_);
    if (!attached_ || dtr == dtr_) return;
    touched_ = true;
    dtr_ = dtr;
    board_.OnDtr(dtr);
  }

  void Attach() {
    std::lock_guard lock(mutex_);
    attached_ = true;
    dtr_ = device_.DTR();
    device_.Attach(this);
    board_.Start(dtr_);
  }
  void Detach() {
    device_.Attach(nullptr);
    std::lock_guard lock(mutex_);
    attached_ = false;
  }

  board::Board& Firmware() { return board_; }
  bool Touched() {
    std::lock_guard lock(mutex_);
    return touched_;
  }

 private:
  sim::Machine& machine_;
  sim::SerialDevice& device_;
  std::mutex mutex_;
  bool attached_ = false;
  bool dtr_ = false;
  bool touched_ = false;  // the host has sent a byte or changed DTR
  board::Board board_;
};

SimulatedBoard::SimulatedBoard(sim::Machine& machine, sim::SerialDevice& device,
                               board::BoardSettings settings)
    : device_(device), line_(std::make_shared<SimLine>(machine, device, std::move(settings))) {
  line_->Attach();
}

SimulatedBoard::~SimulatedBoard() { line_->Detach(); }

board::Board& SimulatedBoard::Firmware() { return line_->Firmware(); }

board::Memory SimulatedBoard::Stored() const { return line_->Firmware().Stored(); }

bool SimulatedBoard::Touched() const { return line_->Touched(); }

std::unique_ptr<SimulatedBoard> BuildMachine(
    const board::Scenario& scenario, sim::Machine& machine,
    std::vector<std::unique_ptr<SimulatedBoard>>* moreBoards) {
  // Serial devices: the port map first, in order, then the others nobody lists.
  for (const std::string& port : scenario.ports) {
    machine.AddPort(port, sim::PortOptions{true, false});
  }
  for (const std::string& port : scenario.SerialDevices()) {
    if (std::find(scenario.ports.begin(), scenario.ports.end(), port) == scenario.ports.end()) {
      machine.AddPort(port, sim::PortOptions{false, false});
    }
  }

  // The MS-DOS device names, in the scenario's order.
  const std::map<std::string, std::string> targets = PortTargets(machine);
  const std::string ftdiPrefix(plat::ftdi::kConverterNamePrefix);
  int other = 0;
  for (const std::string& name : scenario.devices) {
    std::string target;
    if (auto t = targets.find(name); t != targets.end()) {
      target = t->second;
    } else if (name.rfind(ftdiPrefix, 0) == 0) {
      target = "\\Device\\USBPDO-" + std::to_string(other++);
    } else if (name.size() == 2 && name[1] == ':') {
      target = "\\Device\\HarddiskVolume" + std::to_string(other++);
    } else {
      target = "\\Device\\" + name;
    }
    machine.AddDosDevice(name, target);
  }

  // The converters' instance keys, as their driver leaves them; each board's converter reads
  // its latency from the key that names the board's port.
  std::map<std::string, std::string> parametersOfPort;
  for (const auto& [id, port] : scenario.portNames) {
    const std::string instance = kEnum + plat::ftdi::InstanceKey(plat::ftdi::ConverterDeviceId(id));
    const std::string parameters = instance + "\\Device Parameters";
    machine.registry().SetString(instance, "ClassGUID", kPortsClass);
    machine.registry().CreateKey(parameters);
    if (port) {
      machine.registry().SetString(instance, "FriendlyName", "USB Serial Port (" + *port + ")");
      machine.registry().SetString(parameters, "PortName", *port);
      parametersOfPort.emplace(*port, parameters);  // the first key that names it
    }
    if (scenario.converter) {
      machine.registry().SetDword(parameters, "LatencyTimer",
                                  static_cast<DWORD>(scenario.converter->latencyMs));
    }
  }

  auto attachBoard = [&](const std::string& port, const board::BoardSettings& settings) {
    sim::SerialDevice& device = *machine.Device(port);
    if (scenario.converter) {
      std::function<std::optional<DWORD>()> requested;
      if (auto key = parametersOfPort.find(port); key != parametersOfPort.end()) {
        requested = [&machine, parameters = key->second] {
          return machine.registry().Dword(parameters, "LatencyTimer");
        };
      }
      const sim::ConverterSettings converter{scenario.converter->latencyMs,
                                             scenario.converter->honoursRequest};
      device.SetConverter(converter, std::move(requested));
    }
    return std::make_unique<SimulatedBoard>(machine, device, settings);
  };
  for (const std::string& port : scenario.busy) {
    if (machine.Device(port) != nullptr) machine.SetBusy(port, true);
  }
  std::unique_ptr<SimulatedBoard> main = attachBoard(scenario.boardPort, scenario.board);
  if (moreBoards != nullptr) {
    for (const board::Scenario::PortBoard& more : scenario.moreBoards) {
      moreBoards->push_back(attachBoard(more.port, more.settings));
    }
  }
  return main;
}

}  // namespace simfront
