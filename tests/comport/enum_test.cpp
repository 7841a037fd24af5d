// Listing devices and ports: the MS-DOS device list walk, the serial-port map and the walk of
// the device tree for the ports class; and the short device name.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "tests/comport/lines_fake_platform.h"

namespace comport {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

class Enumeration : public ::testing::Test {
 protected:
  fakeplat::System& system() { return platform.systemApi; }
  fakeplat::Platform platform;
  TComPort port{nullptr, platform};
  fw::TStringList list;
};

struct DosCase {
  const char* name;
  std::string bytes;  // as the system stores it, NULs included
  Names devices;      // what EnumDevices appends
  Names comDevices;   // what EnumComDevices appends
};

TEST_F(Enumeration, walks_the_device_list) {
  const DosCase cases[] = {
      {"port then printer", "COM1\0LPT1\0\0"s, {"COM1", "LPT1"}, {"COM1"}},
      {"converter link name",
       "C:\0FTDIBUS#VID_0403+PID_6001+A1B2C3A#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}\0"
       "COM7\0\0"s,
       {"C:", "FTDIBUS#VID_0403+PID_6001+A1B2C3A#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}",
        "COM7"},
       {"COM7"}},
      {"prefix is case-sensitive and needs nothing after it",
       "com3\0COMX\0\\\\.\\COM9\0COM\0xCOM1\0Com2\0\0"s,
       {"com3", "COMX", "\\\\.\\COM9", "COM", "xCOM1", "Com2"},
       {"COMX", "\\\\.\\COM9", "COM"}},
      {"an unterminated last name is not a name", "COM1\0COM2"s, {"COM1"}, {"COM1"}},
      {"empty list", "\0"s, {}, {}},
  };
  for (const DosCase& c : cases) {
    system().SetDosDevices(c.bytes);
    fw::TStringList devices, comDevices;
    port.EnumDevices(devices);
    port.EnumComDevices(comDevices);
    EXPECT_EQ(devices.Items(), c.devices) << c.name;
    EXPECT_EQ(comDevices.Items(), c.comDevices) << c.name;
  }
  EXPECT_EQ(system().dosQuerySize, 0xFFFFu);
}

TEST_F(Enumeration, only_appends_and_a_failed_query_leaves_the_list_alone) {
  list.Add("kept");
  system().SetDosDevices("COM1\0\0"s);
  port.EnumComDevices(list);
  port.EnumComDevices(list);
  EXPECT_EQ(list.Items(), (Names{"kept", "COM1", "COM1"}));

  system().dosCount = 0;  // the query failed
  port.EnumDevices(list);
  port.EnumComDevices(list);
  EXPECT_EQ(list.Items(), (Names{"kept", "COM1", "COM1"}));
}

TEST_F(Enumeration, serial_port_map_in_registry_order_text_values_only) {
  auto& key = system().AddKey("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  fakeplat::System::AddText(key, "\\Device\\VCP0", "COM9");
  fakeplat::System::AddDword(key, "\\Device\\Count", 2);
  fakeplat::System::AddText(key, "\\Device\\Serial0", "COM1");
  fakeplat::System::AddText(key, "\\Device\\Expand", "COM4", REG_EXPAND_SZ);
  fakeplat::System::AddText(key, "\\Device\\Empty", "");
  fakeplat::System::AddText(key, "\\Device\\Again", "COM9");
  list.Add("kept");
  port.EnumComDevicesFromRegistry(list);
  EXPECT_EQ(list.Items(), (Names{"kept", "COM9", "COM1", "", "COM9"}));
  EXPECT_EQ(system().openKeys, 0);
}

TEST_F(Enumeration, missing_serial_port_map_appends_nothing) {
  list.Add("kept");
  EXPECT_NO_THROW(port.EnumComDevicesFromRegistry(list));
  EXPECT_EQ(list.Items(), Names{"kept"});
}

constexpr const char* kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr const char* kPortsUpper = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";

TEST_F(Enumeration, friendly_names_of_the_ports_class_depth_first) {
  using S = fakeplat::System;
  auto& com1 = system().AddKey(kEnum + "ACPI\\PNP0501\\1"s);
  S::AddText(com1, "ClassGUID", kPortsUpper);
  S::AddText(com1, "FriendlyName", "Communications Port (COM1)");
  auto& printer = system().AddKey(kEnum + "ACPI\\PNP0400\\1"s);
  S::AddText(printer, "ClassGUID", "{4d36e979-e325-11ce-bfc1-08002be10318}");
  S::AddText(printer, "FriendlyName", "Printer Port (LPT1)");
  auto& hidden = system().AddKey(kEnum + "ROOT\\HIDDEN\\0000"s);
  S::AddText(hidden, "ClassGUID", kPorts);
  S::AddText(hidden, "FriendlyName", "Never read");
  system().unopenable.insert("system\\currentcontrolset\\enum\\root\\hidden\\0000");
  auto& usb = system().AddKey(kEnum + "FTDIBUS\\VID_0403+PID_6001+A1A\\0000"s);
  S::AddText(usb, "FriendlyName", "USB Serial Port (COM5)");
  S::AddText(usb, "ClassGUID", kPorts);
  auto& noName = system().AddKey(kEnum + "FTDIBUS\\VID_0403+PID_6001+A1A\\0001"s);
  S::AddText(noName, "ClassGUID", kPorts);
  auto& expandName = system().AddKey(kEnum + "FTDIBUS\\VID_0403+PID_6001+A1A\\0002"s);
  S::AddText(expandName, "ClassGUID", kPorts);
  S::AddText(expandName, "FriendlyName", "Expanded (COM6)", REG_EXPAND_SZ);
  auto& noClass = system().AddKey(kEnum + "FTDIBUS\\VID_0403+PID_6001+A1A\\0003"s);
  S::AddText(noClass, "FriendlyName", "No class (COM8)");
  auto& last = system().AddKey(kEnum + "ACPI\\PNP0501\\2"s);
  S::AddText(last, "ClassGUID", kPorts);
  S::AddText(last, "FriendlyName", "Communications Port (COM2)");

  port.EnumComFriendlyNames(list);
  EXPECT_EQ(list.Items(), (Names{"Communications Port (COM1)", "Communications Port (COM2)",
                                 "USB Serial Port (COM5)"}));
  EXPECT_EQ(system().openKeys, 0);
}

TEST_F(Enumeration, class_guid_that_is_not_text_fails_the_call_and_keeps_what_was_found) {
  using S = fakeplat::System;
  auto& first = system().AddKey(kEnum + "ACPI\\PNP0501\\1"s);
  S::AddText(first, "ClassGUID", kPorts);
  S::AddText(first, "FriendlyName", "Communications Port (COM1)");
  auto& broken = system().AddKey(kEnum + "ACPI\\PNP0501\\2"s);
  S::AddDword(broken, "ClassGUID", 7);
  auto& after = system().AddKey(kEnum + "ACPI\\PNP0501\\3"s);
  S::AddText(after, "ClassGUID", kPorts);
  S::AddText(after, "FriendlyName", "Communications Port (COM3)");

  try {
    port.EnumComFriendlyNames(list);
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_NE(e.Message().find("ClassGUID"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(list.Items(), Names{"Communications Port (COM1)"});
  EXPECT_EQ(system().openKeys, 0);
}

TEST(ShortDeviceName, strips_the_device_prefix_once_at_the_start_only) {
  struct Row {
    const char* deviceName;
    const char* shortName;
  };
  const Row rows[] = {
      {"\\\\.\\COM3", "COM3"},      {"COM1", "COM1"},
      {"\\\\.\\", ""},              {"x\\\\.\\COM3", "x\\\\.\\COM3"},
      {"\\\\?\\COM3", "\\\\?\\COM3"}, {"\\\\.\\\\\\.\\COM1", "\\\\.\\COM1"},
      {"\\\\.", "\\\\."},
  };
  fakeplat::Platform platform;
  TComPort port(nullptr, platform);
  for (const Row& row : rows) {
    port.SetDeviceName(row.deviceName);
    EXPECT_EQ(port.ShortDeviceName(), row.shortName) << row.deviceName;
  }
}

}  // namespace
}  // namespace comport
