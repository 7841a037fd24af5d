// A build without libpq (the Windows build): a PostgreSQL journal is not available.
#include "app/journal/store.h"
#include "app/journal/texts.h"

namespace app::journal {

std::unique_ptr<JournalStore> OpenPostgresJournal(const std::string&, bool) {
  throw JournalError(texts::kNotInThisBuild);
}

// Without libpq to read the target, only its scheme is shown: nothing in it can be a secret.
std::string ShownPostgresTarget(const std::string& uri) {
  return uri.substr(0, uri.find("://") + 3) + "...";
}

void SetUpPostgresJournal(const std::string&) { throw JournalError(texts::kNotInThisBuild); }

}  // namespace app::journal
