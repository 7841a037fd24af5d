// The board firmware on a fake line: answers, stored data, faults and their timing.
#include "board/firmware.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "board/report.h"
#include "tests/board/fakeline.h"

namespace board {
namespace {

using testing::FakeLine;
using testing::kMs;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Feeds the host's bytes 3 ms apart (room for an echo each), then lets every timer run.
void Feed(Board& board, FakeLine& line, const Bytes& host) {
  for (std::uint8_t b : host) {
    board.OnReceive(b);
    line.RunFor(3 * kMs);
  }
  line.RunAll();
}

struct DialogueCase {
  const char* name;
  Bytes host;
  Bytes answers;
  const char* stored;  // the board's report afterwards
};

class BoardDialogue : public ::testing::TestWithParam<DialogueCase> {};

TEST_P(BoardDialogue, answers_and_stores) {
  const DialogueCase& c = GetParam();
  FakeLine line;
  Board board(line, BoardSettings{});
  Feed(board, line, c.host);
  EXPECT_EQ(line.SentBytes(), c.answers);
  EXPECT_EQ(ReportJson(board.Stored()), c.stored);
}

// (The ordinary dialogue of every operation is checked with the real host in tests/protocol.)
INSTANTIATE_TEST_SUITE_P(
    Operations, BoardDialogue,
    ::testing::Values(
        // Serial bytes are raw: command bytes among them are data, not commands.
        DialogueCase{"serial", {0xA5, 0xB8, 0xFA, 0xBA, 0x00, 0x80, 0xFF, 0xA5, '7', 0xFA},
                     {0xA5, 0xB8, 0xFA, 0xBA, 0x00, 0x80, 0xFF, 0xA5, '7', 0xFA, 0xAF},
                     "{\"completed\": [\"serial\"], \"serial\": \"FABA0080FFA537\", "
                     "\"device_type\": null, \"parameters\": null}\n"},
        // A device type that is not one decimal value is not stored and not confirmed.
        DialogueCase{"device_type_unfinished", Cat({{0xA5, 0xA4}, Text("1"), {0xFA}}),
                     Cat({{0xA5, 0xA4}, Text("1"), {0xFA}}),
                     "{\"completed\": [], \"serial\": null, \"device_type\": null, "
                     "\"parameters\": null}\n"},
        // An unknown second start character opens nothing.
        DialogueCase{"unknown_start2", {0xA5, 0x77, '1', 0xFA}, {0xA5},
                     "{\"completed\": [], \"serial\": null, \"device_type\": null, "
                     "\"parameters\": null}\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
  const char* name;
  std::vector<Fault> faults;
  Bytes host;
  Bytes answers;
};

class BoardFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BoardFault, changes_only_its_answer) {
  const FaultCase& c = GetParam();
  BoardSettings settings;
  settings.faults = c.faults;
  FakeLine line;
  Board board(line, settings);
  Feed(board, line, c.host);
  EXPECT_EQ(line.SentBytes(), c.answers);
}

const Bytes kConfigHost = Cat({{0xBA, 0xA5, 0xA8}, Text("15_1_"), {0xFA}});

INSTANTIATE_TEST_SUITE_P(
    Faults, BoardFault,
    ::testing::Values(
        FaultCase{"probe_silent", {{Operation::kProbe, {StepKind::kStart1}, FaultKind::kSilent}},
                  {0xBA, 0xBA}, {}},
        FaultCase{"probe_wrong", {{Operation::kProbe, {StepKind::kStart1}, FaultKind::kWrong, 0}},
                  {0xBA}, {0x00}},
        FaultCase{"start1_stray_before_answer",
                  {{Operation::kOperatingTime, {StepKind::kStart1}, FaultKind::kStray, 0x55}},
                  {0xA5, 0xA3}, {0x55, 0xA5, 0xA3, 0xAF}},
        // data:N counts the separators: in "15_1_" data:2 is the first 0x5F.
        FaultCase{"data_index_counts_separators",
                  {{Operation::kConfiguration, {StepKind::kData, 2}, FaultKind::kWrong, 0x00}},
                  kConfigHost, Cat({{0xBA, 0xA5, 0x04}, Text("15"), {0x00}, Text("1_"),
                                    {0xFA, 0xAF}})},
        FaultCase{"end_silent_still_stores",
                  {{Operation::kConfiguration, {StepKind::kEnd}, FaultKind::kSilent}},
                  kConfigHost, Cat({{0xBA, 0xA5, 0x04}, Text("15_1_"), {0xAF}})},
        FaultCase{"confirm_wrong",
                  {{Operation::kConfiguration, {StepKind::kConfirm}, FaultKind::kWrong, 0xAE}},
                  kConfigHost, Cat({{0xBA, 0xA5, 0x04}, Text("15_1_"), {0xFA, 0xAE}})},
        FaultCase{"start2_wrong_replaces_version",
                  {{Operation::kConfiguration, {StepKind::kStart2}, FaultKind::kWrong, 0xA8}},
                  kConfigHost, Cat({{0xBA, 0xA5, 0xA8}, Text("15_1_"), {0xFA, 0xAF}})},
        // A fault of another operation leaves this one alone.
        FaultCase{"other_operation_untouched",
                  {{Operation::kDeviceType, {StepKind::kData, 0}, FaultKind::kSilent}},
                  kConfigHost, Cat({{0xBA, 0xA5, 0x04}, Text("15_1_"), {0xFA, 0xAF}})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardTiming, answers_after_echo_delay_plus_fault_delay_and_confirms_after_storing) {
  BoardSettings settings;
  settings.echoDelayMs = 2;
  settings.faults = {{Operation::kDeviceType, {StepKind::kData, 1}, FaultKind::kDelay, 7},
                     {Operation::kDeviceType, {StepKind::kConfirm}, FaultKind::kDelay, 40}};
  FakeLine line;
  Board board(line, settings);
  board.ExpectNext(Operation::kDeviceType);
  for (std::uint8_t b : Cat({{0xA5, 0xA4}, Text("-1_"), {0xFA}})) {
    board.OnReceive(b);
    line.RunFor(10 * kMs);
  }
  line.RunAll();
  const std::vector<FakeLine::Sent> expected{
      {2 * kMs, 0xA5},  {12 * kMs, 0xA4}, {22 * kMs, '-'},  {39 * kMs, '1'},
      {42 * kMs, '_'},  {52 * kMs, 0xFA},
      {50 * kMs + 1000 * kMs + 40 * kMs, 0xAF},  // storing starts when 0xFA arrives
  };
  EXPECT_EQ(line.sent, expected);
}

TEST(BoardTiming, a_reset_drops_the_pending_confirmation) {
  FakeLine line;
  Board board(line, BoardSettings{});
  Feed(board, line, {0xBA});
  for (std::uint8_t b : {0xA5, 0xA3}) board.OnReceive(b);
  line.RunFor(100 * kMs);
  board.OnDtr(true);
  line.RunAll();
  EXPECT_EQ(line.SentBytes(), (Bytes{0xBA, 0xA5, 0xA3}));
  EXPECT_TRUE(board.Stored().completed.empty());
}

TEST(BoardStart1, takes_the_operation_after_the_last_start2_seen) {
  BoardSettings settings;
  settings.faults = {{Operation::kErrorMemory, {StepKind::kStart1}, FaultKind::kWrong, 0x11},
                     {Operation::kSerial, {StepKind::kStart1}, FaultKind::kWrong, 0x22}};
  FakeLine line;
  Board board(line, settings);
  Feed(board, line, {0xA5, 0xA3, 0xA5, 0xAD, 0xA5});
  // (Both confirmations come at the end: the bytes came faster than the board stores.)
  EXPECT_EQ(line.SentBytes(), (Bytes{0xA5, 0xA3, 0x11, 0xAD, 0x22, 0xAF, 0xAF}));

  FakeLine other;
  Board told(other, settings);
  told.ExpectNext(Operation::kSerial);
  Feed(told, other, {0xA5});
  EXPECT_EQ(other.SentBytes(), (Bytes{0x22}));
}

TEST(BoardConverter, unplugs_after_the_nth_host_byte_and_answers_nothing_more) {
  BoardSettings settings;
  settings.unplugAfterBytes = 3;
  FakeLine line;
  Board board(line, settings);
  Feed(board, line, {0xBA, 0xA5, 0xA3, 0xBA});
  EXPECT_TRUE(line.unplugged);
  EXPECT_EQ(line.SentBytes(), (Bytes{0xBA, 0xA5}));
  EXPECT_TRUE(board.Stored().completed.empty());
}

TEST(BoardConverter, reports_a_line_error_after_the_nth_byte_and_goes_on) {
  BoardSettings settings;
  settings.lineErrorAfterBytes = 2;
  settings.lineError = LineError::kParity;
  FakeLine line;
  Board board(line, settings);
  Feed(board, line, {0xBA});
  EXPECT_TRUE(line.lineErrors.empty());
  Feed(board, line, {0xBA, 0xBA});
  EXPECT_EQ(line.lineErrors, std::vector<LineError>{LineError::kParity});
  EXPECT_EQ(line.SentBytes(), (Bytes{0xBA, 0xBA, 0xBA}));
}

TEST(DecimalValues, parses_only_complete_values) {
  using Values = std::optional<std::vector<std::int32_t>>;
  const std::vector<std::pair<std::string, Values>> cases{
      {"", std::vector<std::int32_t>{}},
      {"12_-3_0_", std::vector<std::int32_t>{12, -3, 0}},
      {"-2147483648_2147483647_", std::vector<std::int32_t>{INT_MIN, INT_MAX}},
      {"2147483648_", std::nullopt},
      {"-2147483649_", std::nullopt},
      {"12", std::nullopt},
      {"_", std::nullopt},
      {"-_", std::nullopt},
      {"--1_", std::nullopt},
      {"1a_", std::nullopt},
      {"99999999999999999999_", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseDecimalValues(Text(text)), expected) << text;
  }
}

}  // namespace
}  // namespace board
