// The command line a Windows child is started with: every argument reaches it whole. Exact texts
// here; the round trip through the system's own splitter runs under Wine
// (tests/platform/win32/childprocess_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/childprocess.h"

namespace plat {
namespace {

TEST(WindowsCommandLine, each_argument_quoted_where_the_runtime_would_split_or_escape_it) {
  struct Row {
    std::vector<std::string> arguments;
    const char* line;  // after the program's quoted name and a blank
  };
  const Row rows[] = {
      {{"--console", "--json"}, "--console --json"},
      {{""}, "\"\""},
      {{"a b"}, "\"a b\""},
      {{"tab\there"}, "\"tab\there\""},
      {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
      // Backslashes stay as they are unless a quote follows them.
      {{"C:\\Platinen\\A5XK3RJT"}, "C:\\Platinen\\A5XK3RJT"},
      {{"C:\\Program Files\\"}, "\"C:\\Program Files\\\\\""},
      {{"a\\\\\"b"}, "\"a\\\\\\\\\\\"b\""},
      {{"\\\\server\\share\\Quorix.lcd"}, "\\\\server\\share\\Quorix.lcd"},
      {{"--converter", "A5XK3RJT=C:\\Lauf 7\\"}, "--converter \"A5XK3RJT=C:\\Lauf 7\\\\\""},
      // UTF-8 passes through as it is.
      {{"K\xC3\xBChlraum"}, "K\xC3\xBChlraum"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WindowsCommandLine("C:\\lcdwrite\\lcdwrite.exe", row.arguments),
              std::string("\"C:\\lcdwrite\\lcdwrite.exe\" ") + row.line)
        << row.line;
  }
}

TEST(WindowsCommandLine, the_program_name_is_always_quoted_since_its_rules_differ) {
  EXPECT_EQ(WindowsCommandLine("C:\\Program Files\\lcdwrite\\lcdwrite.exe", {}),
            "\"C:\\Program Files\\lcdwrite\\lcdwrite.exe\"");
  EXPECT_EQ(WindowsCommandLine("lcdwrite.exe", {"x"}), "\"lcdwrite.exe\" x");
}

}  // namespace
}  // namespace plat
