// --history's two forms, compared with the records they were made from.
#include "app/journal/history.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/journal/store.h"
#include "tests/app/journal/stores.h"

namespace {

using app::journal::JournalRecord;

std::vector<JournalRecord> Records() {
  JournalRecord written;
  written.runId = "r1";
  written.started = "2026-12-07T09:15:02.250Z";
  written.ended = "2026-12-07T09:15:44.750Z";
  written.durationMs = 42500;
  written.port = "COM3";
  written.serial = "1234567";
  written.deviceType = 3;
  written.exitStatus = 0;
  written.exitName = "geschrieben";
  JournalRecord killed;
  killed.runId = "r2";
  killed.started = "2026-12-07T09:20:00.000Z";
  killed.port = "ttyUSB0";
  killed.simulated = true;
  killed.serial = "12345";
  killed.deviceType = 12;
  killed.configText = "4\n1, \"2\"\n";
  killed.operations = "operating_time";
  return {written, killed};
}

TEST(History, table_has_one_line_a_record_and_lists_an_incomplete_one_as_abgebrochen) {
  EXPECT_EQ(
      app::journal::HistoryTable(Records()),
      "Zeit (UTC)           Seriennummer  Ger\u00e4tetyp  Port            Ergebnis       Dauer\n"
      "2026-12-07 09:15:02  1234567       3          COM3            0 geschrieben  42,5 s\n"
      "2026-12-07 09:20:00  12345         12         ttyUSB0 (sim.)  abgebrochen\n");
}

TEST(History, csv_has_every_column_quoted_where_needed) {
  EXPECT_EQ(
      app::journal::HistoryCsv(Records()),
      "run_id,started,ended,duration_ms,host,user_name,tool_version,platform,simulated,scenario,"
      "port,converter_vid,converter_pid,converter_serial,config_path,config_sha256,config_text,"
      "serial,serial_bytes,device_type,operations,exit_status,exit_name,failure,"
      "latency_found_ms,latency_set_ms,config_sent,config_text_cut\r\n"
      "r1,2026-12-07T09:15:02.250Z,2026-12-07T09:15:44.750Z,42500,,,,,0,,COM3,,,,,,,1234567,,3,,"
      "0,geschrieben,,,,,0\r\n"
      "r2,2026-12-07T09:20:00.000Z,,,,,,,1,,ttyUSB0,,,,,,\"4\n1, \"\"2\"\"\n\",12345,,12,"
      "operating_time,,abgebrochen,,,,,0\r\n");
}

// The journal chosen for --history is the one a run would use; records come from the store.
TEST(History, prints_the_named_journal_and_refuses_one_that_cannot_be_opened) {
  const auto dir = std::filesystem::temp_directory_path() / "lcdwrite-journal-history";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "j.sqlite3").string();
  {
    auto store = journaltest::Open(file);
    for (const JournalRecord& r : Records()) store->Begin(r);
  }
  app::Options options;
  options.history = true;
  options.historySerial = "12345";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(app::journal::PrintHistory(options, file, out, err), 0);
  EXPECT_EQ(out.str(), app::journal::HistoryTable({Records()[1]}));
  EXPECT_EQ(err.str(), "");

  options.journal = (dir / "missing" / "j.sqlite3").string();
  std::ostringstream none;
  EXPECT_EQ(app::journal::PrintHistory(options, file, none, err), 64);
  EXPECT_EQ(none.str(), "");
  EXPECT_EQ(err.str(),
            "lcdwrite: Das Journal " + options.journal +
                " kann nicht ge\u00f6ffnet werden: Datei oder Ordner nicht vorhanden.\n");
  std::filesystem::remove_all(dir);
}

// Texts from the journal are input: on a terminal their control characters are shown, never
// acted on.
TEST(History, table_shows_control_characters_from_the_journal_visibly) {
  JournalRecord r;
  r.runId = "r";
  r.started = "2026-12-07T09:15:02.250Z";
  r.serial = "12\x1B[2J34";
  r.port = "COM3\r";
  r.exitStatus = 1;
  r.exitName = "Platinenfehler\n\x7F\xFF";
  EXPECT_EQ(app::journal::HistoryTable({r}),
            "Zeit (UTC)           Seriennummer  Ger\u00e4tetyp  Port      Ergebnis                "
            "      Dauer\n"
            "2026-12-07 09:15:02  12\\x1b[2J34              COM3\\x0d  "
            "1 Platinenfehler\\x0a\\x7f\\xff\n");
}

// The CSV keeps every byte, escaped one documented way, and every line ends in CR LF alone.
TEST(History, csv_escapes_nul_controls_and_bytes_that_are_no_utf8_and_keeps_paths) {
  JournalRecord r;
  r.runId = "r";
  r.configPath = "C:\\Users\\m";
  r.configText = std::string("a\0b\x1B\xFF\t\"q\"\r\n", 11);
  r.exitStatus = 0;
  r.exitName = "geschrieben";
  const std::string csv = app::journal::HistoryCsv({r});
  const std::string line = csv.substr(csv.find("\r\n") + 2);
  EXPECT_EQ(line,
            "r,,,,,,,,0,,,,,,C:\\Users\\m,,\"a\\x00b\\x1b\\xff\t\"\"q\"\"\r\n\",,,,,0,"
            "geschrieben,,,,,0\r\n");
  // Outside quoted fields, every LF follows a CR.
  bool quoted = false;
  for (size_t i = 0; i < csv.size(); ++i) {
    if (csv[i] == '"') quoted = !quoted;
    if (csv[i] == '\n' && !quoted) {
      EXPECT_EQ(csv[i - 1], '\r') << i;
    }
  }
  EXPECT_EQ(app::journal::UnescapedText("a\\x00b\\x1b\\xff"), std::string("a\0b\x1B\xFF", 5));
}

// --csv hands every record on as the store reads it: the same bytes as the records read whole.
TEST(History, csv_of_a_journal_is_its_records_with_every_column) {
  const auto dir = std::filesystem::temp_directory_path() / "lcdwrite-journal-history-csv";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "j.sqlite3").string();
  std::vector<JournalRecord> records = Records();
  records[1].configText = std::string("x\0\xFE", 3);
  records[1].configSent = "1_2_3";
  records[1].configTextCut = true;
  {
    auto store = journaltest::Open(file);
    for (const JournalRecord& r : records) store->Begin(r);
  }
  app::Options options;
  options.history = true;
  options.historyCsv = true;
  std::ostringstream out, err;
  EXPECT_EQ(app::journal::PrintHistory(options, file, out, err), 0);
  EXPECT_EQ(out.str(), app::journal::HistoryCsv(records));
  EXPECT_EQ(err.str(), "");
  std::filesystem::remove_all(dir);
}

}  // namespace
