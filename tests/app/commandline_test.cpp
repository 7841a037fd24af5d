#include "app/commandline.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, no_arguments_is_the_plain_tool) {
  const auto parsed = app::ParseCommandLine({});
  ASSERT_TRUE(parsed.options);
  EXPECT_FALSE(parsed.options->console);
  EXPECT_FALSE(parsed.options->simulate);
}

TEST(CommandLine, options_and_their_values) {
  const auto parsed = app::ParseCommandLine({"--console", "--simulate=s.txt", "--fast",
                                             "--sim-report", "r.json", "--log=l.txt",
                                             "--port", "COM7"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const app::Options& o = *parsed.options;
  EXPECT_TRUE(o.console);
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.scenario, "s.txt");
  EXPECT_TRUE(o.fast);
  EXPECT_EQ(o.simReport, "r.json");
  EXPECT_EQ(o.logFile, "l.txt");
  EXPECT_EQ(o.port, "COM7");
}

TEST(CommandLine, bad_command_lines_are_refused_with_a_reason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"}, {"--fast"}, {"--sim-report", "x.json"}, {"--port"}, {"--log="},
      {"--simulate="}, {"COM3"},
  };
  for (const auto& args : bad) {
    const auto parsed = app::ParseCommandLine(args);
    EXPECT_FALSE(parsed.options) << args[0];
    EXPECT_FALSE(parsed.error.empty());
  }
}

}  // namespace
