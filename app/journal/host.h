// What the journal records about the machine a run happens on, and where the journal lives by
// default: one implementation per system (posix/host.cpp, win32/host.cpp).
#pragma once

#include <string>

namespace app::journal {

std::string HostName();
std::string UserName();
// The system and processor the program was built for ("linux-x86_64", "windows-x86").
std::string PlatformName();

// A file name as the program holds it (the text of a path, platform/hosttext.h: UTF-8 on
// Windows, the bytes as given on Linux) as SQLite opens it: UTF-8.
std::string Utf8FileName(const std::string& native);

// The default journal's file: $XDG_DATA_HOME/lcdwrite/journal.sqlite3 (else
// ~/.local/share/...) on Linux, %LOCALAPPDATA%\lcdwrite\journal.sqlite3 on Windows. Empty when
// the environment names no such folder; the folder may not exist yet.
std::string DefaultJournalPath();

// The process's standard output passes the bytes written to it unchanged (the CR LF that ends
// each CSV line of --history): Windows' C library opens it in text mode, which would turn each
// LF into CR LF; elsewhere there is nothing to do. Call before the first byte is written.
void UnchangedStandardOutput();

}  // namespace app::journal
