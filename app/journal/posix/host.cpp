#include "app/journal/host.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "app/journal/texts.h"

namespace app::journal {

std::string HostName() {
  // Host names are at most 255 bytes (HOST_NAME_MAX); a cut name comes without its end.
  std::string name(256, '\0');
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  name.resize(name.find('\0'));
  return name;
}

std::string UserName() {
  const passwd* entry = getpwuid(geteuid());
  if (entry != nullptr && entry->pw_name != nullptr) return entry->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : std::to_string(geteuid());
}

std::string PlatformName() {
  utsname system{};
  if (uname(&system) != 0) return "linux";
  return std::string("linux-") + system.machine;
}

std::string Utf8FileName(const std::string& native) { return native; }

std::string DefaultJournalPath() {
  const std::string tail = std::string("/") + texts::kFolderName + "/" + texts::kDefaultFileName;
  const char* data = std::getenv("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
  if (data != nullptr && data[0] == '/') return data + tail;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share" + tail;
  return {};
}

void UnchangedStandardOutput() {}

}  // namespace app::journal
