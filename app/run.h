// One run of the tool: the program entry's work, callable in-process (tests run whole runs
// through it on the simulated machine's virtual clock).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/simulatedtarget.h"

namespace fw {
class FrontEnd;
}
namespace plat {
class Platform;
}

namespace app {

class TMainForm;

// For tests: called once the window exists, before the message loop runs (target is null
// unless the run is simulated). A test schedules what a user would do here.
struct RunHooks {
  std::function<void(SimulatedTarget* target, TMainForm& form)> onStart;
  // Called when the run has ended, before the simulated machine goes (a benchmark reads its
  // clock here).
  std::function<void(SimulatedTarget* target)> onEnd;
  // For tests of simulated runs: the platform the run is to use, given the simulated machine
  // (a test wraps it to watch calls or make them fail). The returned platform must outlive
  // the run.
  std::function<plat::Platform&(plat::Platform& machine)> platform;
  // Called once at the end with what the run did: the exit status, the port and converter it
  // took ("" where none) and the first failure's text (Windows-1252, "" for none).
  std::function<void(int status, const std::string& port, const std::string& converter,
                     const std::string& failure)>
      onResult;
};

// Runs the tool with parsed options on the given front-end (the console one, Qt, or a test's)
// and returns the exit status. First the output files are checked (see outputfiles.h): a
// refusal is said on err and ends with kExitUsage before anything else happens. With
// options.simulate it has simulate build the machine and board from the scenario and installs
// it as the process's platform for the run. A stop request (RunStop) ends the run at its next
// wait; the port is closed and err gets one line on how far the board was written.
int RunTool(const Options& options, fw::FrontEnd& frontEnd, std::ostream& out,
            std::ostream& err, const SimulatedTargetMaker& simulate,
            const RunHooks& hooks = {});

// --check: loads and validates the configuration file (Quorix.lcd in the current directory, or
// what configPlace names, see ConfigFilePath) and prints what a write would send (German); 0
// when the file is good, 2 otherwise.
int CheckConfigFile(std::ostream& out, std::ostream& err, const std::string& configPlace = {});

// The whole program entry: watches for stop requests, parses args (the program name first),
// picks the front-end, runs; simulate builds the machine of --simulate.
int Main(int argc, char** argv, const SimulatedTargetMaker& simulate);

}  // namespace app
