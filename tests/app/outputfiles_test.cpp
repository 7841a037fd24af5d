// The files a run writes besides the board: refused before any port is opened when they cannot
// be kept, and a log that fails in the middle of a write never stops the write.
#include "app/outputfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/hosttext.h"
#include "platform/outputfiles.h"
#include "tests/app/wholerun.h"

#ifndef _WIN32
#include <sys/mount.h>
#endif

namespace {

using apptest::Outcome;
using apptest::Read;
using apptest::WholeRun;
namespace fs = std::filesystem;

struct OutputRow {
  const char* name;
  std::function<void(const fs::path& dir, app::Options& options)> setUp;
  int status;
  std::string err;  // what the run says, exactly (UTF-8); empty: nothing
};

void PrintTo(const OutputRow& row, std::ostream* os) { *os << row.name; }

class OutputFiles : public WholeRun, public ::testing::WithParamInterface<OutputRow> {};

// A refused run says why and ends with 64 before anything happens: no window, no board,
// Quorix.lcd as it was. An accepted one writes the board to the end.
TEST_P(OutputFiles, are_checked_before_the_run) {
  const OutputRow& row = GetParam();
  app::Options options;
  row.setUp(dir_, options);
  const Outcome o = Run("", apptest::SampleConfig(), false, options);
  EXPECT_EQ(o.status, row.status);
  EXPECT_EQ(o.err, row.err);
  EXPECT_EQ(Read(dir_ / "Quorix.lcd"), apptest::SampleConfig());
  if (row.status == 64) {
    EXPECT_TRUE(o.dialogs.empty());
    EXPECT_FALSE(fs::exists(dir_ / "report.json"));
  } else {
    EXPECT_TRUE(apptest::WrittenToTheEnd(o.report)) << o.report;
  }
}

const char* const kCannot = "lcdwrite: Die Protokolldatei ";

const OutputRow kOutputFilesRows[] = {
    OutputRow{"log_is_a_folder",
              [](const fs::path& dir, app::Options& o) {
                fs::create_directory(dir / "logs");
                o.logFile = "logs";
              },
              64,
              std::string(kCannot) + "logs kann nicht geschrieben werden: es ist ein Ordner.\n"},
    OutputRow{"log_in_a_missing_folder",
              [](const fs::path&, app::Options& o) { o.logFile = "missing/run.log"; }, 64,
              std::string(kCannot) +
                  "missing/run.log kann nicht geschrieben werden: der Ordner missing ist "
                  "nicht vorhanden.\n"},
    OutputRow{
        "log_is_quorix_lcd", [](const fs::path&, app::Options& o) { o.logFile = "Quorix.lcd"; }, 64,
        std::string(kCannot) + "Quorix.lcd ist Quorix.lcd selbst; die Konfiguration w\u00fcrde "
                               "\u00fcberschrieben.\n"},
    OutputRow{"log_is_quorix_lcd_by_another_path",
              [](const fs::path& dir, app::Options& o) {
                fs::create_directory(dir / "sub");
                o.logFile = "sub/../Quorix.lcd";
              },
              64,
              std::string(kCannot) +
                  "sub/../Quorix.lcd ist Quorix.lcd selbst; die Konfiguration w\u00fcrde "
                  "\u00fcberschrieben.\n"},
    OutputRow{"report_is_quorix_lcd",
              [](const fs::path&, app::Options& o) { o.simReport = "Quorix.lcd"; }, 64,
              "lcdwrite: Die Berichtsdatei Quorix.lcd ist Quorix.lcd selbst; die "
              "Konfiguration w\u00fcrde \u00fcberschrieben.\n"},
    OutputRow{"report_is_the_scenario",
              [](const fs::path& dir, app::Options& o) {
                apptest::Write(dir / "machine.scenario", "");
                o.scenario = "machine.scenario";
                o.simReport = "machine.scenario";
              },
              64,
              "lcdwrite: Die Berichtsdatei machine.scenario ist die Szenariodatei; sie "
              "w\u00fcrde \u00fcberschrieben.\n"},
    OutputRow{"log_and_report_are_one_file",
              [](const fs::path&, app::Options& o) {
                o.logFile = "out.txt";
                o.simReport = "./out.txt";
              },
              64,
              "lcdwrite: Protokoll (--log) und Bericht (--sim-report) nennen dieselbe Datei "
              "out.txt.\n"},
    OutputRow{"report_is_a_folder",
              [](const fs::path& dir, app::Options& o) {
                fs::create_directory(dir / "reports");
                o.simReport = "reports";
              },
              64,
              "lcdwrite: Die Berichtsdatei reports kann nicht geschrieben werden: es ist "
              "ein Ordner.\n"},
#ifndef _WIN32
    // A cause comes whole and with the system's text when the tool has no words of its own.
    OutputRow{"log_in_a_folder_with_a_very_long_name",
              [](const fs::path&, app::Options& o) {
                o.logFile = std::string(1500, 'd') + "/run.log";
              },
              64,
              std::string(kCannot) + std::string(1500, 'd') +
                  "/run.log kann nicht geschrieben werden: der Ordner " + std::string(1500, 'd') +
                  " ist nicht vorhanden.\n"},
    OutputRow{"log_name_too_long_for_the_system",
              [](const fs::path&, app::Options& o) { o.logFile = std::string(300, 'n'); }, 64,
              std::string(kCannot) + std::string(300, 'n') +
                  " kann nicht geschrieben werden: Systemfehler 36 (File name too long).\n"},
    OutputRow{"log_is_a_device", [](const fs::path&, app::Options& o) { o.logFile = "/dev/full"; },
              64,
              std::string(kCannot) +
                  "/dev/full kann nicht geschrieben werden: es ist keine gew\u00f6hnliche "
                  "Datei.\n"},
#endif
    OutputRow{"log_and_report_that_can_be_written",
              [](const fs::path&, app::Options& o) { o.logFile = "run.log"; }, 0, ""}};

INSTANTIATE_TEST_SUITE_P(Table, OutputFiles, ::testing::ValuesIn(kOutputFilesRows),
                         [](const ::testing::TestParamInfo<OutputRow>& info) {
                           return info.param.name;
                         });

#ifndef _WIN32
TEST_F(WholeRun, a_log_that_is_the_running_program_is_refused_saying_so) {
  app::Options options;
  options.logFile = fs::read_symlink("/proc/self/exe").string();
  const Outcome o = Run("", apptest::SampleConfig(), false, options);
  EXPECT_EQ(o.status, 64);
  EXPECT_EQ(o.err, "lcdwrite: Die Protokolldatei " + options.logFile +
                       " kann nicht geschrieben werden: es ist ein laufendes Programm.\n");
}
#endif

TEST_F(WholeRun, an_accepted_log_holds_the_whole_run_up_to_the_port_closing) {
  app::Options options;
  options.logFile = "run.log";
  const Outcome o = Run("", apptest::SampleConfig(), false, options);
  ASSERT_EQ(o.status, 0);
  const std::string log = apptest::ReadLog(dir_ / "run.log");
  EXPECT_NE(log.find(" Open \\\\.\\COM3"), std::string::npos);
  const std::string lastLine = apptest::LastLine(log);
  EXPECT_EQ(lastLine.substr(lastLine.find(' ', lastLine.find(' ') + 1)), " Close \\\\.\\COM3");
}

// The log's own failure handling, with a file that cannot be written at all.
TEST(RunLog, reports_the_first_failure_once_and_drops_the_rest) {
  std::vector<std::string> shown;
  const std::string path =
      (fs::temp_directory_path() / "lcdwrite-no-such-folder" / "x.log").string();
  app::RunLog log(path, [&shown](const std::string& text) { shown.push_back(text); });
  log.Write("first");
  log.Write("second");
  EXPECT_TRUE(log.Failed());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Die Protokolldatei " + path +
                          " kann nicht weiter geschrieben werden: Datei oder Ordner nicht "
                          "vorhanden. Die Platine wird ohne Protokoll zu Ende beschrieben.");
  EXPECT_EQ(log.IncompleteText(),
            "Das Protokoll " + path + " ist unvollst\xE4ndig: Datei oder Ordner nicht vorhanden.");
}

