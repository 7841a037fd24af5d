// The write journal's cost per run: whole writes of the sample file on the virtual clock
// without a journal, with a SQLite journal file and with the PostgreSQL journal at
// LCDWRITE_TEST_POSTGRES_URI (scripts/with-postgres.sh --durable starts a local server with
// fsync on; without the variable that case is left out). A run's journal work is one lookup,
// one record begun and its completion (durable commits), five progress updates (not waiting
// for the disk). The cost is the
// difference of the median run times; targets: at most 20 ms a run on SQLite, 50 ms on
// PostgreSQL.
//
// Then --history on a journal of many records with a whole configuration text each (10,000 of
// 64 KiB by default): the table of the last 20 (target <= 50 ms, <= 20 MB peak memory), one
// serial number's last record (<= 50 ms), and every record as CSV, whose peak memory must not
// grow with the journal (journals of a tenth and a hundredth of the records, side by side).
// Each is run in a process of its own (this program again), so that its peak memory is its own.
//
//   scripts/with-postgres.sh --durable build/bench/bench_journal [--runs N] [--records N]
//                                                                [--text-kib N]
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/journal/choice.h"
#include "app/journal/history.h"
#include "app/journal/schema.h"
#include "app/journal/store.h"
#include "app/run.h"
#include "simfront/simulation.h"
#include "ui/recording/recording_frontend.h"

