// The parts of child processes that are the same on every target.
#include "platform/childprocess.h"

namespace plat {

namespace {

// One argument as the Windows runtime's command-line splitter reads it back: quoted when it is
// empty or holds a blank or a quote; inside the quotes a run of backslashes is doubled where a
// quote (escaped, or the closing one) follows it, and left as it is elsewhere.
std::string QuotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace

std::string WindowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments) {
  // The program's name ends at the next quote (or the first blank when unquoted), with no
  // escapes: a name has no quotes, so quotes around it always do.
  std::string line = "\"" + program + "\"";
  for (const std::string& argument : arguments) line += " " + QuotedArgument(argument);
  return line;
}

}  // namespace plat
