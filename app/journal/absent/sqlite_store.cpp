// A build without SQLite: the journal file is not available.
#include "app/journal/store.h"
#include "app/journal/texts.h"

namespace app::journal {

std::unique_ptr<JournalStore> OpenSqliteJournal(const std::string&, const SqliteOpening&,
                                                std::string* movedAsideTo) {
  if (movedAsideTo != nullptr) movedAsideTo->clear();
  throw JournalError(texts::kNotInThisBuild);
}

}  // namespace app::journal
