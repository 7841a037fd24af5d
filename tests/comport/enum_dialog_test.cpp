// The system's configuration dialog for the port's settings and for the device's default.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "tests/comport/lines_fake_platform.h"

namespace comport {
namespace {

class ConfigDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetDeviceName("\\\\.\\COM4");
    serial().defaultConfig.dcb.BaudRate = 4800;
    serial().defaultConfig.dcb.ByteSize = 7;
    serial().defaultConfig.dcb.Parity = EVENPARITY;
  }
  fakeplat::Serial& serial() { return platform.serialApi; }
  fakeplat::Platform platform;
  TComPort port{nullptr, platform};
};

TEST_F(ConfigDialogs, shows_the_port_settings_over_the_device_default) {
  port.SetBaudRate(br9600);  // DataBits and Parity stay at their default members
  serial().dialogConfirms = false;
  EXPECT_FALSE(port.ConfigDialog());
  EXPECT_EQ(serial().configSizeIn, 52u);
  EXPECT_EQ(serial().configDwSizeIn, 52u);
  EXPECT_EQ(serial().dialogSaw.dcb.BaudRate, 9600u);
  EXPECT_EQ(serial().dialogSaw.dcb.ByteSize, 7);
  EXPECT_EQ(serial().dialogSaw.dcb.Parity, EVENPARITY);
  EXPECT_EQ(serial().calls,
            (std::vector<std::string>{"GetDefaultCommConfigA COM4", "CommConfigDialogA COM4"}));
  // Cancelled: nothing changed.
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.DataBits(), dbDefault);
}

TEST_F(ConfigDialogs, confirmed_settings_become_the_port_settings_and_reach_an_open_port) {
  serial().dialogConfirms = true;
  serial().dialogResult = serial().defaultConfig.dcb;
  serial().dialogResult.BaudRate = 19200;
  serial().dialogResult.ByteSize = 8;
  serial().dialogResult.Parity = ODDPARITY;

  // Closed: the settings are stored only.
  EXPECT_TRUE(port.ConfigDialog());
  EXPECT_EQ(port.GetCustomBaudRate(), 19200);
  EXPECT_EQ(port.DataBits(), db8);
  EXPECT_EQ(port.Parity(), paOdd);
  EXPECT_EQ(std::count(serial().calls.begin(), serial().calls.end(), "SetCommState"), 0);

  // Open: the device gets them at once.
  port.Open();
  serial().calls.clear();
  serial().dialogResult.BaudRate = 38400;
  EXPECT_TRUE(port.ConfigDialog());
  EXPECT_GE(std::count(serial().calls.begin(), serial().calls.end(), "SetCommState"), 1);
  EXPECT_EQ(serial().deviceDcb.BaudRate, 38400u);
}

TEST_F(ConfigDialogs, a_failing_default_read_raises_and_shows_no_dialog) {
  serial().failError = ERROR_FILE_NOT_FOUND;
  for (bool defaultDialog : {false, true}) {
    serial().failCall = "GetDefaultCommConfigA";
    serial().calls.clear();
    try {
      defaultDialog ? port.DefaultConfigDialog() : port.ConfigDialog();
      ADD_FAILURE() << "no error";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_EQ(serial().calls, std::vector<std::string>{"GetDefaultCommConfigA COM4"});
  }
}

TEST_F(ConfigDialogs, default_dialog_stores_the_new_default_and_leaves_the_port_alone) {
  port.SetBaudRate(br9600);
  serial().defaultConfigSize = 48;
  serial().dialogConfirms = true;
  serial().dialogResult = serial().defaultConfig.dcb;
  serial().dialogResult.BaudRate = 57600;

  EXPECT_TRUE(port.DefaultConfigDialog());
  EXPECT_EQ(serial().dialogSaw.dcb.BaudRate, 4800u);  // the device default, not the port's
  EXPECT_EQ(serial().storedDefault.dcb.BaudRate, 57600u);
  EXPECT_EQ(serial().storedDefaultSize, 48u);
  EXPECT_EQ(port.BaudRate(), br9600);

  serial().dialogConfirms = false;
  serial().calls.clear();
  EXPECT_FALSE(port.DefaultConfigDialog());
  EXPECT_EQ(std::count(serial().calls.begin(), serial().calls.end(),
                       "SetDefaultCommConfigA COM4"),
            0);
}

TEST_F(ConfigDialogs, a_failing_store_of_the_default_raises) {
  serial().dialogConfirms = true;
  serial().failCall = "SetDefaultCommConfigA";
  serial().failError = ERROR_ACCESS_DENIED;
  try {
    port.DefaultConfigDialog();
    FAIL() << "no error";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
  }
}

}  // namespace
}  // namespace comport