namespace {

// The median wall time of runs whole writes with journal ("" for none), in milliseconds.
double MedianRunMs(const std::string& journal, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    app::Options options;
    options.simulate = true;
    options.fast = true;
    options.journal = journal;
    options.noJournal = journal.empty();
    ui::RecordingFrontEnd frontEnd(false);
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    const int status = app::RunTool(options, frontEnd, out, err, simfront::MakeSimulatedRun);
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    if (status != 0) {
      std::fprintf(stderr, "run with journal \"%s\" ended with %d: %s\n", journal.c_str(), status,
                   err.str().c_str());
      std::exit(1);
    }
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The journal's own work for one run, measured alone (median, ms): opening, the lookup of the
// serial number, the record begun, five progress updates, the completion.
double MedianJournalMs(const std::string& journal, int runs) {
  using app::journal::JournalChoice;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    auto store =
        app::journal::OpenJournal({JournalChoice::Kind::Named, journal}, [](const std::string&) {});
    app::journal::JournalRecord record;
    record.runId =
        "bench-" + std::to_string(i) + "-" + std::to_string(start.time_since_epoch().count());
    record.serial = "1234567";
    store->LastWritten(record.serial);
    store->Begin(record);
    for (int operation = 0; operation < 5; ++operation) {
      record.operations += "x,";
      store->Progress(record);
    }
    record.exitStatus = 0;
    store->Update(record);
    store.reset();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// ---- --history on a large journal ----

// A stream that only counts what is written to it.
class CountingBuffer : public std::streambuf {
 public:
  size_t bytes = 0;

 protected:
  int overflow(int c) override {
    ++bytes;
    return c;
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    bytes += static_cast<size_t>(n);
    return n;
  }
};

// One record of the large journal: a configuration text of textBytes, as big as the journal
// keeps one.
app::journal::JournalRecord LargeRecord(int i, size_t textBytes) {
  app::journal::JournalRecord r;
  r.runId = "bench-history-" + std::to_string(i);
  char started[32];
  std::snprintf(started, sizeof started, "2026-12-%02dT%02d:%02d:%02d.000Z", 1 + i / 3600 % 28,
                i / 60 % 24, i % 60, i % 60);
  r.started = started;
  r.ended = r.started;
  r.durationMs = 42000 + i % 1000;
  r.host = "bench-3";
  r.user = "werkstatt";
  r.toolVersion = "7.1.0";
  r.platform = "linux-x86_64";
  r.port = "COM3";
  r.configPath = "/home/werkstatt/Quorix.lcd";
  r.configSha256 = std::string(64, 'a');
  std::string text;
  while (text.size() < textBytes) text += std::to_string(i * 7919 + text.size()) + ", 17_\n";
  text.resize(textBytes);
  r.configText = text;
  r.configSent = text.substr(0, 4096);
  r.configTextCut = textBytes >= 64 * 1024;
  r.serial = std::to_string(1000000 + i);
  r.serialBytes = "31323334353637";
  r.deviceType = 3;
  r.operations = "operating_time,error_memory,serial,device_type,configuration";
  r.exitStatus = i % 10 == 0 ? 1 : 0;
  r.exitName = app::journal::ExitStatusName(*r.exitStatus);
  return r;
}

// Fills the journal at target (made by the store first) with records, in one transaction.
void FillJournal(const std::string& target, int records, size_t textBytes) {
  using app::journal::JournalChoice;
  app::journal::OpenJournal({JournalChoice::Kind::Named, target}, [](const std::string&) {});
  const std::string sql = app::journal::UpsertSql(app::journal::IsPostgresUri(target) ? '$' : '?');
  if (!app::journal::IsPostgresUri(target)) {
    sqlite3* db = nullptr;
    sqlite3_open(target.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
    for (int i = 0; i < records; ++i) {
      const auto values = app::journal::StoredValues(LargeRecord(i, textBytes));
      for (size_t k = 0; k < values.size(); ++k) {
        const int index = static_cast<int>(k) + 1;
        if (values[k]) {
          sqlite3_bind_text(insert, index, values[k]->data(), static_cast<int>(values[k]->size()),
                            SQLITE_TRANSIENT);
        } else {
          sqlite3_bind_null(insert, index);
        }
      }
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return;
  }
  PGconn* connection = PQconnectdb(target.c_str());
  PQclear(PQexec(connection, "BEGIN"));
  for (int i = 0; i < records; ++i) {
    const auto values = app::journal::StoredValues(LargeRecord(i, textBytes));
    std::vector<const char*> pointers;
    for (const auto& value : values) pointers.push_back(value ? value->c_str() : nullptr);
    PQclear(PQexecParams(connection, sql.c_str(), static_cast<int>(pointers.size()), nullptr,
                         pointers.data(), nullptr, nullptr, 0));
  }
  PQclear(PQexec(connection, "COMMIT"));
  // As the server's autovacuum does for a journal that grew: the planner knows the table.
  PQclear(PQexec(connection, "ANALYZE runs"));
  PQfinish(connection);
}

// In the child: one --history command on journal; prints its wall time (ms) on stdout.
int HistoryChild(const std::string& what, const std::string& journal, const std::string& serial) {
  app::Options options;
  options.history = true;
  options.journal = journal;
  if (what == "serial") {
    options.historyCount = 1;
    options.historySerial = serial;
  } else if (what == "csv") {
    options.historyCsv = true;
  }
  CountingBuffer buffer;
  std::ostream out(&buffer);
  std::ostringstream err;
  const auto start = std::chrono::steady_clock::now();
  const int status = what == "none" ? 0 : app::journal::PrintHistory(options, "", out, err);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) {
    std::fprintf(stderr, "%s", err.str().c_str());
    return 1;
  }
  std::printf("%.3f %zu\n", ms, buffer.bytes);
  return 0;
}

struct ChildFigures {
  double ms = 0;
  size_t bytes = 0;
  double peakMb = 0;
};

// Runs this program as a child for one --history command: its time, output size and peak memory.
ChildFigures MeasureChild(const char* self, const std::string& what, const std::string& journal,
                          const std::string& serial) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    execl(self, self, "--history-child", what.c_str(), journal.c_str(), serial.c_str(), nullptr);
    _exit(127);
  }
  close(pipeEnds[1]);
  char text[128] = {};
  ssize_t got = 0;
  for (ssize_t n; (n = read(pipeEnds[0], text + got, sizeof text - 1 - got)) > 0;) got += n;
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  ChildFigures figures;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      std::sscanf(text, "%lf %zu", &figures.ms, &figures.bytes) != 2) {
    std::fprintf(stderr, "--history %s on %s failed\n", what.c_str(), journal.c_str());
    std::exit(1);
  }
  figures.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return figures;
}

// The median of runs children's figures (peak memory: the largest).
ChildFigures MedianChild(const char* self, const std::string& what, const std::string& journal,
                         const std::string& serial, int runs) {
  std::vector<ChildFigures> all;
  for (int i = 0; i < runs; ++i) all.push_back(MeasureChild(self, what, journal, serial));
  std::sort(all.begin(), all.end(),
            [](const ChildFigures& a, const ChildFigures& b) { return a.ms < b.ms; });
  ChildFigures median = all[all.size() / 2];
  for (const ChildFigures& f : all) median.peakMb = std::max(median.peakMb, f.peakMb);
  return median;
}

// The history figures of one journal kind; false when a target was missed.
// The CSV's figures come from the journals of a tenth and a hundredth of the records (its peak
// memory must be the same for both), which keeps the benchmark at about a minute.
bool HistoryFigures(const char* self, const char* name, const std::string& tiny,
                    const std::string& small, const std::string& large, int records,
                    size_t textBytes) {
  std::printf("--history on %s, %d records of %zu KiB text (each figure: the median of 5 runs "
              "in a process of its own; peak memory less that of a process that reads nothing)\n",
              name, records, textBytes / 1024);
  const auto fillStart = std::chrono::steady_clock::now();
  FillJournal(tiny, std::max(1, records / 100), textBytes);
  FillJournal(small, std::max(1, records / 10), textBytes);
  FillJournal(large, records, textBytes);
  std::printf("  (filled in %.1f s)\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - fillStart).count());
  const double base = MedianChild(self, "none", large, "", 3).peakMb;
  const std::string serial = std::to_string(1000000 + records / 2);
  const ChildFigures table = MedianChild(self, "table", large, "", 5);
  const ChildFigures one = MedianChild(self, "serial", large, serial, 5);
  const ChildFigures csvSmall = MedianChild(self, "csv", tiny, "", 1);
  const ChildFigures csv = MedianChild(self, "csv", small, "", 1);
  bool ok = true;
  auto row = [&ok](const char* what, double value, double target, const char* unit) {
    const bool met = value <= target;
    ok = ok && met;
    std::printf("  %-44s %9.2f %s (target <= %.0f %s) %s\n", what, value, unit, target, unit,
                met ? "met" : "MISSED");
  };
  row("--history (the last 20): time", table.ms, 50, "ms");
  row("--history (the last 20): peak memory", table.peakMb - base, 20, "MB");
  row("--history 1 --serial S: time", one.ms, 50, "ms");
  std::printf("  %-44s %9.2f s for %.0f MB of CSV (%d records)\n", "--history --csv: time",
              csv.ms / 1000.0, static_cast<double>(csv.bytes) / 1e6, std::max(1, records / 10));
  std::printf("  %-44s %9.2f MB (%d records: %.2f MB)\n", "--history --csv: peak memory",
              csv.peakMb - base, std::max(1, records / 100), csvSmall.peakMb - base);
  row("--history --csv: growth of the peak", csv.peakMb - csvSmall.peakMb, 5, "MB");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--history-child") {
    return HistoryChild(argv[2], argv[3], argv[4]);
  }
  // The children are started after the program moved into its working folder.
  const std::string self = std::filesystem::absolute(argv[0]).string();
  int runs = 30;
  int records = 10000;
  size_t textKib = 64;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::string(argv[i]) == "--records" && i + 1 < argc) {
      records = std::max(10, std::atoi(argv[++i]));
    } else if (std::string(argv[i]) == "--text-kib" && i + 1 < argc) {
      textKib = static_cast<size_t>(std::max(1, std::atoi(argv[++i])));
    } else {
      std::fprintf(stderr, "usage: bench_journal [--runs N] [--records N] [--text-kib N]\n");
      return 64;
    }
  }
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-bench-journal";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(LCDWRITE_SOURCE_DIR "/app/examples/Quorix.lcd", dir / "Quorix.lcd");
  fs::current_path(dir);

  struct Case {
    const char* name;
    std::string journal;
    double targetMs;
  };
  std::vector<Case> cases = {{"SQLite", (dir / "journal.sqlite3").string(), 20.0}};
  const char* uri = std::getenv("LCDWRITE_TEST_POSTGRES_URI");
  if (uri != nullptr && uri[0] != '\0') {
    PGconn* connection = PQconnectdb(uri);
    PQclear(
        PQexec(connection,
               "SET client_min_messages = warning; DROP TABLE IF EXISTS runs, lcdwrite_schema"));
    PQfinish(connection);
    cases.push_back({"PostgreSQL", uri, 50.0});
  } else {
    std::printf("PostgreSQL: left out (no LCDWRITE_TEST_POSTGRES_URI)\n");
  }

  MedianRunMs("", 3);                                     // warm-up
  for (const Case& c : cases) MedianRunMs(c.journal, 2);  // the schema is created here
  const double without = MedianRunMs("", runs);
  std::printf("%d runs each, median wall time of one whole write on the virtual clock\n", runs);
  std::printf("  without a journal: %8.2f ms\n", without);
  bool ok = true;
  for (const Case& c : cases) {
    const double with = MedianRunMs(c.journal, runs);
    const double cost = with - without;
    const bool met = cost <= c.targetMs;
    ok = ok && met;
    std::printf("  %-10s        %8.2f ms: the journal costs %.2f ms a run (target <= %.0f ms) %s\n",
                c.name, with, cost, c.targetMs, met ? "met" : "MISSED");
    std::printf("  %-10s        the journal's calls alone: %.2f ms a run\n", c.name,
                MedianJournalMs(c.journal, runs));
  }

  // --history: a journal of records and one a tenth its size, of each kind.
  // Its figures are reported (MISSED where a target is missed); they do not fail the program.
  HistoryFigures(self.c_str(), "SQLite", (dir / "tiny.sqlite3").string(),
                 (dir / "small.sqlite3").string(), (dir / "large.sqlite3").string(), records,
                 textKib * 1024);
  if (uri != nullptr && uri[0] != '\0') {
    // Three databases on the same server: the smaller journals in databases of their own.
    PGconn* connection = PQconnectdb(uri);
    PQclear(PQexec(connection, "SET client_min_messages = warning; DROP TABLE IF EXISTS runs, "
                               "lcdwrite_schema"));
    std::vector<std::string> journals;
    for (const char* name : {"lcdwrite_bench_tiny", "lcdwrite_bench_small"}) {
      PQclear(PQexec(connection, ("DROP DATABASE IF EXISTS " + std::string(name)).c_str()));
      PQclear(PQexec(connection, ("CREATE DATABASE " + std::string(name)).c_str()));
      std::string journal = uri;
      journals.push_back(journal.replace(journal.rfind('/') + 1, std::string::npos, name));
    }
    PQfinish(connection);
    HistoryFigures(self.c_str(), "PostgreSQL", journals[0], journals[1], uri, records,
                   textKib * 1024);
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
