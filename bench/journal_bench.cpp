// The write journal's cost per run: whole writes of the sample file on the virtual clock
// without a journal, with a SQLite journal file and with the PostgreSQL journal at
// LCDWRITE_TEST_POSTGRES_URI (scripts/with-postgres.sh --durable starts a local server with
// fsync on; without the variable that case is left out). A run's journal work is one lookup,
// one record begun and its completion (durable commits), five progress updates (not waiting
// for the disk). The cost is the
// difference of the median run times; targets: at most 20 ms a run on SQLite, 50 ms on
// PostgreSQL.
//
//   scripts/with-postgres.sh --durable build/bench/bench_journal [--runs N]
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/journal/choice.h"
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

}  // namespace

int main(int argc, char** argv) {
  int runs = 30;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: bench_journal [--runs N]\n");
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
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
