// Texts that come from the operating system or go to it: the names of files, the program's
// arguments, the user's language, and the code page of text that leaves through a pipe or into
// a file.
//
// A file's name travels as std::filesystem::path from where it is named (the command line, the
// current directory) to where the file is opened. Where it must travel as text (the options,
// messages, the journal) that text is UTF-8 on every system: on POSIX the bytes as the system
// gave them, unchanged; on Windows the UTF-16 name converted. FilePath and PathText are the only
// crossings between the two. (Never std::filesystem::path(std::string) on Windows: MinGW's
// library takes each byte of a narrow string as one character, neither UTF-8 nor the ANSI code
// page, while path::string() gives UTF-8; and the narrow Win32 calls speak the ANSI code page,
// which cannot hold every name Windows allows.)
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plat {

// The path a text names (UTF-8; bytes that are not UTF-8 become U+FFFD on Windows).
std::filesystem::path FilePath(const std::string& text);
// The text of a path (UTF-8 on Windows; POSIX: its bytes).
std::string PathText(const std::filesystem::path& path);

// The program's arguments after its name, as texts: POSIX argv as it is; Windows the wide
// command line (GetCommandLineW), split as the C runtime splits it, in UTF-8 (argc and argv,
// which hold only what the ANSI code page can, are not used there).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// An environment variable's value as text (UTF-8 on Windows, from the wide environment); none
// when it is not set.
std::optional<std::string> EnvironmentText(const char* name);

// The user's interface language as a Windows language id (LANGID: the primary language in its
// low 10 bits); none where the system has no such setting (POSIX, where the locale variables
// say it).
std::optional<unsigned> UserInterfaceLanguage();

// Code page numbers as Windows names them.
inline constexpr unsigned kCodePageUtf8 = 65001;

// Where a standard stream goes.
enum class StreamTarget { Terminal, Pipe, File, Nothing };

// The code page text meant for people is written in into a stream going to target. Terminal:
// UTF-8 (the console takes it as such: lcdwrite.com passes it on whole, a Linux terminal reads
// UTF-8). Pipe and File on Windows: the console's output code page (consoleCodePage, 0 when the
// process has no console), else the OEM code page: what cmd.exe's own `type`, `more` and
// `findstr` read, as every console tool of the system writes. POSIX (windows false): UTF-8.
unsigned ChooseStreamCodePage(StreamTarget target, bool windows, unsigned consoleCodePage,
                              unsigned oemCodePage);

// The rule above for the process's standard output (error false) or error (error true), asked
// of the system now. A stream that lcdwrite.com passes on to its console counts as Terminal
// (forwardedToConsole).
unsigned StandardStreamCodePage(bool error, bool forwardedToConsole);

// utf8 in codePage (kCodePageUtf8: unchanged). A character the code page cannot hold becomes
// '?'. Only UTF-8 is known outside Windows: any other code page leaves the text unchanged there.
std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage);

}  // namespace plat
