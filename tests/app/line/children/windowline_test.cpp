// A whole line in the window: the real parent runs real children (this build's lcdwrite) on the
// simulated machine of line.scenario, four boards, the one behind C4HN8VTE pulled during its
// write; the window's rows and dialogs on the recording front-end. And a line refused before
// its first board: its error in a dialog, no window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/line/linerun.h"
#include "app/line/windowview.h"
#include "simfront/simulation.h"
#include "tests/app/samplefiles.h"
#include "ui/recording/recording_frontend.h"

#ifdef LCDWRITE_TOOL

namespace app::line {
namespace {

namespace fs = std::filesystem;

// The current folder for one test, with a folder of its own per board (or one file for all).
class LineFolder {
 public:
  LineFolder(const char* name, bool ownFolders) : dir_(fs::temp_directory_path() / name) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    int serial = 4711;
    for (const char* converter : {"A5XK3RJT", "B7QW2MZK", "C4HN8VTE", "D9LP5SXF"}) {
      if (!ownFolders) break;
      fs::create_directories(dir_ / converter);
      std::string config = apptest::SampleConfig();
      config.replace(config.find("1234\n"), 5, std::to_string(serial++) + "\n");
      std::ofstream(dir_ / converter / "Quorix.lcd") << config;
    }
    if (!ownFolders) std::ofstream(dir_ / "Quorix.lcd") << apptest::SampleConfig();
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  ~LineFolder() {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

 private:
  fs::path dir_, previous_;
};

Options LineOptions() {
  Options options;
  options.all = true;
  options.simulate = true;
  options.fast = true;
  options.noJournal = true;
  options.scenario = std::string(std::getenv("LCDWRITE_SOURCE_DIR")) + "/board/scenarios/line.scenario";
  return options;
}

TEST(LineInWindow, four_boards_one_pulled_rows_dialogs_and_summary) {
  LineFolder folder("lcdwrite-line-window", true);
  ui::RecordingFrontEnd frontEnd(true);
  WindowLineView view(frontEnd, nullptr);
  LineHooks hooks;
  hooks.program = LCDWRITE_TOOL;
  std::ostringstream err;
  const int status =
      RunLine(LineOptions(), view, err, simfront::MakeSimulatedRun, Language::German, hooks);
  EXPECT_EQ(status, 4) << err.str();

  TLineForm& form = view.Form();
  ASSERT_EQ(form.RowCount(), 4u);
  struct Row {
    const char* converter;
    const char* serial;
    const char* status;  // its beginning
    int position;
  };
  const Row rows[] = {
      {"A5XK3RJT (COM3)", "4711567", "geschrieben", 100},
      {"B7QW2MZK (COM4)", "4712567", "geschrieben", 100},
      {"C4HN8VTE (COM5)", "4713567", "Status 4: ", -1},
      {"D9LP5SXF (COM6)", "4714567", "geschrieben", 100},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const TLineForm::Row& row = form.RowAt(i);
    EXPECT_EQ(row.converter->Caption(), rows[i].converter);
    EXPECT_EQ(row.serial->Caption(), rows[i].serial);
    EXPECT_EQ(row.status->Caption().rfind(rows[i].status, 0), 0u) << row.status->Caption();
    if (rows[i].position >= 0) {
      EXPECT_EQ(row.progress->Position(), rows[i].position);
    }
  }
  // The pulled board's failure first, then the summary.
  ASSERT_EQ(frontEnd.dialogs.size(), 2u);
  EXPECT_EQ(frontEnd.dialogs.front().text.rfind("Platine C4HN8VTE (COM5): ", 0), 0u)
      << frontEnd.dialogs.front().text;
  EXPECT_EQ(frontEnd.dialogs.back().text,
            "3 von 4 Platinen geschrieben; nicht geschrieben: C4HN8VTE (Status 4)");
  EXPECT_EQ(form.SummaryLabel->Caption(), frontEnd.dialogs.back().text);
}

TEST(LineInWindow, a_line_refused_before_its_first_board_is_an_error_dialog_without_window) {
  LineFolder folder("lcdwrite-line-window-refused", false);
  ui::RecordingFrontEnd frontEnd(true);
  std::ostringstream out, err;
  const int status = LineMain(LineOptions(), out, err, simfront::MakeSimulatedRun,
                              Language::German, false, nullptr, &frontEnd);
  EXPECT_EQ(status, 64);
  EXPECT_FALSE(err.str().empty());
  ASSERT_EQ(frontEnd.dialogs.size(), 1u);
  EXPECT_EQ(frontEnd.dialogs[0].type, fw::mtError);
  EXPECT_EQ(frontEnd.dialogs[0].caption, "Fehler");
  EXPECT_NE(frontEnd.dialogs[0].text.find("C4HN8VTE"), std::string::npos);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace app::line

#endif  // LCDWRITE_TOOL
