// The command line. With no arguments the tool does what it always did, in a window; the
// options only add what a user of a real tool expects.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

struct Options {
  bool console = false;
  bool simulate = false;
  std::string scenario;  // empty: the healthy default machine
  bool fast = false;
  std::string simReport;
  std::string logFile;
  std::string port;
  bool check = false;
  bool version = false;
  bool help = false;
};

struct ParsedCommandLine {
  std::optional<Options> options;
  std::string error;  // when options is empty: what was wrong, for the user
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
// The --help text.
std::string UsageText();

}  // namespace app
