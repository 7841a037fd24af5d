// The board on a simulated machine: a scenario turned into the machine's description, and the
// firmware attached to the far end of one of its serial devices.
//
//   sim::Machine machine;
//   board::Scenario scenario = board::LoadScenarioFile("board/scenarios/fast.scenario");
//   std::unique_ptr<simfront::SimulatedBoard> b = simfront::BuildMachine(scenario, machine);
//   ... run the tool against machine ...
//   board::WriteReport("stored.json", b->Stored());
//
// The board must go before the machine does; until then it answers on the machine's clock
// (virtual or real). Callbacks that are still scheduled when it goes are dropped.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "board/firmware.h"
#include "board/scenario.h"
#include "platform/sim/machine.h"

namespace simfront {

class SimulatedBoard {
 public:
  // Attaches the firmware to device's far end and sets DSR for the host's DTR.
  SimulatedBoard(sim::Machine& machine, sim::SerialDevice& device, board::BoardSettings settings);
  ~SimulatedBoard();
  SimulatedBoard(const SimulatedBoard&) = delete;
  SimulatedBoard& operator=(const SimulatedBoard&) = delete;

  // The firmware (for ExpectNext; call it while the machine is idle).
  board::Board& Firmware();
  board::Memory Stored() const;
  // Whether the host has talked to it (sent a byte or changed DTR).
  bool Touched() const;
  sim::SerialDevice& Device() { return device_; }

 private:
  class SimLine;
  sim::SerialDevice& device_;
  std::shared_ptr<SimLine> line_;
};

// Describes the scenario's machine on a machine that has no devices yet: the port map, the
// MS-DOS device names in order, the converters' registry keys, busy ports, the converter's
// timing, and the board on board.port. Returns the board; the boards of the scenario's
// [board PORT] sections go to moreBoards, in their order (none are attached without it).
std::unique_ptr<SimulatedBoard> BuildMachine(
    const board::Scenario& scenario, sim::Machine& machine,
    std::vector<std::unique_ptr<SimulatedBoard>>* moreBoards = nullptr);

}  // namespace simfront
