// The enumerations against the simulated machine's device list and registry, with a serial port
// and a USB-serial converter attached.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "platform/sim/machine.h"

namespace comport {
namespace {

using Names = std::vector<std::string>;

TEST(EnumerationOnMachine, finds_the_port_and_the_converter) {
  sim::Machine machine;
  machine.AddPort("COM1");
  machine.AddConverter("A5XK3RJT", "COM3");
  TComPort port(nullptr, machine);

  fw::TStringList devices, comDevices, portMap, friendlyNames;
  port.EnumDevices(devices);
  port.EnumComDevices(comDevices);
  port.EnumComDevicesFromRegistry(portMap);
  port.EnumComFriendlyNames(friendlyNames);

  bool converterListed = false;
  for (const std::string& name : devices.Items()) {
    converterListed = converterListed || name.rfind("FTDIBUS#VID_0403+PID_6001+A5XK3RJTA", 0) == 0;
  }
  EXPECT_TRUE(converterListed);
  EXPECT_EQ(comDevices.Items(), (Names{"COM1", "COM3"}));
  EXPECT_EQ(portMap.Items(), (Names{"COM1", "COM3"}));
  EXPECT_NE(friendlyNames.IndexOf("USB Serial Port (COM3)"), -1);
}

}  // namespace
}  // namespace comport
