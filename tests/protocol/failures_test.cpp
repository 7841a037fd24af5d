// Every failure of the board operations: the dialog (kind and exact text), the exit status,
// the port closed, the process ended right after the dialog, and the bytes the host put on
// the wire up to the failure.
#include <string>
#include <vector>

#include "tests/protocol/protocolfixture.h"

namespace protocol::testing {
namespace {

// What the host sends in a whole run of each operation with the fixture's record (serial
// 1234/567, device type -1, the initial parameters).
Bytes FullRun(Op op, const ConfigRecord& record) {
  switch (op) {
    case Op::OperatingTime: return {0xBA, 0xA5, 0xA3};
    case Op::ErrorMemory: return {0xBA, 0xA5, 0xAD};
    case Op::Serial: return Cat({{0xBA, 0xA5, 0xB8}, Text("1234567"), {0xFA}});
    case Op::DeviceType: return Cat({{0xBA, 0xA5, 0xA4}, Text("-1_"), {0xFA}});
    case Op::Configuration: {
      Bytes all{0xBA, 0xA5, 0xA8};
      for (std::int32_t value : record.parameters) {
        all = Cat({all, Text(std::to_string(value) + "_")});
      }
      all.push_back(0xFA);
      return all;
    }
  }
  return {};
}

enum class Dialog { Error, Information };

struct FailureRow {
  const char* name;
  Op op;
  const char* scenario;
  const char* text;       // UTF-8
  std::size_t hostBytes;  // how much of the operation's whole run the host sent
  Dialog dialog = Dialog::Error;
  int status = 1;
  bool loaded = true;
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class OperationFailure : public ProtocolTest, public ::testing::WithParamInterface<FailureRow> {};

constexpr std::size_t kAll = 100000;

TEST_P(OperationFailure, reports_closes_and_ends) {
  const FailureRow& row = GetParam();
  Start(row.scenario);
  record.loaded = row.loaded ? 1 : 0;
  const auto status = RunOp(row.op);

  ASSERT_EQ(status, row.status);
  EXPECT_FALSE(port->Active());
  const auto& calls = window->Calls();
  ASSERT_GE(calls.size(), 2u);
  const WindowCall& dialog = calls[calls.size() - 2];
  EXPECT_EQ(dialog.kind, row.dialog == Dialog::Error ? WindowCall::Kind::Error
                                                     : WindowCall::Kind::Information);
  EXPECT_EQ(dialog.text, Tool(row.text));
  EXPECT_EQ(calls.back().kind, WindowCall::Kind::End);
  EXPECT_EQ(window->Of(WindowCall::Kind::Error).size() +
                window->Of(WindowCall::Kind::Information).size(),
            1u);
  EXPECT_EQ(HostBytes(), Prefix(FullRun(row.op, record), row.hostBytes));
}

// Dialog texts as the user reads them.
constexpr const char* kNoDevice =
    "     Gerät antwortet nicht!\n\nMögliche Gründe, z.B.:\nTest-Jumper auf Platine vergessen.\n"
    "Netzkabel nicht entfernt.\nNoch keine Firmware geladen.";
constexpr const char* kClearWrongConfirm = "   Programmierfehler!\n\nFalsches Bestätigungsbyte.";
constexpr const char* kConfirmTimeout = "Programmierfehler!\n\nZeitüberschreitung.";
constexpr const char* kSerialWrong = "Datenübertragungsfehler!\n\n Falsches Antwortbyte.";
constexpr const char* kSerialTimeout = "Datenübertragungsfehler!\n\n  Zeitüberschreitung.";

INSTANTIATE_TEST_SUITE_P(
    Probe, OperationFailure,
    ::testing::Values(
        FailureRow{"operating_time_silent", Op::OperatingTime, "fault = probe start1 silent",
                   kNoDevice, 1},
        FailureRow{"error_memory_wrong", Op::ErrorMemory, "fault = probe start1 wrong=0xBB",
                   kNoDevice, 1},
        // After the 10 ms pause, an echo on the 97th poll of 1 ms is too late.
        FailureRow{"serial_late", Op::Serial, "fault = probe start1 delay=104", kNoDevice, 1},
        FailureRow{"device_type_absent", Op::DeviceType, "board.present = no", kNoDevice, 1},
        FailureRow{"configuration_silent", Op::Configuration, "fault = probe start1 silent",
                   kNoDevice, 1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    OperatingTime, OperationFailure,
    ::testing::Values(
        FailureRow{"start1_wrong", Op::OperatingTime, "fault = operating_time start1 wrong=0",
                   "Betriebszeit: Falsche Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start1_silent", Op::OperatingTime, "fault = operating_time start1 silent",
                   "Betriebszeit: Keine Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start2_wrong", Op::OperatingTime, "fault = operating_time start2 wrong=0xAD",
                   "Betriebszeit: Falsche Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"start2_silent", Op::OperatingTime, "fault = operating_time start2 silent",
                   "Betriebszeit: Keine Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"confirm_wrong", Op::OperatingTime, "fault = operating_time confirm wrong=0xFA",
                   kClearWrongConfirm, 3},
        FailureRow{"confirm_silent", Op::OperatingTime, "fault = operating_time confirm silent",
                   kConfirmTimeout, 3}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ErrorMemory, OperationFailure,
    ::testing::Values(
        FailureRow{"start1_wrong", Op::ErrorMemory, "fault = error_memory start1 wrong=0xA4",
                   "Fehlerspeicher: Falsche Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start1_silent", Op::ErrorMemory, "fault = error_memory start1 silent",
                   "Fehlerspeicher: Keine Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start2_wrong", Op::ErrorMemory, "fault = error_memory start2 wrong=0xA3",
                   "Fehlerspeicher: Falsche Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"start2_silent", Op::ErrorMemory, "fault = error_memory start2 silent",
                   "Fehlerspeicher: Keine Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"confirm_wrong", Op::ErrorMemory, "fault = error_memory confirm wrong=0",
                   kClearWrongConfirm, 3},
        FailureRow{"confirm_silent", Op::ErrorMemory, "fault = error_memory confirm silent",
                   kConfirmTimeout, 3}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    SerialNumber, OperationFailure,
    ::testing::Values(
        FailureRow{"start1_wrong", Op::Serial, "fault = serial start1 wrong=0x5A",
                   "Serien-Nummer: Falsche Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start1_silent", Op::Serial, "fault = serial start1 silent",
                   "Serien-Nummer: Keine Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start2_wrong", Op::Serial, "fault = serial start2 wrong=0xB9",
                   "Serien-Nummer: Falsche Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"start2_silent", Op::Serial, "fault = serial start2 silent",
                   "Serien-Nummer: Keine Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"part1_wrong", Op::Serial, "fault = serial data:0 wrong=0x32", kSerialWrong, 4},
        FailureRow{"part2_silent", Op::Serial, "fault = serial data:5 silent", kSerialTimeout, 9},
        FailureRow{"end_wrong", Op::Serial, "fault = serial end wrong=0xFB", kSerialWrong, 11},
        FailureRow{"end_silent", Op::Serial, "fault = serial end silent", kSerialTimeout, 11},
        FailureRow{"confirm_wrong", Op::Serial, "fault = serial confirm wrong=0xA0",
                   "    Programmierfehler!\n\nFalsches Bestätigungsbyte.", 11},
        FailureRow{"confirm_silent", Op::Serial, "fault = serial confirm silent",
                   kConfirmTimeout, 11}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DeviceType, OperationFailure,
    ::testing::Values(
        FailureRow{"start1_wrong", Op::DeviceType, "fault = device_type start1 wrong=0xA4",
                   "Gerätetyp: Falsche Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start1_silent", Op::DeviceType, "fault = device_type start1 silent",
                   "Gerätetyp: Keine Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start2_wrong", Op::DeviceType, "fault = device_type start2 wrong=0xA5",
                   "Gerätetyp: Falsche Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"start2_silent", Op::DeviceType, "fault = device_type start2 silent",
                   "Gerätetyp: Keine Rückmeldung vom Startzeichen 2", 3},
        FailureRow{"character_wrong", Op::DeviceType, "fault = device_type data:0 wrong=0x2B",
                   "Datenübertragungsfehler!  Fehlercode 1\n\nFalsches Antwortbyte.", 4},
        FailureRow{"character_silent", Op::DeviceType, "fault = device_type data:1 silent",
                   "Datenübertragungsfehler!  Fehlercode 2\n\nZeitüberschreitung.", 5},
        FailureRow{"separator_wrong", Op::DeviceType, "fault = device_type data:2 wrong=0x5E",
                   "Datenübertragungsfehler!  Fehlercode 3\n\nFalsches Antwortbyte.", 6},
        FailureRow{"separator_silent", Op::DeviceType, "fault = device_type data:2 silent",
                   "Datenübertragungsfehler!  Fehlercode 4\n\nZeitüberschreitung.", 6},
        FailureRow{"end_wrong", Op::DeviceType, "fault = device_type end wrong=0xFF",
                   "Datenübertragungsfehler!  Fehlercode 5\n\nFalsches Antwortbyte.", 7},
        // The 0xFA echo is polled every 10 ms: 97 polls are 970 ms.
        FailureRow{"end_late", Op::DeviceType, "fault = device_type end delay=965",
                   "Datenübertragungsfehler!  Fehlercode 6\n\nZeitüberschreitung.", 7},
        FailureRow{"confirm_wrong", Op::DeviceType, "fault = device_type confirm wrong=0xAE",
                   "Programmierfehler!  Fehlercode 7\n\nFalsches Bestätigungsbyte.", 7},
        FailureRow{"confirm_silent", Op::DeviceType, "fault = device_type confirm silent",
                   "Programmierfehler!  Fehlercode 8\n\nZeitüberschreitung.", 7}),
    [](const auto& info) { return std::string(info.param.name); });

constexpr const char* kWrongVersion =
    "Datenübertragungsfehler!\n\nFalsches Kontrollzeichen empfangen.\n"
    "Firmware in LCD-Platine vermutlich nicht kompatibel.";

INSTANTIATE_TEST_SUITE_P(
    Configuration, OperationFailure,
    ::testing::Values(
        FailureRow{"nothing_loaded", Op::Configuration, "",
                   "Es wurde noch keine Konfiguration geladen!", 1, Dialog::Information, 2, false},
        FailureRow{"start1_wrong", Op::Configuration, "fault = configuration start1 wrong=0xA4",
                   "Konfiguration: Falsche Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"start1_silent", Op::Configuration, "fault = configuration start1 silent",
                   "Konfiguration: Keine Rückmeldung vom Startzeichen 1", 2},
        FailureRow{"other_version", Op::Configuration, "board.version = 3", kWrongVersion, 3},
        // A board that echoes 0xA8 instead of answering with its version.
        FailureRow{"version_echoed", Op::Configuration,
                   "fault = configuration start2 wrong=0xA8", kWrongVersion, 3},
        FailureRow{"version_silent", Op::Configuration, "fault = configuration start2 silent",
                   "Datenübertragungsfehler!\n\nZeitüberschreitung.\n"
                   "Firmware in LCD-Platine vermutlich nicht kompatibel!",
                   3},
        FailureRow{"character_wrong", Op::Configuration, "fault = configuration data:0 wrong=0x35",
                   "Datenübertragungsfehler!  Fehlercode 1\n\nFalsches Antwortbyte.", 4},
        FailureRow{"character_silent", Op::Configuration, "fault = configuration data:5 silent",
                   "Datenübertragungsfehler!  Fehlercode 2\n\nZeitüberschreitung.", 9},
        FailureRow{"separator_wrong", Op::Configuration, "fault = configuration data:2 wrong=0",
                   "Datenübertragungsfehler!  Fehlercode 3\n\nFalsches Antwortbyte.", 6},
        FailureRow{"separator_silent", Op::Configuration, "fault = configuration data:4 silent",
                   "Datenübertragungsfehler!  Fehlercode 4\n\nZeitüberschreitung.", 8},
        FailureRow{"end_wrong", Op::Configuration, "fault = configuration end wrong=0xAF",
                   "Datenübertragungsfehler!  Fehlercode 5\n\nFalsches Antwortbyte.", kAll},
        FailureRow{"end_silent", Op::Configuration, "fault = configuration end silent",
                   "Datenübertragungsfehler!  Fehlercode 6\n\nZeitüberschreitung.", kAll},
        FailureRow{"confirm_wrong", Op::Configuration, "fault = configuration confirm wrong=0xFA",
                   "Programmierfehler!  Fehlercode 7\n\nFalsches Bestätigungsbyte.", kAll},
        FailureRow{"confirm_silent", Op::Configuration, "fault = configuration confirm silent",
                   "Programmierfehler!  Fehlercode 8\n\nZeitüberschreitung.", kAll}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace protocol::testing
