// How lcdwrite.com, the console companion of the window program, starts lcdwrite.exe: pure
// functions on the text of paths and command lines, tested on their own.
#pragma once

#include <string>

namespace app::companion {

// Set by lcdwrite.com in the environment of the lcdwrite.exe it starts: join my console
// (kValueJoin), and also: your standard output, your standard error or both are a pipe that I
// pass on to my console. A forwarded standard output is written unbuffered and as to a
// terminal; whatever is forwarded is written in UTF-8, which lcdwrite.com shows whole; what is
// not forwarded went where the caller redirected it.
inline constexpr wchar_t kVariable[] = L"LCDWRITE_COMPANION";
inline constexpr wchar_t kValueJoin[] = L"1";
inline constexpr wchar_t kValueForwarded[] = L"console";  // both streams
inline constexpr wchar_t kValueOutputForwarded[] = L"output";
inline constexpr wchar_t kValueErrorForwarded[] = L"error";

struct Forwarded {
  bool output = false;
  bool error = false;
  bool operator==(const Forwarded&) const = default;
};
// The variable's value for what is forwarded, and back (an unknown value: nothing).
inline const wchar_t* ForwardedValue(Forwarded forwarded) {
  if (forwarded.output && forwarded.error) return kValueForwarded;
  if (forwarded.output) return kValueOutputForwarded;
  if (forwarded.error) return kValueErrorForwarded;
  return kValueJoin;
}
inline Forwarded ForwardedOf(const std::wstring& value) {
  if (value == kValueForwarded) return {true, true};
  if (value == kValueOutputForwarded) return {true, false};
  if (value == kValueErrorForwarded) return {false, true};
  return {};
}

// Exit status of lcdwrite.com when it cannot start lcdwrite.exe (as a shell's "not found").
inline constexpr int kExitCannotStart = 127;

// The arguments of a Windows command line as they were typed: what follows the program name
// and the blanks after it. The program name ends at the first blank or tab outside double
// quotes, as the C runtime reads it ("C:\Program Files\x.com" and C:\"Program Files"\x.com).
std::wstring CommandTail(const std::wstring& commandLine);

// The window program beside the companion: its path with the extension replaced by ".exe".
// Empty when that would be the companion itself (a companion named *.exe would start itself).
std::wstring WindowProgramPath(const std::wstring& companionPath);

// The command line that starts the window program: its path in quotes, then the tail unchanged,
// so every argument reaches it exactly as typed.
std::wstring ChildCommandLine(const std::wstring& program, const std::wstring& tail);

}  // namespace app::companion
