// The driver capability queries: which COMMPROP bits become which set members.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "tests/comport/lines_fake_platform.h"

namespace comport {
namespace {

class Capabilities : public ::testing::Test {
 protected:
  void SetUp() override {
    port.Open();
    ASSERT_TRUE(port.Active());
  }
  COMMPROP& driver() { return platform.serialApi.commProp; }
  fakeplat::Platform platform;
  TComPort port{nullptr, platform};
};

TEST_F(Capabilities, max_baud_rate_is_a_single_listed_bit_or_default) {
  struct Row {
    DWORD maxBaud;
    TBaudRate expected;
  };
  const Row rows[] = {
      {BAUD_115200, br115200}, {BAUD_075, br75},          {BAUD_134_5, br134_5},
      {BAUD_56K, br56000},     {BAUD_128K, br128000},     {BAUD_57600, br57600},
      {BAUD_USER, brCustom},   {BAUD_9600 | BAUD_19200, brDefault},
      {0, brDefault},          {0x80000, brDefault},
  };
  for (const Row& row : rows) {
    driver().dwMaxBaud = row.maxBaud;
    EXPECT_EQ(port.GetMaxBaudRate(), row.expected) << std::hex << row.maxBaud;
  }
}

TEST_F(Capabilities, settable_baud_rates_collect_the_listed_bits_only) {
  driver().dwSettableBaud = BAUD_9600 | BAUD_USER;
  EXPECT_EQ(port.GetSettableBaudRates(), (TBaudRates{br9600, brCustom}));

  // Every bit set: exactly the twenty members that have a bit, none of the others.
  driver().dwSettableBaud = 0xFFFFFFFF;
  const TBaudRates all = port.GetSettableBaudRates();
  const TBaudRates expected{br75,    br110,    br134_5,  br150,    br300,   br600,   br1200,
                            br1800,  br2400,   br4800,   br7200,   br9600,  br14400, br19200,
                            br38400, br56000,  br128000, br115200, br57600, brCustom};
  EXPECT_EQ(all, expected);
  for (TBaudRate never : {brDefault, br50, br2000, br3600, br10400, br15625, br28800, br256000}) {
    EXPECT_FALSE(all.Contains(never)) << int{never};
  }
}

TEST_F(Capabilities, data_bits_stop_bits_and_parity) {
  driver().wSettableData = 0x000F;
  EXPECT_EQ(port.GetSettableDataBits(), (TSettableDataBits{db5, db6, db7, db8}));
  driver().wSettableData = 0xFFFF;
  EXPECT_EQ(port.GetSettableDataBits(), (TSettableDataBits{db5, db6, db7, db8, db16, db16x}));

  // Stop bits and parity share one word: low byte stop bits, high byte parity.
  struct Row {
    WORD word;
    TSettableStopBits stop;
    TSettableParity parity;
  };
  const Row rows[] = {
      {STOPBITS_10 | PARITY_NONE, {sb1}, {paNone}},
      {STOPBITS_15 | PARITY_ODD | PARITY_SPACE, {sb1_5}, {paOdd, paSpace}},
      {STOPBITS_20 | PARITY_EVEN | PARITY_MARK, {sb2}, {paEven, paMark}},
      {0xFFFF, {sb1, sb1_5, sb2}, {paNone, paOdd, paEven, paMark, paSpace}},
      {0x00F8, {}, {}},
  };
  for (const Row& row : rows) {
    driver().wSettableStopParity = row.word;
    EXPECT_EQ(port.GetSettableStopBits(), row.stop) << std::hex << row.word;
    EXPECT_EQ(port.GetSettableParity(), row.parity) << std::hex << row.word;
  }
}

TEST_F(Capabilities, settable_parameters_follow_the_bit_names_not_the_member_order) {
  struct Row {
    DWORD bits;
    TSettableParameters expected;
  };
  const Row rows[] = {
      {SP_BAUD, {spBaudRate}},
      {SP_PARITY_CHECK, {spParityCheck}},
      {SP_PARITY | SP_DATABITS | SP_STOPBITS, {spParity, spDataBits, spStopBits}},
      {SP_HANDSHAKING | SP_RLSD, {spHandShaking, spRLSD}},
      {0xFF80, {}},
  };
  for (const Row& row : rows) {
    driver().dwSettableParams = row.bits;
    EXPECT_EQ(port.GetSettableParameters(), row.expected) << std::hex << row.bits;
  }
}

TEST_F(Capabilities, provider_capabilities) {
  struct Row {
    DWORD bits;
    TCapabilities expected;
  };
  const Row rows[] = {
      {PCF_DTRDSR | PCF_16BITMODE, {caDtrDsr, ca16BitMode}},
      {PCF_SETXCHAR | PCF_INTTIMEOUTS, {caSettableXChar, caIntervalTimeouts}},
      {0x03FF,
       {caDtrDsr, caRtsCts, caRLSD, caParityCheck, caXOnXOff, caSettableXChar, caTotalTimeouts,
        caIntervalTimeouts, caSpecialChars, ca16BitMode}},
      {0xFC00, {}},
  };
  for (const Row& row : rows) {
    driver().dwProvCapabilities = row.bits;
    EXPECT_EQ(port.GetCapabilities(), row.expected) << std::hex << row.bits;
  }
}

TEST_F(Capabilities, the_record_is_zeroed_before_the_driver_fills_it) {
  COMMPROP record;
  std::memset(&record, 0xAB, sizeof record);
  driver().dwMaxTxQueue = 4096;
  port.GetCommProp(record);
  EXPECT_TRUE(platform.serialApi.propertiesZeroOnEntry);
  EXPECT_EQ(record.dwMaxTxQueue, 4096u);
}

TEST_F(Capabilities, a_driver_failure_raises_with_its_code) {
  platform.serialApi.failCall = "GetCommProperties";
  platform.serialApi.failError = ERROR_INVALID_HANDLE;
  try {
    port.GetCapabilities();
    FAIL() << "no error";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<std::int32_t>(ERROR_INVALID_HANDLE));
  }
}

TEST(CapabilitiesClosed, every_query_needs_an_open_port) {
  fakeplat::Platform platform;
  TComPort port(nullptr, platform);
  const std::vector<std::function<void()>> queries = {
      [&] { port.GetMaxBaudRate(); },        [&] { port.GetSettableParameters(); },
      [&] { port.GetSettableBaudRates(); },  [&] { port.GetSettableStopBits(); },
      [&] { port.GetSettableParity(); },     [&] { port.GetSettableDataBits(); },
      [&] { port.GetCapabilities(); },
  };
  for (const auto& query : queries) {
    try {
      query();
      ADD_FAILURE() << "no error";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), 0);
      EXPECT_EQ(e.Message(), texts::kClosedPort);
    }
  }
  EXPECT_TRUE(platform.serialApi.calls.empty());
}

}  // namespace
}  // namespace comport
