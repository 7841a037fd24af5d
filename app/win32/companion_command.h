// How lcdwrite.com, the console companion of the window program, starts lcdwrite.exe: pure
// functions on the text of paths and command lines, tested on their own.
#pragma once

#include <string>

namespace app::companion {

// Set by lcdwrite.com in the environment of the lcdwrite.exe it starts: join my console
// (kValueJoin), and also: your standard output is a pipe that I pass on to my console
// (kValueForwarded), so write it unbuffered and as to a terminal.
inline constexpr wchar_t kVariable[] = L"LCDWRITE_COMPANION";
inline constexpr wchar_t kValueJoin[] = L"1";
inline constexpr wchar_t kValueForwarded[] = L"console";

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
