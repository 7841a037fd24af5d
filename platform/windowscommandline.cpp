// The command line a Windows program's runtime splits back into the arguments it was built
// from. Pure text work, compiled for every target so its table runs anywhere; the Windows
// backend of ChildProcess starts its children with it.
//
// The runtime reads the program's name differently from the arguments after it: the name ends at
// the first blank outside double quotes, and quotes there only group (no backslash escapes). A
// Windows path cannot hold a double quote, so the name always goes in quotes. An argument is
// split at blanks and tabs outside quotes; a run of backslashes is literal unless a double quote
// follows it, where 2n backslashes give n and the quote groups, and 2n+1 give n and a literal
// quote.
#include <string>
#include <vector>

#include "platform/childprocess.h"

namespace plat {

namespace {

// Whether the runtime would take the argument as it is, unquoted.
bool PlainArgument(const std::string& argument) {
  return !argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos;
}

void AppendQuoted(std::string& line, const std::string& argument) {
  if (PlainArgument(argument)) {
    line += argument;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Each backslash before a quote doubled, then the quote escaped.
      line.append(2 * backslashes + 1, '\\');
    } else {
      line.append(backslashes, '\\');
    }
    backslashes = 0;
    line += c;
  }
  // Backslashes before the closing quote doubled, so it still closes.
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

std::string WindowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments) {
  std::string line = "\"" + program + "\"";
  for (const std::string& argument : arguments) {
    line += ' ';
    AppendQuoted(line, argument);
  }
  return line;
}

}  // namespace plat
