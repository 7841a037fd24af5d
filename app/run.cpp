#include "app/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <system_error>

#include "app/configfile.h"
#include "app/converters.h"
#include "app/journal/runjournal.h"
#include "app/mainform.h"
#include "app/outputfiles.h"
#include "app/runstop.h"
#include "app/texts.h"
#include "board/scenario.h"
#include "framework/application.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"
#include "app/exitstatus.h"

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

// The line a run stopped from outside ends with: how far the board was written.
const char* StopLine(TMainForm::WriteProgress progress) {
  switch (progress) {
    case TMainForm::WriteProgress::NotStarted:
      return texts::kStoppedUntouched;
    case TMainForm::WriteProgress::Started:
      return texts::kStoppedIncomplete;
    case TMainForm::WriteProgress::Finished:
      break;
  }
  return texts::kStoppedAfterWrite;
}

}  // namespace

int RunTool(const Options& options, fw::FrontEnd& frontEnd, std::ostream& /*out*/,
            std::ostream& err, const SimulatedTargetMaker& simulate, const RunHooks& hooks) {
  auto say = [&err](const std::string& cp1252) {
    err << "lcdwrite: " << fw::Cp1252ToUtf8(cp1252) << "\n";
  };
  // What the run will write besides the board, before any port is opened.
  std::error_code error;
  const std::filesystem::path configFile =
      ConfigFilePath(options.configPlace, std::filesystem::current_path(error));
  std::string refusal = CheckOutputFiles(options.logFile, options.simReport, configFile,
                                         options.simulate ? options.scenario : std::string());
  const std::string journalVariable = plat::EnvironmentText("LCDWRITE_JOURNAL").value_or("");
  if (refusal.empty()) {
    refusal = journal::CheckJournalFile(
        journal::ChooseJournal(options, journalVariable),
        options.logFile, options.simReport, configFile, options.simulate ? options.scenario : "");
  }
  if (!refusal.empty()) {
    say(refusal);
    return kExitUsage;
  }
  // The journal, too: one the user named must open, the default one may fail with a warning.
  journal::RunJournal::Opening opening =
      journal::RunJournal::Open(options, journalVariable, say);
  if (!opening.refusal.empty()) {
    say(opening.refusal);
    return kExitUsage;
  }
  RunStop& stop = RunStop::Instance();
  std::unique_ptr<journal::RunJournal> runJournal = std::move(opening.journal);
  // Until the run returns, a stop request that ends the process at once still reaches the
  // record (RunStop::SetLastWord); the journal goes with the run.
  struct LastWordScope {
    ~LastWordScope() { RunStop::Instance().SetLastWord(nullptr); }
  } lastWordScope;

  // Every sleep and wait of the run looks for a stop request (Ctrl+C, SIGTERM) first. The
  // platform that does so outlives the threads of the run: a simulated machine's wrapper is
  // declared before the machine, which waits for its threads as it goes; the native one's is
  // never destroyed, as the native platform itself.
  std::optional<StoppablePlatform> simulatedStoppable;
  // The simulated machine and its board, when asked for.
  std::unique_ptr<SimulatedTarget> simulation;
  if (options.simulate) {
    try {
      simulation = simulate(options.scenario, options.fast);
    } catch (const board::ScenarioError& e) {
      // It names the scenario file as the command line gave it, and may quote its lines.
      err << "lcdwrite: " << fw::VisibleUtf8(e.what()) << "\n";
      return kExitUsage;
    } catch (const std::system_error& e) {
      // The machine's clock thread could not start.
      say(TMainForm::OutOfResourcesText(e.what(), TMainForm::WriteProgress::NotStarted));
      return kExitInternalError;
    } catch (const std::bad_alloc& e) {
      say(TMainForm::OutOfResourcesText(e.what(), TMainForm::WriteProgress::NotStarted));
      return kExitInternalError;
    }
  }
  if (simulation) {
    plat::Platform& machine = simulation->Platform();
    simulatedStoppable.emplace(hooks.platform ? hooks.platform(machine) : machine, stop);
  }
  PlatformScope platformScope(simulation ? &*simulatedStoppable
                                         : &StoppablePlatform::Native(stop));

  // Nobody answers a console: its lines are printed at once. A window keeps a log failure for
  // the end, instead of holding the write with a box in its middle.
  const bool console = !frontEnd.CanWaitForUser();
  RunLog log(options.logFile, [console](const std::string& text) {
    if (!console || fw::Application == nullptr) return;
    fw::TApplication& application = *fw::Application;
    auto show = [text] { fw::MessageDialog(fw::mtWarning, texts::kWarningCaption, text); };
    if (application.IsMainThread()) {
      show();
    } else {
      application.Post(show);
    }
  });

  if (!options.logFile.empty()) log.Begin();

  ConfigRecord = protocol::ConfigRecord{};
  int status = kExitInternalError;
  std::string converterTaken;  // for hooks.onResult
  std::string failureShown;
  {
    fw::TApplication application(plat::CurrentPlatform());
    fw::AttachFrontEnd(&frontEnd, &application);
    fw::ShowExceptionsInDialogs(application, "Fehler");
    ExitHookScope exitHook;
    RunSettings settings;
    settings.port = options.port;
    settings.converter = options.converter;
    if (!options.logFile.empty()) {
      settings.logWriter = [&log](const std::string& line) { log.Write(line); };
    }
    if (!options.configPlace.empty()) settings.configFile = configFile;
    if (runJournal) {
      journal::RunJournal& j = *runJournal;
      settings.writeStarting = [&j, &say, &stop](const TMainForm& f) {
        // What was loaded and found, as the window holds it: the journal reads nothing itself.
        journal::WriteStart start;
        const ConfigLoadOutcome& loaded = f.LoadedFile();
        start.configPath = reinterpret_cast<const char*>(loaded.path.u8string().c_str());
        start.configSha256 = loaded.sha256;
        start.configKept = loaded.kept;
        start.configCut = loaded.keptCut;
        start.config = ConfigRecord;
        start.converterInstance = f.ConverterInstance();
        start.latency = f.Latency();
        // A stop request ends the run in the wait too, as in any wait of the write.
        const journal::RunJournal::Announcement a =
            j.WriteStarting(start, [&stop] { stop.EndIfRequested(); });
        if (!a.refusal.empty()) say(a.refusal);
        return RunSettings::WriteAnnouncement{a.line, !a.refusal.empty()};
      };
      settings.operationStored = [&j](const char* operation) { j.OperationStored(operation); };
      settings.writeEnded = [&j] { j.WriteEnded(); };
      stop.SetLastWord([&j](int status) { j.Restate(status); });
    }
    TMainForm* form = nullptr;
    stop.BeginRun(application);
    try {
      form = new TMainForm(nullptr, settings);
      if (hooks.onStart) hooks.onStart(simulation.get(), *form);
      application.Run();
      stop.EndRun();
      status = form->CloseStatus();
    } catch (const fw::ProcessEnded& end) {
      stop.EndRun();
      status = end.status;
      // A stop request ends the write where it was.
      if (runJournal) runJournal->WriteEnded();
    } catch (const std::exception& e) {
      stop.EndRun();
      const bool outOfResources = dynamic_cast<const fw::EOutOfResources*>(&e) != nullptr ||
                                  dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
      if (outOfResources) {
        // The system would not give a thread, a timer or memory: said once, in the log too.
        if (form != nullptr) form->ComPort->WriteLog(std::string("Error: ") + e.what());
        fw::MessageDialog(fw::mtError, "Fehler",
                          TMainForm::OutOfResourcesText(
                              e.what(), form != nullptr ? form->Progress()
                                                        : TMainForm::WriteProgress::NotStarted));
      } else {
        // Nothing of the tool's own ends here; show it as the application would and fail.
        fw::MessageDialog(fw::mtError, "Fehler", e.what());
      }
      status = kExitInternalError;
    }
    const TMainForm::WriteProgress progress =
        form != nullptr ? form->Progress() : TMainForm::WriteProgress::NotStarted;
    const std::string writeFailure = form != nullptr ? form->WriteFailure() : std::string();
    if (form != nullptr) converterTaken = SerialOfInstance(form->ConverterInstance());
    failureShown = writeFailure;
    // The port closes with the window.
    try {
      delete form;
    } catch (const fw::ProcessEnded&) {
    } catch (const std::exception&) {
    }
    if (stop.Ended()) err << fw::Cp1252ToUtf8(StopLine(progress)) << "\n";
    if (runJournal) runJournal->Complete(status, writeFailure, stop.Ended());
    log.Close(status);
    if (log.Failed()) {
      fw::MessageDialog(fw::mtWarning, texts::kWarningCaption, log.IncompleteText());
    }
    fw::AttachFrontEnd(nullptr, &application);
  }
  if (hooks.onEnd) hooks.onEnd(simulation.get());
  if (hooks.onResult) {
    const std::string port(ConfigRecord.portName,
                           strnlen(ConfigRecord.portName, sizeof ConfigRecord.portName));
    hooks.onResult(status, port, converterTaken, failureShown);
  }
  if (simulation && !options.simReport.empty() && !simulation->WriteReport(options.simReport)) {
    say(fw::Format(texts::kReportFailed, ShownName(options.simReport)));
  }
  return status;
}

