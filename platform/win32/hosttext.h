// The Windows-only part of platform/hosttext.h: for its tests, and the conversions the other
// wide calls of the platform use.
#pragma once

#include <string>
#include <vector>

namespace plat {

// UTF-8 text as UTF-16 for the wide calls, and back (bytes that are not UTF-8 become U+FFFD).
std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);

// The arguments of a wide command line after the program's name, split as the C runtime
// splits them (CommandLineToArgvW: blanks separate, double quotes group, backslashes escape a
// quote only), each in UTF-8.
std::vector<std::string> ArgumentsOfCommandLine(const std::wstring& commandLine);

}  // namespace plat
