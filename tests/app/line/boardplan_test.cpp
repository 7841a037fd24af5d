// The line's plan: which boards, each with which configuration, refused before any port is
// touched; and what each board's child is told.
#include "app/line/boardplan.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using app::line::BoardConfig;
using app::line::LinePlan;

app::AttachedConverter Converter(const std::string& serial, const std::string& port) {
  return {serial + "A", serial, port, std::nullopt};
}

const std::vector<app::AttachedConverter> kFour{
    Converter("A5XK3RJT", "COM3"), Converter("B7QW2MZK", "COM4"), Converter("C4HN8VTE", "COM5"),
    Converter("D9LP5SXF", "COM6")};

// A host whose folders are the given ones; a place names the file "<place>/Quorix.lcd" when it
// is a folder, else itself ("" and "." the current folder).
app::line::PlanHost FakeHost(std::set<std::string> folders) {
  folders.insert("");
  app::line::PlanHost host;
  host.isFolder = [folders](const std::string& place) { return folders.count(place) > 0; };
  host.fileIdentity = [folders](const std::string& place) {
    const std::string folder = place == "." ? "" : place;
    return folders.count(folder) > 0 ? folder + "/Quorix.lcd" : place;
  };
  return host;
}

app::Options Parsed(const std::vector<std::string>& args) {
  const app::ParsedCommandLine parsed = app::ParseCommandLine(args);
  EXPECT_TRUE(parsed.options) << parsed.error;
  return parsed.options.value_or(app::Options{});
}

TEST(LinePlan, each_board_and_its_configuration_or_the_refusal) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::set<std::string> folders;
    int status;
    std::vector<std::string> boards;  // "SERIAL:PLACE"
    const char* error;                // the start of the refusal
  } rows[] = {
      {"every converter with a folder of its own in the current folder",
       {"--all"}, {"A5XK3RJT", "B7QW2MZK", "C4HN8VTE", "D9LP5SXF"}, 0,
       {"A5XK3RJT:A5XK3RJT", "B7QW2MZK:B7QW2MZK", "C4HN8VTE:C4HN8VTE", "D9LP5SXF:D9LP5SXF"}, ""},
      {"the folders in a station folder",
       {"--all", "line1"}, {"line1", "line1/A5XK3RJT", "line1/B7QW2MZK", "line1/C4HN8VTE",
                            "line1/D9LP5SXF"}, 0,
       {"A5XK3RJT:line1/A5XK3RJT", "B7QW2MZK:line1/B7QW2MZK", "C4HN8VTE:line1/C4HN8VTE",
        "D9LP5SXF:line1/D9LP5SXF"}, ""},
      {"a station folder given with its separator",
       {"--all", "line1/"}, {"line1/", "line1/A5XK3RJT", "line1/B7QW2MZK", "line1/C4HN8VTE",
                             "line1/D9LP5SXF"}, 0,
       {"A5XK3RJT:line1/A5XK3RJT", "B7QW2MZK:line1/B7QW2MZK", "C4HN8VTE:line1/C4HN8VTE",
        "D9LP5SXF:line1/D9LP5SXF"}, ""},
      {"named converters in the order they are attached, each its own file",
       {"--converter", "d9lp5sxf=d.lcd", "--converter", "B7QW2MZKA=b.lcd"}, {}, 0,
       {"B7QW2MZK:b.lcd", "D9LP5SXF:d.lcd"}, ""},
      {"a given folder before the station's",
       {"--all", "--converter", "A5XK3RJT=spare", "line1"},
       {"line1", "spare", "line1/A5XK3RJT", "line1/B7QW2MZK", "line1/C4HN8VTE",
        "line1/D9LP5SXF"}, 0,
       {"A5XK3RJT:spare", "B7QW2MZK:line1/B7QW2MZK", "C4HN8VTE:line1/C4HN8VTE",
        "D9LP5SXF:line1/D9LP5SXF"}, ""},
      {"one Quorix.lcd for every board", {"--all"}, {}, 64, {},
       "A5XK3RJT, B7QW2MZK, C4HN8VTE, D9LP5SXF: several boards would be written from one "
       "Quorix.lcd"},
      {"two boards left without a folder of their own", {"--all"}, {"A5XK3RJT", "B7QW2MZK"}, 64,
       {}, "C4HN8VTE, D9LP5SXF: several boards"},
      {"one file named for two boards",
       {"--converter", "A5XK3RJT=x.lcd", "--converter", "B7QW2MZK=x.lcd"}, {}, 64, {},
       "A5XK3RJT, B7QW2MZK: several boards"},
      {"a folder and the file in it", {"--converter", "A5XK3RJT=f", "--converter",
                                        "B7QW2MZK=f/Quorix.lcd"}, {"f"}, 64, {},
       "A5XK3RJT, B7QW2MZK: several boards"},
      {"a file given for one board and the current folder's for another",
       {"--converter", "A5XK3RJT=a.lcd", "--converter", "B7QW2MZK"}, {}, 0,
       {"A5XK3RJT:a.lcd", "B7QW2MZK:"}, ""},
      {"a converter that is not attached",
       {"--converter", "A5XK3RJT=a", "--converter", "Z0000000=z"}, {}, 3, {},
       "USB-Wandler Z0000000 nicht angeschlossen!\nAngeschlossen: A5XK3RJT, B7QW2MZK, C4HN8VTE, "
       "D9LP5SXF"},
      {"one converter by its serial and by its instance",
       {"--converter", "A5XK3RJT=a", "--converter", "A5XK3RJTA=b"}, {}, 64, {},
       "--converter A5XK3RJTA: that converter is already named"},
  };
  for (const auto& row : rows) {
    const app::line::PlanHost host = FakeHost(row.folders);
    const LinePlan plan = app::line::PlanLine(Parsed(row.args), kFour,
                                              app::line::FileConfigChooser(host), host,
                                              app::Language::English);
    EXPECT_EQ(plan.status, row.status) << row.name << ": " << plan.error;
    std::vector<std::string> boards;
    for (const auto& board : plan.boards) {
      boards.push_back(board.converter.serial + ":" + board.config.configPlace);
    }
    EXPECT_EQ(boards, row.boards) << row.name;
    EXPECT_EQ(plan.error.substr(0, std::string(row.error).size()), row.error) << row.name;
  }
}