int CheckConfigFile(std::ostream& out, std::ostream& err, const std::string& configPlace) {
  auto print = [](std::ostream& stream, const std::string& cp1252) {
    stream << fw::Cp1252ToUtf8(cp1252) << "\n";
  };
  std::error_code error;
  protocol::ConfigRecord record;
  const ConfigLoadOutcome outcome =
      ReadConfigFile(ConfigFilePath(configPlace, std::filesystem::current_path(error)), record);
  switch (outcome.result) {
    case ConfigLoadResult::CannotOpen:
      print(err, texts::kConfigCannotOpen);
      if (!outcome.detail.empty()) print(err, outcome.detail);
      return kExitNotLoaded;
    case ConfigLoadResult::VersionMismatch:
      print(err, texts::kConfigOtherVersion);
      return kExitNotLoaded;
    case ConfigLoadResult::Damaged:
      print(err, texts::kConfigDamaged);
      print(err, outcome.detail);
      return kExitNotLoaded;
    case ConfigLoadResult::Loaded:
      break;
  }
  print(out, fw::Format(texts::kCheckGood, int(record.formatVersion),
                        static_cast<int>(record.parameterCount)));
  for (const std::string& summary : WriteSummary(record)) print(out, summary);
  return kExitWritten;
}

}  // namespace app
