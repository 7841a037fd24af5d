// Whole runs of the tool in one process, each in a folder of its own, on the simulated
// machine's virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "simfront/simulation.h"
#include "tests/app/samplefiles.h"
#include "ui/recording/recording_frontend.h"

namespace apptest {

namespace fs = std::filesystem;

// What the board stored according to its report: every operation, or nothing at all.
inline bool WrittenToTheEnd(const std::string& report) {
  return report.find("\"completed\": [\"operating_time\", \"error_memory\", \"serial\", "
                     "\"device_type\", \"configuration\"]") != std::string::npos;
}
inline bool Untouched(const std::string& report) {
  return report.find("\"completed\": []") != std::string::npos;
}

// The last line of a text file, without its line break (LF or CR LF).
inline std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

struct Outcome {
  int status = -1;
  std::vector<ui::RecordedDialog> dialogs;
  std::string report;  // the board's JSON report
  std::vector<std::string> notes;  // the front-end's notes (Windows-1252)
  std::string err;                 // what the run printed on its error stream (UTF-8)
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& d : dialogs) t.push_back(d.caption + ": " + d.text);
    return t;
  }
};

class WholeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = TestFolder("lcdwrite-run-" +
                      std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  // A run on the simulated machine described by scenario, with config as Quorix.lcd (none when
  // empty). The report goes to report.json unless options name another file.
  Outcome Run(const std::string& scenario, const std::string& config = SampleConfig(),
              bool canWaitForUser = false, app::Options options = {},
              const app::RunHooks& hooks = {}) {
    if (!config.empty()) Write(dir_ / "Quorix.lcd", config);
    options.simulate = true;
    options.fast = true;
    if (options.scenario.empty()) {
      Write(dir_ / "test.scenario", scenario);
      options.scenario = (dir_ / "test.scenario").string();
    }
    if (options.simReport.empty()) options.simReport = (dir_ / "report.json").string();
    ui::RecordingFrontEnd frontEnd(canWaitForUser);
    frontEnd.onDialog = onDialog;
    std::ostringstream out;
    std::ostringstream err;
    Outcome o;
    o.status = app::RunTool(options, frontEnd, out, err, simfront::MakeSimulatedRun, hooks);
    o.dialogs = frontEnd.dialogs;
    o.report = Read(options.simReport);
    o.notes = frontEnd.notes;
    o.err = err.str();
    return o;
  }

  std::function<void(const ui::RecordedDialog&)> onDialog;
  fs::path dir_;
  fs::path previous_;
};

}  // namespace apptest
