// Listing devices and ports on the simulated machine, the short device name and the
// configuration dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comport/comport.h"
#include "platform/sim/machine.h"

namespace comport {
namespace {

using Names = std::vector<std::string>;
constexpr const char* kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";

class Enumeration : public ::testing::Test {
 protected:
  // An instance key below Enum with a class and a friendly name (REG_NONE: none) if given.
  void Instance(const std::string& path, const std::string& classGuid, const std::string& name,
                DWORD nameType = REG_SZ) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + path;
    registry().CreateKey(key);
    if (!classGuid.empty()) registry().SetString(key, "ClassGUID", classGuid);
    std::vector<std::uint8_t> text(name.begin(), name.end());
    text.push_back(0);
    if (nameType != REG_NONE) registry().SetValue(key, "FriendlyName", nameType, text);
  }
  sim::Registry& registry() { return machine.registry(); }
  sim::Machine machine;
  TComPort port{nullptr, machine};
  fw::TStringList list;
};

TEST_F(Enumeration, device_list_walk_and_port_prefix) {
  for (const char* name : {"COM1", "LPT1", "com3", "\\\\.\\COM9", "COMX", "Com2"}) {
    machine.AddDosDevice(name, "\\Device\\X");
  }
  fw::TStringList ports;
  port.EnumDevices(list);
  port.EnumComDevices(ports);
  port.EnumComDevices(ports);  // appends again
  EXPECT_EQ(list.Items(), (Names{"COM1", "LPT1", "com3", "\\\\.\\COM9", "COMX", "Com2"}));
  EXPECT_EQ(ports.Items(), (Names{"COM1", "\\\\.\\COM9", "COMX", "COM1", "\\\\.\\COM9", "COMX"}));
  // A list too large for the buffer: the query returns 0 and nothing is appended.
  for (int i = 0; i < 300; ++i)
    machine.AddDosDevice("COM" + std::string(250, 'x') + std::to_string(i), "T");
  port.EnumDevices(list);
  EXPECT_EQ(list.Count(), 6);
}

TEST_F(Enumeration, serial_port_map_text_values_in_registry_order) {
  registry().DeleteKey(kSerialComm);
  port.EnumComDevicesFromRegistry(list);  // no key: nothing, no error
  registry().SetString(kSerialComm, "\\Device\\VCP0", "COM9");
  registry().SetDword(kSerialComm, "\\Device\\Count", 2);
  registry().SetString(kSerialComm, "\\Device\\Serial0", "COM1");
  registry().SetValue(kSerialComm, "\\Device\\Expand", REG_EXPAND_SZ, {'C', 'O', 'M', '4', 0});
  registry().SetString(kSerialComm, "\\Device\\Empty", "");
  registry().SetString(kSerialComm, "\\Device\\Again", "COM9");
  port.EnumComDevicesFromRegistry(list);
  EXPECT_EQ(list.Items(), (Names{"COM9", "COM1", "", "COM9"}));
}

TEST_F(Enumeration, friendly_names_of_the_ports_class_depth_first) {
  Instance("ACPI\\PNP0501\\1", "{4D36E978-E325-11CE-BFC1-08002BE10318}", "Port (COM1)");
  Instance("ACPI\\PNP0400\\1", "{4d36e979-e325-11ce-bfc1-08002be10318}", "Printer (LPT1)");
  Instance("FTDIBUS\\VID_0403+PID_6001+A1A\\0000", kPorts, "USB Serial Port (COM5)");
  Instance("FTDIBUS\\VID_0403+PID_6001+A1A\\0001", kPorts, "", REG_NONE);
  Instance("FTDIBUS\\VID_0403+PID_6001+A1A\\0002", kPorts, "Expanded (COM6)", REG_EXPAND_SZ);
  Instance("FTDIBUS\\VID_0403+PID_6001+A1A\\0003", "", "No class (COM8)");
  Instance("ACPI\\PNP0501\\2", kPorts, "Port (COM2)");
  port.EnumComFriendlyNames(list);
  EXPECT_EQ(list.Items(), (Names{"Port (COM1)", "Port (COM2)", "USB Serial Port (COM5)"}));
  // A class value that is not text fails the call; what was found before stays.
  registry().SetDword("SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\2", "ClassGUID", 7);
  list.Clear();
  EXPECT_THROW(port.EnumComFriendlyNames(list), ERegistryException);
  EXPECT_EQ(list.Items(), Names{"Port (COM1)"});
}

TEST_F(Enumeration, short_name_and_configuration_dialog) {
  for (const auto& [name, shortName] :
       std::vector<std::pair<std::string, std::string>>{{"\\\\.\\COM3", "COM3"},
                                                        {"x\\\\.\\COM3", "x\\\\.\\COM3"},
                                                        {"\\\\.\\\\\\.\\COM1", "\\\\.\\COM1"}}) {
    port.SetDeviceName(name);
    EXPECT_EQ(port.ShortDeviceName(), shortName) << name;
  }
  machine.AddPort("COM1");
  port.SetDeviceName("\\\\.\\COM1");
  port.SetBaudRate(br9600);
  bool confirm = false;
  machine.SimSerial().SetConfigDialog([&](const std::string& device, COMMCONFIG& config) {
    EXPECT_EQ(device, "COM1");
    EXPECT_EQ(config.dcb.BaudRate, 9600u);  // the port's settings over the device's default
    config.dcb.BaudRate = 19200;
    return confirm;
  });
  EXPECT_FALSE(port.ConfigDialog());  // cancelled: nothing changes
  EXPECT_EQ(port.BaudRate(), br9600);
  confirm = true;
  EXPECT_TRUE(port.ConfigDialog());
  EXPECT_EQ(port.GetCustomBaudRate(), 19200);
}

}  // namespace
}  // namespace comport
