// The journal in a SQLite file: WAL, so that a reader never holds up a writer; synchronous
// FULL, so that a record is on the disk when Begin returns; a busy time-out, so that two tools
// on one bench share the file, each waiting its turn instead of failing.
#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/journal/schema.h"
#include "app/journal/store.h"
#include "app/journal/texts.h"
#include "app/outputfiles.h"
#include "app/texts.h"

namespace app::journal {

namespace {

constexpr int kBusyTimeoutMs = 10000;

// A file that is no database, or one whose pages are damaged.
class Damaged : public JournalError {
 public:
  using JournalError::JournalError;
};

constexpr SqlDialect kDialect{"INTEGER PRIMARY KEY", "INTEGER"};

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql, std::function<void(int)> fail) : fail_(fail) {
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr);
    if (rc != SQLITE_OK) fail_(rc);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, const std::optional<std::string>& value) {
    const int rc = value ? sqlite3_bind_text(statement_, index, value->data(),
                                             static_cast<int>(value->size()), SQLITE_TRANSIENT)
                         : sqlite3_bind_null(statement_, index);
    if (rc != SQLITE_OK) fail_(rc);
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) fail_(rc);
    return false;
  }
  std::optional<std::string> Column(int index) {
    if (sqlite3_column_type(statement_, index) == SQLITE_NULL) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, index)));
  }
  int ColumnCount() { return sqlite3_column_count(statement_); }

 private:
  sqlite3_stmt* statement_ = nullptr;
  std::function<void(int)> fail_;
};

class SqliteStore : public JournalStore {
 public:
  explicit SqliteStore(const std::string& path) {
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
      if (rc != SQLITE_OK) Fail(rc);
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      // One run writes a few small records: folding the write-ahead log into the database
      // each time the program ends would cost more than the run's records. SQLite folds it
      // when it has grown (every 1000 pages) instead.
      sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
      Execute("PRAGMA journal_mode = WAL");
      Execute("PRAGMA synchronous = FULL");
      Migrate();
    } catch (...) {
      sqlite3_close_v2(db_);
      throw;
    }
  }
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  void Begin(const JournalRecord& record) override {
    Statement insert(db_, InsertSql('?'), Failer());
    BindAll(insert, record);
    insert.Step();
  }

  void Update(const JournalRecord& record) override {
    Statement update(db_, UpdateSql('?'), Failer());
    BindAll(update, record);
    update.Bind(static_cast<int>(JournalColumns().size()) + 1, record.runId);
    update.Step();
  }

  void Progress(const JournalRecord& record) override {
    Execute("PRAGMA synchronous = NORMAL");
    try {
      Update(record);
    } catch (...) {
      Execute("PRAGMA synchronous = FULL");
      throw;
    }
    Execute("PRAGMA synchronous = FULL");
  }

  std::optional<std::string> LastWritten(const std::string& serial) override {
    Statement query(db_, LastWrittenSql('?'), Failer());
    query.Bind(1, serial);
    if (!query.Step()) return std::nullopt;
    return query.Column(0);
  }

  std::vector<JournalRecord> Records(size_t limit, const std::string& serial) override {
    Statement query(db_, RecordsSql(limit, !serial.empty(), '?'), Failer());
    if (!serial.empty()) query.Bind(1, serial);
    std::vector<JournalRecord> records;
    while (query.Step()) {
      std::vector<std::optional<std::string>> values;
      for (int i = 0; i < query.ColumnCount(); ++i) values.push_back(query.Column(i));
      records.push_back(RecordFromValues(values));
    }
    return records;
  }

 private:
  std::function<void(int)> Failer() {
    return [this](int rc) { Fail(rc); };
  }

  void BindAll(Statement& statement, const JournalRecord& record) {
    int index = 1;
    for (const std::optional<std::string>& value : ColumnValues(record)) {
      statement.Bind(index++, value);
    }
  }

  void Execute(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) Fail(rc);
  }

  // Creates what is missing and brings an older schema forward, in one write transaction so
  // that two tools opening a new journal at once do it once.
  void Migrate() {
    Execute("BEGIN IMMEDIATE");
    try {
      Execute(kCreateVersionTable);
      int version = 0;
      {
        Statement query(db_, kReadVersion, Failer());
        if (query.Step()) version = std::stoi(query.Column(0).value_or("0"));
      }
      MigrateSchema(version, kDialect, [this](const std::string& sql) { Execute(sql); });
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // Throws the error as the journal reports it: the file system's cause where there is one.
  [[noreturn]] void Fail(int rc) {
    const int code = rc & 0xFF;
    const int system = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    std::string cause;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
      throw Damaged(db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    } else if (code == SQLITE_FULL) {
      cause = app::texts::kCauseDiskFull;
    } else if ((code == SQLITE_CANTOPEN || code == SQLITE_IOERR || code == SQLITE_READONLY) &&
               system != 0) {
      cause = FileErrorCause(system);
    } else if (code == SQLITE_READONLY) {
      cause = app::texts::kCauseNoAccess;
    } else {
      cause = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    }
    throw JournalError(cause);
  }

  sqlite3* db_ = nullptr;
};

// "20261207T225801Z": when a damaged file was moved aside.
std::string CompactNow() {
  std::string compact;
  for (char c : UtcNow()) {
    if (c == '.') break;
    if (c != '-' && c != ':') compact += c;
  }
  return compact + "Z";
}

}  // namespace

std::unique_ptr<JournalStore> OpenSqliteJournal(const std::string& path,
                                                std::string* movedAsideTo) {
  if (movedAsideTo != nullptr) movedAsideTo->clear();
  try {
    return std::make_unique<SqliteStore>(path);
  } catch (const Damaged&) {
    // Kept for whoever wants to look into it; the new journal starts empty. The write-ahead
    // log and its index go with the file: left behind they would belong to no database.
    namespace fs = std::filesystem;
    const std::string aside = path + ".damaged-" + CompactNow();
    std::error_code error;
    fs::rename(fs::u8path(path), fs::u8path(aside), error);
    if (error) throw JournalError(FileErrorCause(error.value()));
    for (const char* suffix : {"-wal", "-shm"}) {
      const fs::path log = fs::u8path(path + suffix);
      if (fs::exists(log, error)) fs::rename(log, fs::u8path(aside + suffix), error);
    }
    if (movedAsideTo != nullptr) *movedAsideTo = aside;
    return std::make_unique<SqliteStore>(path);
  }
}

}  // namespace app::journal
