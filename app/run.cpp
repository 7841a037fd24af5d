#include "app/run.h"

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>

#include "app/configfile.h"
#include "app/mainform.h"
#include "app/simulation.h"
#include "app/texts.h"
#include "board/scenario.h"
#include "framework/application.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"
#include "platform/sim/machine.h"
#include "protocol/exitstatus.h"

namespace app {

namespace {

// Installs a platform for the run and puts the previous one back at the end.
class PlatformScope {
 public:
  explicit PlatformScope(plat::Platform* platform)
      : previous_(platform != nullptr ? plat::SetCurrentPlatform(platform) : nullptr) {}
  ~PlatformScope() {
    if (previous_ != nullptr) plat::SetCurrentPlatform(previous_);
  }

 private:
  plat::Platform* previous_;
};

// The process end of a run unwinds to RunTool with its status.
class ExitHookScope {
 public:
  ExitHookScope() {
    fw::TApplication::SetExitHook([](int status) { throw fw::ProcessEnded{status}; });
  }
  ~ExitHookScope() { fw::TApplication::SetExitHook(nullptr); }
};

}  // namespace

int RunTool(const Options& options, fw::FrontEnd& frontEnd, std::ostream& /*out*/,
            std::ostream& err, const RunHooks& hooks) {
  // The simulated machine and its board, when asked for.
  std::unique_ptr<SimulatedRun> simulation;
  if (options.simulate) {
    try {
      simulation = std::make_unique<SimulatedRun>(options.scenario, options.fast);
    } catch (const board::ScenarioError& e) {
      err << "lcdwrite: " << e.what() << "\n";
      return protocol::kExitUsage;
    }
  }
  sim::Machine* machine = simulation ? &simulation->Machine() : nullptr;
  PlatformScope platformScope(machine);

  ConfigRecord = protocol::ConfigRecord{};
  int status = protocol::kExitInternalError;
  {
    fw::TApplication application(plat::CurrentPlatform());
    fw::AttachFrontEnd(&frontEnd, &application);
    fw::ShowExceptionsInDialogs(application, "Fehler");
    ExitHookScope exitHook;
    RunSettings settings;
    settings.port = options.port;
    settings.logFile = options.logFile;
    TMainForm* form = nullptr;
    try {
      form = new TMainForm(nullptr, settings);
      if (hooks.onStart) hooks.onStart(machine, *form);
      application.Run();
      status = form->CloseStatus();
    } catch (const fw::ProcessEnded& end) {
      status = end.status;
    } catch (const std::exception& e) {
      // Nothing of the tool's own ends here; show it as the application would and fail.
      fw::MessageDialog(fw::mtError, "Fehler", e.what());
      status = protocol::kExitInternalError;
    }
    try {
      delete form;
    } catch (const fw::ProcessEnded&) {
    } catch (const std::exception&) {
    }
    fw::AttachFrontEnd(nullptr, &application);
  }
  if (hooks.onEnd) hooks.onEnd(machine);
  if (simulation && !options.simReport.empty() && !simulation->WriteReport(options.simReport)) {
    err << "lcdwrite: cannot write " << options.simReport << "\n";
  }
  return status;
}

int CheckConfigFile(std::ostream& out, std::ostream& err) {
  std::ifstream file(texts::kConfigFileName, std::ios::binary);
  if (!file) {
    err << fw::Cp1252ToUtf8(texts::kConfigCannotOpen) << "\n";
    return protocol::kExitNotLoaded;
  }
  std::ostringstream content;
  content << file.rdbuf();
  protocol::ConfigRecord record;
  const ConfigLoadOutcome outcome = ParseConfigText(content.str(), record);
  switch (outcome.result) {
    case ConfigLoadResult::VersionMismatch:
      err << fw::Cp1252ToUtf8(texts::kConfigOtherVersion) << "\n";
      return protocol::kExitNotLoaded;
    case ConfigLoadResult::Damaged:
      err << fw::Cp1252ToUtf8(texts::kConfigDamaged) << "\n"
          << fw::Cp1252ToUtf8(outcome.detail) << "\n";
      return protocol::kExitNotLoaded;
    case ConfigLoadResult::Loaded:
      break;
  }
  out << "Quorix.lcd: version " << int(record.formatVersion) << ", " << record.parameterCount
      << " parameters, serial number " << fw::Cp1252ToUtf8(record.serialPart1) << " "
      << fw::Cp1252ToUtf8(record.serialPart2) << ", device type " << record.deviceType
      << ": good\n";
  return protocol::kExitWritten;
}

}  // namespace app
