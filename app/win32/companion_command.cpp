#include "app/win32/companion_command.h"

#include <cwctype>

namespace app::companion {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool EndsWithExe(const std::wstring& path) {
  constexpr wchar_t kExe[] = L".exe";
  constexpr size_t kLength = 4;
  if (path.size() < kLength) return false;
  for (size_t i = 0; i < kLength; ++i) {
    if (std::towlower(path[path.size() - kLength + i]) != static_cast<wint_t>(kExe[i])) return false;
  }
  return true;
}

}  // namespace

std::wstring CommandTail(const std::wstring& commandLine) {
  size_t i = 0;
  bool quoted = false;
  for (; i < commandLine.size(); ++i) {
    const wchar_t c = commandLine[i];
    if (c == L'"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    }
  }
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  return commandLine.substr(i);
}

std::wstring WindowProgramPath(const std::wstring& companionPath) {
  if (EndsWithExe(companionPath)) return {};
  const size_t folderEnd = companionPath.find_last_of(L"\\/");
  const size_t dot = companionPath.rfind(L'.');
  const bool hasExtension =
      dot != std::wstring::npos && (folderEnd == std::wstring::npos || dot > folderEnd);
  std::wstring program = hasExtension ? companionPath.substr(0, dot) : companionPath;
  program.append(L".exe");
  return program;
}

std::wstring ChildCommandLine(const std::wstring& program, const std::wstring& tail) {
  std::wstring line = L"\"" + program + L"\"";
  if (!tail.empty()) line += L" " + tail;
  return line;
}

}  // namespace app::companion
