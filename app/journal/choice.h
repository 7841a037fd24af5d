// Which journal a run or --history uses, and opening it with the journal's failure rules:
// the default journal is a convenience (a failure is a warning and the run goes on), a journal
// the user named (--journal, LCDWRITE_JOURNAL) is a demand (a failure refuses the run).
#pragma once

#include <functional>
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

// The journal's name as messages show it (Windows-1252); a URI without its password.
std::string ShownJournal(const std::string& target);

// Opens the chosen journal (not None). A default journal's folder is created when missing;
// a named file's folder must exist. A damaged file is moved aside and warn is told so (one
// line, Windows-1252). Throws JournalError with the cause.
std::unique_ptr<JournalStore> OpenJournal(const JournalChoice& choice,
                                          const std::function<void(const std::string&)>& warn);

}  // namespace app::journal
