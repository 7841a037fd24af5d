// Where the journal's records are kept: a SQLite file on the bench, or a PostgreSQL database
// several benches share. Both keep the same columns (record.h) in a table "runs" beside a
// table "lcdwrite_schema" that holds the schema's version; opening a store creates what is
// missing and migrates an older schema forward in one transaction, never dropping anything.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/journal/record.h"

namespace app::journal {

// A store that cannot be opened or written; what() is the cause (German, Windows-1252).
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The schema version this program writes.
constexpr int kSchemaVersion = 2;

class JournalStore {
 public:
  virtual ~JournalStore() = default;
  // Adds a new record; durable on the store's disk when it returns.
  virtual void Begin(const JournalRecord& record) = 0;
  // Replaces the record with the same run id (its completion); durable when it returns.
  virtual void Update(const JournalRecord& record) = 0;
  // The same for a run's progress, without waiting for the disk: the change survives the
  // program being killed at once, and reaches the disk with the next durable write (a power
  // loss may take it; the record begun before it stays).
  virtual void Progress(const JournalRecord& record) = 0;
  // The start of the latest completed write (exit status 0) of serial, if any.
  virtual std::optional<std::string> LastWritten(const std::string& serial) = 0;
  // The last limit records (every one for 0), of one serial number unless serial is empty,
  // oldest first.
  virtual std::vector<JournalRecord> Records(size_t limit, const std::string& serial) = 0;
};

// Opens (creating when missing) the SQLite journal at path (UTF-8). A file that is no database or
// is damaged is moved aside (with its -wal and -shm files) to path + ".damaged-<time>" and a new
// journal begun; movedAsideTo then holds the new name, empty otherwise. Throws JournalError.
std::unique_ptr<JournalStore> OpenSqliteJournal(const std::string& path,
                                                std::string* movedAsideTo = nullptr);

// Connects to the PostgreSQL journal at a libpq connection URI and creates its tables when
// missing. Throws JournalError (where the build has no libpq: not available in this build).
std::unique_ptr<JournalStore> OpenPostgresJournal(const std::string& uri);

// Whether a journal's name is a PostgreSQL connection URI rather than a file.
bool IsPostgresUri(const std::string& name);

}  // namespace app::journal
