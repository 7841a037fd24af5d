// The pauses of the write sequence watch the converter: on a healthy port a pause lasts exactly
// as long as a plain sleep and does nothing the board or the window could see; a converter
// pulled, or the port closed, inside a pause ends it within one slice with the port's error.
#include <optional>
#include <vector>

#include "protocol/link.h"
#include "tests/protocol/protocolfixture.h"

namespace protocol::testing {
namespace {

struct PauseRow {
  const char* name;
  unsigned pauseMs;
  std::optional<int> pullAtMs;  // the converter is pulled this long after the pause began
  bool closedBefore = false;    // the port is closed before the pause (by a line error handler)
};

void PrintTo(const PauseRow& row, std::ostream* os) { *os << row.name; }

class WatchedPause : public ProtocolTest, public ::testing::WithParamInterface<PauseRow> {};

TEST_P(WatchedPause, lasts_its_time_or_ends_within_a_slice_of_the_loss) {
  const PauseRow& row = GetParam();
  Start();
  Device().ClearWireLog();
  if (row.closedBefore) port->SetActive(false);
  const std::int64_t begin = machine.NowNs();
  if (row.pullAtMs) machine.Schedule(begin + *row.pullAtMs * kMs, [this] { Device().Unplug(); });

  bool raised = false;
  try {
    PauseWatchingPort(*window, row.pauseMs);
  } catch (const comport::EComError&) {
    raised = true;
  }
  const std::int64_t took = machine.NowNs() - begin;

  EXPECT_TRUE(window->Calls().empty()) << "a pause shows nothing and processes no messages";
  for (const sim::WireRecord& record : Device().WireLog()) {
    EXPECT_NE(record.direction, sim::Direction::HostToFar) << "a pause sends nothing, moves no line";
  }
  if (!row.pullAtMs && !row.closedBefore) {
    EXPECT_FALSE(raised);
    EXPECT_EQ(took, static_cast<std::int64_t>(row.pauseMs) * kMs);
    return;
  }
  EXPECT_TRUE(raised);
  const std::int64_t lostAt = row.pullAtMs ? *row.pullAtMs * kMs : 0;
  EXPECT_GE(took, lostAt);
  EXPECT_LE(took - lostAt, static_cast<std::int64_t>(kPauseSliceMs) * kMs);
  EXPECT_LE(took, static_cast<std::int64_t>(row.pauseMs) * kMs);
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, WatchedPause,
    ::testing::Values(
        // Healthy: exactly the time asked for, also where it is no multiple of a slice.
        PauseRow{"healthy_30ms", 30, std::nullopt}, PauseRow{"healthy_230ms", 230, std::nullopt},
        PauseRow{"healthy_3s", 3000, std::nullopt},
        // Pulled in the last millisecond of a pause that ends inside a slice (the write's own
        // pauses, pulled anywhere, are tested in whole runs: tests/app/converter_loss_test.cpp).
        PauseRow{"pulled_230ms_at_229ms", 230, 229},
        // A port closed before the pause (a line error's handler closes it) ends it at the
        // first look, as the next port call would.
        PauseRow{"closed_before_3s", 3000, std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace protocol::testing
