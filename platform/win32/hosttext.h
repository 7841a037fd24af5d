// The Windows-only part of platform/hosttext.h, for its tests.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The arguments of a wide command line after the program's name, split as the C runtime
// splits them (CommandLineToArgvW: blanks separate, double quotes group, backslashes escape a
// quote only), each in UTF-8.
std::vector<std::string> ArgumentsOfCommandLine(const std::wstring& commandLine);

}  // namespace plat
