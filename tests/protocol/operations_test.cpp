// The five operations when the board does its part: what goes on the wire, what the window
// shows and when, and what the board ends up storing.
#include <cstring>
#include <string>
#include <vector>

#include "protocol/link.h"
#include "tests/protocol/protocolfixture.h"

namespace protocol::testing {
namespace {

constexpr int B = 0x100;  // marks a board byte in a Dialogue

// ---- Success: status texts, progress, stored data ----

struct SuccessRow {
  const char* name;
  Op op;
  std::vector<const char*> statuses;  // UTF-8
  std::vector<int> progress;
  board::Operation stored;
};

void PrintTo(const SuccessRow& row, std::ostream* os) { *os << row.name; }

class OperationSuccess : public ProtocolTest, public ::testing::WithParamInterface<SuccessRow> {};

TEST_P(OperationSuccess, shows_its_texts_and_leaves_the_port_open) {
  const SuccessRow& row = GetParam();
  // Quick storing, so the confirmation is waiting at the first poll.
  Start("board.store_ms.operating_time = 5\nboard.store_ms.error_memory = 5\n"
        "board.store_ms.configuration = 5");
  EXPECT_EQ(RunOp(row.op), std::nullopt);
  EXPECT_TRUE(port->Active());
  std::vector<std::string> expected;
  for (const char* s : row.statuses) expected.push_back(Tool(s));
  EXPECT_EQ(window->Statuses(), expected);
  EXPECT_EQ(window->Progress(), row.progress);
  // Every status text is repainted at once and followed by message processing.
  const auto& calls = window->Calls();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].kind != WindowCall::Kind::Status) continue;
    ASSERT_LT(i + 2, calls.size());
    EXPECT_EQ(calls[i + 1].kind, WindowCall::Kind::RepaintStatus);
    EXPECT_EQ(calls[i + 2].kind, WindowCall::Kind::Process);
  }
  EXPECT_EQ(board->Stored().completed, std::vector<board::Operation>{row.stored});
}

INSTANTIATE_TEST_SUITE_P(
    Operations, OperationSuccess,
    ::testing::Values(
        SuccessRow{"operating_time", Op::OperatingTime,
                   {"Betriebszeit löschen", "Betriebszeit gelöscht"}, {0, 100},
                   board::Operation::kOperatingTime},
        SuccessRow{"error_memory", Op::ErrorMemory,
                   {"Fehlerspeicher löschen", "Fehlerspeicher gelöscht"}, {0, 100},
                   board::Operation::kErrorMemory},
        SuccessRow{"serial", Op::Serial,
                   {"Serien-Nummer übertragen", "Serien-Nummer übertragen beendet",
                    "Serien-Nummer programmieren", "Serien-Nummer programmiert"},
                   {0, 14, 28, 42, 57, 71, 85, 100, 0, 100},
                   board::Operation::kSerial},
        // 0 during the characters, 80 while 0x5F is on its way, 100 before 0xFA.
        SuccessRow{"device_type", Op::DeviceType,
                   {"Gerätetyp-Übertragung", "Gerätetyp-Übertragung beendet",
                    "Gerätetyp-Programmierung", "Gerätetyp-Programmiert"},
                   {0, 80, 100, 0, 100}, board::Operation::kDeviceType}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtocolTest, configuration_bar_reaches_99_after_the_last_parameter) {
  Start("board.store_ms.configuration = 5");
  ASSERT_EQ(RunOp(Op::Configuration), std::nullopt);
  EXPECT_EQ(window->Statuses(),
            (std::vector<std::string>{Tool("Konfiguration zum Gerät senden"),
                                      "Konfiguration Programmieren", "Programmierung beendet"}));
  // The parameter phase: 0 at its start, then after parameters 1 to 119 (none after 0),
  // each preceded by message processing.
  const auto& calls = window->Calls();
  std::vector<int> bar;
  std::size_t i = 0;
  while (calls[i].kind != WindowCall::Kind::Status) ++i;  // "Konfiguration zum Gerät senden"
  for (i += 3; calls[i].kind != WindowCall::Kind::Progress || calls[i + 1].kind !=
                                                                  WindowCall::Kind::Status;
       ++i) {
    if (calls[i].kind == WindowCall::Kind::Progress) {
      EXPECT_EQ(calls[i - 1].kind, WindowCall::Kind::Process);
      bar.push_back(static_cast<int>(calls[i].value));
    }
  }
  ASSERT_EQ(bar.size(), 119u);
  EXPECT_EQ(bar.front(), 0);   // after parameter 1: 0.83
  EXPECT_EQ(bar[59], 50);      // after parameter 60
  EXPECT_EQ(bar.back(), 99);   // after parameter 119: 99.17
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
  EXPECT_EQ(calls[i].value, 0);  // then 0 for the storing phase
  EXPECT_EQ(window->Progress().back(), 100);
  const auto stored = board->Stored();
  ASSERT_TRUE(stored.parameters.has_value());
  EXPECT_EQ(*stored.parameters,
            std::vector<std::int32_t>(std::begin(record.parameters), std::end(record.parameters)));
}

// ---- Confirmation waits ----

TEST_F(ProtocolTest, operating_time_wait_moves_the_bar_on_every_empty_poll_and_pumps) {
  Start("fault = operating_time confirm silent");
  ASSERT_EQ(RunOp(Op::OperatingTime), 1);
  const std::vector<int> bar = window->Progress();
  ASSERT_EQ(bar.size(), 40u);  // 0 before the wait, then k = 1 to 39
  EXPECT_EQ((std::vector<int>(bar.begin(), bar.begin() + 5)), (std::vector<int>{0, 2, 5, 7, 10}));
  EXPECT_EQ(bar[38], 100);     // k = 38
  EXPECT_EQ(bar[39], 102);     // k = 39, just before the time-out
  // Never at k = 0: the first move comes with the second poll, 40 ms into the wait.
  const auto progress = window->Of(WindowCall::Kind::Progress);
  const auto status = window->Of(WindowCall::Kind::Status);
  EXPECT_EQ(progress[1].atNs - status[0].atNs, 40 * kMs);
  // One message processing for the status text, then one per empty poll from k = 1.
  EXPECT_EQ(window->Of(WindowCall::Kind::Process).size(), 1u + 39u);
  const auto errors = window->Of(WindowCall::Kind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].atNs - status[0].atNs, 800 * kMs);
}

