// Where the journal's records are kept: a SQLite file on the bench, or a PostgreSQL database
// several benches share. Both keep the same columns (record.h) in a table "runs" beside a
// table "lcdwrite_schema" that holds the schema's version; opening a store for writing creates
// what is missing and migrates an older schema forward in one transaction, never dropping
// anything. A store whose schema is current is only read and written, never altered (so a
// PostgreSQL role with SELECT, INSERT and UPDATE on the tables is enough).
//
// Every call is bounded: a SQLite file locked by another program makes a call throw JournalBusy
// after kSqliteBusyMs; a PostgreSQL server that stops answering makes it throw JournalError
// within the connection's bounds (kPostgres... below). A store that failed may be dropped and
// opened again, and the whole record written again: Begin and Update replace the record with
// the same run id.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/journal/record.h"

namespace app::journal {

// A store that cannot be opened, read or written; what() is the cause (German, Windows-1252).
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The SQLite file is locked by another program (longer than kSqliteBusyMs): the same call may
// succeed later; the store stays usable.
class JournalBusy : public JournalError {
 public:
  using JournalError::JournalError;
};

// The schema version this program writes.
constexpr int kSchemaVersion = 3;

// How long a SQLite call waits for another program's write lock before JournalBusy.
constexpr int kSqliteBusyMs = 1000;
// The bounds of a PostgreSQL connection: connecting, a statement (and a lock it waits for) on
// the server, and a peer that stopped answering (TCP keep-alive probes and unacknowledged data).
// A connection that only reads (--history) has no statement bound: a whole journal is read as
// long as rows keep coming.
constexpr int kPostgresConnectSeconds = 5;
constexpr int kPostgresStatementMs = 5000;
constexpr int kPostgresLockMs = 3000;
constexpr int kPostgresKeepaliveIdleSeconds = 5;
constexpr int kPostgresKeepaliveIntervalSeconds = 2;
constexpr int kPostgresKeepaliveCount = 3;
constexpr int kPostgresUserTimeoutMs = 10000;

// Which columns Each reads: all of them, or those the history's table shows.
enum class Columns { All, Table };
// The column indexes (JournalColumns) of the history's table.
const std::vector<size_t>& TableColumns();

class JournalStore {
 public:
  virtual ~JournalStore() = default;
  // Adds the record, or replaces the one with the same run id; durable on the store's disk
  // when it returns.
  virtual void Begin(const JournalRecord& record) = 0;
  // The same (a run's completion; the record is added if its beginning was lost).
  virtual void Update(const JournalRecord& record) = 0;
  // The same for a run's progress, without waiting for the disk: the change survives the
  // program being killed at once, and reaches the disk with the next durable write (a power
  // loss may take it; the record begun before it stays).
  virtual void Progress(const JournalRecord& record) = 0;
  // The start of the latest completed write (exit status 0) of serial, if any.
  virtual std::optional<std::string> LastWritten(const std::string& serial) = 0;
  // The last limit records (every one for 0), of one serial number unless serial is empty,
  // oldest first, handed to each one at a time (a store keeps no more than one in memory).
  // With Columns::Table the other fields are left empty. Throws JournalError; records handed
  // on before that stay handed on.
  virtual void Each(size_t limit, const std::string& serial, Columns columns,
                    const std::function<void(const JournalRecord&)>& each) = 0;
  // Each, every column, gathered.
  std::vector<JournalRecord> Records(size_t limit, const std::string& serial);
};

// How a journal file is opened.
struct SqliteOpening {
  // Only read (--history): nothing is created, moved, migrated or locked for writing; a file
  // the user may only read can be read. (Where the folder is writable, SQLite may leave the
  // empty index files of its write-ahead log, -wal and -shm, beside a journal it read; the next
  // run that writes the journal removes them as it closes.)
  bool readOnly = false;
  // The tool's own default file: one that is a damaged SQLite database (its header is
  // SQLite's, its pages do not read) is moved aside and a new journal begun. Anything else
  // that is no journal is refused and left as it is.
  bool mayMoveAside = false;
};

// Opens the SQLite journal at path (UTF-8), creating it when missing unless read-only. A damaged
// file, where mayMoveAside allows, is moved aside (with its -wal and -shm files) to
// path + ".damaged-<time>" and a new journal begun; movedAsideTo then holds the new name, empty
// otherwise. Throws JournalError (JournalBusy when another program holds the file's lock).
std::unique_ptr<JournalStore> OpenSqliteJournal(const std::string& path,
                                                const SqliteOpening& how = {},
                                                std::string* movedAsideTo = nullptr);

// Connects to the PostgreSQL journal at a libpq connection URI (or key=value string), within
// the bounds above, and creates its tables when missing (unless readOnly: a journal without
// tables then has no records). Throws JournalError (where the build has no libpq: not
// available in this build).
std::unique_ptr<JournalStore> OpenPostgresJournal(const std::string& uri, bool readOnly = false);

// --journal-setup: connects as the PostgreSQL journal's administrator and creates or migrates
// its tables. Throws JournalError.
void SetUpPostgresJournal(const std::string& uri);

// A PostgreSQL target as libpq reads it, for messages (Windows-1252): every field but the
// passwords, in URI form; a target libpq cannot read is shown as its scheme alone.
std::string ShownPostgresTarget(const std::string& uri);

// Whether a journal's name is a PostgreSQL connection URI rather than a file.
bool IsPostgresUri(const std::string& name);

}  // namespace app::journal
