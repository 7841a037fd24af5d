// The port's line operations and modem status on a scripted platform.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "tests/comport/lines_fake_platform.h"

namespace comport {
namespace {

struct LineOperation {
  const char* name;
  std::function<void(TCustomComPort&)> run;
  const char* deviceCall;
};

void PrintTo(const LineOperation& op, std::ostream* os) { *os << op.name; }

class LineOperationTest : public ::testing::TestWithParam<LineOperation> {
 protected:
  void SetUp() override { port.SetDeviceName("\\\\.\\COM3"); }
  void OpenPort() {
    port.Open();
    ASSERT_TRUE(port.Active());
    platform.serialApi.calls.clear();
  }
  fakeplat::Platform platform;
  TComPort port{nullptr, platform};
};

TEST_P(LineOperationTest, makes_exactly_its_device_call_on_an_open_port) {
  OpenPort();
  GetParam().run(port);
  EXPECT_EQ(platform.serialApi.calls, std::vector<std::string>{GetParam().deviceCall});
}

TEST_P(LineOperationTest, fails_on_a_closed_port_without_touching_the_device) {
  try {
    GetParam().run(port);
    FAIL() << "no error";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Message(), texts::kClosedPort);
  }
  EXPECT_TRUE(platform.serialApi.calls.empty());
}

struct ErrorSeen {
  void OnError(TCustomComPort*, EComError& e, TComAction&) { codes.push_back(e.ErrorCode()); }
  std::vector<std::int32_t> codes;
};

TEST_P(LineOperationTest, a_device_failure_reaches_on_error_then_the_caller) {
  OpenPort();
  ErrorSeen seen;
  port.SetOnError(fw::Method<&ErrorSeen::OnError>(&seen));
  platform.serialApi.failCall = GetParam().deviceCall;
  platform.serialApi.failError = ERROR_GEN_FAILURE;
  try {
    GetParam().run(port);
    FAIL() << "no error";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<std::int32_t>(ERROR_GEN_FAILURE));
    EXPECT_EQ(e.Message(), platform.kernelApi.SysErrorMessage(ERROR_GEN_FAILURE));
  }
  EXPECT_EQ(seen.codes, std::vector<std::int32_t>{ERROR_GEN_FAILURE});
}

INSTANTIATE_TEST_SUITE_P(
    AllLineOperations, LineOperationTest,
    ::testing::Values(
        LineOperation{"SetDTR", [](TCustomComPort& p) { p.SetDTR(); }, "EscapeCommFunction 5"},
        LineOperation{"ClearDTR", [](TCustomComPort& p) { p.ClearDTR(); },
                      "EscapeCommFunction 6"},
        LineOperation{"SetRTS", [](TCustomComPort& p) { p.SetRTS(); }, "EscapeCommFunction 3"},
        LineOperation{"ClearRTS", [](TCustomComPort& p) { p.ClearRTS(); },
                      "EscapeCommFunction 4"},
        LineOperation{"SetXOn", [](TCustomComPort& p) { p.SetXOn(); }, "EscapeCommFunction 2"},
        LineOperation{"SetXOff", [](TCustomComPort& p) { p.SetXOff(); },
                      "EscapeCommFunction 1"},
        LineOperation{"ResetDevice", [](TCustomComPort& p) { p.ResetDevice(); },
                      "EscapeCommFunction 7"},
        LineOperation{"SetBreak", [](TCustomComPort& p) { p.SetBreak(); }, "SetCommBreak"},
        LineOperation{"ClearBreak", [](TCustomComPort& p) { p.ClearBreak(); }, "ClearCommBreak"},
        LineOperation{"TransmitChar", [](TCustomComPort& p) { p.TransmitChar('\xA5'); },
                      "TransmitCommChar 165"},
        LineOperation{"GetModemStatus", [](TCustomComPort& p) { p.GetModemStatus(); },
                      "GetCommModemStatus"}),
    [](const ::testing::TestParamInfo<LineOperation>& info) { return info.param.name; });

TEST(ModemStatus, maps_the_four_status_bits_and_ignores_the_rest) {
  struct Row {
    DWORD word;
    TModemStatus expected;
  };
  const Row rows[] = {
      {MS_CTS_ON | MS_DSR_ON, {msCTS, msDSR}},
      {0x0001, {}},
      {MS_DSR_ON, {msDSR}},
      {MS_RING_ON | 0x0F, {msRing}},
      {MS_RLSD_ON | 0xFF00, {msRLSD}},
      {0xFFFFFFFF, {msCTS, msDSR, msRing, msRLSD}},
  };
  fakeplat::Platform platform;
  TComPort port(nullptr, platform);
  port.Open();
  for (const Row& row : rows) {
    platform.serialApi.modemStatus = row.word;
    EXPECT_EQ(port.ModemStatus().ToBits(), row.expected.ToBits()) << std::hex << row.word;
  }
}

TEST(ModemStatus, is_empty_at_design_time_without_asking_the_device) {
  fakeplat::Platform platform;
  TComPort port(nullptr, platform);
  port.SetDesigning(true);
  platform.serialApi.modemStatus = MS_CTS_ON | MS_DSR_ON;
  EXPECT_TRUE(port.GetModemStatus().Empty());
  EXPECT_TRUE(platform.serialApi.calls.empty());
}

}  // namespace
}  // namespace comport
