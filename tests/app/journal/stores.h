// The journal's stores under test: a SQLite file in the test's folder always, and a PostgreSQL
// database when LCDWRITE_TEST_POSTGRES_URI names one (tests/app/journal/postgres.sh starts a
// server of its own and runs the PostgreSQL cases against it; elsewhere they are skipped).
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/journal/choice.h"
#include "app/journal/store.h"
#include "tests/app/samplefiles.h"

namespace journaltest {

enum class Kind { Sqlite, Postgres };

inline std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  return info.param == Kind::Sqlite ? "sqlite" : "postgres";
}

inline std::string PostgresUri() {
  const char* uri = std::getenv("LCDWRITE_TEST_POSTGRES_URI");
  return uri != nullptr ? uri : "";
}

// Runs sql on the journal target outside the stores (to prepare or inspect it) and returns
// the first column of the first row, if any.
inline std::optional<std::string> Sql(Kind kind, const std::string& target,
                                      const std::string& sql) {
  std::optional<std::string> first;
  if (kind == Kind::Sqlite) {
    sqlite3* db = nullptr;
    sqlite3_open(target.c_str(), &db);
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int count, char** values, char**) {
          auto* result = static_cast<std::optional<std::string>*>(out);
          if (!*result && count > 0 && values[0] != nullptr) *result = values[0];
          return 0;
        },
        &first, nullptr);
    sqlite3_close(db);
    return first;
  }
  PGconn* connection = PQconnectdb(target.c_str());
  PGresult* result = PQexec(connection, sql.c_str());
  if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 &&
      !PQgetisnull(result, 0, 0)) {
    first = PQgetvalue(result, 0, 0);
  }
  PQclear(result);
  PQfinish(connection);
  return first;
}

// A journal target of kind with nothing in it yet: a file in folder, or the test server's
// database emptied. Skips the test when there is no server.
inline std::string FreshJournal(Kind kind, const std::filesystem::path& folder) {
  if (kind == Kind::Sqlite) return (folder / "journal.sqlite3").string();
  const std::string uri = PostgresUri();
  if (uri.empty()) return {};
  Sql(kind, uri, "SET client_min_messages = warning; DROP TABLE IF EXISTS runs, lcdwrite_schema");
  return uri;
}

inline std::unique_ptr<app::journal::JournalStore> Open(const std::string& target) {
  const app::journal::JournalChoice choice{app::journal::JournalChoice::Kind::Named, target};
  return app::journal::OpenJournal(choice, [](const std::string&) {});
}

// A fixture folder of its own for each test.
class JournalTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    dir_ = apptest::TestFolder("lcdwrite-journal-");
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    target_ = FreshJournal(GetParam(), dir_);
    if (target_.empty()) GTEST_SKIP() << "no PostgreSQL server (LCDWRITE_TEST_POSTGRES_URI)";
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
  }
  std::optional<std::string> Sql(const std::string& sql) {
    return journaltest::Sql(GetParam(), target_, sql);
  }

  std::filesystem::path dir_;
  std::string target_;
};

}  // namespace journaltest
