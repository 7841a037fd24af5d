// What the run reads: Quorix.lcd and the scenario must be regular files, are read only within
// their bounds, and a file in the wrong form is refused with a message that names the problem.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/wholerun.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using apptest::Outcome;
using apptest::WholeRun;
namespace fs = std::filesystem;

enum class Board { Written, Untouched, NoMachine };

struct InputRow {
  const char* name;
  // Makes the run's files in dir (Quorix.lcd unless the row leaves it out).
  std::function<void(const fs::path& dir, app::Options& options)> setUp;
  int status;
  // The dialog's text; the folder of the run stands for "%DIR%".
  std::string dialog;
  std::string err;  // UTF-8
  Board board;
};

void PrintTo(const InputRow& row, std::ostream* os) { *os << row.name; }

std::string Utf16Le(const std::string& text, bool mark) {
  std::string bytes = mark ? "\xFF\xFE" : "";
  for (const char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

// The sample file with the token at 1-based position replaced.
std::string SampleWith(int position, const std::string& token) {
  std::string text = apptest::SampleConfig();
  size_t start = 0;
  for (int p = 1;; ++p) {
    start = text.find_first_not_of('\n', start);
    const size_t end = text.find('\n', start);
    if (p == position) return text.substr(0, start) + token + text.substr(end);
    start = end;
  }
}

void Config(const fs::path& dir, const std::string& content) {
  apptest::Write(dir / "Quorix.lcd", content);
}

class InputFiles : public WholeRun, public ::testing::WithParamInterface<InputRow> {};

TEST_P(InputFiles, are_read_only_as_regular_files_and_as_far_as_needed) {
  const InputRow& row = GetParam();
  app::Options options;
  row.setUp(dir_, options);
  const Outcome o = Run("", "", false, options);
  EXPECT_EQ(o.status, row.status);
  std::string dialog = row.dialog;
  if (const size_t at = dialog.find("%DIR%"); at != std::string::npos) {
    dialog.replace(at, 5, fs::current_path().string());
  }
  std::vector<std::string> dialogs;
  if (row.status == 0) dialogs.push_back("Information: Schreiben erfolgreich beendet!");
  if (!dialog.empty()) dialogs.push_back(dialog);
  // A detail (the line below the text) follows the text on a line of its own.
  std::vector<std::string> shown;
  for (const auto& d : o.dialogs) {
    shown.push_back(d.caption + ": " + d.text + (d.detail.empty() ? "" : "\n" + d.detail));
  }
  EXPECT_EQ(shown, dialogs);
  EXPECT_EQ(o.err, row.err);
  switch (row.board) {
    case Board::Written:
      EXPECT_TRUE(apptest::WrittenToTheEnd(o.report)) << o.report;
      EXPECT_NE(o.report.find("1118, 1119]"), std::string::npos) << o.report;
      break;
    case Board::Untouched:
      EXPECT_TRUE(apptest::Untouched(o.report)) << o.report;
      break;
    case Board::NoMachine:
      EXPECT_FALSE(fs::exists(dir_ / "report.json"));
      break;
  }
}

const std::string kCannotOpen = "Fehler: Quorix.lcd kann nicht ge\xF6\x66\x66net werden!\n";
const std::string kDamaged = "Fehler: Quorix.lcd ist fehlerhaft!\n";

const InputRow kInputFilesRows[] = {
    InputRow{"quorix_lcd_is_a_folder",
             [](const fs::path& dir, app::Options&) { fs::create_directory(dir / "Quorix.lcd"); },
             2, kCannotOpen + "Im Ordner %DIR% ist Quorix.lcd ein Ordner.", "", Board::Untouched},
    InputRow{"utf8_byte_order_mark_is_skipped",
             [](const fs::path& dir, app::Options&) {
               Config(dir, "\xEF\xBB\xBF" + apptest::SampleConfig());
             },
             0, "", "", Board::Written},
    InputRow{
        "utf16_with_its_mark",
        [](const fs::path& dir, app::Options&) {
          Config(dir, Utf16Le(apptest::SampleConfig(), true));
        },
        2, kDamaged + "Die Datei ist im UTF-16-Format gespeichert; bitte als ANSI-Text speichern.",
        "", Board::Untouched},
    InputRow{
        "utf16_without_a_mark",
        [](const fs::path& dir, app::Options&) {
          Config(dir, Utf16Le(apptest::SampleConfig(), false));
        },
        2, kDamaged + "Die Datei ist im UTF-16-Format gespeichert; bitte als ANSI-Text speichern.",
        "", Board::Untouched},
    InputRow{"empty_file_is_damaged_not_another_version",
             [](const fs::path& dir, app::Options&) { Config(dir, "\r\n  \n"); }, 2,
             kDamaged + "Eintrag 1 (Konfigurationsversion) fehlt.", "", Board::Untouched},
    InputRow{"notes_after_the_device_type_are_read_not_parsed",
             [](const fs::path& dir, app::Options&) {
               Config(dir, apptest::SampleConfig() + std::string(500000, 'x'));
             },
             0, "", "", Board::Written},
    // Long notes after the device type are allowed: read once for the fingerprint, never parsed.
    InputRow{"huge_file_is_parsed_only_to_the_device_type",
             [](const fs::path& dir, app::Options&) {
               Config(dir, apptest::SampleConfig());
               fs::resize_file(dir / "Quorix.lcd", std::uintmax_t{200} << 20);
             },
             0, "", "", Board::Written},
    InputRow{"a_long_token_keeps_its_reason",
             [](const fs::path& dir, app::Options&) {
               Config(dir, SampleWith(50, std::string(5000, 'a')));
             },
             2,
             kDamaged + "Eintrag 50 (Parameter 49): \"" + std::string(40, 'a') +
                 "...\" ist keine ganze Zahl.",
             "", Board::Untouched},
    InputRow{"scenario_is_a_folder",
             [](const fs::path& dir, app::Options& options) {
               Config(dir, apptest::SampleConfig());
               fs::create_directory(dir / "machine");
               options.scenario = "machine";
             },
             64, "", "lcdwrite: machine: is a folder, not a scenario file\n", Board::NoMachine},
    InputRow{"scenario_named_with_control_characters",
             [](const fs::path& dir, app::Options& options) {
               Config(dir, apptest::SampleConfig());
               options.scenario = "x\x1b[2J.scenario";
             },
             64, "", "lcdwrite: x\\x1b[2J.scenario: cannot open the scenario file\n",
             Board::NoMachine},
    InputRow{"scenario_with_an_endless_line",
             [](const fs::path& dir, app::Options& options) {
               Config(dir, apptest::SampleConfig());
               apptest::Write(dir / "long.scenario", "# " + std::string(100000, 'x'));
               options.scenario = "long.scenario";
             },
             64, "", "lcdwrite: long.scenario:1: line longer than 4096 characters\n",
             Board::NoMachine}
#ifndef _WIN32
    ,
    InputRow{
        "quorix_lcd_is_a_fifo",
        [](const fs::path& dir, app::Options&) { mkfifo((dir / "Quorix.lcd").c_str(), 0600); }, 2,
        kCannotOpen + "Im Ordner %DIR% ist Quorix.lcd keine gew\xF6hnliche Datei (ein Ger\xE4t "
                      "oder eine FIFO).",
        "", Board::Untouched},
    InputRow{"quorix_lcd_links_to_an_endless_device",
             [](const fs::path& dir, app::Options&) {
               fs::create_symlink("/dev/zero", dir / "Quorix.lcd");
             },
             2,
             kCannotOpen +
                 "Im Ordner %DIR% ist Quorix.lcd keine gew\xF6hnliche Datei (ein Ger\xE4t "
                 "oder eine FIFO).",
             "", Board::Untouched},
    InputRow{"scenario_is_a_fifo",
             [](const fs::path& dir, app::Options& options) {
               Config(dir, apptest::SampleConfig());
               mkfifo((dir / "fifo.scenario").c_str(), 0600);
               options.scenario = "fifo.scenario";
             },
             64, "", "lcdwrite: fifo.scenario: not a regular file (a device or a FIFO)\n",
             Board::NoMachine},
    InputRow{"scenario_is_an_endless_device",
             [](const fs::path& dir, app::Options& options) {
               Config(dir, apptest::SampleConfig());
               options.scenario = "/dev/zero";
             },
             64, "", "lcdwrite: /dev/zero: not a regular file (a device or a FIFO)\n",
             Board::NoMachine},
#endif
};

INSTANTIATE_TEST_SUITE_P(Table, InputFiles, ::testing::ValuesIn(kInputFilesRows),
                         [](const ::testing::TestParamInfo<InputRow>& info) {
                           return info.param.name;
                         });

}  // namespace
