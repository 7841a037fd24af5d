// Texts of the system on Windows: every name and argument through the wide (UTF-16) API,
// converted to and from UTF-8 here and nowhere else.
#include "platform/hosttext.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/win32/hosttext.h"

namespace plat {

namespace {

std::string Narrow(const std::wstring& wide, unsigned codePage) {
  if (wide.empty()) return {};
  // UTF-8 has no default character: a lone surrogate becomes U+FFFD by itself.
  // Elsewhere a character the code page lacks becomes '?', never a look-alike ("best fit"
  // would turn a name's U+2215 into a path's '/').
  const bool utf8 = codePage == kCodePageUtf8;
  const char* fallback = utf8 ? nullptr : "?";
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = ::WideCharToMultiByte(codePage, flags, wide.data(),
                                         static_cast<int>(wide.size()), nullptr, 0, fallback,
                                         nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(),
                        size, fallback, nullptr);
  return text;
}

StreamTarget TargetOf(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return StreamTarget::Nothing;
  switch (::GetFileType(handle)) {
    case FILE_TYPE_CHAR: {
      DWORD mode = 0;
      // A console; a character device that is none (NUL) takes any bytes.
      return ::GetConsoleMode(handle, &mode) ? StreamTarget::Terminal : StreamTarget::Nothing;
    }
    case FILE_TYPE_PIPE:
      return StreamTarget::Pipe;
    case FILE_TYPE_DISK:
      return StreamTarget::File;
    default:
      return StreamTarget::Nothing;
  }
}

}  // namespace

std::wstring WideText(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8Text(const std::wstring& wide) { return Narrow(wide, kCodePageUtf8); }

std::filesystem::path FilePath(const std::string& text) {
  return std::filesystem::path(WideText(text));
}

std::string PathText(const std::filesystem::path& path) {
  return Narrow(path.native(), kCodePageUtf8);
}

std::vector<std::string> ArgumentsOfCommandLine(const std::wstring& commandLine) {
  // CommandLineToArgvW takes an empty line for "the program's own path": nothing follows it.
  if (commandLine.find_first_not_of(L" \t") == std::wstring::npos) return {};
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(commandLine.c_str(), &count);
  if (list == nullptr) return {};
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(list[i], kCodePageUtf8));
  ::LocalFree(list);
  return arguments;
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  return ArgumentsOfCommandLine(::GetCommandLineW());
}

std::optional<std::string> EnvironmentText(const char* name) {
  const std::wstring wideName = WideText(name);
  const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
  if (length >= needed) return std::nullopt;  // changed in between: taken as not set
  value.resize(length);
  return Narrow(value, kCodePageUtf8);
}

std::optional<unsigned> UserInterfaceLanguage() { return ::GetUserDefaultUILanguage(); }

unsigned StandardStreamCodePage(bool error, bool forwardedToConsole) {
  const HANDLE handle = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  const StreamTarget target = forwardedToConsole ? StreamTarget::Terminal : TargetOf(handle);
  return ChooseStreamCodePage(target, true, ::GetConsoleOutputCP(), ::GetOEMCP());
}

std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage) {
  if (codePage == kCodePageUtf8) return utf8;
  return Narrow(WideText(utf8), codePage);
}

}  // namespace plat
