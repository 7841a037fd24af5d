// The program entry's work: stop requests, the command line, the front-end, the run.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "app/journal/history.h"
#include "app/run.h"
#include "app/runstop.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/process.h"
#include "protocol/exitstatus.h"
#include "ui/frontends.h"

namespace app {

int Main(int argc, char** argv) {
  // Before any other thread starts: Ctrl+C and termination requests end a run in order, and
  // output nobody reads any more (a closed pipe) never stops a write.
  plat::WatchStopRequests([](plat::StopRequest request) {
    RunStop::Instance().Request(request == plat::StopRequest::Interrupt
                                    ? protocol::kExitInterrupted
                                    : protocol::kExitTerminated);
  });
  plat::KeepRunningOnBrokenPipe();

  const Language language = UserLanguage();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args, language);
  if (!parsed.options) {
    std::cerr << "lcdwrite: " << parsed.error << "\n\n" << UsageText(language);
    return protocol::kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText(language);
    return protocol::kExitWritten;
  }
  if (options.version) {
    std::cout << "lcdwrite " << LCDWRITE_VERSION_TEXT << "\n";
    return protocol::kExitWritten;
  }
  if (options.check) return CheckConfigFile(std::cout, std::cerr);
  if (options.history) {
    const char* journalVariable = std::getenv("LCDWRITE_JOURNAL");
    return journal::PrintHistory(options, journalVariable != nullptr ? journalVariable : "",
                                 std::cout, std::cerr);
  }

  std::string unusableDisplay;
  std::unique_ptr<fw::FrontEnd> frontEnd =
      ui::CreateFrontEnd(options.console ? ui::FrontEndKind::Console : ui::FrontEndKind::Window,
                         argc, argv, &unusableDisplay);
  if (!unusableDisplay.empty()) {
    char line[600];
    std::snprintf(line, sizeof line, texts::kNoDisplay, fw::Utf8ToCp1252(unusableDisplay).c_str());
    std::cerr << fw::Cp1252ToUtf8(line) << "\n";
  }
  return RunTool(options, *frontEnd, std::cout, std::cerr);
}

}  // namespace app
