// The stores: what is written comes back, records are found by serial number, several
// processes share one journal, and the schema is created, brought forward or refused.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "app/journal/record.h"
#include "tests/app/journal/stores.h"

namespace {

using app::journal::JournalRecord;
using journaltest::Kind;

JournalRecord Begun(const std::string& runId, const std::string& serial) {
  JournalRecord r;
  r.runId = runId;
  r.started = "2026-12-07T10:00:00.000Z";
  r.host = "bench-3";
  r.user = "m\xC3\xBCller";  // UTF-8
  r.toolVersion = "7.1.0";
  r.platform = "linux-x86_64";
  r.port = "COM3";
  r.converterVid = "0403";
  r.converterPid = "6001";
  r.converterSerial = "A5XK3RJT";
  r.configPath = "/home/m/Quorix.lcd";
  r.configSha256 = std::string(64, 'a');
  r.configText = "4\n1, \"2\"\r\n3\n";
  r.serial = serial;
  r.serialBytes = "31323334353637";
  r.deviceType = 3;
  r.latencyFound = 16;
  r.latencySet = 1;
  return r;
}

JournalRecord Completed(JournalRecord r, int status, const std::string& failure = "") {
  r.ended = "2026-12-07T10:00:42.500Z";
  r.durationMs = 42500;
  r.operations = "operating_time,error_memory";
  r.exitStatus = status;
  r.exitName = app::journal::ExitStatusName(status);
  r.failure = failure;
  return r;
}

class Store : public journaltest::JournalTest {};

TEST_P(Store, gives_back_every_column_as_written_begun_in_progress_or_completed) {
  auto store = journaltest::Open(target_);
  JournalRecord begun = Begun("run-1", "1234567");
  const JournalRecord done = Completed(Begun("run-2", "7654321"), 1,
                                       "Daten\xC3\xBC"
                                       "bertragungsfehler!\n\nFalsches");
  store->Begin(begun);
  begun.operations = "operating_time,error_memory";
  store->Progress(begun);
  store->Begin(Begun("run-2", "7654321"));
  store->Update(done);
  const std::vector<JournalRecord> records = store->Records(0, "");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(ColumnValues(records[0]), ColumnValues(begun));
  EXPECT_FALSE(records[0].Completed());
  EXPECT_EQ(ColumnValues(records[1]), ColumnValues(done));
}

TEST_P(Store, lists_the_latest_records_oldest_first_and_by_serial_number) {
  auto store = journaltest::Open(target_);
  for (int i = 0; i < 6; ++i) store->Begin(Begun("run-" + std::to_string(i), i % 2 ? "B" : "A"));
  auto ids = [](const std::vector<JournalRecord>& records) {
    std::vector<std::string> result;
    for (const JournalRecord& r : records) result.push_back(r.runId);
    return result;
  };
  const struct {
    size_t limit;
    std::string serial;
    std::vector<std::string> ids;
  } rows[] = {
      {0, "", {"run-0", "run-1", "run-2", "run-3", "run-4", "run-5"}},
      {2, "", {"run-4", "run-5"}},
      {0, "B", {"run-1", "run-3", "run-5"}},
      {2, "A", {"run-2", "run-4"}},
      {0, "C", {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ids(store->Records(row.limit, row.serial)), row.ids) << row.limit << row.serial;
  }
}

TEST_P(Store, last_written_is_the_latest_completed_write_of_that_serial_number) {
  auto store = journaltest::Open(target_);
  JournalRecord early = Begun("early", "1234567");
  early.started = "2026-12-01T08:00:00.000Z";
  store->Begin(early);
  store->Update(Completed(early, 0));
  JournalRecord failed = Begun("failed", "1234567");
  failed.started = "2026-12-02T08:00:00.000Z";
  store->Begin(failed);
  store->Update(Completed(failed, 1));
  JournalRecord killed = Begun("killed", "1234567");
  killed.started = "2026-12-03T08:00:00.000Z";
  store->Begin(killed);  // never completed
  JournalRecord other = Begun("other", "7777777");
  store->Begin(other);
  store->Update(Completed(other, 0));

  EXPECT_EQ(store->LastWritten("1234567"), "2026-12-01T08:00:00.000Z");
  EXPECT_EQ(store->LastWritten("0000000"), std::nullopt);
}

// Two tools on one bench (or two benches on one server) record at the same time; every record
// of both arrives whole.
TEST_P(Store, two_processes_writing_at_once_lose_nothing) {
  journaltest::Open(target_);  // the schema, as the first run on a bench creates it
  constexpr int kEach = 25;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    if (children[child] == 0) {
      try {
        auto store = journaltest::Open(target_);
        for (int i = 0; i < kEach; ++i) {
          const JournalRecord r = Begun(std::to_string(child) + "-" + std::to_string(i), "S");
          store->Begin(r);
          store->Update(Completed(r, 0));
        }
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const auto records = journaltest::Open(target_)->Records(0, "S");
  EXPECT_EQ(records.size(), 2u * kEach);
  for (const JournalRecord& r : records) EXPECT_TRUE(r.Completed()) << r.runId;
}

TEST_P(Store, an_older_schema_is_brought_forward_and_keeps_its_records) {
  journaltest::Open(target_)->Begin(Begun("kept", "1234567"));
  // The journal as the first schema left it: no index on the serial number.
  Sql("DROP INDEX runs_by_serial");
  Sql("UPDATE lcdwrite_schema SET version = 1");
  auto store = journaltest::Open(target_);
  EXPECT_EQ(Sql("SELECT max(version) FROM lcdwrite_schema"), "2");
  ASSERT_EQ(store->Records(0, "").size(), 1u);
  EXPECT_EQ(store->Records(0, "")[0].runId, "kept");
  const std::string indexQuery =
      GetParam() == Kind::Sqlite
          ? "SELECT count(*) FROM sqlite_master WHERE name = 'runs_by_serial'"
          : "SELECT count(*) FROM pg_indexes WHERE indexname = 'runs_by_serial'";
  EXPECT_EQ(Sql(indexQuery), "1");
}

TEST_P(Store, a_newer_schema_is_refused_and_left_as_it_is) {
  journaltest::Open(target_)->Begin(Begun("kept", "1234567"));
  Sql("UPDATE lcdwrite_schema SET version = 9");
  try {
    journaltest::Open(target_);
    ADD_FAILURE() << "opened a journal of a newer schema";
  } catch (const app::journal::JournalError& e) {
    EXPECT_STREQ(e.what(),
                 "es wurde von einer neueren lcdwrite-Version angelegt (Schema 9, bekannt bis 2)");
  }
  EXPECT_EQ(Sql("SELECT max(version) FROM lcdwrite_schema"), "9");
  EXPECT_EQ(Sql("SELECT count(*) FROM runs"), "1");
}

INSTANTIATE_TEST_SUITE_P(Sqlite, Store, ::testing::Values(Kind::Sqlite), journaltest::KindName);
INSTANTIATE_TEST_SUITE_P(Postgres, Store, ::testing::Values(Kind::Postgres), journaltest::KindName);

// ---- SQLite files ----

class SqliteFile : public journaltest::JournalTest {};

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file that is no journal, or one whose pages are damaged, is moved aside whole (never
// deleted) and a new journal begun in its place.
TEST_P(SqliteFile, that_is_damaged_is_moved_aside_and_a_new_one_begun) {
  const struct {
    const char* name;
    std::function<std::string(const std::string& healthy)> damage;
  } rows[] = {
      {"a text file", [](const std::string&) { return std::string("not a journal\n"); }},
      {"zeros", [](const std::string&) { return std::string(8192, '\0'); }},
      {"its schema page scrambled",
       [](const std::string& healthy) {
         std::string broken = healthy;
         for (size_t i = 100; i < 4096 && i < broken.size(); ++i) broken[i] = char(i * 7);
         return broken;
       }},
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    {
      auto store = journaltest::Open(target_);
      store->Begin(Begun("old", "1234567"));
    }
    Sql("PRAGMA wal_checkpoint(TRUNCATE)");
    const std::string damaged = row.damage(Slurp(target_));
    std::ofstream(target_, std::ios::binary | std::ios::trunc) << damaged;

    std::string aside;
    auto store = app::journal::OpenSqliteJournal(target_, &aside);
    ASSERT_FALSE(aside.empty()) << row.name;
    EXPECT_EQ(aside.rfind(target_ + ".damaged-", 0), 0u) << aside;
    EXPECT_EQ(Slurp(aside), damaged) << row.name;
    EXPECT_TRUE(store->Records(0, "").empty()) << row.name;
    store->Begin(Begun("new", "1234567"));
    EXPECT_EQ(store->Records(0, "").size(), 1u) << row.name;
  }
}

TEST_P(SqliteFile, is_written_ahead) {
  journaltest::Open(target_);
  EXPECT_EQ(Sql("PRAGMA journal_mode"), "wal");
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteFile, ::testing::Values(Kind::Sqlite),
                         journaltest::KindName);

}  // namespace