TEST_F(ProtocolTest, serial_and_device_type_waits_do_not_pump_messages) {
  Start("fault = serial confirm silent");
  ASSERT_EQ(RunOp(Op::Serial), 1);
  // Three status texts, and nothing else lets the window run.
  EXPECT_EQ(window->Of(WindowCall::Kind::Process).size(), 3u);
  const std::vector<int> bar = window->Progress();
  EXPECT_EQ(bar.back(), 102);
}

TEST_F(ProtocolTest, a_quick_confirmation_still_costs_the_second_before_the_final_status) {
  // (Storing must outlast the start character's echo: the host purges after reading it.)
  Start("board.store_ms.operating_time = 10");
  ASSERT_EQ(RunOp(Op::OperatingTime), std::nullopt);
  const auto status = window->Of(WindowCall::Kind::Status);
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[1].atNs - status[0].atNs, (20 + 1000) * kMs);
}

// ---- The wire ----

TEST_F(ProtocolTest, configuration_wire_alternates_host_and_board) {
  Start("board.store_ms.configuration = 5");
  record.parameters[0] = 12;
  record.parameters[1] = -3;
  ASSERT_EQ(RunOp(Op::Configuration), std::nullopt);
  const std::vector<int> dialogue = Dialogue();
  const std::vector<int> head{0xBA, B | 0xBA, 0xA5, B | 0xA5, 0xA8, B | 0x04,
                              0x31, B | 0x31, 0x32, B | 0x32, 0x5F, B | 0x5F,
                              0x2D, B | 0x2D, 0x33, B | 0x33, 0x5F, B | 0x5F};
  ASSERT_GT(dialogue.size(), head.size());
  EXPECT_EQ(std::vector<int>(dialogue.begin(), dialogue.begin() + head.size()), head);
  EXPECT_EQ(std::vector<int>(dialogue.end() - 3, dialogue.end()),
            (std::vector<int>{0xFA, B | 0xFA, B | 0xAF}));
}

TEST_F(ProtocolTest, serial_1234_567_wire) {
  Start();
  ASSERT_EQ(RunOp(Op::Serial), std::nullopt);
  EXPECT_EQ(Dialogue(), (std::vector<int>{0xBA, B | 0xBA, 0xA5, B | 0xA5, 0xB8, B | 0xB8,
                                          0x31, B | 0x31, 0x32, B | 0x32, 0x33, B | 0x33,
                                          0x34, B | 0x34, 0x35, B | 0x35, 0x36, B | 0x36,
                                          0x37, B | 0x37, 0xFA, B | 0xFA, B | 0xAF}));
  EXPECT_EQ(board->Stored().serial,
            (std::array<std::uint8_t, 7>{'1', '2', '3', '4', '5', '6', '7'}));
}

