// Whole lines: the real parent (RunLine) starting the real program once per board, each child
// on the same simulated machine (line.scenario's shape, four converters) writing only the board
// behind its converter. One board's failure, whatever it is, is that board's alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/exitstatus.h"
#include "app/line/jsonline.h"
#include "app/line/linerun.h"
#include "app/line/streamviews.h"
#include "simfront/simulation.h"
#include "tests/app/samplefiles.h"

namespace {

namespace fs = std::filesystem;
using app::line::BoardRow;

const std::vector<std::string> kSerials{"A5XK3RJT", "B7QW2MZK", "C4HN8VTE", "D9LP5SXF"};

// The machine of four converters, each with its board; failing (C4HN8VTE's board, on COM5)
// holds the keys of that board's fault.
std::string LineScenario(const std::string& failing) {
  return "ports = COM1 COM3 COM4 COM5 COM6\n"
         "devices = C: COM1 COM3 COM4 COM5 COM6 ftdi:A5XK3RJTA ftdi:B7QW2MZKA ftdi:C4HN8VTEA "
         "ftdi:D9LP5SXFA\n"
         "portname.A5XK3RJTA = COM3\nportname.B7QW2MZKA = COM4\n"
         "portname.C4HN8VTEA = COM5\nportname.D9LP5SXFA = COM6\n"
         "board.port = COM3\n[board COM4]\n[board COM5]\n" +
         failing + "\n[board COM6]\n";
}

// Each board's own Quorix.lcd: the sample with the serial number 123456<n>.
std::string BoardConfig(size_t n) {
  std::string text = apptest::SampleConfig();
  const std::string serial = "1234\n567\n";
  text.replace(text.find(serial), serial.size(), "1234\n56" + std::to_string(n) + "\n");
  return text;
}

// What the parent showed, for the test to look at afterwards.
class RecordingView : public app::line::LineView {
 public:
  void RowAdded(size_t, const BoardRow& board) override { rows.push_back(board); }
  void RowChanged(size_t row, const BoardRow& board) override { rows[row] = board; }
  void BoardFailure(size_t, const std::string&, const std::string& text,
                    const std::string&) override {
    failures.push_back(text);
  }
  void Note(const std::string&) override {}
  void Finished(const std::vector<BoardRow>& boards, const app::line::LineSummary& s) override {
    rows = boards;
    summary = s;
  }
  void WaitForEvents(unsigned timeoutMs) override { wake_.Wait(timeoutMs); }
  void Wake() override { wake_.Wake(); }

  std::vector<BoardRow> rows;
  std::vector<std::string> failures;
  app::line::LineSummary summary;

 private:
  app::line::WakeSignal wake_;
};

class Line : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = apptest::TestFolder("lcdwrite-line-");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (size_t i = 0; i < kSerials.size(); ++i) {
      fs::create_directories(dir_ / kSerials[i]);
      apptest::Write(dir_ / kSerials[i] / "Quorix.lcd", BoardConfig(i));
    }
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  app::Options LineOptions(const std::string& failing, bool fast = true) {
    apptest::Write(dir_ / "line.scenario", LineScenario(failing));
    std::vector<std::string> args{"--all", "--simulate=" + (dir_ / "line.scenario").string(),
                                  "--no-journal", "--sim-report", (dir_ / "stored.json").string(),
                                  dir_.string()};
    if (fast) args.push_back("--fast");
    const app::ParsedCommandLine parsed = app::ParseCommandLine(args);
    EXPECT_TRUE(parsed.options) << parsed.error;
    return *parsed.options;
  }

  int Run(const app::Options& options, app::line::LineView& view,
          app::line::LineHooks hooks = {}) {
    hooks.program = LCDWRITE_TOOL;
    std::ostringstream err;
    const int status = app::line::RunLine(options, view, err, simfront::MakeSimulatedRun,
                                          app::Language::English, hooks);
    err_ = err.str();
    return status;
  }

