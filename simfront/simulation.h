// The simulated machine a run works against (--simulate): the machine and its board built from
// a scenario, showing this very program's path and file version, and the board's report of
// what it stored once the run has ended.
#pragma once

#include <memory>
#include <string>

#include "app/simulatedtarget.h"
#include "platform/sim/machine.h"
#include "simfront/simboard.h"

namespace simfront {

class SimulatedRun : public app::SimulatedTarget {
 public:
  // Builds the machine described by the scenario file (empty: the healthy default machine),
  // on the virtual clock when fast, else in real time. Raises board::ScenarioError.
  SimulatedRun(const std::string& scenarioFile, bool fast);
  // The board goes first, then the machine.
  ~SimulatedRun();
  SimulatedRun(const SimulatedRun&) = delete;
  SimulatedRun& operator=(const SimulatedRun&) = delete;

  sim::Machine& Machine() { return *machine_; }
  plat::Platform& Platform() override { return *machine_; }
  // The report of the board the run talked to: the first one the host touched (a run opens
  // one port), else the board on board.port.
  bool WriteReport(const std::string& path) const override;

 private:
  std::unique_ptr<sim::Machine> machine_;
  std::unique_ptr<simfront::SimulatedBoard> board_;
  std::vector<std::unique_ptr<simfront::SimulatedBoard>> moreBoards_;
};

// The maker the program's entry hands the tool.
std::unique_ptr<app::SimulatedTarget> MakeSimulatedRun(const std::string& scenarioFile, bool fast);

// The simulated machine of a run's target, null for none (tests and benchmarks reach it from
// the run's hooks).
sim::Machine* MachineOf(app::SimulatedTarget* target);

}  // namespace simfront
