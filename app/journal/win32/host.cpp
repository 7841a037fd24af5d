#include "app/journal/host.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/journal/texts.h"
#include "platform/hosttext.h"

namespace app::journal {

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {};
  return plat::PathText(std::filesystem::path(std::wstring(name, size)));  // UTF-8
}

std::string UserName() { return plat::EnvironmentText("USERNAME").value_or(""); }

std::string PlatformName() { return "windows-x86"; }

std::string Utf8FileName(const std::string& native) { return native; }

std::string DefaultJournalPath() {
  const std::string local = plat::EnvironmentText("LOCALAPPDATA").value_or("");
  if (local.empty()) return {};
  return local + "\\" + texts::kFolderName + "\\" + texts::kDefaultFileName;
}

void UnchangedStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace app::journal