#ifndef _WIN32
// A small tmpfs of its own (needs the right to mount; skipped elsewhere).
class SmallDisk : public WholeRun {
 protected:
  void Mount(const char* options) {
    disk_ = dir_ / "disk";
    fs::create_directory(disk_);
    if (mount("tmpfs", disk_.c_str(), "tmpfs", 0, options) != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
    WholeRun::TearDown();
  }
  fs::path disk_;
  bool mounted_ = false;
};

// The disk fills up in the middle of the write: the write goes on to its end without the log,
// the console says so once at the failure and once at the end; a window says it once, at the
// end, instead of holding the write with a box. The report, which no longer fits either, is not
// cut: the previous one stays.
TEST_F(SmallDisk, a_full_disk_in_the_middle_of_the_write_loses_the_log_not_the_write) {
  Mount("size=24k");
  if (!mounted_) return;
  const std::string disk = (disk_ / "").string();
  const std::string full = "kein Platz mehr auf dem Datentr\xE4ger";
  for (const bool window : {false, true}) {
    SCOPED_TRACE(window ? "window" : "console");
    fs::remove(disk_ / "run.log");
    apptest::Write(disk_ / "report.json", "previous report\n");
    app::Options options;
    options.logFile = disk + "run.log";
    options.simReport = disk + "report.json";
    const Outcome o = Run("", apptest::SampleConfig(), window, options);
    EXPECT_EQ(o.status, 0);
    std::vector<std::string> expected;
    if (!window) {
      expected.push_back("Warnung: Die Protokolldatei " + options.logFile +
                         " kann nicht weiter geschrieben werden: " + full +
                         ". Die Platine wird ohne Protokoll zu Ende beschrieben.");
    }
    expected.push_back("Information: Schreiben erfolgreich beendet!");
    expected.push_back("Warnung: Das Protokoll " + options.logFile +
                       " ist unvollst\xE4ndig: " + full + ".");
    EXPECT_EQ(o.Texts(), expected);
    EXPECT_EQ(o.report, "previous report\n");
    EXPECT_EQ(o.err,
              "lcdwrite: Der Bericht " + options.simReport + " konnte nicht geschrieben werden.\n");
    EXPECT_GT(fs::file_size(disk_ / "run.log"), 0u);
  }
}

TEST_F(SmallDisk, a_read_only_folder_is_refused_before_the_run) {
  Mount("size=24k,ro");
  if (!mounted_) return;
  app::Options options;
  options.logFile = (disk_ / "run.log").string();
  const Outcome o = Run("", apptest::SampleConfig(), false, options);
  EXPECT_EQ(o.status, 64);
  EXPECT_EQ(o.err, "lcdwrite: Die Protokolldatei " + options.logFile +
                       " kann nicht geschrieben werden: das Dateisystem ist "
                       "schreibgesch\u00fctzt.\n");
  EXPECT_TRUE(o.dialogs.empty());
}
#endif  // _WIN32

}  // namespace

