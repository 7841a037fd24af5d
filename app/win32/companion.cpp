// lcdwrite.com: lcdwrite for the command prompt.
//
// lcdwrite.exe is a window program, so that started from Explorer or a shortcut it shows its
// window and nothing else: no console window flashes up. A window program started from cmd.exe,
// though, has no console for its output, and the prompt neither waits for it nor sees its exit
// status. This small console program sits beside it under the same name. cmd.exe and PowerShell
// try the extensions in PATHEXT in order, .COM before .EXE, so typing `lcdwrite` starts this one;
// it starts lcdwrite.exe with the same arguments and standard handles, lets it join this console,
// waits for it and ends with its exit status. Explorer and shortcuts name lcdwrite.exe itself.
// (Attaching a window program to its parent's console on its own would print, but the prompt
// would come back at once and the caller would never see the status.)
//
// Output for a file or a pipe goes straight there. Output for the console comes through a pipe
// of this program instead, which passes it on in whole UTF-8 sequences (console_forward.h) as
// UTF-16, so umlauts arrive whole whatever the console's code page and however the program's
// C runtime splits its writes.
#include <windows.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/companion_command.h"
#include "app/win32/console_forward.h"

namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = length > 0 ? std::wstring(text, length) : L"Fehler " + std::to_wstring(code);
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ')) {
    result.pop_back();
  }
  return result;
}

// Ctrl+C and Ctrl+Break reach lcdwrite.exe too, which decides how its run ends; this process
// stays to report the status it ends with.
BOOL WINAPI LeaveBreakToProgram(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// Writes a piece of UTF-8 to a console as UTF-16.
void WriteToConsole(HANDLE console, const std::string& piece) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()),
                                         nullptr, 0);
  if (size <= 0) return;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()), wide.data(), size);
  const wchar_t* next = wide.data();
  DWORD left = static_cast<DWORD>(wide.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteConsoleW(console, next, left, &written, nullptr) || written == 0) return;
    next += written;
    left -= written;
  }
}

// The pipe the program writes its console output into, and the thread that passes it on to
// the console until the program (and with it the last write end) is gone.
class ConsoleForwarding {
 public:
  explicit ConsoleForwarding(HANDLE console) : console_(console) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!::CreatePipe(&read_, &write_, &inherit, 0)) {
      read_ = write_ = nullptr;
      return;
    }
    // Only the write end goes to the program.
    ::SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
    thread_ = std::thread([this] {
      app::companion::Utf8Forwarder forwarder(
          [this](const std::string& piece) { WriteToConsole(console_, piece); });
      std::array<char, 4096> buffer;
      DWORD got = 0;
      while (::ReadFile(read_, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
             got > 0) {
        forwarder.Feed(buffer.data(), got);
      }
      forwarder.Finish();
    });
  }
  ~ConsoleForwarding() {
    CloseWriteEnd();
    if (thread_.joinable()) thread_.join();
    if (read_ != nullptr) ::CloseHandle(read_);
  }
  bool Ready() const { return write_ != nullptr; }
  // The program's end of the pipe (inheritable).
  HANDLE WriteEnd() const { return write_; }
  // Once the program has its copy: the pipe ends when the program's copy is closed.
  void CloseWriteEnd() {
    if (write_ != nullptr) ::CloseHandle(write_);
    write_ = nullptr;
  }

 private:
  HANDLE console_;
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
  std::thread thread_;
};

// An inheritable copy of a handle for the child (null stays null).
HANDLE InheritableCopy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

int main() {
  namespace companion = app::companion;
  const std::wstring program = companion::WindowProgramPath(OwnPath());
  if (program.empty()) {
    std::fputs("lcdwrite: lcdwrite.com ist falsch benannt und kann lcdwrite.exe nicht finden.\n",
               stderr);
    return companion::kExitCannotStart;
  }
  std::wstring line = companion::ChildCommandLine(program, companion::CommandTail(::GetCommandLineW()));
  std::vector<wchar_t> lineBuffer(line.begin(), line.end());
  lineBuffer.push_back(L'\0');

  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  // Standard output and error that are the console share one pipe, so their lines keep their
  // order.
  const bool outToConsole = IsConsole(out);
  const bool errToConsole = IsConsole(err);
  std::optional<ConsoleForwarding> forwarding;
  if (outToConsole || errToConsole) forwarding.emplace(outToConsole ? out : err);
  const bool forwarded = forwarding && forwarding->Ready();

  ::SetEnvironmentVariableW(
      companion::kVariable,
      companion::ForwardedValue({forwarded && outToConsole, forwarded && errToConsole}));
  ::SetConsoleCtrlHandler(&LeaveBreakToProgram, TRUE);
  // The program writes UTF-8 to a console; one it writes to itself (no pipe could be made) shows
  // it as such while it runs. Otherwise the code page stays the user's: the program writes
  // into a pipe or file of the caller's in it, for the program at the other end.
  const UINT codePage =
      (outToConsole || errToConsole) && !forwarded ? ::GetConsoleOutputCP() : 0;
  if (codePage != 0) ::SetConsoleOutputCP(CP_UTF8);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableCopy(::GetStdHandle(STD_INPUT_HANDLE));
  startup.hStdOutput = InheritableCopy(forwarded && outToConsole ? forwarding->WriteEnd() : out);
  startup.hStdError = InheritableCopy(forwarded && errToConsole ? forwarding->WriteEnd() : err);
  if (forwarding) forwarding->CloseWriteEnd();
  PROCESS_INFORMATION child{};
  const BOOL started = ::CreateProcessW(program.c_str(), lineBuffer.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &child);
  const DWORD startError = started ? 0 : ::GetLastError();
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != nullptr) ::CloseHandle(handle);
  }

  DWORD status = static_cast<DWORD>(companion::kExitCannotStart);
  if (started) {
    ::CloseHandle(child.hThread);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::GetExitCodeProcess(child.hProcess, &status);
    ::CloseHandle(child.hProcess);
  } else {
    const std::string message = "lcdwrite: " + Utf8(program) + " kann nicht gestartet werden: " +
                                Utf8(SystemText(startError)) + "\n";
    std::fputs(message.c_str(), stderr);
  }
  if (codePage != 0) ::SetConsoleOutputCP(codePage);
  return static_cast<int>(status);
}