TEST(LinePlan, boards_whose_serial_numbers_come_from_elsewhere_may_share_one_file) {
  // The chooser a journal that hands out serial numbers would plug in.
  const app::line::PlanHost host = FakeHost({});
  const LinePlan plan = app::line::PlanLine(
      Parsed({"--all"}), kFour,
      [](const app::AttachedConverter&, const std::string&, const std::string& common) {
        return BoardConfig{common, true};
      },
      host, app::Language::English);
  EXPECT_EQ(plan.status, 0) << plan.error;
  EXPECT_EQ(plan.boards.size(), 4u);
}

TEST(LinePlan, nothing_attached_is_no_port) {
  const app::line::PlanHost host = FakeHost({});
  const LinePlan plan = app::line::PlanLine(Parsed({"--all"}), {},
                                            app::line::FileConfigChooser(host), host,
                                            app::Language::German);
  EXPECT_EQ(plan.status, 3);
  EXPECT_TRUE(plan.boards.empty());
}

TEST(LineChild, the_single_run_pinned_to_its_converter_with_the_options_for_one_board) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string place;
    std::vector<std::string> child;
  } rows[] = {
      {"the least", {"--all"}, "", {"--console", "--json", "--converter", "A5XK3RJT"}},
      {"simulated, fast, journal, log and report of its own",
       {"--all", "--simulate=line.scenario", "--fast", "--journal", "j.sqlite3", "--log",
        "logs/write.log", "--sim-report", "r.json"},
       "boards/A5XK3RJT",
       {"--console", "--json", "--converter", "A5XK3RJT", "--simulate=line.scenario", "--fast",
        "--sim-report=r-A5XK3RJT.json", "--log=logs/write-A5XK3RJT.log", "--journal=j.sqlite3",
        "--", "boards/A5XK3RJT"}},
      {"no journal; a folder that looks like an option",
       {"--all", "--no-journal", "--simulate"}, "-boards",
       {"--console", "--json", "--converter", "A5XK3RJT", "--simulate", "--no-journal", "--",
        "-boards"}},
  };
  for (const auto& row : rows) {
    const app::line::BoardPlan board{Converter("A5XK3RJT", "COM3"), BoardConfig{row.place, false}};
    EXPECT_EQ(app::line::ChildArguments(Parsed(row.args), board), row.child) << row.name;
  }
}

TEST(LineChild, each_board_names_its_own_files) {
  const struct {
    std::string path;
    std::string board;
  } rows[] = {
      {"write.log", "write-A5XK3RJT.log"},
      {"logs/write", "logs/write-A5XK3RJT"},
      {"logs.d/write", "logs.d/write-A5XK3RJT"},
      {"C:\\logs.d\\write.2026.log", "C:\\logs.d\\write.2026-A5XK3RJT.log"},
      {".log", ".log-A5XK3RJT"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(app::line::PerBoardFileName(row.path, "A5XK3RJT"), row.board) << row.path;
  }
}

}  // namespace