namespace {

// "Ein Satz" and a folder named "Łódź 12" as the tool's text holds it (Ł and ź carried).
const std::string kLodzLine = "Ordner C:\\Leer\\\x81\xc5\x81\xf3" "d\x81\xc5\xba 12";
const std::string kLodzUtf8 = "Ordner C:\\Leer\\\xc5\x81\xc3\xb3" "d\xc5\xba 12\n";

TEST(LogCoding, follows_the_system_and_what_the_file_began_with) {
  struct Row {
    bool utf8Files;
    std::string head;
    app::LogCoding coding;
  };
  for (const Row& row : {
           Row{true, "", app::LogCoding::Utf8},
           Row{true, "Tes", app::LogCoding::Utf8},
           Row{false, "", app::LogCoding::Utf8AfterMark},
           Row{false, "\xEF\xBB\xBF", app::LogCoding::Utf8},
           // Begun by an earlier version in Windows-1252: it stays so, one coding per file.
           Row{false, "07.", app::LogCoding::Cp1252},
           Row{false, "\xEF\xBB", app::LogCoding::Cp1252},
       }) {
    EXPECT_EQ(app::LogCodingFor(row.utf8Files, row.head), row.coding)
        << row.utf8Files << " " << row.head;
  }
}

TEST(LogCoding, a_name_outside_windows_1252_is_whole_in_utf8_and_marked_in_cp1252) {
  struct Row {
    app::LogCoding coding;
    std::string line;
    std::string bytes;
  };
  for (const Row& row : {
           Row{app::LogCoding::Utf8, kLodzLine, kLodzUtf8},
           Row{app::LogCoding::Utf8AfterMark, kLodzLine, "\xEF\xBB\xBF" + kLodzUtf8},
           Row{app::LogCoding::Cp1252, kLodzLine, "Ordner C:\\Leer\\?\xf3" "d? 12\n"},
           // The tool's own texts as ever.
           Row{app::LogCoding::Cp1252, "Ger\xe4tetyp \x80", "Ger\xe4tetyp \x80\n"},
           Row{app::LogCoding::Utf8, "Ger\xe4tetyp \x80", "Ger\xc3\xa4tetyp \xe2\x82\xac\n"},
       }) {
    EXPECT_EQ(app::LogBytes(row.line, row.coding), row.bytes) << static_cast<int>(row.coding);
  }
}

// Two runs into one new log: the mark once, at the start (Windows); Linux: UTF-8 as it was.
TEST_F(WholeRun, a_new_log_names_every_folder_whole) {
  const fs::path path = dir_ / "port.log";
  for (int run = 0; run < 2; ++run) {
    app::RunLog log(plat::PathText(path));
    log.Write(kLodzLine);
    log.Close(0);
    EXPECT_FALSE(log.Failed());
  }
  std::string bytes = Read(path);
  // A Windows text file ends its lines in CR LF.
  std::erase(bytes, '\r');
  const std::string mark = plat::TextFilesInUtf8() ? "" : "\xEF\xBB\xBF";
  EXPECT_EQ(bytes.substr(0, mark.size() + kLodzUtf8.size()), mark + kLodzUtf8);
  EXPECT_EQ(bytes.find("\xEF\xBB\xBF", mark.size()), std::string::npos);
  EXPECT_NE(bytes.find(kLodzUtf8, mark.size() + 1), std::string::npos);
}

}  // namespace
