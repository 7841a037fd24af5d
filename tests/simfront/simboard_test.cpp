// The scenario's machine and the board on a simulated serial device.
#include "simfront/simboard.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/scenario.h"
#include "platform/sim/machine.h"

namespace simfront {
namespace {

using board::DefaultScenario;
using board::ParseScenario;

constexpr std::int64_t kMs = 1000000;
constexpr char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\"
    "Device Parameters";

class SimBoardTest : public ::testing::Test {
 protected:
  void Build(const std::string& text) {
    std::istringstream in(text);
    board = BuildMachine(ParseScenario(in, "test"), machine);
  }
  std::vector<std::string> DosDevices() {
    std::vector<char> buffer(4096);
    const DWORD n = machine.system().QueryDosDeviceA(nullptr, buffer.data(),
                                                     static_cast<DWORD>(buffer.size()));
    std::vector<std::string> names;
    for (DWORD i = 0; i < n && buffer[i] != '\0'; i += static_cast<DWORD>(names.back().size()) + 1) {
      names.emplace_back(&buffer[i]);
    }
    return names;
  }
  std::vector<std::string> PortMap() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (machine.system().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                       &key) != ERROR_SUCCESS) {
      return ports;
    }
    for (DWORD i = 0;; ++i) {
      char name[128];
      BYTE data[128];
      DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
      if (machine.system().RegEnumValueA(key, i, name, &nameLength, &type, data, &dataLength) !=
          ERROR_SUCCESS) {
        break;
      }
      ports.emplace_back(reinterpret_cast<char*>(data));
    }
    machine.system().RegCloseKey(key);
    return ports;
  }
  // PortName of the default converter; "" when the value is missing, "(no key)" without key.
  std::string PortName() {
    HKEY key = nullptr;
    if (machine.system().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParameters, &key) != ERROR_SUCCESS) {
      return "(no key)";
    }
    BYTE data[64] = {};
    DWORD size = sizeof data;
    const LONG result = machine.system().RegQueryValueExA(key, "PortName", nullptr, data, &size);
    machine.system().RegCloseKey(key);
    return result == ERROR_SUCCESS ? reinterpret_cast<char*>(data) : "";
  }
  HANDLE Open(const char* name) {
    return machine.serial().CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  }
  void Write(HANDLE h, std::uint8_t byte) {
    DWORD n = 0;
    ASSERT_TRUE(machine.serial().WriteFile(h, &byte, 1, &n, nullptr));
  }
  DWORD Queued(HANDLE h, DWORD* errors = nullptr) {
    DWORD e = 0;
    COMSTAT stat{};
    machine.serial().ClearCommError(h, errors ? errors : &e, &stat);
    return stat.cbInQue;
  }

  sim::Machine machine;
  std::unique_ptr<SimulatedBoard> board;
};

TEST_F(SimBoardTest, default_machine_has_the_converter_on_com3) {
  Build("");
  const std::vector<std::string> devices = DosDevices();
  EXPECT_EQ(devices, DefaultScenario().devices);
  EXPECT_EQ(PortMap(), (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(PortName(), "COM3");
}

TEST(SimBoardMachine, registry_keys_follow_the_portname_lines) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"portname.A5XK3RJTA = COM4", "COM4"},
      {"portname.A5XK3RJTA = none", ""},
      {"devices = COM1 ftdi:A5XK3RJTA", "(no key)"},
  };
  for (const auto& [text, expected] : cases) {
    sim::Machine m;
    std::istringstream in(text);
    auto b = BuildMachine(ParseScenario(in, "t"), m);
    HKEY key = nullptr;
    std::string found = "(no key)";
    if (m.system().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParameters, &key) == ERROR_SUCCESS) {
      BYTE data[64] = {};
      DWORD size = sizeof data;
      found = m.system().RegQueryValueExA(key, "PortName", nullptr, data, &size) == ERROR_SUCCESS
                  ? reinterpret_cast<char*>(data)
                  : "";
      m.system().RegCloseKey(key);
    }
    EXPECT_EQ(found, expected) << text;
  }
}