  std::string Stored(const std::string& serial) {
    return apptest::Read(dir_ / ("stored-" + serial + ".json"));
  }

  fs::path dir_;
  std::string err_;
};

TEST_F(Line, one_failure_among_four_boards_is_that_boards_alone) {
  const struct {
    const char* name;
    const char* fault;  // scenario keys of C4HN8VTE's board
    bool kill;          // the parent's child for C4HN8VTE is killed as soon as it started
    int status;
    const char* failure;  // the start of C4HN8VTE's row's failure
  } rows[] = {
      {"its board fails", "fault = serial confirm silent", false, app::kExitBoardFailure, ""},
      {"its converter is pulled", "unplug_after_bytes = 12", false, app::kExitPortError,
       "ComPortError:  COM5 !"},
      {"its line reports an error", "line_error_after_bytes = 12 frame", false,
       app::kExitPortError, "ComPortLineError:  COM5 !"},
      {"its child is killed", "", true, app::KilledStatus(SIGKILL),
       "Prozess durch Signal 9 beendet"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    RecordingView view;
    app::line::LineHooks hooks;
    if (row.kill) {
      hooks.onStarted = [](size_t board, plat::ChildProcess& child) {
        if (board == 2) child.Kill();
      };
    }
    const int status = Run(LineOptions(row.fault), view, hooks);
    EXPECT_EQ(status, row.status) << err_;
    ASSERT_EQ(view.rows.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      const BoardRow& board = view.rows[i];
      EXPECT_EQ(board.converter, kSerials[i]);
      if (i == 2) {
        EXPECT_EQ(board.state, BoardRow::State::Failed);
        EXPECT_EQ(board.exitStatus, row.status);
        EXPECT_EQ(board.failure.substr(0, std::string(row.failure).size()), row.failure);
        continue;
      }
      EXPECT_EQ(board.state, BoardRow::State::Written) << board.converter << board.failure;
      EXPECT_EQ(board.exitStatus, 0);
      EXPECT_EQ(board.port, "COM" + std::to_string(i + 3));
      // Its own board got its own file: every operation, its own serial number.
      const std::string stored = Stored(kSerials[i]);
      EXPECT_NE(stored.find("\"configuration\"]"), std::string::npos) << stored;
      EXPECT_NE(stored.find("\"serial\": \"313233343536" + std::to_string(30 + i) + "\""),
                std::string::npos)
          << stored;
    }
    EXPECT_EQ(view.summary.written, 3);
    EXPECT_EQ(view.summary.text, "3 von 4 Platinen geschrieben; nicht geschrieben: C4HN8VTE "
                                 "(Status " + std::to_string(row.status) + ")");
    // A failure dialog names its board.
    for (const std::string& text : view.failures) {
      EXPECT_EQ(text.rfind("Platine C4HN8VTE (COM5): ", 0), 0u) << text;
    }
  }
}

TEST_F(Line, a_refused_line_starts_no_board) {
  apptest::Write(dir_ / "line.scenario", LineScenario(""));
  apptest::Write(dir_ / "Quorix.lcd", BoardConfig(0));
  const std::string scenario = "--simulate=" + (dir_ / "line.scenario").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string err;
  } rows[] = {
      {"one file for two boards",
       {"--converter", "A5XK3RJT", "--converter", "B7QW2MZK", (dir_ / "Quorix.lcd").string()},
       app::kExitUsage,
       "lcdwrite: A5XK3RJT, B7QW2MZK: several boards would be written from one Quorix.lcd"},
      {"a converter that is not attached",
       {"--converter", "A5XK3RJT=" + (dir_ / "A5XK3RJT").string(), "--converter", "Z9Z9Z9Z9"},
       app::kExitNoPort, "lcdwrite: USB-Wandler Z9Z9Z9Z9 nicht angeschlossen!"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {scenario, "--fast", "--no-journal", "--sim-report",
                             (dir_ / "stored.json").string()});
    const app::ParsedCommandLine parsed = app::ParseCommandLine(args);
    ASSERT_TRUE(parsed.options) << parsed.error;
    RecordingView view;
    EXPECT_EQ(Run(*parsed.options, view), row.status) << row.name;
    EXPECT_EQ(err_.rfind(row.err, 0), 0u) << row.name << ": " << err_;
    EXPECT_TRUE(view.rows.empty()) << row.name;
    // No board was touched: none reported what it stored.
    EXPECT_FALSE(fs::exists(dir_ / "stored-A5XK3RJT.json")) << row.name;
  }
}

