// Where a run finds its configuration: Quorix.lcd in the current directory, or the file or
// folder named on the command line; and the folder a missing file was looked for in, below the
// dialog's text and in the port's log.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/configfile.h"
#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::WholeRun;
namespace fs = std::filesystem;

TEST(ConfigFilePath, names_quorix_lcd_in_a_folder_or_the_file_itself) {
  const fs::path base = fs::temp_directory_path() / "lcdwrite-configpath";
  fs::remove_all(base);
  fs::create_directories(base / "4711");
  struct Row {
    std::string place;
    fs::path expected;
  };
  const Row rows[] = {
      {"", base / "Quorix.lcd"},
      {"4711", base / "4711" / "Quorix.lcd"},
      {"4711/", base / "4711" / "Quorix.lcd"},
      {(base / "4711").string(), base / "4711" / "Quorix.lcd"},
      {"4711/Quorix.lcd", base / "4711" / "Quorix.lcd"},
      {"./4711/../4711/board.lcd", base / "4711" / "board.lcd"},
      // Not there (yet): taken as the file, so the run names its folder when it is missing.
      {"4712", base / "4712"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(app::ConfigFilePath(row.place, base).lexically_normal(),
              row.expected.lexically_normal())
        << row.place;
  }
  fs::remove_all(base);
}

struct PlaceRow {
  const char* name;
  // Makes the files below dir (the run's current directory) and names the place, if any.
  std::function<std::string(const fs::path& dir)> setUp;
  int status;
  // Below the text when the file is not found: the folder searched, relative to dir ("": dir).
  std::string searched;
};

void PrintTo(const PlaceRow& row, std::ostream* os) { *os << row.name; }

class ConfigPlace : public WholeRun, public ::testing::WithParamInterface<PlaceRow> {};

TEST_P(ConfigPlace, the_named_file_or_folder_is_read_and_a_missing_file_names_its_folder) {
  const PlaceRow& row = GetParam();
  app::Options options;
  options.configPlace = row.setUp(dir_);
  options.logFile = (dir_ / "port.log").string();
  // No Quorix.lcd in the current directory unless the row makes one.
  const Outcome o = Run("", "", false, options);
  EXPECT_EQ(o.status, row.status);
  if (row.status == 0) {
    EXPECT_TRUE(apptest::WrittenToTheEnd(o.report)) << o.report;
    return;
  }
  ASSERT_EQ(o.dialogs.size(), 1u);
  EXPECT_EQ(o.dialogs[0].text, "Quorix.lcd kann nicht ge\xF6\x66\x66net werden!");
  const fs::path folder = row.searched.empty() ? dir_ : dir_ / row.searched;
  EXPECT_EQ(o.dialogs[0].detail, "Gesucht im Ordner: " + folder.string());
  EXPECT_NE(apptest::Read(dir_ / "port.log").find("Gesucht im Ordner: "), std::string::npos);
  EXPECT_TRUE(apptest::Untouched(o.report)) << o.report;
}

const PlaceRow kPlaceRows[] = {
    PlaceRow{"a_folder_holding_quorix_lcd",
             [](const fs::path& dir) {
               fs::create_directories(dir / "Platinen" / "4711");
               apptest::Write(dir / "Platinen" / "4711" / "Quorix.lcd", apptest::SampleConfig());
               return (dir / "Platinen" / "4711").string();
             },
             0, ""},
    PlaceRow{"a_file_of_another_name_relative_to_the_current_directory",
             [](const fs::path& dir) {
               fs::create_directories(dir / "Platinen");
               apptest::Write(dir / "Platinen" / "4711.lcd", apptest::SampleConfig());
               return std::string("Platinen/4711.lcd");
             },
             0, ""},
    PlaceRow{"a_folder_without_quorix_lcd",
             [](const fs::path& dir) {
               fs::create_directories(dir / "leer");
               // The current directory's file is not taken instead.
               apptest::Write(dir / "Quorix.lcd", apptest::SampleConfig());
               return (dir / "leer").string();
             },
             2, "leer"},
    PlaceRow{"a_missing_file", [](const fs::path&) { return std::string("fehlt/Quorix.lcd"); },
             2, "fehlt"},
    PlaceRow{"nothing_named_and_no_file_in_the_current_directory",
             [](const fs::path&) { return std::string(); }, 2, ""},
};

INSTANTIATE_TEST_SUITE_P(Places, ConfigPlace, ::testing::ValuesIn(kPlaceRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WholeRun, a_log_that_would_replace_the_named_configuration_file_is_refused) {
  fs::create_directories(dir_ / "4711");
  apptest::Write(dir_ / "4711" / "Quorix.lcd", apptest::SampleConfig());
  app::Options options;
  options.configPlace = "4711";
  options.logFile = "4711/Quorix.lcd";
  const Outcome o = Run("", "", false, options);
  EXPECT_EQ(o.status, 64);
  EXPECT_NE(o.err.find("ist Quorix.lcd selbst"), std::string::npos) << o.err;
  EXPECT_EQ(apptest::Read(dir_ / "4711" / "Quorix.lcd"), apptest::SampleConfig());
}

}  // namespace
