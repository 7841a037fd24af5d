// The Windows command line a child is started with: the runtime of the child must split it
// back into exactly the arguments given.
#include "platform/childprocess.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsCommandLine, each_argument_comes_back_as_given) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string line;
  } rows[] = {
      {"plain words", {"--console", "--converter", "A5XK3RJT"},
       "\"C:\\lcdwrite.exe\" --console --converter A5XK3RJT"},
      {"a blank", {"D:\\Platinen\\Linie 1"}, "\"C:\\lcdwrite.exe\" \"D:\\Platinen\\Linie 1\""},
      {"empty", {""}, "\"C:\\lcdwrite.exe\" \"\""},
      {"a quote", {"a\"b"}, "\"C:\\lcdwrite.exe\" \"a\\\"b\""},
      {"backslashes before a quote doubled", {"a\\\"b c"},
       "\"C:\\lcdwrite.exe\" \"a\\\\\\\"b c\""},
      {"trailing backslashes before the closing quote doubled", {"D:\\Linie 1\\"},
       "\"C:\\lcdwrite.exe\" \"D:\\Linie 1\\\\\""},
      {"backslashes elsewhere kept", {"D:\\a\\b"}, "\"C:\\lcdwrite.exe\" D:\\a\\b"},
      {"a tab", {"a\tb"}, "\"C:\\lcdwrite.exe\" \"a\tb\""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(plat::WindowsCommandLine("C:\\lcdwrite.exe", row.args), row.line) << row.name;
  }
}

}  // namespace
