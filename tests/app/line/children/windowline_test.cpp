// The window's line from the program entry: a line refused before its first board shows its
// error in a dialog and no window. (A whole line with real children is the isolation table's;
// the window's rows and dialogs are the view's.)
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
