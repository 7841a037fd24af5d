// The journal in a SQLite file: WAL, so that a reader never holds up a writer; synchronous
// FULL, so that a record is on the disk when Begin returns; a short busy time-out, so that two
// tools on one bench share the file, each waiting its turn, and a lock held for longer is
// reported (JournalBusy) instead of holding up the run.
//
// The file the journal is kept in is checked before SQLite sees it: a name SQLite would take for
// something else (":memory:", a "file:" URI), anything that is not a regular file, and a file
// that does not begin with SQLite's header are refused untouched. The last connection to close
// folds the write-ahead log into the file, so that a copy of the file alone holds every record.
#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "app/journal/schema.h"
#include "app/journal/store.h"
#include "app/journal/texts.h"
#include "app/outputfiles.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/outputfiles.h"

namespace app::journal {

namespace {

namespace fs = std::filesystem;

// The first bytes of every SQLite database file.
constexpr char kSqliteHeader[] = "SQLite format 3";  // and its terminating zero: 16 bytes
constexpr size_t kSqliteHeaderBytes = sizeof kSqliteHeader;

// A file with SQLite's header whose pages do not read.
class Damaged : public JournalError {
 public:
  using JournalError::JournalError;
};

// A URI that opens the file at path (UTF-8) read-only as a file nobody changes: every character
// but the unreserved ones percent-encoded, a Windows path in its URI form ("/C:/...").
std::string ImmutableUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  if (path.size() >= 2 && path[1] == ':') uri += "///";
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\' || c == '/') {
      uri += '/';
    } else if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~' ||
               (c == ':' && i == 1)) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[b >> 4];
      uri += kHex[b & 0xF];
    }
  }
  return uri + "?mode=ro&immutable=1";
}

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
    if (text == nullptr) return std::string();
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, index)));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
  std::function<void(int)> fail_;
};

class SqliteStore : public JournalStore {
 public:
  SqliteStore(const std::string& path, bool readOnly) : path_(path), readOnly_(readOnly) {
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    try {
      if (rc != SQLITE_OK) Fail(rc);
      sqlite3_busy_timeout(db_, kSqliteBusyMs);
      if (readOnly && !Readable()) {
        // A journal in a folder the user may not write (another user's, a read-only medium):
        // SQLite cannot make the index of the write-ahead log beside it. With no log there,
        // the file alone is the whole journal, and it is read as a file nobody changes.
        sqlite3_close_v2(db_);
        db_ = nullptr;
        rc = sqlite3_open_v2(ImmutableUri(path).c_str(), &db_,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        if (rc != SQLITE_OK) Fail(rc);
      }
      sqlite3_extended_result_codes(db_, 1);
      if (!readOnly) {
        Execute("PRAGMA journal_mode = WAL");
        Execute("PRAGMA synchronous = FULL");
      }
      version_ = ReadVersion();
      if (!readOnly && version_ != kSchemaVersion) Migrate();
    } catch (...) {
      sqlite3_close_v2(db_);
      throw;
    }
  }
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  void Begin(const JournalRecord& record) override { Write(record); }
  void Update(const JournalRecord& record) override { Write(record); }

  void Progress(const JournalRecord& record) override {
    Execute("PRAGMA synchronous = NORMAL");
    try {
      Write(record);
    } catch (...) {
      sqlite3_exec(db_, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
      throw;
    }
    Execute("PRAGMA synchronous = FULL");
  }

  std::optional<std::string> LastWritten(const std::string& serial) override {
    if (version_ == 0) return std::nullopt;
    Statement query(db_, LastWrittenSql('?'), Failer());
    query.Bind(1, EscapedText(serial));
    if (!query.Step()) return std::nullopt;
    const std::optional<std::string> started = query.Column(0);
    if (!started) return std::nullopt;
    return UnescapedText(*started);
  }

  void Each(size_t limit, const std::string& serial, Columns columns,
            const std::function<void(const JournalRecord&)>& each) override {
    if (version_ == 0) return;  // read-only, and nothing was ever written
    std::vector<size_t> all;
    for (size_t i = 0; i < JournalColumns().size(); ++i) all.push_back(i);
    const std::vector<size_t>& which = columns == Columns::All ? all : TableColumns();
    Statement query(db_, RecordsSql(limit, !serial.empty(), '?', which, version_), Failer());
    if (!serial.empty()) query.Bind(1, EscapedText(serial));
    while (query.Step()) {
      JournalRecord record;
      for (size_t i = 0; i < which.size(); ++i) {
        SetStoredColumn(record, which[i], query.Column(static_cast<int>(i)));
      }
      each(record);
    }
  }

 private:
  std::function<void(int)> Failer() {
    return [this](int rc) { Fail(rc); };
  }

  void Write(const JournalRecord& record) {
    if (readOnly_) throw JournalError(app::texts::kCauseReadOnly);
    Statement upsert(db_, UpsertSql('?'), Failer());
    int index = 1;
    for (const std::optional<std::string>& value : StoredValues(record)) {
      upsert.Bind(index++, value);
    }
    upsert.Step();
  }

  void Execute(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) Fail(rc);
  }

  // The schema's version: 0 when the version table is missing or empty.
  int ReadVersion() {
    {
      Statement table(db_,
                      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                      "name = 'lcdwrite_schema'",
                      Failer());
      if (!table.Step() || table.Column(0) == std::optional<std::string>("0")) return 0;
    }
    Statement query(db_, kReadVersion, Failer());
    return CheckedSchemaVersion(query.Step() ? query.Column(0) : std::nullopt);
  }

  // Creates what is missing and brings an older schema forward, in one write transaction so
  // that two tools opening a new journal at once do it once.
  void Migrate() {
    Execute("BEGIN IMMEDIATE");
    try {
      Execute(kCreateVersionTable);
      MigrateSchema(ReadVersion(), kSqliteDialect,
                    [this](const std::string& sql) { Execute(sql); });
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    version_ = kSchemaVersion;
  }

  // Whether the opened file can be read as it is; false when the cause is a folder the
  // write-ahead log's index cannot be made in and there is no log to lose by reading the file
  // alone.
  bool Readable() {
    const int rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                                nullptr);
    if (rc == SQLITE_OK) return true;
    const int code = rc & 0xFF;
    std::error_code error;
    const auto log = fs::file_size(fs::u8path(path_ + "-wal"), error);
    const bool noLog = (error && !fs::exists(fs::u8path(path_ + "-wal"), error)) || log == 0;
    if ((code == SQLITE_CANTOPEN || code == SQLITE_READONLY) && noLog) return false;
    Fail(rc);
  }

  // Throws the error as the journal reports it: the file system's cause where there is one.
  [[noreturn]] void Fail(int rc) {
    const int code = rc & 0xFF;
    int system = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    if (code == SQLITE_CANTOPEN && !readOnly_) {
      // SQLite's last system error may belong to a later look at a name that is not there:
      // the folder is tried as a journal would be made in it, for the real cause.
      const plat::ReplacementFile probe(path_);
      if (probe.Error() != 0) system = probe.Error();
    }
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
      throw Damaged(fw::Format(texts::kDamaged, fw::Utf8ToCp1252(message)));
    }
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) throw JournalBusy(texts::kBusy);
    if (code == SQLITE_FULL) throw JournalError(app::texts::kCauseDiskFull);
    if ((code == SQLITE_CANTOPEN || code == SQLITE_IOERR || code == SQLITE_READONLY) &&
        system != 0) {
      throw JournalError(FileErrorCause(system));
    }
    if (code == SQLITE_READONLY) throw JournalError(app::texts::kCauseNoAccess);
    throw JournalError(fw::Utf8ToCp1252(message));
  }

  sqlite3* db_ = nullptr;
  std::string path_;
  bool readOnly_ = false;
  int version_ = 0;
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

