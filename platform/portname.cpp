#include "platform/portname.h"

namespace plat {

bool IsPortName(std::string_view name, bool subFolders) {
  if (name.find('\\') != name.npos || (!subFolders && name.find('/') != name.npos)) return false;
  for (;;) {
    const std::size_t slash = name.find('/');
    const std::string_view part = name.substr(0, slash);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == name.npos) return true;
    name.remove_prefix(slash + 1);
  }
}

std::string PortNameOfArgument(std::string_view argument, std::string_view deviceFolder) {
  std::string_view name = PortNameOf(argument);
  if (name.size() == argument.size() && name.starts_with(deviceFolder)) name.remove_prefix(deviceFolder.size());
  return IsPortName(name, !deviceFolder.empty()) ? std::string(name) : std::string();
}

}  // namespace plat
