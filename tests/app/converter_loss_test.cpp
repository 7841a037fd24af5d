// A converter pulled during one of the write's pauses (the pauses of each reset pulse, and the
// operations' pauses before and after the board's confirmation) ends the run at once, with
// the status and the dialog of a converter pulled anywhere else in the write.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/exitstatus.h"
#include "platform/sim/machine.h"
#include "protocol/boardbytes.h"
#include "simfront/simulation.h"
#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::WholeRun;

// The run ends this soon after the pull, in machine time: a pause looks at the port every
// 50 ms; the rest is the dialog and closing the port.
constexpr std::int64_t kEndsWithinNs = 100 * sim::kNsPerMs;

const std::vector<std::string> kPortError{"Fehler: ComPortError:  COM3 !"};

// What the healthy write's wire shows of its pauses: the instants at which each reset pulse
// raised and lowered DTR, and at which the board's confirmations arrived.
struct HealthyWire {
  std::vector<std::int64_t> raised;
  std::vector<std::int64_t> lowered;
  std::vector<std::int64_t> confirmed;
};

// Where a pull strikes: an instant of the healthy wire plus an offset.
enum class Anchor { kRaised, kLowered, kConfirmed };
struct PullRow {
  std::string name;
  Anchor anchor;
  int index;  // which pulse or confirmation, from 0
  int offsetMs;
};

// Every pause of the write, at its start, middle and end where it is long. A reset pulse:
// DTR raised, 50 ms settle, 200 ms pause, DTR lowered, 50 ms settle, 2 s pause, "warten", 3 s
// pause. Before each pulse lies the previous operation's last pause (1 s after the clearing
// commands' confirmation; 1 s and 200 ms after the identity's; 200 ms after RTS for the first).
// The identity's 2 s of pauses end 300 ms (serial number) or 1 s (device type) before their
// confirmation is looked for; the board confirms after that storing time.
std::vector<PullRow> Rows() {
  std::vector<PullRow> rows;
  for (int pulse = 0; pulse < 5; ++pulse) {
    const std::string p = "pulse" + std::to_string(pulse) + "_";
    rows.push_back({p + "before_it", Anchor::kRaised, pulse, -100});
    if (pulse > 0) rows.push_back({p + "operation_end_pause", Anchor::kRaised, pulse, -500});
    rows.push_back({p + "between_raise_and_lower", Anchor::kRaised, pulse, 150});
    rows.push_back({p + "2s_start", Anchor::kLowered, pulse, 51});
    rows.push_back({p + "2s_middle", Anchor::kLowered, pulse, 1050});
    rows.push_back({p + "2s_end", Anchor::kLowered, pulse, 2049});
    rows.push_back({p + "3s_start", Anchor::kLowered, pulse, 2051});
    rows.push_back({p + "3s_middle", Anchor::kLowered, pulse, 3550});
    rows.push_back({p + "3s_end", Anchor::kLowered, pulse, 5049});
  }
  rows.push_back({"serial_before_confirmation", Anchor::kConfirmed, 2, -100});
  rows.push_back({"device_type_before_confirmation", Anchor::kConfirmed, 3, -100});
  return rows;
}

class ConverterLoss : public WholeRun {
 protected:
  // The healthy write, its wire read at its end.
  HealthyWire Healthy() {
    HealthyWire wire;
    app::RunHooks hooks;
    hooks.onEnd = [&wire](app::SimulatedTarget* target) {
      for (const sim::WireRecord& r : simfront::MachineOf(target)->Device("COM3")->WireLog()) {
        if (r.kind == sim::WireRecord::Kind::Line && r.line == sim::Line::DTR) {
          // Opening the port raises and lowers DTR at one instant: no pulse.
          if (r.on) {
            wire.raised.push_back(r.endNs);
          } else if (!wire.raised.empty() && wire.raised.back() == r.endNs) {
            wire.raised.pop_back();
          } else {
            wire.lowered.push_back(r.endNs);
          }
        } else if (r.kind == sim::WireRecord::Kind::Byte &&
                   r.direction == sim::Direction::FarToHost && r.byte == protocol::kConfirm) {
          wire.confirmed.push_back(r.endNs);
        }
      }
    };
    const Outcome o = Run("", apptest::SampleConfig(), false, {}, hooks);
    EXPECT_EQ(o.status, app::kExitWritten);
    return wire;
  }
};

TEST_F(ConverterLoss, pulled_in_a_pause_the_run_ends_at_once_as_after_any_pull) {
  const HealthyWire wire = Healthy();
  ASSERT_EQ(wire.raised.size(), 5u);
  ASSERT_EQ(wire.lowered.size(), 5u);
  ASSERT_EQ(wire.confirmed.size(), 5u);
  for (const PullRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    const std::vector<std::int64_t>& anchors = row.anchor == Anchor::kRaised    ? wire.raised
                                               : row.anchor == Anchor::kLowered ? wire.lowered
                                                                                : wire.confirmed;
    const std::int64_t pullNs = anchors[row.index] + row.offsetMs * sim::kNsPerMs;
    std::int64_t endNs = 0;
    app::RunHooks hooks;
    hooks.onStart = [pullNs](app::SimulatedTarget* target, app::TMainForm&) {
      sim::Machine* machine = simfront::MachineOf(target);
      machine->Schedule(pullNs, [machine] { machine->Device("COM3")->Unplug(); });
    };
    hooks.onEnd = [&endNs](app::SimulatedTarget* target) {
      endNs = simfront::MachineOf(target)->NowNs();
    };
    const Outcome o = Run("", apptest::SampleConfig(), false, {}, hooks);
    EXPECT_EQ(o.status, app::kExitPortError);
    EXPECT_EQ(o.Texts(), kPortError);
    EXPECT_GE(endNs, pullNs);
    EXPECT_LE(endNs - pullNs, kEndsWithinNs) << "ended " << (endNs - pullNs) / sim::kNsPerMs
                                             << " ms after the pull";
  }
}

}  // namespace
