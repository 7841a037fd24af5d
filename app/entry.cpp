// The program entry's work: the command line, the front-end, the run.
#include <iostream>
#include <vector>

#include "app/run.h"
#include "protocol/exitstatus.h"
#include "ui/frontends.h"

namespace app {

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.options) {
    std::cerr << "lcdwrite: " << parsed.error << "\n\n" << UsageText();
    return protocol::kExitUsage;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return protocol::kExitWritten;
  }
  if (options.version) {
    std::cout << "lcdwrite " << LCDWRITE_VERSION_TEXT << "\n";
    return protocol::kExitWritten;
  }
  if (options.check) return CheckConfigFile(std::cout, std::cerr);

  std::unique_ptr<fw::FrontEnd> frontEnd = ui::CreateFrontEnd(
      options.console ? ui::FrontEndKind::Console : ui::FrontEndKind::Window, argc, argv);
  return RunTool(options, *frontEnd, std::cout, std::cerr);
}

}  // namespace app
