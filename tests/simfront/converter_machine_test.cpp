// The machine built from a scenario's converter keys: the registry and the driver follow them.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "board/scenario.h"
#include "platform/sim/machine.h"
#include "simfront/simboard.h"

namespace simfront {
namespace {

constexpr char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\"
    "Device Parameters";

board::Scenario Parse(const std::string& text) {
  std::istringstream in(text);
  return board::ParseScenario(in, "c.scenario");
}

struct BuiltCase {
  const char* what;
  std::string text;
  std::optional<DWORD> written;  // LatencyTimer set before the board's port is opened
  std::optional<DWORD> registry;  // LatencyTimer as the machine starts
  int inUse;                      // the board's converter after the open
};

void PrintTo(const BuiltCase& c, std::ostream* os) { *os << c.what; }

class ConverterMachine : public ::testing::TestWithParam<BuiltCase> {};

TEST_P(ConverterMachine, registry_and_driver_follow_the_keys) {
  const BuiltCase& c = GetParam();
  sim::Machine machine;
  std::unique_ptr<SimulatedBoard> board = BuildMachine(Parse(c.text), machine);
  EXPECT_EQ(machine.registry().Dword(kParameters, "LatencyTimer"), c.registry);
  if (c.written) machine.registry().SetDword(kParameters, "LatencyTimer", *c.written);
  HANDLE h = machine.serial().CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0,
                                          OPEN_EXISTING, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(board->Device().LatencyMs(), c.inUse);
  machine.serial().CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConverterMachine,
    ::testing::Values(
        BuiltCase{"ideal", "", std::nullopt, std::nullopt, 0},
        BuiltCase{"default_converter", "converter.latency_ms = 16\n", std::nullopt, 16u, 16},
        BuiltCase{"request_honoured", "converter.latency_ms = 16\n", 1u, 16u, 1},
        BuiltCase{"request_ignored",
                  "converter.latency_ms = 16\nconverter.low_latency = ignored\n", 1u, 16u, 16},
        // The board's converter has no key: its driver has nothing to read.
        BuiltCase{"no_key", "converter.latency_ms = 8\ndevices = COM1 COM3\n"
                            "portname.B7QW2MZKA = COM4\n",
                  std::nullopt, std::nullopt, 8}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace simfront
