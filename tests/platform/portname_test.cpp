#include "platform/portname.h"

#include <gtest/gtest.h>

namespace plat {
namespace {

TEST(PortName, arguments_name_ports_inside_the_device_folder_only) {
  struct Row {
    const char* argument;
    const char* posix;    // device folder "/dev/"
    const char* windows;  // no device folder
  };
  const Row rows[] = {
      {"COM3", "COM3", "COM3"},
      {"\\\\.\\COM3", "COM3", "COM3"},
      {"ttyUSB0", "ttyUSB0", "ttyUSB0"},
      {"/dev/ttyUSB0", "ttyUSB0", ""},
      {"\\\\.\\ttyUSB0", "ttyUSB0", "ttyUSB0"},
      {"/dev/serial/by-id/usb-FT232R_A50285BI-if00-port0",
       "serial/by-id/usb-FT232R_A50285BI-if00-port0", ""},
      {"/dev/../etc/passwd", "", ""},
      {"/tmp/ttyUSB0", "", ""},
      {"../ttyUSB0", "", ""},
      {"serial//x", "", ""},
      {"ttyUSB0/", "", ""},
      {"/dev/", "", ""},
      {"\\\\.\\", "", ""},
      {"\\\\.\\C:\\x", "", ""},
      {"C:\\x", "", ""},
      {"..", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PortNameOfArgument(row.argument, "/dev/"), row.posix) << row.argument;
    EXPECT_EQ(PortNameOfArgument(row.argument, ""), row.windows) << row.argument;
  }
}

TEST(PortName, device_path_and_back) {
  struct Row {
    const char* portName;
    const char* devicePath;
  } rows[] = {
      {"COM3", "\\\\.\\COM3"},
      {"pts/7", "\\\\.\\pts/7"},
      {"\\\\.\\COM1", "\\\\.\\\\\\.\\COM1"},  // the prefix comes off once only
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DevicePathOf(row.portName), row.devicePath) << row.portName;
    EXPECT_EQ(PortNameOf(row.devicePath), row.portName) << row.devicePath;
  }
  // A name without the prefix is already the port's name; "x\\.\COM3" does not start with it.
  for (const char* name : {"COM3", "", "x\\\\.\\COM3", "\\\\.COM3"}) EXPECT_EQ(PortNameOf(name), name);
}

}  // namespace
}  // namespace plat
