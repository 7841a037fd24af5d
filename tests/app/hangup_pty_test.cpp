// The far end hangs up while the tool writes, on the real Linux backend: tools/boardsim plays
// the board on a pty and closes it at a chosen moment (as when the converter is pulled), and
// a whole run of the tool in this process (the modem-line shim preloaded) must end with the
// port error's status soon after, with no thread of it left. Real time: the tool's own pauses
// make a run last up to about 45 s.
//
// Built where boardsim is (Linux): the build defines LCDWRITE_BOARDSIM_PATH there.
#ifdef LCDWRITE_BOARDSIM_PATH

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/run.h"
#include "platform/platform.h"
#include "app/exitstatus.h"
#include "tests/support/boardsim_process.h"
#include "tests/support/process_threads.h"
#include "ui/recording/recording_frontend.h"
#include "tools/ptymodem/modemstate.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kSlaveEnv = "LCDWRITE_HANGUP_SLAVE";
constexpr const char* kDirEnv = "LCDWRITE_HANGUP_DIR";
constexpr const char* kResultEnv = "LCDWRITE_HANGUP_RESULT";
// The bound the tool promises; the figures measured are a few tens of milliseconds.
constexpr double kEndWithinSeconds = 2;

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct HangUpCase {
  const char* name;
  const char* when;  // boardsim's --hangup
};

void PrintTo(const HangUpCase& c, std::ostream* os) { *os << c.name; }

// One whole run against boardsim hanging up at `when`.
struct Attempt {
  int hostStatus = -1;   // the preloaded run's wait status
  std::string result;    // its result file: status, end, threads before and after, dialogs
  std::string farEnd;    // boardsim's output
};

Attempt RunOnce(const char* when) {
  Attempt a;
  const std::string state = testsupport::TempFile("/tmp/lcdwrite-hangup-modem-XXXXXX");
  const std::string result = testsupport::TempFile("/tmp/lcdwrite-hangup-result-XXXXXX");
  char dirPattern[] = "/tmp/lcdwrite-hangup-XXXXXX";
  if (mkdtemp(dirPattern) == nullptr) return a;
  const fs::path dir = dirPattern;
  // Single digits: 240 bytes of parameters, so that fewer echoes come before the hang-up.
  std::string config = "4\n";
  for (int i = 0; i < 120; ++i) config += std::to_string(i % 10) + "\n";
  std::ofstream(dir / "Quorix.lcd", std::ios::binary) << config << "1234\n567\n3\n";
  {
    testsupport::BoardSimProcess sim;
    if (sim.Start(LCDWRITE_BOARDSIM_PATH,
                  {"--state", state, "--timeout", "120", "--hangup", when})) {
      a.hostStatus = testsupport::RunSelfPreloaded(
          LCDWRITE_MODEMSHIM_PATH,
          {std::string(ptymodem::kModemStateEnv) + "=" + state,
           std::string(kSlaveEnv) + "=" + sim.slave, std::string(kDirEnv) + "=" + dir.native(),
           std::string(kResultEnv) + "=" + result},
          "HangUpHost.*", 120000);
      sim.Stop();
      a.farEnd = testsupport::ReadFile(sim.output);
    }
  }
  a.result = testsupport::ReadFile(result);
  fs::remove_all(dir);
  unlink(state.c_str());
  unlink(result.c_str());
  return a;
}

class FarEndHangsUp : public ::testing::TestWithParam<HangUpCase> {};

TEST_P(FarEndHangsUp, the_run_ends_with_the_port_error_status) {
  if (getenv(kSlaveEnv)) GTEST_SKIP() << "this is the preloaded run";
  // The protocol runs in real time: on a machine too busy to answer an echo within the tool's
  // poll limit, a run can fail before it reaches the hang-up. Such a run shows nothing about
  // the hang-up, so it is made again (at most three times in all).
  Attempt a;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    a = RunOnce(GetParam().when);
    if (a.farEnd.find("hung up at ") != std::string::npos ||
        a.result.rfind(std::to_string(app::kExitBoardFailure) + " ", 0) != 0) {
      break;
    }
    std::printf("attempt %d ended before the hang-up (the machine was too busy): %s\n", attempt,
                a.result.c_str());
  }
  ASSERT_TRUE(WIFEXITED(a.hostStatus) && WEXITSTATUS(a.hostStatus) == 0)
      << "host run, wait status " << a.hostStatus;
  std::istringstream outcome(a.result);
  int status = -1, threadsBefore = -1, threadsAfter = -1;
  long long endedNs = 0;
  ASSERT_TRUE(outcome >> status >> endedNs >> threadsBefore >> threadsAfter) << "no result";
  const auto at = a.farEnd.find("hung up at ");
  ASSERT_NE(at, std::string::npos) << "the far end never hung up; the run: " << a.result;
  const double seconds = (endedNs - std::stoll(a.farEnd.substr(at + 11))) / 1e9;
  std::printf("%s: status %d, the run ended %.3f s after the hang-up\n", GetParam().name, status,
              seconds);
  EXPECT_EQ(status, app::kExitPortError) << a.result;
  EXPECT_GT(seconds, 0);
  EXPECT_LT(seconds, kEndWithinSeconds);
  EXPECT_EQ(threadsAfter, threadsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, FarEndHangsUp,
    ::testing::Values(
        // The host raises DTR for the second reset and waits for DSR to follow.
        HangUpCase{"during_the_reset", "dtr:2"},
        // Halfway through the 120 parameters (the configuration's data starts with byte 24).
        HangUpCase{"in_the_middle_of_the_configuration", "byte:143"},
        // The error memory is cleared after its start characters: the host polls two seconds
        // for the confirmation.
        HangUpCase{"during_a_confirmation_wait", "byte:6+1000"}),
    [](const auto& info) { return std::string(info.param.name); });

// The tool's side, in the preloaded run: a whole run on the native platform with --port.
TEST(HangUpHost, runs_the_tool) {
  const char* slave = getenv(kSlaveEnv);
  if (!slave) GTEST_SKIP() << "runs with the shim preloaded only";
  fs::current_path(getenv(kDirEnv));
  const int threadsBefore = testsupport::ProcessThreads();
  app::Options options;
  options.port = std::string(slave).substr(5);  // "pts/N"
  ui::RecordingFrontEnd frontEnd(false);
  std::ostringstream out, err;
  const int status = app::RunTool(options, frontEnd, out, err, {});
  const std::int64_t ended = SteadyNs();
  // The event thread ends on its own once the port is closed; give it the time to leave (and
  // the system the moment it takes to drop a joined thread from its list).
  plat::NativePlatform().kernel().Adopted().JoinAll(std::chrono::seconds(5));
  const int threadsAfter = testsupport::ProcessThreadsAtMost(threadsBefore);
  std::ofstream result(getenv(kResultEnv));
  result << status << " " << ended << " " << threadsBefore << " " << threadsAfter << "\n";
  for (const auto& d : frontEnd.dialogs) result << d.caption << ": " << d.text << "\n";
}

}  // namespace

#endif  // LCDWRITE_BOARDSIM_PATH
