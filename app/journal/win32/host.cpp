#include <windows.h>

#include <cstdlib>

#include "app/journal/host.h"
#include "app/journal/texts.h"

namespace app::journal {

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

std::string UserName() {
  const char* user = std::getenv("USERNAME");
  return user != nullptr ? user : "";
}

std::string PlatformName() { return "windows-x86"; }

std::string DefaultJournalPath() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || local[0] == '\0') return {};
  return std::string(local) + "\\" + texts::kFolderName + "\\" + texts::kDefaultFileName;
}

}  // namespace app::journal
