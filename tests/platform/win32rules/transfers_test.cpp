#include "platform/win32rules/transfers.h"

#include <gtest/gtest.h>

namespace plat::win32rules {
namespace {

constexpr DWORD M = kMaxDword;

TEST(ReadTimeouts, table) {
  struct Row {
    COMMTIMEOUTS t;  // interval, read multiplier, read constant, write multiplier, write constant
    DWORD length;
    bool immediate;
    bool returnOnAny;
    DWORD intervalMs;
    std::uint64_t totalMs;
  } rows[] = {
      {{0, 0, 0, 0, 0}, 10, false, false, 0, 0},           // waits for all bytes
      {{M, 0, 0, 0, 0}, 10, true, false, 0, 0},            // returns what is queued
      {{M, M, 500, 0, 0}, 10, false, true, 0, 500},        // first byte, or nothing by 500 ms
      {{M, M, M, 0, 0}, 10, false, false, 0, std::uint64_t{M} * 11},  // constant MAXDWORD: plain sum
      {{M, 0, 200, 0, 0}, 10, false, false, 0, 200},       // interval MAXDWORD alone: no interval
      {{20, 0, 0, 0, 0}, 10, false, false, 20, 0},         // interval only
      {{20, 10, 100, 0, 0}, 5, false, false, 20, 150},     // multiplier per byte plus constant
      {{0, M, M, 0, 0}, M, false, false, 0, 0},            // beyond the longest: none
      {{0, 1000000, 0, 0, 0}, 1000000, false, false, 0, kLongestTimeoutMs},  // the longest
      {{0, 1000000, 1, 0, 0}, 1000000, false, false, 0, 0},  // one past it: none
  };
  for (const Row& row : rows) {
    const TransferTimeouts got = ReadTimeouts(row.t, row.length);
    SCOPED_TRACE(testing::Message() << row.t.ReadIntervalTimeout << "/" << row.t.ReadTotalTimeoutMultiplier
                                    << "/" << row.t.ReadTotalTimeoutConstant << " x" << row.length);
    EXPECT_EQ(got.immediate, row.immediate);
    EXPECT_EQ(got.returnOnAny, row.returnOnAny);
    EXPECT_EQ(got.intervalMs, row.intervalMs);
    EXPECT_EQ(got.totalMs, row.totalMs);
  }
}

TEST(WriteTimeouts, total_is_multiplier_per_byte_plus_constant) {
  EXPECT_EQ(WriteTimeouts({M, M, M, 0, 0}, 100).totalMs, 0u);  // read settings do not count
  EXPECT_EQ(WriteTimeouts({0, 0, 0, 3, 40}, 100).totalMs, 340u);
  EXPECT_EQ(WriteTimeouts({0, 0, 0, M, M}, M).totalMs, 0u);
}

TEST(TimeoutsAccepted, refuses_interval_and_constant_both_maxdword) {
  EXPECT_FALSE(TimeoutsAccepted({M, 0, M, 0, 0}));
  EXPECT_FALSE(TimeoutsAccepted({M, M, M, M, M}));
  EXPECT_TRUE(TimeoutsAccepted({M, M, 100, 0, 0}));
  EXPECT_TRUE(TimeoutsAccepted({0, 0, M, 0, 0}));
}

}  // namespace
}  // namespace plat::win32rules