TEST_F(Line, a_stop_request_goes_to_every_board_and_each_ends_in_order) {
  // On the real clock a board takes most of a minute: the request comes while all are writing.
  RecordingView view;
  app::line::LineHooks hooks;
  bool requested = false;
  size_t started = 0;
  hooks.onRowChanged = [&](size_t, const BoardRow& board, plat::ChildProcess&) {
    if (board.status.empty() || requested) return;
    if (++started < 4) return;
    requested = true;
    EXPECT_TRUE(app::line::LineStop::Instance().Request(app::kExitInterrupted));
  };
  EXPECT_EQ(Run(LineOptions("", /*fast=*/false), view, hooks), app::kExitInterrupted) << err_;
  for (const BoardRow& board : view.rows) {
    EXPECT_EQ(board.exitStatus, app::kExitInterrupted) << board.converter;
  }
  EXPECT_EQ(view.summary.written, 0);
  // Nobody listens once the line has ended.
  EXPECT_FALSE(app::line::LineStop::Instance().Request(app::kExitInterrupted));
}

TEST_F(Line, its_json_lines_are_one_object_each_naming_the_board) {
  std::ostringstream out;
  app::line::JsonLineView view(out);
  EXPECT_EQ(Run(LineOptions("unplug_after_bytes = 12"), view), app::kExitPortError) << err_;
  std::istringstream lines(out.str());
  std::vector<app::line::JsonObject> objects;
  for (std::string line; std::getline(lines, line);) {
    const auto object = app::line::ParseJsonObject(line);
    ASSERT_TRUE(object) << line;
    ASSERT_FALSE(object->members.empty());
    EXPECT_EQ(object->members[0].name, "event") << line;
    objects.push_back(*object);
  }
  ASSERT_FALSE(objects.empty());
  // The line's own result is the last line, the only one without a board.
  const app::line::JsonObject& last = objects.back();
  EXPECT_EQ(last.Text("event"), "result");
  EXPECT_EQ(last.Find("board"), nullptr);
  EXPECT_EQ(last.Integer("status"), app::kExitPortError);
  EXPECT_EQ(last.Integer("boardsWritten"), 3);
  EXPECT_EQ(last.Find("failed")->raw, "[{\"board\":\"C4HN8VTE\",\"status\":4}]");
  // Every other line names its board second; each board has one result, with its wall time.
  std::vector<std::string> results;
  for (size_t i = 0; i + 1 < objects.size(); ++i) {
    const app::line::JsonObject& object = objects[i];
    if (object.Text("event") == "note") continue;
    ASSERT_GE(object.members.size(), 2u);
    EXPECT_EQ(object.members[1].name, "board");
    if (object.Text("event") != "result") continue;
    results.push_back(object.Text("board") + ":" + std::to_string(*object.Integer("status")));
    EXPECT_TRUE(object.Integer("wallMs").has_value());
    // What its process used, for the benchmark: a process that ran took some memory.
    EXPECT_GT(object.Integer("peakMemoryKb").value_or(0), 0);
  }
  std::sort(results.begin(), results.end());
  EXPECT_EQ(results, (std::vector<std::string>{"A5XK3RJT:0", "B7QW2MZK:0", "C4HN8VTE:4",
                                               "D9LP5SXF:0"}));
}

}  // namespace
