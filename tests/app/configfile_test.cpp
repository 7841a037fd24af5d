#include "app/configfile.h"
#include "app/journal/sha256.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using app::ConfigLoadResult;

// A good file: version 4, parameters 1000..1119, two serial texts, device type 7.
std::string GoodFile() {
  std::string text = "4\n";
  for (int i = 0; i < 120; ++i) text += std::to_string(1000 + i) + (i % 10 == 9 ? "\n" : " ");
  return text + "1234 567\n7\n";
}

// The file with token at 1-based position replaced.
std::string WithToken(int position, const std::string& token) {
  std::string text = GoodFile();
  size_t start = 0;
  for (int p = 1;; ++p) {
    start = text.find_first_not_of(" \n", start);
    const size_t end = text.find_first_of(" \n", start);
    if (p == position) return text.substr(0, start) + token + text.substr(end);
    start = end;
  }
}

TEST(ConfigFile, a_good_file_fills_every_field_and_sets_loaded) {
  protocol::ConfigRecord record;
  const auto outcome = app::ParseConfigText(GoodFile() + "trailing tokens are ignored", record);
  ASSERT_EQ(outcome.result, ConfigLoadResult::Loaded);
  EXPECT_EQ(record.loaded, 1);
  EXPECT_EQ(record.parameters[0], 1000);
  EXPECT_EQ(record.parameters[119], 1119);
  EXPECT_STREQ(record.serialPart1, "1234");
  EXPECT_STREQ(record.serialPart2, "567");
  EXPECT_EQ(record.deviceType, 7);
}

TEST(ConfigFile, layout_of_the_tokens_does_not_matter) {
  std::string oneLine = GoodFile();
  for (char& c : oneLine) {
    if (c == '\n') c = '\t';
  }
  protocol::ConfigRecord a;
  protocol::ConfigRecord b;
  ASSERT_EQ(app::ParseConfigText(oneLine, a).result, ConfigLoadResult::Loaded);
  ASSERT_EQ(app::ParseConfigText("  \r\n" + GoodFile(), b).result, ConfigLoadResult::Loaded);
  EXPECT_EQ(std::memcmp(a.parameters, b.parameters, sizeof a.parameters), 0);
}

TEST(ConfigFile, version_is_checked_first) {
  const char* refused[] = {"3", "5", "260", "abc 4", "-4", "99999999999"};
  for (const char* text : refused) {
    protocol::ConfigRecord record;
    EXPECT_EQ(app::ParseConfigText(text, record).result, ConfigLoadResult::VersionMismatch)
        << '"' << text << '"';
    EXPECT_EQ(record.loaded, 0);
  }
  protocol::ConfigRecord record;
  EXPECT_EQ(app::ParseConfigText("4", record).result, ConfigLoadResult::Damaged);
}

TEST(ConfigFile, damaged_files_are_refused_naming_the_entry_and_change_nothing) {
  struct Case {
    std::string text;
    std::string detail;
  };
  const std::string good = GoodFile();
  const Case cases[] = {
      {"4", "Eintrag 2 (Parameter 1) fehlt."},
      {good.substr(0, good.rfind('7')), "Eintrag 124 (Ger\xE4tetyp) fehlt."},
      {WithToken(50, "abc"), "Eintrag 50 (Parameter 49): \"abc\" ist keine ganze Zahl."},
      {WithToken(2, "12abc"), "Eintrag 2 (Parameter 1): \"12abc\" ist keine ganze Zahl."},
      {WithToken(3, "2147483648"),
       "Eintrag 3 (Parameter 2): \"2147483648\" liegt au\xDF" "erhalb von -2147483648 bis "
       "2147483647."},
      {WithToken(4, "-2147483649"),
       "Eintrag 4 (Parameter 3): \"-2147483649\" liegt au\xDF" "erhalb von -2147483648 bis "
       "2147483647."},
      {WithToken(5, "+" + std::string(5000, '9')),
       "Eintrag 5 (Parameter 4): \"+" + std::string(39, '9') +
           "...\" liegt au\xDF" "erhalb von -2147483648 bis 2147483647."},
      {WithToken(123, std::string("56\0" "7", 4)),
       "Eintrag 123 (Seriennummer Teil 2): \"56<00>7\" enth\xE4lt ein Nullbyte."},
      {WithToken(124, "x"), "Eintrag 124 (Ger\xE4tetyp): \"x\" ist keine ganze Zahl."},
      {WithToken(1, "4x"), "Eintrag 1 (Konfigurationsversion): \"4x\" ist keine ganze Zahl."},
      {WithToken(122, "ABCDEFGHIJ"),
       "Eintrag 122 (Seriennummer Teil 1): \"ABCDEFGHIJ\" ist l\xE4nger als 9 Zeichen."},
  };
  for (const Case& c : cases) {
    protocol::ConfigRecord record;
    const auto outcome = app::ParseConfigText(c.text, record);
    EXPECT_EQ(outcome.result, ConfigLoadResult::Damaged) << c.detail;
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(record.loaded, 0);
    EXPECT_EQ(record.deviceType, -1);
    EXPECT_EQ(record.parameters[0], 15);
  }
}

