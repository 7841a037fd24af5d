// A SQLite journal file as it comes from the disk: any bytes (another program, a damaged disk,
// a file someone put in its place). Opening it for --history and for a run, reading its records
// and writing one either works or ends in JournalError with a message; never a crash, never
// another exception, and a named file that is no journal is never moved aside.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/journal/store.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The journal of this process, in a folder of its own (-wal and -shm files appear beside it),
// made for each input and removed after it.
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() /
                ("lcdwrite-journal-fuzz-" + std::to_string(getpid()));
    return path;
  }();
  return folder;
}

void Exercise(app::journal::JournalStore& store, bool write) {
  store.Records(0, "");
  store.Records(2, "1234567");
  store.Each(20, "", app::journal::Columns::Table, [](const app::journal::JournalRecord&) {});
  store.LastWritten("1234567");
  if (!write) return;
  app::journal::JournalRecord record;
  record.runId = "fuzz";
  record.serial = "1234567";
  record.configText = std::string("a\0\xFF", 3);
  store.Begin(record);
  record.exitStatus = 0;
  store.Update(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(Folder(), error);
  const std::string path = (Folder() / "journal.sqlite3").string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                              static_cast<std::streamsize>(size));
  for (const bool write : {false, true}) {
    try {
      app::journal::SqliteOpening how;
      how.readOnly = !write;
      std::string aside;
      auto store = app::journal::OpenSqliteJournal(path, how, &aside);
      FUZZ_CHECK(aside.empty());
      Exercise(*store, write);
    } catch (const app::journal::JournalError& e) {
      FUZZ_CHECK(e.what()[0] != '\0');
    }
    FUZZ_CHECK(fs::exists(path));
  }
  fs::remove_all(Folder(), error);  // nothing left behind when the run ends
  return 0;
}