TEST_F(ProtocolTest, device_type_minus_one_wire) {
  Start();
  ASSERT_EQ(RunOp(Op::DeviceType), std::nullopt);
  EXPECT_EQ(Dialogue(), (std::vector<int>{0xBA, B | 0xBA, 0xA5, B | 0xA5, 0xA4, B | 0xA4,
                                          0x2D, B | 0x2D, 0x31, B | 0x31, 0x5F, B | 0x5F,
                                          0xFA, B | 0xFA, B | 0xAF}));
  EXPECT_EQ(board->Stored().deviceType, -1);
}

TEST_F(ProtocolTest, serial_bytes_go_out_as_stored) {
  Start();
  // "12" read over the initial "....": the terminator, then the old fourth character.
  std::memcpy(record.serialPart1, "12\0.", 5);
  std::memcpy(record.serialPart2, "\x80\xE4\xFF", 4);
  ASSERT_EQ(RunOp(Op::Serial), std::nullopt);
  EXPECT_EQ(HostBytes(), (Bytes{0xBA, 0xA5, 0xB8, 0x31, 0x32, 0x00, 0x2E, 0x80, 0xE4, 0xFF, 0xFA}));
  const auto stored = board->Stored();
  ASSERT_TRUE(stored.serial.has_value());
  EXPECT_EQ(*stored.serial, (std::array<std::uint8_t, 7>{0x31, 0x32, 0x00, 0x2E, 0x80, 0xE4, 0xFF}));
}

// A byte that comes between the two serial parts is purged before the second one starts.
TEST_F(ProtocolTest, serial_stray_byte_between_the_parts_is_purged) {
  Start();
  // Once the board has echoed the fourth serial byte (its seventh answer), a stray follows.
  std::function<void()> watch = [&] {
    if (BoardBytes().size() >= 7) {
      Device().Send(0x00);
      return;
    }
    machine.ScheduleAfter(kMs / 2, watch);
  };
  machine.ScheduleAfter(0, watch);
  ASSERT_EQ(RunOp(Op::Serial), std::nullopt);
  EXPECT_EQ(Prefix(BoardBytes(), 9), (Bytes{0xBA, 0xA5, 0xB8, '1', '2', '3', '4', 0x00, '5'}));
  EXPECT_EQ(board->Stored().serial, (std::array<std::uint8_t, 7>{'1', '2', '3', '4', '5', '6', '7'}));
}

// The device type purges only before its first character: a stray before the echo of 0x5F
// is taken as the answer.
TEST_F(ProtocolTest, device_type_stray_byte_before_the_separator_echo_is_a_wrong_answer) {
  Start("fault = device_type data:2 stray=0x7E");
  ASSERT_EQ(RunOp(Op::DeviceType), 1);
  const auto errors = window->Of(WindowCall::Kind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, Tool("Datenübertragungsfehler!  Fehlercode 3\n\nFalsches Antwortbyte."));
}

TEST_F(ProtocolTest, nothing_loaded_beeps_informs_and_sends_only_the_probe) {
  Start();
  record.loaded = 0;
  ASSERT_EQ(RunOp(Op::Configuration), app::kExitNotLoaded);
  using K = WindowCall::Kind;
  std::vector<K> kinds;
  for (const WindowCall& c : window->Calls()) kinds.push_back(c.kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Beep, K::Information, K::End}));
  EXPECT_EQ(HostBytes(), Bytes{0xBA});
  EXPECT_FALSE(port->Active());
}

// The record has room for 120 parameters; a larger count must not send what lies beyond.
TEST_F(ProtocolTest, parameter_count_beyond_the_record_sends_only_its_parameters) {
  Start("board.store_ms.configuration = 5");
  record.parameterCount = 100000;
  ASSERT_EQ(RunOp(Op::Configuration), std::nullopt);
  const auto stored = board->Stored();
  ASSERT_TRUE(stored.parameters.has_value());
  EXPECT_EQ(stored.parameters->size(), static_cast<std::size_t>(kParameterCount));
}

}  // namespace
}  // namespace protocol::testing
