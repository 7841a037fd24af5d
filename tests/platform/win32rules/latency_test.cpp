// Lowering the converter's latency timer ahead of an open, on the simulated machine's registry
// through its serial API: what the rule reads, writes and reports.
#include "platform/win32rules/latency.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "platform/sim/machine.h"

namespace {

using Outcome = plat::LatencyStep::Outcome;

constexpr char kParameters[] =
    "System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\Device "
    "Parameters";

struct LatencyCase {
  const char* what;
  void (*setUp)(sim::Registry&);
  Outcome outcome;
  DWORD found;
  std::optional<DWORD> after;  // LatencyTimer afterwards
};

void PrintTo(const LatencyCase& c, std::ostream* os) { *os << c.what; }

class LowerLatencyTimer : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(LowerLatencyTimer, reads_and_lowers_where_it_may) {
  const LatencyCase& c = GetParam();
  sim::Machine machine;
  machine.registry().SetString(kParameters, "PortName", "COM3");
  c.setUp(machine.registry());
  const plat::LatencyStep result = machine.serial().RequestLowLatency(kParameters);
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_EQ(result.found, c.found);
  if (c.outcome == Outcome::kNotWritable) {
    EXPECT_EQ(result.error, static_cast<LONG>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(machine.registry().Dword(kParameters, "LatencyTimer"), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LowerLatencyTimer,
    ::testing::Values(
        LatencyCase{"default_16_is_lowered",
                    [](sim::Registry& r) { r.SetDword(kParameters, "LatencyTimer", 16); },
                    Outcome::kLowered, 16, 1u},
        LatencyCase{"two_is_lowered",
                    [](sim::Registry& r) { r.SetDword(kParameters, "LatencyTimer", 2); },
                    Outcome::kLowered, 2, 1u},
        LatencyCase{"one_stays",
                    [](sim::Registry& r) { r.SetDword(kParameters, "LatencyTimer", 1); },
                    Outcome::kLow, 1, 1u},
        LatencyCase{"zero_stays",
                    [](sim::Registry& r) { r.SetDword(kParameters, "LatencyTimer", 0); },
                    Outcome::kLow, 0, 0u},
        LatencyCase{"not_writable",
                    [](sim::Registry& r) {
                      r.SetDword(kParameters, "LatencyTimer", 16);
                      r.DenyWrites(kParameters);
                    },
                    Outcome::kNotWritable, 16, 16u},
        LatencyCase{"absent", [](sim::Registry&) {}, Outcome::kAbsent, 0, std::nullopt},
        LatencyCase{"not_a_dword",
                    [](sim::Registry& r) { r.SetString(kParameters, "LatencyTimer", "16"); },
                    Outcome::kAbsent, 0, std::nullopt},
        LatencyCase{"no_key",
                    [](sim::Registry& r) { r.DeleteKey(kParameters); },
                    Outcome::kAbsent, 0, std::nullopt}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
