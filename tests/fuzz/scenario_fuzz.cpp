// A scenario file as it comes from the disk: any bytes. It is either refused with a
// ScenarioError or describes a machine that can be built, with the board on one of its ports.
#include <cstdint>
#include <sstream>
#include <string>

#include "board/scenario.h"
#include "platform/sim/machine.h"
#include "simfront/simboard.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  board::Scenario scenario;
  try {
    scenario = board::ParseScenario(in, "fuzz.scenario");
  } catch (const board::ScenarioError& e) {
    FUZZ_CHECK(std::string(e.what()).rfind("fuzz.scenario:", 0) == 0);
    return 0;
  }
  sim::Machine machine;
  const auto simBoard = simfront::BuildMachine(scenario, machine);
  FUZZ_CHECK(simBoard != nullptr);
  FUZZ_CHECK(machine.Device(scenario.boardPort) == &simBoard->Device());
  return 0;
}