// Why path cannot be a journal file, or empty: the checks made before SQLite opens it.
std::string WhyNotAJournalFile(const std::string& path, bool readOnly) {
  if (path.empty() || path == ":memory:" || path.rfind("file:", 0) == 0) {
    return texts::kNotAFileName;
  }
  const fs::path file = fs::u8path(path);
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (error && error.value() != ENOENT) return FileErrorCause(error.value());
  if (!fs::exists(status)) {
    if (!readOnly) return {};
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    return fs::is_directory(folder, error) ? std::string(texts::kNotThere)
                                           : FileErrorCause(ENOENT);
  }
  if (fs::is_directory(status)) return app::texts::kCauseFolder;
  if (!fs::is_regular_file(status)) return app::texts::kCauseNotAFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) return FileErrorCause(errno != 0 ? errno : EACCES);
  char header[kSqliteHeaderBytes] = {};
  in.read(header, sizeof header);
  const auto got = static_cast<size_t>(in.gcount());
  if (got == 0) return {};  // an empty file is an empty database to SQLite
  if (got < kSqliteHeaderBytes || std::memcmp(header, kSqliteHeader, kSqliteHeaderBytes) != 0) {
    return texts::kNotAJournal;
  }
  return {};
}

}  // namespace

std::unique_ptr<JournalStore> OpenSqliteJournal(const std::string& path, const SqliteOpening& how,
                                                std::string* movedAsideTo) {
  if (movedAsideTo != nullptr) movedAsideTo->clear();
  const std::string why = WhyNotAJournalFile(path, how.readOnly);
  if (!why.empty()) throw JournalError(why);
  // The write-ahead log and its index that SQLite makes beside a file in WAL mode as it reads
  // it; a damaged file that is not ours to move keeps nothing new beside it.
  std::vector<fs::path> made;
  for (const char* suffix : {"-wal", "-shm"}) {
    std::error_code error;
    const fs::path side = fs::u8path(path + suffix);
    if (!fs::exists(fs::symlink_status(side, error))) made.push_back(side);
  }
  try {
    return std::make_unique<SqliteStore>(path, how.readOnly);
  } catch (const Damaged&) {
    if (how.readOnly || !how.mayMoveAside) {
      std::error_code error;
      for (const fs::path& side : made) fs::remove(side, error);
      throw;
    }
    // Kept for whoever wants to look into it; the new journal starts empty. The write-ahead
    // log and its index go with the file: left behind they would belong to no database.
    const std::string aside = path + ".damaged-" + CompactNow();
    std::error_code error;
    fs::rename(fs::u8path(path), fs::u8path(aside), error);
    if (error) throw JournalError(FileErrorCause(error.value()));
    for (const char* suffix : {"-wal", "-shm"}) {
      const fs::path log = fs::u8path(path + suffix);
      if (fs::exists(log, error)) fs::rename(log, fs::u8path(aside + suffix), error);
    }
    if (movedAsideTo != nullptr) *movedAsideTo = aside;
    return std::make_unique<SqliteStore>(path, false);
  }
}

}  // namespace app::journal
