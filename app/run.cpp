#include "app/run.h"

#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include "app/configfile.h"
#include "app/mainform.h"
#include "app/texts.h"
#include "board/report.h"
#include "board/simboard.h"
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

// The simulated machine runs this very program: its path and file version are the real ones.
void CopyProgramIdentity(plat::SystemApi& native, sim::System& simulated) {
  const std::string path = native.ProgramPath();
  simulated.SetProgramPath(path);
  const DWORD size = native.GetFileVersionInfoSizeA(path.c_str());
  std::vector<unsigned char> block(size);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || !native.GetFileVersionInfoA(path.c_str(), size, block.data()) ||
      !native.VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr) {
    simulated.ClearFileVersion();
    return;
  }
  const auto* info = static_cast<const plat::FixedFileInfo*>(value);
  simulated.SetFileVersion(static_cast<WORD>(info->dwFileVersionMS >> 16),
                           static_cast<WORD>(info->dwFileVersionMS & 0xFFFF),
                           static_cast<WORD>(info->dwFileVersionLS >> 16),
                           static_cast<WORD>(info->dwFileVersionLS & 0xFFFF));
}

}  // namespace

int RunTool(const Options& options, fw::FrontEnd& frontEnd, std::ostream& /*out*/,
            std::ostream& err, const RunHooks& hooks) {
  // The simulated machine and its board, when asked for.
  std::unique_ptr<sim::Machine> machine;
  std::unique_ptr<board::SimulatedBoard> simBoard;
  if (options.simulate) {
    board::Scenario scenario;
    try {
      scenario = options.scenario.empty() ? board::DefaultScenario()
                                          : board::LoadScenarioFile(options.scenario);
    } catch (const board::ScenarioError& e) {
      err << "lcdwrite: " << e.what() << "\n";
      return protocol::kExitUsage;
    }
    machine = std::make_unique<sim::Machine>(options.fast ? sim::ClockMode::Virtual
                                                          : sim::ClockMode::RealTime);
    simBoard = board::BuildMachine(scenario, *machine);
    CopyProgramIdentity(plat::NativePlatform().system(), machine->SimSystem());
  }
  PlatformScope platformScope(machine.get());

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
      if (hooks.onStart) hooks.onStart(machine.get(), *form);
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
  if (hooks.onEnd) hooks.onEnd(machine.get());
  if (simBoard && !options.simReport.empty() &&
      !board::WriteReport(options.simReport, simBoard->Stored())) {
    err << "lcdwrite: cannot write " << options.simReport << "\n";
  }
  simBoard.reset();
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
