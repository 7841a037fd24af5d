// The journal in a PostgreSQL database, for a workshop whose benches share one record. Every
// statement commits on its own (the server makes it durable before it answers); the tables are
// made by the database's administrator (--journal-setup) or, where the role may, created under
// an advisory lock, so that benches starting on a new database at once create them once.
//
// Every connection is bounded (store.h): connect_timeout for the connection, TCP keep-alives
// and tcp_user_timeout for a peer that stopped answering, statement_timeout and lock_timeout
// on the server for a statement that waits. A connection that was lost fails each call at once.
#include <libpq-fe.h>

#include <memory>
#include <string>

#include "app/journal/schema.h"
#include "app/journal/store.h"
#include "framework/sysutils.h"

namespace app::journal {

namespace {

// The advisory lock that serialises the schema's creation and migration ("lcdw" in ASCII).
constexpr long long kSchemaLock = 0x6c636477;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The server's or the library's message, on one line (line breaks and tabs, and the spaces
// around them, as one space), any other control
// character made visible, in the tool's Windows-1252.
std::string OneLine(const char* message) {
  std::string text;
  for (const char* c = message != nullptr ? message : ""; *c != '\0'; ++c) {
    const bool space = *c == '\n' || *c == '\t' || *c == ' ';
    if (!space) {
      text += *c;
    } else if (!text.empty() && text.back() != ' ') {
      text += ' ';
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return fw::Utf8ToCp1252(fw::VisibleUtf8(text));
}

class PostgresStore : public JournalStore {
 public:
  PostgresStore(const std::string& uri, bool readOnly) {
    const std::string connect = std::to_string(kPostgresConnectSeconds);
    const std::string idle = std::to_string(kPostgresKeepaliveIdleSeconds);
    const std::string interval = std::to_string(kPostgresKeepaliveIntervalSeconds);
    const std::string count = std::to_string(kPostgresKeepaliveCount);
    const std::string userTimeout = std::to_string(kPostgresUserTimeoutMs);
    // The URI's own settings come after the application's name and win over it; the bounds
    // come last and win over the URI's: the journal never waits longer than they allow.
    const char* keys[] = {"application_name", "dbname",           "connect_timeout",
                          "keepalives",       "keepalives_idle",  "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "client_encoding",
                          nullptr};
    const char* values[] = {"lcdwrite",     uri.c_str(),      connect.c_str(),
                            "1",            idle.c_str(),     interval.c_str(),
                            count.c_str(),  userTimeout.c_str(), "UTF8",
                            nullptr};
    connection_ = PQconnectdbParams(keys, values, 1);
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
      const std::string cause = OneLine(PQerrorMessage(connection_));
      PQfinish(connection_);
      throw JournalError(cause);
    }
    // The server's notices ("already exists, skipping") are no business of the user's.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    try {
      // A reading of the whole journal (--history --csv) streams for as long as the journal
      // is big: it has no statement bound, only the lock bound and the connection's.
      Run("SET statement_timeout = " + std::to_string(readOnly ? 0 : kPostgresStatementMs));
      Run("SET lock_timeout = " + std::to_string(kPostgresLockMs));
      if (readOnly) Run("SET default_transaction_read_only = on");
      version_ = ReadVersion();
      if (!readOnly && version_ != kSchemaVersion) Migrate();
    } catch (...) {
      PQfinish(connection_);
      throw;
    }
  }
  ~PostgresStore() override { PQfinish(connection_); }

  void Begin(const JournalRecord& record) override { Run(UpsertSql('$'), StoredValues(record)); }
  void Update(const JournalRecord& record) override { Run(UpsertSql('$'), StoredValues(record)); }

  void Progress(const JournalRecord& record) override {
    Run("SET synchronous_commit = off");
    try {
      Update(record);
    } catch (...) {
      PQclear(PQexec(connection_, "SET synchronous_commit = on"));
      throw;
    }
    Run("SET synchronous_commit = on");
  }

  std::optional<std::string> LastWritten(const std::string& serial) override {
    if (version_ == 0) return std::nullopt;
    Result result = Run(LastWrittenSql('$'), {EscapedText(serial)});
    if (PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0)) return std::nullopt;
    return UnescapedText(PQgetvalue(result.get(), 0, 0));
  }

  void Each(size_t limit, const std::string& serial, Columns columns,
            const std::function<void(const JournalRecord&)>& each) override {
    if (version_ == 0) return;  // read-only, and no tables yet
    std::vector<size_t> all;
    for (size_t i = 0; i < JournalColumns().size(); ++i) all.push_back(i);
    const std::vector<size_t>& which = columns == Columns::All ? all : TableColumns();
    const std::string sql = RecordsSql(limit, !serial.empty(), '$', which, version_);
    const std::string parameter = EscapedText(serial);
    const char* values[] = {parameter.c_str()};
    // Row by row: the result is never held whole.
    if (!PQsendQueryParams(connection_, sql.c_str(), serial.empty() ? 0 : 1, nullptr, values,
                           nullptr, nullptr, 0) ||
        !PQsetSingleRowMode(connection_)) {
      Drain();
      throw JournalError(OneLine(PQerrorMessage(connection_)));
    }
    std::string failure;
    bool stopped = false;
    while (PGresult* raw = PQgetResult(connection_)) {
      Result result(raw, &PQclear);
      const ExecStatusType status = PQresultStatus(raw);
      if (status == PGRES_SINGLE_TUPLE && !stopped) {
        JournalRecord record;
        try {
          for (size_t i = 0; i < which.size(); ++i) {
            const int column = static_cast<int>(i);
            SetStoredColumn(record, which[i],
                            PQgetisnull(raw, 0, column)
                                ? std::nullopt
                                : std::optional<std::string>(std::string(
                                      PQgetvalue(raw, 0, column),
                                      static_cast<size_t>(PQgetlength(raw, 0, column)))));
          }
          each(record);
        } catch (...) {
          // The rest of the rows are not wanted: the server stops sending them.
          if (PGcancel* cancel = PQgetCancel(connection_)) {
            char buffer[256];
            PQcancel(cancel, buffer, sizeof buffer);
            PQfreeCancel(cancel);
          }
          Drain();
          throw;
        }
      } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && failure.empty()) {
        failure = OneLine(PQresultErrorMessage(raw));
        stopped = true;
      }
    }
    if (!failure.empty()) throw JournalError(failure);
  }

