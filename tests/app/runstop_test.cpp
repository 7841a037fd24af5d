// A run stopped from outside (Ctrl+C, SIGTERM) on the virtual clock: it ends at the main
// thread's next wait, closes the port, and says how far the board was written.
#include "app/runstop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::WholeRun;

struct StopRow {
  const char* name;
  std::int64_t atMs;  // machine time of the request (the write starts at 3 s)
  int status;         // 130 or 143
  bool window;        // a window, which waits for its user after a port error
  const char* scenario;
  std::string err;    // UTF-8
  const char* board;  // what the report's "completed" holds
};

void PrintTo(const StopRow& row, std::ostream* os) { *os << row.name; }

class StopRequests : public WholeRun, public ::testing::WithParamInterface<StopRow> {};

TEST_P(StopRequests, end_the_run_closing_the_port_and_saying_how_far_it_got) {
  const StopRow& row = GetParam();
  app::RunHooks hooks;
  hooks.onStart = [&row](app::SimulatedTarget* target, app::TMainForm&) {
    sim::Machine* machine = simfront::MachineOf(target);
    const int status = row.status;
    machine->Schedule(row.atMs * 1000000, [status] { app::RunStop::Instance().Request(status); });
  };
  app::Options options;
  options.logFile = "run.log";
  const Outcome o = Run(row.scenario, apptest::SampleConfig(), row.window, options, hooks);
  EXPECT_EQ(o.status, row.status);
  EXPECT_EQ(o.err, row.err);
  EXPECT_NE(o.report.find(std::string("\"completed\": [") + row.board + "]"), std::string::npos)
      << o.report;
  // The port is closed before the end.
  const std::string lastLine = apptest::LastLine(apptest::ReadLog(dir_ / "run.log"));
  EXPECT_NE(lastLine.find(" Close \\\\.\\COM3"), std::string::npos) << lastLine;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StopRequests,
    ::testing::Values(
        StopRow{"interrupted_before_the_write", 2500, 130, false, "",
                "Abgebrochen: Die Platine wurde nicht beschrieben.\n", ""},
        StopRow{"interrupted_in_the_second_operation", 12000, 130, false, "",
                "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                "\"operating_time\""},
        StopRow{"terminated_in_the_configuration", 36000, 143, false, "",
                "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                "\"operating_time\", \"error_memory\", \"serial\", \"device_type\""},
        StopRow{"terminated_while_a_stopped_write_waits_in_its_window", 60000, 143, true,
                "unplug_after_bytes = 20\n",
                "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                "\"operating_time\", \"error_memory\", \"serial\""}),
    [](const ::testing::TestParamInfo<StopRow>& info) { return info.param.name; });

class StopAfterTheRun : public WholeRun {};

// A request that comes after the run has ended (the port closing, a simulated machine shutting
// down) ends the process at once with its status: nothing is left worth waiting for.
TEST_F(StopAfterTheRun, ends_the_process_at_once) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  app::RunHooks hooks;
  hooks.onEnd = [](app::SimulatedTarget*) { app::RunStop::Instance().Request(143); };
  EXPECT_EXIT(
      {
        Run("", apptest::SampleConfig(), false, {}, hooks);
        std::exit(0);
      },
      ::testing::ExitedWithCode(143), "");
}

}  // namespace
