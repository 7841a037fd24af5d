// A build without libpq (the Windows build): a PostgreSQL journal is not available.
#include "app/journal/store.h"
#include "app/journal/texts.h"

namespace app::journal {

std::unique_ptr<JournalStore> OpenPostgresJournal(const std::string&) {
  throw JournalError(texts::kNotInThisBuild);
}

}  // namespace app::journal
