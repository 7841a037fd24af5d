// The converter keys of a scenario: what they describe, and the machine built from them.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "board/simboard.h"

namespace board {
namespace {

constexpr char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\"
    "Device Parameters";

Scenario Parse(const std::string& text) {
  std::istringstream in(text);
  return ParseScenario(in, "c.scenario");
}

struct KeysCase {
  const char* what;
  std::string text;
  std::optional<int> latencyMs;  // nullopt: no converter
  bool honours;
};

void PrintTo(const KeysCase& c, std::ostream* os) { *os << c.what; }

class ConverterKeys : public ::testing::TestWithParam<KeysCase> {};

TEST_P(ConverterKeys, describe_the_converter) {
  const KeysCase& c = GetParam();
  const Scenario s = Parse(c.text);
  ASSERT_EQ(s.converter.has_value(), c.latencyMs.has_value());
  if (!s.converter) return;
  EXPECT_EQ(s.converter->latencyMs, *c.latencyMs);
  EXPECT_EQ(s.converter->honoursRequest, c.honours);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConverterKeys,
    ::testing::Values(KeysCase{"none", "board.version = 4\n", std::nullopt, true},
                      KeysCase{"latency_only", "converter.latency_ms = 40\n", 40, true},
                      KeysCase{"request_only", "converter.low_latency = ignored\n", 16, false},
                      KeysCase{"both", "converter.low_latency = honoured\n"
                                       "converter.latency_ms = 0xFF\n", 255, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ConverterKeys, bad_values_name_the_file_and_line) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"converter.latency_ms = 0", "c.scenario:1: bad value '0' for converter.latency_ms"},
      {"# c\nconverter.latency_ms = 256", "c.scenario:2: bad value '256' for converter.latency_ms"},
      {"converter.latency_ms = 16ms", "c.scenario:1: bad value '16ms'"},
      {"converter.latency_ms =", "c.scenario:1: bad value '' for converter.latency_ms"},
      {"converter.low_latency = yes",
       "c.scenario:1: bad value 'yes' for converter.low_latency (honoured or ignored)"},
      {"converter.latency = 16", "c.scenario:1: unknown key 'converter.latency'"},
  };
  for (const auto& [text, message] : cases) {
    try {
      Parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
          << text << " -> " << e.what();
    }
  }
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
}  // namespace board