TEST_F(SimBoardTest, busy_port_refuses_and_unknown_port_is_missing) {
  Build("busy = COM3");
  EXPECT_EQ(Open("\\\\.\\COM3"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(machine.kernel().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open("\\\\.\\COM7"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(machine.kernel().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SimBoardTest, board_echoes_and_dsr_follows_dtr_after_its_delay) {
  Build("board.dsr_delay_ms = 5");
  HANDLE h = Open("\\\\.\\COM3");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Write(h, 0xBA);
  machine.RunFor(3 * kMs);  // two frames of 1.04 ms
  std::uint8_t byte = 0;
  DWORD n = 0;
  ASSERT_EQ(Queued(h), 1u);
  ASSERT_TRUE(machine.serial().ReadFile(h, &byte, 1, &n, nullptr));
  EXPECT_EQ(byte, 0xBA);

  // DTR went on at the open (the device's default DCB enables it); lower it first.
  ASSERT_TRUE(machine.serial().EscapeCommFunction(h, CLRDTR));
  DWORD status = 0;
  machine.RunFor(10 * kMs);
  machine.serial().GetCommModemStatus(h, &status);
  EXPECT_EQ(status & MS_DSR_ON, 0u);
  ASSERT_TRUE(machine.serial().EscapeCommFunction(h, SETDTR));
  machine.RunFor(4 * kMs);
  machine.serial().GetCommModemStatus(h, &status);
  EXPECT_EQ(status & MS_DSR_ON, 0u);
  machine.RunFor(2 * kMs);
  machine.serial().GetCommModemStatus(h, &status);
  EXPECT_NE(status & MS_DSR_ON, 0u);
  machine.serial().CloseHandle(h);
}

TEST_F(SimBoardTest, converter_vanishes_after_the_nth_byte) {
  Build("unplug_after_bytes = 2");
  HANDLE h = Open("\\\\.\\COM3");
  Write(h, 0xBA);
  Write(h, 0xBA);
  machine.RunFor(10 * kMs);
  EXPECT_FALSE(board->Device().IsPresent());
  DWORD errors = 0;
  COMSTAT stat{};
  EXPECT_FALSE(machine.serial().ClearCommError(h, &errors, &stat));
  EXPECT_EQ(machine.kernel().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  machine.serial().CloseHandle(h);
  EXPECT_EQ(Open("\\\\.\\COM3"), INVALID_HANDLE_VALUE);
}

TEST(SimBoardMachine, each_boards_fault_is_its_own) {
  sim::Machine m;
  std::istringstream in(
      "ports = COM3 COM4 COM5\nboard.port = COM3\n"
      "[board COM4]\nunplug_after_bytes = 2\n[board COM5]\n");
  std::vector<std::unique_ptr<SimulatedBoard>> more;
  auto first = BuildMachine(ParseScenario(in, "t"), m, &more);
  ASSERT_EQ(more.size(), 2u);
  for (const char* port : {"COM3", "COM4"}) {
    HANDLE h = m.serial().CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << port;
    const std::uint8_t bytes[2] = {0xBA, 0xBA};
    DWORD n = 0;
    m.serial().WriteFile(h, bytes, 2, &n, nullptr);
    m.RunFor(10 * kMs);
    m.serial().CloseHandle(h);
  }
  // COM4's converter went with its second byte; the others stay.
  EXPECT_TRUE(first->Device().IsPresent());
  EXPECT_FALSE(more[0]->Device().IsPresent());
  EXPECT_TRUE(more[1]->Device().IsPresent());
  // The board nobody talked to knows it (a run's report is of the board it talked to).
  EXPECT_TRUE(first->Touched());
  EXPECT_TRUE(more[0]->Touched());
  EXPECT_FALSE(more[1]->Touched());
}

TEST(SimBoardMachine, line_errors_reach_the_host) {
  const std::vector<std::pair<std::string, DWORD>> cases{
      {"frame", CE_FRAME}, {"overrun", CE_OVERRUN}, {"parity", CE_RXPARITY}, {"break", CE_BREAK}};
  for (const auto& [name, flag] : cases) {
    sim::Machine m;
    std::istringstream in("line_error_after_bytes = 1 " + name);
    auto b = BuildMachine(ParseScenario(in, "t"), m);
    HANDLE h = m.serial().CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
    std::uint8_t byte = 0xBA;
    DWORD n = 0;
    m.serial().WriteFile(h, &byte, 1, &n, nullptr);
    m.RunFor(5 * kMs);
    DWORD errors = 0;
    COMSTAT stat{};
    m.serial().ClearCommError(h, &errors, &stat);
    EXPECT_EQ(errors & flag, flag) << name;
    m.serial().CloseHandle(h);
  }
}

TEST_F(SimBoardTest, calls_scheduled_when_the_board_goes_are_dropped) {
  Build("");
  HANDLE h = Open("\\\\.\\COM3");
  Write(h, 0xA5);
  Write(h, 0xA3);  // storing for 300 ms, then 0xAF
  machine.RunFor(5 * kMs);
  board.reset();
  machine.RunFor(1000 * kMs);
  EXPECT_EQ(Queued(h), 2u);  // the two echoes, no confirmation
  machine.serial().CloseHandle(h);
}

}  // namespace
}  // namespace simfront
