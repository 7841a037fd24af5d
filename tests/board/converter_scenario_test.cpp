// The converter keys of a scenario: what they describe.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "board/scenario.h"

namespace board {
namespace {

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

}  // namespace
}  // namespace board
