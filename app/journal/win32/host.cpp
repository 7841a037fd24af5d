#include "app/journal/host.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

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

std::string Utf8FileName(const std::string& native) {
  const int wide = MultiByteToWideChar(CP_ACP, 0, native.c_str(), -1, nullptr, 0);
  if (wide <= 0) return native;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, native.c_str(), -1, text.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return native;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(bytes) - 1);
  return utf8;
}

std::string DefaultJournalPath() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || local[0] == '\0') return {};
  return std::string(local) + "\\" + texts::kFolderName + "\\" + texts::kDefaultFileName;
}

void UnchangedStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace app::journal
