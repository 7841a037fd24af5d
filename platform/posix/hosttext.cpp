// Texts of the system on POSIX: names and arguments are bytes, passed on as they are.
#include "platform/hosttext.h"

#include <cstdlib>

namespace plat {

std::filesystem::path FilePath(const std::string& text) { return std::filesystem::path(text); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  if (argc <= 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::optional<std::string> EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<unsigned> UserInterfaceLanguage() { return std::nullopt; }

unsigned StandardStreamCodePage(bool /*error*/, bool /*forwardedToConsole*/) {
  return kCodePageUtf8;
}

std::string Utf8ToCodePage(const std::string& utf8, unsigned /*codePage*/) { return utf8; }

}  // namespace plat
