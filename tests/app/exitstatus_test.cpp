// The order of the boards' statuses when several are written at once: the line ends with the
// worst one.
#include "app/exitstatus.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StatusOrder, the_line_ends_with_the_worst_boards_status) {
  const struct {
    const char* name;
    std::vector<int> boards;
    int line;
  } rows[] = {
      {"every board written", {0, 0, 0, 0}, 0},
      {"lost output is still the least failure", {0, 74, 0}, 74},
      {"a missing file before it", {74, 2}, 2},
      {"a converter not found before a missing file", {2, 3}, 3},
      {"a failed board before a board not touched", {3, 1, 2}, 1},
      {"a port error before a failed board", {1, 4, 1}, 4},
      {"a stop before any board's failure", {4, 130, 1}, 130},
      {"interrupted before terminated, hung up, quit", {131, 129, 143, 130}, 130},
      {"terminated before hung up before quit", {131, 129, 143}, 143},
      {"a refused command line before a stop", {130, 64}, 64},
      {"a killed child before a refused command line", {64, 137, 130}, 137},
      {"of two killed children the higher number", {137, 134}, 137},
      {"an internal error before everything", {137, 70, 4}, 70},
  };
  for (const auto& row : rows) {
    int worst = app::kExitWritten;
    for (int status : row.boards) worst = app::WorseStatus(worst, status);
    EXPECT_EQ(worst, row.line) << row.name;
    // Whatever the order the boards ended in.
    int backwards = app::kExitWritten;
    for (auto it = row.boards.rbegin(); it != row.boards.rend(); ++it) {
      backwards = app::WorseStatus(backwards, *it);
    }
    EXPECT_EQ(backwards, row.line) << row.name;
  }
}

}  // namespace
