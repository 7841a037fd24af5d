// The program entry's work: stop requests, the command line, the front-end, the run.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "app/journal/choice.h"
#include "app/console.h"
#include "app/line/linerun.h"
#include "app/listconverters.h"
#include "app/resultline.h"
#include "app/journal/history.h"
#include "app/mainform.h"
#include "app/run.h"
#include "app/runstop.h"
#include "app/standardstreams.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"
#include "platform/process.h"
#include "app/exitstatus.h"
#include "ui/console/console_frontend.h"
#include "ui/frontends.h"

namespace app {

namespace {

int StopStatus(plat::StopRequest request) {
  switch (request) {
    case plat::StopRequest::Interrupt:
      return kExitInterrupted;
    case plat::StopRequest::HangUp:
      return kExitHungUp;
    case plat::StopRequest::Quit:
      return kExitQuit;
    case plat::StopRequest::Terminate:
      break;
  }
  return kExitTerminated;
}

int RunMain(int argc, char** argv, const SimulatedTargetMaker& simulate,
            StandardStreams& streams) {
  // Before any other thread starts: Ctrl+C and termination requests end a run in order, and
  // output nobody reads any more (a closed pipe) never stops a write.
  const bool watching = plat::WatchStopRequests([](plat::StopRequest request) {
    // While a line of boards runs, its parent passes the request on to every board.
    if (line::LineStop::Instance().Request(StopStatus(request))) return;
    RunStop::Instance().Request(StopStatus(request));
  });
  if (!watching) {
    std::cerr << "lcdwrite: "
              << fw::Cp1252ToUtf8(TMainForm::OutOfResourcesText(
                     "Can't create thread", TMainForm::WriteProgress::NotStarted))
              << "\n";
    return kExitInternalError;
  }
  plat::KeepRunningOnBrokenPipe();

  const Language language = UserLanguage();
  // The arguments as the user gave them (on Windows from the wide command line: any name).
  const std::vector<std::string> args = plat::ProgramArguments(argc, argv);
  const ParsedCommandLine parsed = ParseCommandLine(args, language);
  if (!parsed.options) {
    std::cerr << "lcdwrite: " << parsed.error << "\n\n" << UsageText(language);
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText(language);
    return kExitWritten;
  }
  if (options.version) {
    std::cout << "lcdwrite " << LCDWRITE_VERSION_TEXT << "\n";
    return kExitWritten;
  }
  if (options.check) return CheckConfigFile(std::cout, std::cerr, options.configPlace);
  if (!options.journalSetup.empty()) {
    return journal::SetUpJournal(options.journalSetup, std::cout, std::cerr);
  }
  if (options.list) return ListConverters(options, std::cout, std::cerr, simulate);
  if (options.json) streams.KeepOutputUtf8();  // JSON lines are for programs: UTF-8 always
  if (options.Line()) {
    return line::LineMain(options, std::cout, std::cerr, simulate, language,
                          ui::ConsoleFrontEnd::StdoutIsTerminal(),
                          [] { return ui::ConsoleFrontEnd::StdoutColumns(); });
  }
  if (options.history) {
    if (options.historyCsv) streams.KeepOutputUtf8();  // for programs, not for people
    return journal::PrintHistory(options, plat::EnvironmentText("LCDWRITE_JOURNAL").value_or(""),
                                 std::cout, std::cerr);
  }

  std::string unusableDisplay;
  std::unique_ptr<fw::FrontEnd> frontEnd =
      ui::CreateFrontEnd(options.json      ? ui::FrontEndKind::JsonLines
                         : options.console ? ui::FrontEndKind::Console
                                           : ui::FrontEndKind::Window,
                         argc, argv, &unusableDisplay);
  if (!unusableDisplay.empty()) {
    std::cerr << fw::Cp1252ToUtf8(fw::Format(texts::kNoDisplay, fw::Utf8ToCp1252(unusableDisplay)))
              << "\n";
  }
  RunHooks hooks;
  if (options.json) {
    hooks.onResult = [](int status, const std::string& port, const std::string& converter,
                        const std::string& failure) {
      std::cout << ResultLine(status, port, converter, failure) << std::flush;
    };
  }
  return RunTool(options, *frontEnd, std::cout, std::cerr, simulate, hooks);
}

}  // namespace

int Main(int argc, char** argv, const SimulatedTargetMaker& simulate) {
  StandardStreams streams;
  // Text for people in the code page of where it goes (a pipe or file on Windows: the
  // console's).
  const ForwardedStreams forwarded = StreamsForwardedToConsole();
  streams.SetCodePages(plat::StandardStreamCodePage(false, forwarded.output),
                       plat::StandardStreamCodePage(true, forwarded.error));
  const int status = RunMain(argc, argv, simulate, streams);
  return streams.ExitStatus(status);
}

}  // namespace app
