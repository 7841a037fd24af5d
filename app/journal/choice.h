// Which journal a run or --history uses, and opening it with the journal's failure rules:
// the default journal is a convenience (a failure is a warning and the run goes on), a journal
// the user named (--journal, LCDWRITE_JOURNAL) is a demand (a failure refuses the run).
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "app/commandline.h"
#include "app/journal/store.h"

namespace app::journal {

struct JournalChoice {
  enum class Kind { None, Default, Named };
  Kind kind = Kind::None;
  std::string target;  // a file or a postgresql:// URI; empty for a default nobody can place
};

// --no-journal: none. --journal: that one. A simulated run: none unless --journal named one.
// Otherwise environment (LCDWRITE_JOURNAL, "" when unset), else the default file.
JournalChoice ChooseJournal(const Options& options, const std::string& environment);

// The journal's name as messages, the log and the record show it (Windows-1252): a file's name,
// or a PostgreSQL target as libpq reads it with every password left out.
std::string ShownJournal(const std::string& target);

// What the journal is opened for: a run's records, or only reading them (--history).
enum class JournalAccess { Write, Read };

// Opens the chosen journal (not None).
// Write: a default journal's folder is created when missing; a named file's folder must exist.
// Only the default journal, and only when it is a damaged SQLite file, is moved aside (warn is
// told so: one line, Windows-1252); a named one that is no journal is refused and left as it is.
// Read: nothing is created, moved or migrated; a missing file is refused ("nicht vorhanden").
// Throws JournalError with the cause (JournalBusy: another program holds the file's lock).
std::unique_ptr<JournalStore> OpenJournal(const JournalChoice& choice,
                                          const std::function<void(const std::string&)>& warn,
                                          JournalAccess access = JournalAccess::Write);

// The journal's part of the rule the run's output files follow (app/outputfiles.h): empty when
// the chosen journal is no other file of the run (compared by identity); otherwise the refusal
// (Windows-1252). A PostgreSQL journal or none passes. Touches nothing.
std::string CheckJournalFile(const JournalChoice& choice, const std::string& logFile,
                             const std::string& reportFile,
                             const std::filesystem::path& configFile,
                             const std::string& scenarioFile);

// --journal-setup URI: makes (or brings forward) the tables of the PostgreSQL journal at uri
// and prints the rights the benches' role needs on out (UTF-8). 0, or kExitUsage (the cause
// on err) for a journal file or a server that refuses.
int SetUpJournal(const std::string& uri, std::ostream& out, std::ostream& err);

}  // namespace app::journal