  // Creates or migrates the tables (the connection's role may).
  void Migrate() {
    Run("BEGIN");
    try {
      Run("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
      Run(kCreateVersionTable);
      MigrateSchema(ReadVersion(), kPostgresDialect, [this](const std::string& sql) { Run(sql); });
      Run("COMMIT");
    } catch (...) {
      PQclear(PQexec(connection_, "ROLLBACK"));
      throw;
    }
    version_ = kSchemaVersion;
  }

 private:
  void Drain() {
    while (PGresult* rest = PQgetResult(connection_)) PQclear(rest);
  }

  Result Run(const std::string& sql,
             const std::vector<std::optional<std::string>>& parameters = {}) {
    std::vector<const char*> values;
    for (const auto& value : parameters) values.push_back(value ? value->c_str() : nullptr);
    Result result(PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0),
                  &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw JournalError(OneLine(PQerrorMessage(connection_)));
    }
    return result;
  }

  std::optional<std::string> First(const Result& result) {
    if (PQntuples(result.get()) == 0 || PQnfields(result.get()) == 0 ||
        PQgetisnull(result.get(), 0, 0)) {
      return std::nullopt;
    }
    return std::string(PQgetvalue(result.get(), 0, 0));
  }

  // The schema's version: 0 when the version table is missing or empty.
  int ReadVersion() {
    if (First(Run("SELECT to_regclass('lcdwrite_schema') IS NOT NULL")) != "t") return 0;
    return CheckedSchemaVersion(First(Run(kReadVersion)));
  }

  PGconn* connection_ = nullptr;
  int version_ = 0;
};

}  // namespace

std::string ShownPostgresTarget(const std::string& uri) {
  const std::string scheme = uri.substr(0, uri.find("://") + 3);
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
  PQfreemem(error);
  if (options == nullptr) return fw::Utf8ToCp1252(fw::VisibleUtf8(scheme)) + "...";
  std::string user, host, port, dbname, rest;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr || option->val[0] == '\0') continue;
    const std::string key = option->keyword;
    // A field libpq shows with "*" holds a secret (password, sslpassword).
    if (option->dispchar != nullptr && option->dispchar[0] == '*') continue;
    if (key == "password" || key == "sslpassword") continue;
    const std::string value = option->val;
    if (key == "user") {
      user = value;
    } else if (key == "host") {
      // An '@' of the password not written as %40 makes libpq take the rest of the password
      // for the host: only what follows the last '@' is the host.
      host = value.substr(value.rfind('@') + 1);
    } else if (key == "port") {
      port = value;
    } else if (key == "dbname") {
      dbname = value;
    } else {
      rest += (rest.empty() ? "?" : "&") + key + "=" + value;
    }
  }
  PQconninfoFree(options);
  const std::string shown = scheme + (user.empty() ? "" : user + "@") + host +
                            (port.empty() ? "" : ":" + port) +
                            (dbname.empty() ? "" : "/" + dbname) + rest;
  return fw::Utf8ToCp1252(fw::VisibleUtf8(shown));
}

std::unique_ptr<JournalStore> OpenPostgresJournal(const std::string& uri, bool readOnly) {
  return std::make_unique<PostgresStore>(uri, readOnly);
}

void SetUpPostgresJournal(const std::string& uri) {
  PostgresStore store(uri, false);
}

}  // namespace app::journal
