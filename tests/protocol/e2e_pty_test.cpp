// End to end on a real pty: tools/boardsim plays the board on the pty's master side, and the
// five operations run through TComPort over the Linux serial backend, with the modem-line shim
// preloaded so that DTR and DSR work on the pty. The test program runs itself again with
// LD_PRELOAD set and only the PreloadedHost tests selected; those skip in a run without it.
// Real time: about ten seconds, most of it the operations' own fixed pauses.
//
// Built where boardsim is (Linux): the build defines LCDWRITE_BOARDSIM_PATH there.
#ifdef LCDWRITE_BOARDSIM_PATH

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "board/report.h"
#include "protocol/link.h"
#include "tests/protocol/protocolfixture.h"
#include "tests/support/boardsim_process.h"
#include "tools/ptymodem/modemstate.h"

namespace protocol::testing {
namespace {

using testsupport::ReadFile;
using testsupport::TempFile;

constexpr const char* kSlaveEnv = "LCDWRITE_E2E_SLAVE";

TEST(BoardSimulatorOnPty, five_operations_through_the_linux_backend_with_the_shim) {
  if (getenv(kSlaveEnv)) GTEST_SKIP() << "this is the preloaded run";
  const std::string shim = LCDWRITE_MODEMSHIM_PATH;
  ASSERT_EQ(access(shim.c_str(), R_OK), 0) << shim;
  const std::string scenario = TempFile(
      "/tmp/lcdwrite-e2e-scenario-XXXXXX",
      "board.store_ms.operating_time = 20\nboard.store_ms.error_memory = 20\n"
      "board.store_ms.serial = 20\nboard.store_ms.device_type = 20\n"
      "board.store_ms.configuration = 20\n");
  const std::string state = TempFile("/tmp/lcdwrite-e2e-modem-XXXXXX");
  const std::string report = TempFile("/tmp/lcdwrite-e2e-report-XXXXXX");
  const std::string results = TempFile("/tmp/lcdwrite-e2e-results-XXXXXX");
  ASSERT_FALSE(scenario.empty() || state.empty() || report.empty() || results.empty());

  testsupport::BoardSimProcess sim;
  ASSERT_TRUE(sim.Start(LCDWRITE_BOARDSIM_PATH, {"--scenario", scenario, "--state", state,
                                                 "--report", report, "--timeout", "120"}));
  ASSERT_EQ(sim.slave.rfind("/dev/pts/", 0), 0u) << "boardsim printed '" << sim.slave << "'";

  const int hostStatus = testsupport::RunSelfPreloaded(
      shim,
      {std::string(ptymodem::kModemStateEnv) + "=" + state,
       std::string(kSlaveEnv) + "=" + sim.slave},
      "PreloadedHost.*", 90000, {"--gtest_output=json:" + results});
  const int simStatus = sim.Stop();

  const std::string json = ReadFile(results);
  const std::string stored = ReadFile(report);
  for (const std::string& f : {scenario, state, report, results}) unlink(f.c_str());

  EXPECT_TRUE(WIFEXITED(hostStatus) && WEXITSTATUS(hostStatus) == 0) << "status " << hostStatus;
  EXPECT_NE(json.find("\"result\": \"COMPLETED\""), std::string::npos) << "no test ran";
  EXPECT_EQ(json.find("\"result\": \"SKIPPED\""), std::string::npos) << json;
  EXPECT_TRUE(WIFEXITED(simStatus) && WEXITSTATUS(simStatus) == 0) << "status " << simStatus;

  // What the board stored: the five operations in order and the record's data.
  ConfigRecord record;
  board::Memory expected;
  expected.completed = {board::Operation::kOperatingTime, board::Operation::kErrorMemory,
                        board::Operation::kSerial, board::Operation::kDeviceType,
                        board::Operation::kConfiguration};
  expected.serial = std::array<std::uint8_t, 7>{'1', '2', '3', '4', '5', '6', '7'};
  expected.deviceType = -1;
  expected.parameters.emplace(std::begin(record.parameters), std::end(record.parameters));
  EXPECT_EQ(stored, board::ReportJson(expected));
}

// The host's side, in the preloaded run: the tool's port settings and the five operations,
// each after the reset handshake.
TEST(PreloadedHost, runs_the_five_operations) {
  const char* slave = getenv(kSlaveEnv);
  if (!slave) GTEST_SKIP() << "runs with the shim preloaded only";
  plat::Platform& native = plat::NativePlatform();
  plat::SetCurrentPlatform(nullptr);
  fw::TApplication app(native);
  fw::TApplication::SetExitHook([](int status) { throw fw::ProcessEnded{status}; });
  comport::TComPort port(nullptr, native);
  port.SetDeviceName("\\\\.\\" + std::string(slave).substr(5));
  port.SetBaudRate(comport::br9600);
  port.SetDataBits(comport::db8);
  port.SetParity(comport::paNone);
  port.SetStopBits(comport::sb1);
  port.FlowControl().SetDTRControl(comport::dcDisable);
  port.FlowControl().SetRTSControl(comport::rcDisable);
  port.FlowControl().SetXOnXOffControl(comport::xcDisable);
  port.BufferSizes().SetInput(64000);
  port.SetActive(true);
  RecordingWindow window(port, app);
  ConfigRecord record;
  record.loaded = 1;
  std::snprintf(record.serialPart1, sizeof record.serialPart1, "1234");
  std::snprintf(record.serialPart2, sizeof record.serialPart2, "567");

  int ended = -1;
  try {
    port.ClearRTS();
    const std::vector<void (*)(BoardWindow&, const ConfigRecord&)> operations{
        [](BoardWindow& w, const ConfigRecord&) { ClearOperatingTime(w); },
        [](BoardWindow& w, const ConfigRecord&) { ClearErrorMemory(w); },
        [](BoardWindow& w, const ConfigRecord& r) { ProgramSerialNumber(w, r); },
        [](BoardWindow& w, const ConfigRecord& r) { ProgramDeviceType(w, r); },
        [](BoardWindow& w, const ConfigRecord& r) { SendConfiguration(w, r); },
    };
    for (const auto& operation : operations) {
      ResetOn(window);
      ResetOff(window);
      operation(window, record);
    }
  } catch (const fw::ProcessEnded& e) {
    ended = e.status;
  }
  fw::TApplication::SetExitHook(nullptr);
  EXPECT_EQ(ended, -1);
  for (const WindowCall& c : window.Of(WindowCall::Kind::Error)) {
    ADD_FAILURE() << "error dialog: " << fw::Cp1252ToUtf8(c.text);
  }
  EXPECT_EQ(window.Statuses().back(), "Programmierung beendet");
  EXPECT_EQ(window.Progress().back(), 100);
  port.SetActive(false);
}

}  // namespace
}  // namespace protocol::testing

#endif  // LCDWRITE_BOARDSIM_PATH
