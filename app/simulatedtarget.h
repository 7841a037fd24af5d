// The machine a run works against instead of the host's own (--simulate). Whoever puts the
// program together builds it (the entry, from simfront/); the tool sees only the platform it
// offers and the board's report.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace plat {
class Platform;
}

namespace app {

class SimulatedTarget {
 public:
  virtual ~SimulatedTarget() = default;
  // The simulated machine as the platform the run uses.
  virtual plat::Platform& Platform() = 0;
  // Writes the board's report (JSON) to path; false when it cannot be written.
  virtual bool WriteReport(const std::string& path) const = 0;
};

// Builds the machine a scenario file describes (empty: the healthy default machine), on the
// virtual clock when fast, else in real time. Raises board::ScenarioError; std::system_error
// or std::bad_alloc when the machine's clock cannot start.
using SimulatedTargetMaker =
    std::function<std::unique_ptr<SimulatedTarget>(const std::string& scenarioFile, bool fast)>;

}  // namespace app
