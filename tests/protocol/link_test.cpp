// The link primitives at their limits: the polls on which an answer still counts, the write
// that never leaves the port, and the reset handshake.
#include <string>
#include <vector>

#include "protocol/link.h"
#include "tests/protocol/protocolfixture.h"
#include "tests/support/forwarding_api.h"

namespace protocol::testing {
namespace {

// ---- Acceptance limits ----
// The board's answers are placed on exact polls by delaying them: a host byte and its answer
// take 1.0417 ms each on the line, and the host's n-th poll of d ms looks at t0 + n*d (after
// its fixed pause, if any), so an extra delay of n*d - 3 ms makes the answer arrive just
// before poll n.

struct EdgeRow {
  const char* name;
  Op op;
  const char* scenario;
  const char* failure;  // UTF-8 dialog text, null when the operation succeeds
};

void PrintTo(const EdgeRow& row, std::ostream* os) { *os << row.name; }

class AcceptanceLimit : public ProtocolTest, public ::testing::WithParamInterface<EdgeRow> {};

TEST_P(AcceptanceLimit, answer_counts_only_within_the_limit) {
  const EdgeRow& row = GetParam();
  Start(row.scenario);
  const auto status = RunOp(row.op);
  if (row.failure == nullptr) {
    EXPECT_EQ(status, std::nullopt);
    EXPECT_TRUE(window->Of(WindowCall::Kind::Error).empty());
  } else {
    EXPECT_EQ(status, 1);
    const auto errors = window->Of(WindowCall::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, Tool(row.failure));
  }
}

constexpr const char* kNoDevice =
    "     Gerät antwortet nicht!\n\nMögliche Gründe, z.B.:\nTest-Jumper auf Platine vergessen.\n"
    "Netzkabel nicht entfernt.\nNoch keine Firmware geladen.";
constexpr const char* kConfirmTimeout = "Programmierfehler!\n\nZeitüberschreitung.";

INSTANTIATE_TEST_SUITE_P(
    Edges, AcceptanceLimit,
    ::testing::Values(
        // Probe: a 10 ms pause, then 1 ms polls; the 96th counts, the 97th does not.
        EdgeRow{"probe_poll_96", Op::OperatingTime, "fault = probe start1 delay=103", nullptr},
        EdgeRow{"probe_poll_97", Op::OperatingTime, "fault = probe start1 delay=104", kNoDevice},
        // Start characters: 2 ms polls; the 99th counts, the 100th does not.
        EdgeRow{"start1_poll_99", Op::OperatingTime, "fault = operating_time start1 delay=195",
                nullptr},
        EdgeRow{"start1_poll_100", Op::OperatingTime, "fault = operating_time start1 delay=197",
                "Betriebszeit: Keine Rückmeldung vom Startzeichen 1"},
        EdgeRow{"start2_poll_99", Op::Serial, "fault = serial start2 delay=195", nullptr},
        EdgeRow{"start2_poll_100", Op::Serial, "fault = serial start2 delay=197",
                "Serien-Nummer: Keine Rückmeldung vom Startzeichen 2"},
        // Data echoes: 1 ms polls; the 96th counts, the 97th is a time-out (kind 2).
        EdgeRow{"data_poll_96", Op::DeviceType, "fault = device_type data:0 delay=93", nullptr},
        EdgeRow{"data_poll_97", Op::DeviceType, "fault = device_type data:0 delay=94",
                "Datenübertragungsfehler!  Fehlercode 2\n\nZeitüberschreitung."},
        EdgeRow{"parameter_poll_97", Op::Configuration, "fault = configuration data:7 delay=94",
                "Datenübertragungsfehler!  Fehlercode 2\n\nZeitüberschreitung."},
        // Serial bytes: 2 ms polls, still 96 of them.
        EdgeRow{"serial_poll_96", Op::Serial, "fault = serial data:3 delay=189", nullptr},
        EdgeRow{"serial_poll_97", Op::Serial, "fault = serial data:3 delay=191",
                "Datenübertragungsfehler!\n\n  Zeitüberschreitung."},
        // The version byte: looked for 20 ms after 0xA8 and every 10 ms, 500 looks, no shorter
        // limit: at 4.9 s and on the last look it counts, after that it does not.
        EdgeRow{"version_at_4900ms", Op::Configuration, "fault = configuration start2 delay=4900",
                nullptr},
        EdgeRow{"version_last_look", Op::Configuration,
                "fault = configuration start2 delay=5007", nullptr},
        EdgeRow{"version_too_late", Op::Configuration, "fault = configuration start2 delay=5008",
                "Datenübertragungsfehler!\n\nZeitüberschreitung.\n"
                "Firmware in LCD-Platine vermutlich nicht kompatibel!"},
        // 0xAF: 20 ms polls; poll N-1 counts, poll N does not. The storing time starts when
        // the board has the last byte; the host starts polling after its own fixed pauses.
        EdgeRow{"operating_time_poll_39", Op::OperatingTime,
                "board.store_ms.operating_time = 770", nullptr},
        EdgeRow{"operating_time_poll_40", Op::OperatingTime,
                "board.store_ms.operating_time = 790", kConfirmTimeout},
        EdgeRow{"error_memory_poll_599", Op::ErrorMemory, "board.store_ms.error_memory = 11970",
                nullptr},
        EdgeRow{"error_memory_poll_600", Op::ErrorMemory, "board.store_ms.error_memory = 11990",
                kConfirmTimeout},
        EdgeRow{"serial_poll_39", Op::Serial, "board.store_ms.serial = 2770", nullptr},
        EdgeRow{"serial_poll_40", Op::Serial, "board.store_ms.serial = 2790", kConfirmTimeout},
        EdgeRow{"device_type_poll_599", Op::DeviceType, "board.store_ms.device_type = 13978",
                nullptr},
        EdgeRow{"device_type_poll_600", Op::DeviceType, "board.store_ms.device_type = 13998",
                "Programmierfehler!  Fehlercode 8\n\nZeitüberschreitung."},
        EdgeRow{"configuration_poll_499", Op::Configuration,
                "board.store_ms.configuration = 9978", nullptr},
        EdgeRow{"configuration_poll_500", Op::Configuration,
                "board.store_ms.configuration = 9998",
                "Programmierfehler!  Fehlercode 8\n\nZeitüberschreitung."}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A write that never leaves the port ----

// The simulated machine's serial API, except that from the n-th write on a write is taken
// but never completes (and never reaches the line).
class StuckWriteSerial : public testsupport::ForwardingSerial {
 public:
  StuckWriteSerial(plat::SerialApi& inner, plat::KernelApi& kernel, int stuckFrom)
      : ForwardingSerial(inner), kernel_(kernel), stuckFrom_(stuckFrom) {}

  BOOL WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                 OVERLAPPED* overlapped) override {
    if (++writes_ < stuckFrom_) {
      return Inner().WriteFile(device, buffer, length, transferred, overlapped);
    }
    stuck_ = overlapped;
    stuckAtUs = kernel_.NowMicroseconds();
    kernel_.SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                           BOOL wait) override {
    if (overlapped == stuck_) {
      kernel_.SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    return Inner().GetOverlappedResult(device, overlapped, transferred, wait);
  }

  std::int64_t stuckAtUs = -1;

 private:
  plat::KernelApi& kernel_;
  int stuckFrom_;
  int writes_ = 0;
  const OVERLAPPED* stuck_ = nullptr;
};

class StuckWritePlatform : public plat::Platform {
 public:
  StuckWritePlatform(sim::Machine& machine, int stuckFrom)
      : machine_(machine), serial_(machine.serial(), machine.kernel(), stuckFrom) {}
  plat::KernelApi& kernel() override { return machine_.kernel(); }
  plat::SerialApi& serial() override { return serial_; }
  plat::SystemApi& system() override { return machine_.system(); }
  StuckWriteSerial& Serial() { return serial_; }

 private:
  sim::Machine& machine_;
  StuckWriteSerial serial_;
};

struct StuckRow {
  const char* name;
  Op op;
  int stuckWrite;  // the operation's n-th byte, from 1
  int transmitCode;
};

void PrintTo(const StuckRow& row, std::ostream* os) { *os << row.name; }

class StuckWrite : public ProtocolTest, public ::testing::WithParamInterface<StuckRow> {};

TEST_P(StuckWrite, gives_up_after_96_sleeps_of_10_ms_with_the_places_code) {
  const StuckRow& row = GetParam();
  StuckWritePlatform platform(machine, row.stuckWrite);
  Start("", &platform);
  const auto status = RunOp(row.op);

  EXPECT_EQ(status, 1);
  EXPECT_FALSE(port->Active());
  const auto errors = window->Of(WindowCall::Kind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, Tool("Daten senden konnte nicht ausgeführt werden!  Fehlercode " +
                                 std::to_string(row.transmitCode) +
                                 "\n\n             Datenübertragung abgebrochen!"));
  EXPECT_EQ(errors[0].atNs - platform.Serial().stuckAtUs * 1000, 960 * kMs);
  EXPECT_EQ(HostBytes().size(), static_cast<std::size_t>(row.stuckWrite - 1));
}

INSTANTIATE_TEST_SUITE_P(
    TransmitCodes, StuckWrite,
    ::testing::Values(StuckRow{"probe", Op::OperatingTime, 1, 1},
                      StuckRow{"operating_time_start1", Op::OperatingTime, 2, 33},
                      StuckRow{"operating_time_start2", Op::OperatingTime, 3, 34},
                      StuckRow{"error_memory_start1", Op::ErrorMemory, 2, 31},
                      StuckRow{"error_memory_start2", Op::ErrorMemory, 3, 32},
                      StuckRow{"serial_start1", Op::Serial, 2, 35},
                      StuckRow{"serial_start2", Op::Serial, 3, 36},
                      StuckRow{"serial_part1", Op::Serial, 5, 37},
                      StuckRow{"serial_part2", Op::Serial, 10, 38},
                      StuckRow{"serial_end", Op::Serial, 11, 39},
                      StuckRow{"device_type_start1", Op::DeviceType, 2, 2},
                      StuckRow{"device_type_start2", Op::DeviceType, 3, 3},
                      StuckRow{"device_type_character", Op::DeviceType, 5, 4},
                      StuckRow{"device_type_separator", Op::DeviceType, 6, 5},
                      StuckRow{"device_type_end", Op::DeviceType, 7, 6},
                      StuckRow{"configuration_probe", Op::Configuration, 1, 1},
                      StuckRow{"configuration_start1", Op::Configuration, 2, 2},
                      StuckRow{"configuration_start2", Op::Configuration, 3, 3},
                      StuckRow{"configuration_character", Op::Configuration, 4, 4},
                      StuckRow{"configuration_separator", Op::Configuration, 6, 5}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reset handshake ----

struct ResetRow {
  const char* name;
  const char* scenario;
  bool onSucceeds;
  bool offSucceeds;
};

void PrintTo(const ResetRow& row, std::ostream* os) { *os << row.name; }

class ResetHandshake : public ProtocolTest, public ::testing::WithParamInterface<ResetRow> {};

TEST_P(ResetHandshake, reads_dsr_once_50_ms_after_the_change) {
  const ResetRow& row = GetParam();
  Start(row.scenario);
  const std::int64_t t0 = machine.NowNs();
  const auto status = Run([](BoardWindow& w) {
    ResetOn(w);
    ResetOff(w);
  });

  using K = WindowCall::Kind;
  std::vector<std::pair<K, std::int64_t>> expected{{K::RepaintPanel, 0}};
  if (!row.onSucceeds) {
    expected.insert(expected.end(), {{K::PanelColor, fw::clGreen}, {K::Error, 0},
                                     {K::Progress, 0}, {K::Status, 0}, {K::End, 1}});
  } else {
    expected.insert(expected.end(), {{K::PanelColor, fw::clLime}, {K::RepaintPanel, 0},
                                     {K::RepaintPanel, 0}});
    if (row.offSucceeds) {
      expected.insert(expected.end(), {{K::PanelColor, fw::clGreen}, {K::RepaintPanel, 0}});
    } else {
      expected.insert(expected.end(), {{K::PanelColor, fw::clLime}, {K::Error, 0},
                                       {K::Progress, 0}, {K::Status, 0}, {K::End, 1}});
    }
  }
  std::vector<std::pair<K, std::int64_t>> actual;
  for (const WindowCall& c : window->Calls()) actual.emplace_back(c.kind, c.value);
  EXPECT_EQ(actual, expected);

  const auto errors = window->Of(K::Error);
  if (!row.onSucceeds || !row.offSucceeds) {
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(port->Active());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text,
              Tool(std::string("Keine Rückmeldung vom \"Reset\"-Befehl \"") +
                   (row.onSucceeds ? "aus" : "ein") +
                   "\" erhalten!\n\n        Datenübertragung abgebrochen!"));
    EXPECT_EQ(errors[0].atNs - t0, (row.onSucceeds ? 100 : 50) * kMs);
    EXPECT_EQ(window->Statuses(), std::vector<std::string>{""});
  } else {
    EXPECT_EQ(status, std::nullopt);
    EXPECT_EQ(machine.NowNs() - t0, 100 * kMs);
    EXPECT_TRUE(port->Active());
  }
  EXPECT_TRUE(HostBytes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Dsr, ResetHandshake,
    ::testing::Values(ResetRow{"follows", "", true, true},
                      ResetRow{"follows_after_49_ms", "board.dsr_delay_ms = 49", true, true},
                      ResetRow{"follows_after_51_ms", "board.dsr_delay_ms = 51", false, false},
                      ResetRow{"always_on", "board.dsr = on", true, false},
                      ResetRow{"always_off", "board.dsr = off", false, false},
                      ResetRow{"no_board", "board.present = no", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace protocol::testing
