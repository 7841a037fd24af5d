#include "app/commandline.h"

namespace app {

namespace {

// "--name=value" or "--name value": takes the value or reports it missing.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = name + " needs a value";
    return false;
  }
  return true;
}

bool Is(const std::string& arg, const std::string& name) {
  return arg == name || (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0);
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--console") {
      o.console = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg.rfind("--simulate=", 0) == 0) {
      o.simulate = true;
      o.scenario = arg.substr(11);
      if (o.scenario.empty()) return {std::nullopt, "--simulate= needs a scenario file"};
    } else if (arg == "--fast") {
      o.fast = true;
    } else if (Is(arg, "--sim-report")) {
      if (!TakeValue(args, i, "--sim-report", o.simReport, error)) return {std::nullopt, error};
    } else if (Is(arg, "--log")) {
      if (!TakeValue(args, i, "--log", o.logFile, error)) return {std::nullopt, error};
    } else if (Is(arg, "--port")) {
      if (!TakeValue(args, i, "--port", o.port, error)) return {std::nullopt, error};
    } else if (arg == "--check") {
      o.check = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else {
      return {std::nullopt, "unknown argument: " + arg};
    }
  }
  if (o.fast && !o.simulate) return {std::nullopt, "--fast only goes with --simulate"};
  if (!o.simReport.empty() && !o.simulate) {
    return {std::nullopt, "--sim-report only goes with --simulate"};
  }
  return {o, {}};
}

std::string UsageText() {
  return "Usage: lcdwrite [options]\n"
         "Writes the configuration in Quorix.lcd (current directory) into the LCD controller\n"
         "board: finds the USB-serial converter's port, resets the board, clears its counters,\n"
         "programs serial number, device type and the 120 parameters.\n"
         "\n"
         "Options (none: the tool runs as always, in a window):\n"
         "  --console            no window: status and dialogs on the terminal\n"
         "  --simulate[=FILE]    run against the simulated machine and board (FILE: a\n"
         "                       scenario; without it a healthy board)\n"
         "  --fast               with --simulate: virtual clock, no real waiting\n"
         "  --sim-report FILE    with --simulate: write what the board stored as JSON\n"
         "  --log FILE           log the serial port's traffic to FILE\n"
         "  --port NAME          skip the search: use port NAME (for example COM3)\n"
         "  --check              check Quorix.lcd only; touch no port\n"
         "  --version            print the version\n"
         "  --help               print this text\n"
         "\n"
         "Exit status: 0 the board was written; 1 a board operation or the reset handshake\n"
         "failed; 2 Quorix.lcd missing or refused; 3 no port found or opened, or the window\n"
         "was closed first; 4 the serial port reported an error and the run stopped;\n"
         "64 a bad command line.\n";
}

}  // namespace app