TEST(ConfigFile, extreme_numbers_and_a_nine_character_serial_are_accepted) {
  protocol::ConfigRecord record;
  const std::string text = WithToken(122, "ABCDEFGHI");
  ASSERT_EQ(app::ParseConfigText(WithToken(2, "-2147483648"), record).result,
            ConfigLoadResult::Loaded);
  EXPECT_EQ(record.parameters[0], INT32_MIN);
  ASSERT_EQ(app::ParseConfigText(text, record).result, ConfigLoadResult::Loaded);
  EXPECT_STREQ(record.serialPart1, "ABCDEFGHI");
}

TEST(ConfigFile, a_refused_long_token_is_shortened_so_its_line_keeps_the_reason) {
  protocol::ConfigRecord record;
  const auto outcome = app::ParseConfigText(WithToken(124, std::string(400, '9') + "\x01"), record);
  EXPECT_EQ(outcome.detail, "Eintrag 124 (Ger\xE4tetyp): \"" + std::string(40, '9') +
                                "...\" ist keine ganze Zahl.");
  // Bytes a line cannot show come in hexadecimal.
  EXPECT_EQ(app::ParseConfigText(WithToken(50, "1\x01\x7F<"), record).detail,
            "Eintrag 50 (Parameter 49): \"1<01><7F><3C>\" ist keine ganze Zahl.");
}

// What --check and the console's start show: the seven bytes the board gets, and a warning
// for a serial text whose length differs from what is sent of it.
TEST(ConfigFile, the_summary_shows_exactly_what_is_sent) {
  struct Row {
    const char* serial1;
    const char* serial2;
    std::int32_t deviceType;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"1234", "567", 3, {"Seriennummer an die Platine: 1234567", "Ger\xE4tetyp an die Platine: 3"}},
      {"123456789",
       "ABCDEFGHI",
       -1,
       {"Seriennummer an die Platine: 1234ABC", "Ger\xE4tetyp an die Platine: -1",
        "Warnung: Seriennummer Teil 1 \"123456789\" ist l\xE4nger als 4 Zeichen; gesendet "
        "wird \"1234\".",
        "Warnung: Seriennummer Teil 2 \"ABCDEFGHI\" ist l\xE4nger als 3 Zeichen; gesendet "
        "wird \"ABC\"."}},
      {"M\xFCller",
       "567",
       7,
       {"Seriennummer an die Platine: M\xFCll567", "Ger\xE4tetyp an die Platine: 7",
        "Warnung: Seriennummer Teil 1 \"M\xFCller\" ist l\xE4nger als 4 Zeichen; gesendet wird "
        "\"M\xFCll\"."}},
      {"12",
       "5",
       7,
       {"Seriennummer an die Platine: 12<00>.5<00>.", "Ger\xE4tetyp an die Platine: 7",
        "Warnung: Seriennummer Teil 1 \"12\" ist k\xFCrzer als 4 Zeichen; gesendet wird "
        "\"12<00>.\".",
        "Warnung: Seriennummer Teil 2 \"5\" ist k\xFCrzer als 3 Zeichen; gesendet wird "
        "\"5<00>.\"."}},
  };
  for (const Row& row : rows) {
    protocol::ConfigRecord loaded;
    std::string text = GoodFile();
    text = text.substr(0, text.rfind("1234 567\n7\n")) + row.serial1 + " " + row.serial2 +
           "\n" + std::to_string(row.deviceType) + "\n";
    ASSERT_EQ(app::ParseConfigText(text, loaded).result, ConfigLoadResult::Loaded);
    EXPECT_EQ(app::WriteSummary(loaded), row.lines) << row.serial1;
  }
}

#ifndef _WIN32
// A folder name of any length comes whole in the line that says Quorix.lcd is no file (on
// Windows no path is that long).
TEST(ConfigFile, a_long_folder_name_is_shown_whole) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / "lcdwrite-long-folder";
  fs::remove_all(base);
  const fs::path folder = base / std::string(200, 'a') / std::string(200, 'b');
  fs::create_directories(folder / "Quorix.lcd");
  protocol::ConfigRecord record;
  const auto outcome = app::ReadConfigFile(folder / "Quorix.lcd", record);
  EXPECT_EQ(outcome.result, ConfigLoadResult::CannotOpen);
  EXPECT_EQ(outcome.detail, "Im Ordner " + folder.string() + " ist Quorix.lcd ein Ordner.");
  fs::remove_all(base);
}
#endif

