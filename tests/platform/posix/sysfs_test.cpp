// What the fake sysfs trees must give through the system view: the port map, the MS-DOS device
// names, the converters' PortName values and the ports-class instances with their friendly
// names.
#include <gtest/gtest.h>

#include <map>

#include "platform/posix/sysfs_ports.h"
#include "system_testing.h"

namespace plat::posix {
namespace {

using testing::TreePath;

constexpr const char* kFtdiKey = "System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+%s\\0000\\Device Parameters";

std::string FtdiKey(const std::string& instanceId) {
  char path[200];
  std::snprintf(path, sizeof path, kFtdiKey, instanceId.c_str());
  return path;
}

std::string FtdiName(const std::string& device) {
  return "FTDIBUS#" + device + "#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}";
}

struct TreeCase {
  std::string tree;
  std::vector<std::string> portMap;
  std::vector<std::string> dosDevices;
  std::map<std::string, std::string> portNames;  // registry key path -> PortName
  std::vector<std::string> instances;            // enumerator\device\instance = FriendlyName
};

class SysfsTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(SysfsTree, gives_port_map_device_names_and_registry) {
  const TreeCase& c = GetParam();
  testing::RecordingKernel kernel;
  System system(kernel, TreePath(c.tree), "/nonexistent-dev");

  EXPECT_EQ(testing::PortMap(system), c.portMap);
  EXPECT_EQ(testing::DosDevices(system), c.dosDevices);
  for (const auto& [path, port] : c.portNames) {
    EXPECT_EQ(testing::StringValue(system, path, "PortName"), port) << path;
  }
  EXPECT_EQ(testing::PortInstances(system), c.instances);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SysfsTree,
    ::testing::Values(
        TreeCase{
            "mixed",
            {"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"},
            {"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1",
             FtdiName("VID_0403+PID_6001+A50285BIA"), FtdiName("VID_0403+PID_6001+FT4KQ7ZDA")},
            {{FtdiKey("A50285BIA"), "ttyUSB0"},
             {FtdiKey("FT4KQ7ZDA"), "ttyUSB1"},
             // The lookup the tool makes keeps at most 9 characters of the instance id.
             {FtdiKey("FT4KQ7ZD"), "<missing>"},
             {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1209&PID_5BF0\\0001\\Device Parameters",
              "ttyACM0"}},
            {"ACPI\\PNP0501\\0 = Communications Port (ttyS0)",
             "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000 = USB Serial Port (ttyUSB0)",
             "FTDIBUS\\VID_0403+PID_6001+FT4KQ7ZDA\\0000 = USB Serial Port (ttyUSB1)",
             "USB\\VID_1209&PID_5BF0\\0001 = USB Serial Device (ttyACM0)"}},
        TreeCase{
            "awkward",
            {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyUSB4", "ttyUSB5", "ttyUSB6",
             "ttyUSB10"},
            {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyUSB4", "ttyUSB5", "ttyUSB6",
             "ttyUSB10", FtdiName("VID_0403+PID_6001+5&977676F0&0&1"),
             FtdiName("VID_0403+PID_6001+A50285BIA"),
             FtdiName("VID_0403+PID_6010+FTDUAL01A"), FtdiName("VID_0403+PID_6010+FTDUAL01B"),
             FtdiName("VID_0403+PID_6001+AB_C_D_1A")},
            {{FtdiKey("A50285BIA"), "ttyUSB1"},
             // Without a serial number: named by its place, port 1 of bus 1's root hub; the
             // id's first 9 characters name no key.
             {FtdiKey("5&977676F0&0&1"), "ttyUSB0"},
             {FtdiKey("5&977676F"), "<missing>"}},
            {"FTDIBUS\\VID_0403+PID_6001+5&977676F0&0&1\\0000 = USB Serial Port (ttyUSB0)",
             "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000 = USB Serial Port (ttyUSB1)",
             "FTDIBUS\\VID_0403+PID_6001+AB_C_D_1A\\0000 = USB Serial Port (ttyUSB5)",
             "FTDIBUS\\VID_0403+PID_6010+FTDUAL01A\\0000 = USB Serial Port (ttyUSB3)",
             "FTDIBUS\\VID_0403+PID_6010+FTDUAL01B\\0000 = USB Serial Port (ttyUSB4)",
             "ROOT\\PORTS\\ttyUSB10 = USB Serial Port (ttyUSB10)",
             "USB\\VID_0403&PID_6001\\A50285BI = USB Serial Port (ttyUSB2)",
             "USB\\VID_0403&PID_6001\\NOIFACE1 = USB Serial Port (ttyUSB6)"}},
        TreeCase{"no-such-tree", {}, {}, {}, {}}),
    [](const auto& info) {
      std::string name = info.param.tree;
      for (char& ch : name) {
        if (ch == '-') ch = '_';
      }
      return name;
    });

TEST(SysfsNames, instance_text_keeps_only_what_a_key_can_carry) {
  struct Row {
    std::string in, out;
  };
  for (const Row& row : {Row{"A50285BI", "A50285BI"}, Row{"a-b_c.d", "a-b_c.d"},
                         Row{"..\\..\\HARDWARE", ".._.._HARDWARE"}, Row{"x/y#z,w", "x_y_z_w"},
                         Row{"sp ace\ttab", "sp_ace_tab"}, Row{"\xC3\xA9", "__"}}) {
    EXPECT_EQ(SanitizeInstanceText(row.in), row.out) << row.in;
  }
}

TEST(SysfsNames, a_device_without_serial_is_named_by_its_hub_and_port) {
  struct Row {
    std::string device, id;
  };
  for (const Row& row : {Row{"1-1", "5&977676F0&0&1"}, Row{"1-4", "5&977676F0&0&4"},
                         Row{"1-1.2", "6&E43FD256&0&2"}, Row{"1-1.2.3", "7&6F6A6D2E&0&3"},
                         Row{"2-1", "5&9A767BA9&0&1"}, Row{"usb1", ""}, Row{"1-", ""},
                         Row{"-1", ""}, Row{"1-1:1.0", ""}}) {
    EXPECT_EQ(UsbLocationInstance(row.device), row.id) << row.device;
  }
}

}  // namespace
}  // namespace plat::posix