TEST(ConfigFile, a_short_serial_text_keeps_the_bytes_after_its_terminator) {
  protocol::ConfigRecord record;
  ASSERT_EQ(app::ParseConfigText(WithToken(122, "AB"), record).result, ConfigLoadResult::Loaded);
  // "...." was there before: A, B, the terminator, then the fourth dot.
  EXPECT_EQ(std::string(record.serialPart1, 4), std::string("AB\0.", 4));
}

}  // namespace

// What a read hands on for the run's record: the file as opened, the SHA-256 of all its bytes
// (what follows the device type and zero bytes included), and its first 64 KiB as they are.
TEST(ConfigFileRead, hands_on_the_whole_file_it_read) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-config-read";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string notes = std::string("\nNotiz\0mit Nullbyte \x1b[2J \xE4\n", 28);
  const struct {
    const char* name;
    std::string content;
    ConfigLoadResult result;
    size_t kept;
    bool cut;
  } rows[] = {
      {"good", GoodFile(), ConfigLoadResult::Loaded, GoodFile().size(), false},
      {"notes with a zero byte", GoodFile() + notes, ConfigLoadResult::Loaded,
       GoodFile().size() + notes.size(), false},
      {"just 64 KiB", GoodFile() + std::string(64 * 1024 - GoodFile().size(), ' '),
       ConfigLoadResult::Loaded, 64 * 1024, false},
      {"longer than 64 KiB", GoodFile() + std::string(200000, 'x'), ConfigLoadResult::Loaded,
       64 * 1024, true},
      {"damaged", WithToken(5, "x"), ConfigLoadResult::Damaged, GoodFile().size(), false},
  };
  for (const auto& row : rows) {
    const fs::path file = dir / "Quorix.lcd";
    std::ofstream(file, std::ios::binary) << row.content;
    protocol::ConfigRecord record;
    const app::ConfigLoadOutcome outcome = app::ReadConfigFile(file, record);
    EXPECT_EQ(outcome.result, row.result) << row.name;
    EXPECT_EQ(outcome.path, file) << row.name;
    EXPECT_EQ(outcome.sha256, app::journal::Sha256Hex(row.content)) << row.name;
    EXPECT_EQ(outcome.kept, row.content.substr(0, row.kept)) << row.name;
    EXPECT_EQ(outcome.keptCut, row.cut) << row.name;
  }
  fs::remove_all(dir);
}

#ifndef _WIN32
// The detail of a file that cannot be read names what was asked for: a folder named on the
// command line that is missing, rather than its parent; and a name's control characters come
// visible. A file larger than any configuration is refused before it costs time or memory.
TEST(ConfigFileRead, names_what_was_named_and_refuses_what_no_configuration_is) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-config-named";
  fs::remove_all(dir);
  fs::create_directories(dir / "da");
  fs::create_directories(dir / "esc\x1b[31m");
  std::ofstream(dir / "gross.lcd", std::ios::binary) << GoodFile();
  fs::resize_file(dir / "gross.lcd", (std::uintmax_t{app::kConfigFileMaxMiB} << 20) + 1);
  const struct {
    const char* name;
    fs::path file;
    ConfigLoadResult result;
    std::string detail;
  } rows[] = {
      {"missing folder named", dir / "fehlt" / "4711", ConfigLoadResult::CannotOpen,
       "Gesucht im Ordner: " + (dir / "fehlt" / "4711").string()},
      {"missing in a folder named", dir / "fehlt" / "Quorix.lcd", ConfigLoadResult::CannotOpen,
       "Gesucht im Ordner: " + (dir / "fehlt").string()},
      {"missing file in a folder that is there", dir / "da" / "4711.lcd",
       ConfigLoadResult::CannotOpen, "Gesucht im Ordner: " + (dir / "da").string()},
      {"control characters in the folder", dir / "esc\x1b[31m" / "Quorix.lcd",
       ConfigLoadResult::CannotOpen, "Gesucht im Ordner: " + dir.string() + "/esc\\x1b[31m"},
      {"larger than any configuration", dir / "gross.lcd", ConfigLoadResult::Damaged,
       "Die Datei ist gr\xF6\xDF" "er als 256 MiB; so gro\xDF ist keine Konfiguration."},
  };
  for (const auto& row : rows) {
    protocol::ConfigRecord record;
    const app::ConfigLoadOutcome outcome = app::ReadConfigFile(row.file, record);
    EXPECT_EQ(outcome.result, row.result) << row.name;
    EXPECT_EQ(outcome.detail, row.detail) << row.name;
    EXPECT_EQ(record.loaded, 0) << row.name;
  }
  fs::remove_all(dir);
}
#endif
