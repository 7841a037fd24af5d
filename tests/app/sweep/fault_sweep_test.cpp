// The fault sweep: one healthy write of a whole configuration, repeated on the virtual clock
// with a fault at every place it can strike - the converter pulled after each host byte, a line
// error of each kind after each host byte, and each kind of board fault at every step of every
// operation. Every run must end with the status and the dialogs its cause calls for, within a
// bound of machine time, with no framework thread, handle or process thread left over, and a
// run may end as written only when the board stored exactly what the file holds.
//
// Each sweep prints a table of counts and writes it to the build's artifact folder
// (fault-sweep-*.txt), where the test script shows it. Under the sanitizers, which are many
// times slower, every seventh run of each sweep is made (the first and the last always).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "board/boardsettings.h"
#include "board/firmware.h"
#include "board/report.h"
#include "platform/sim/machine.h"
#include "protocol/boardtexts.h"
#include "app/exitstatus.h"
#include "simfront/simulation.h"
#include "tests/app/samplefiles.h"
#include "tests/support/process_threads.h"
#include "ui/recording/recording_frontend.h"

namespace {

namespace fs = std::filesystem;
namespace texts = protocol::texts;
using board::Operation;
using board::StepKind;

#if defined(LCDWRITE_SANITIZED_BUILD)
constexpr int kSampleEvery = 7;
#else
constexpr int kSampleEvery = 1;
#endif

// Machine time a run may take: the healthy write takes about 47 s.
constexpr std::int64_t kBoundNs = 90LL * 1000 * sim::kNsPerMs;
// Then the run is taken as hung: reported with its scenario, and the program stops.
constexpr std::int64_t kWatchdogNs = 2 * kBoundNs;
// A byte's time on the wire at 9600 8N1, in milliseconds.
constexpr double kWireMs = 10.0 / 9.6;
// The delay of the sweep's late answers. Checked against each wait's limit below: some waits
// accept it, others do not.
constexpr int kLateMs = 150;

// The written file is the sample (apptest::SampleConfig): parameters 1000..1119, serial
// 1234 / 567, device type 3.
std::vector<std::int32_t> Parameters() {
  std::vector<std::int32_t> values;
  for (int i = 0; i < 120; ++i) values.push_back(1000 + i);
  return values;
}
board::Memory WrittenMemory() {
  board::Memory m;
  m.completed = {Operation::kOperatingTime, Operation::kErrorMemory, Operation::kSerial,
                 Operation::kDeviceType, Operation::kConfiguration};
  m.serial = std::array<std::uint8_t, 7>{'1', '2', '3', '4', '5', '6', '7'};
  m.deviceType = 3;
  m.parameters = Parameters();
  return m;
}

std::string Transfer(const char* heading, int code, const char* tail) {
  return heading + std::to_string(code) + tail;
}

// How the tool waits for one answer of the board: the first poll comes leadMs after the
// host's byte went out, then one every pollMs; an answer found on poll `limit` or earlier is
// accepted. A confirmation is waited for from leadMs after the operation's last echo.
struct Wait {
  double leadMs;
  int pollMs;
  int limit;
};

// One place of the healthy write where a board fault can strike, with what the tool must say.
struct Place {
  Operation op;
  StepKind kind;
  int index;  // data:N
  Wait wait;
  std::string wrongText;  // the answer is another byte
  std::string noneText;   // the answer does not come in time
  int storeMs = 0;        // confirm: the board's storing time before it answers

  std::string StepName() const {
    switch (kind) {
      case StepKind::kStart1: return "start1";
      case StepKind::kStart2: return "start2";
      case StepKind::kData: return "data:" + std::to_string(index);
      case StepKind::kEnd: return "end";
      case StepKind::kConfirm: return "confirm";
    }
    return "?";
  }
  std::string Fault(const std::string& kind) const {
    return std::string("fault = ") + board::OperationName(op) + " " + StepName() + " " + kind;
  }
  // Whether an answer delayed by delayMs is still accepted.
  bool AcceptsDelay(int delayMs) const {
    const double arrives = kind == StepKind::kConfirm ? storeMs + delayMs + kWireMs
                                                      : 2 * kWireMs + delayMs;
    const double deadline = wait.leadMs + double(wait.pollMs) * wait.limit;
    // Too close to call from this model: choose another delay.
    EXPECT_GT(std::abs(arrives - deadline), 3.0) << Fault("delay=" + std::to_string(delayMs));
    return arrives < deadline;
  }
};

// Every place of the healthy write, in the order the tool meets them.
std::vector<Place> Places() {
  constexpr Wait kProbeWait{20, 1, 96};  // 10 ms transmit wait + 10 ms pause, 1 ms polls
  constexpr Wait kStartWait{10, 2, 99};
  std::vector<Place> places;
  places.push_back({Operation::kProbe, StepKind::kStart1, 0, kProbeWait, texts::kNoDevice,
                    texts::kNoDevice});
  auto starts = [&](Operation op, const char* w1, const char* n1, const char* w2,
                    const char* n2) {
    places.push_back({op, StepKind::kStart1, 0, kStartWait, w1, n1});
    places.push_back({op, StepKind::kStart2, 0, kStartWait, w2, n2});
  };
  // The confirmation: pollCount polls of 20 ms, accepted on the first pollCount - 1.
  auto confirm = [&](Operation op, double leadMs, int polls, int storeMs, std::string wrong,
                     std::string none) {
    places.push_back({op, StepKind::kConfirm, 0, Wait{leadMs, 20, polls - 1}, wrong, none,
                      storeMs});
  };
  // Decimal data with its separators and end byte, each with its codes.
  auto decimal = [&](Operation op, const std::vector<std::int32_t>& values) {
    int index = 0;
    for (std::int32_t v : values) {
      for (std::size_t i = 0; i < std::to_string(v).size(); ++i) {
        places.push_back({op, StepKind::kData, index++, Wait{10, 1, 96},
                          Transfer(texts::kTransferHeading, 1, texts::kWrongReplyTail),
                          Transfer(texts::kTransferHeading, 2, texts::kTimeoutTail)});
      }
      places.push_back({op, StepKind::kData, index++, Wait{10, 1, 96},
                        Transfer(texts::kTransferHeading, 3, texts::kWrongReplyTail),
                        Transfer(texts::kTransferHeading, 4, texts::kTimeoutTail)});
    }
    places.push_back({op, StepKind::kEnd, 0, Wait{10, 10, 96},
                      Transfer(texts::kTransferHeading, 5, texts::kWrongReplyTail),
                      Transfer(texts::kTransferHeading, 6, texts::kTimeoutTail)});
  };
  const std::string programmingWrong =
      Transfer(texts::kProgrammingHeading, 7, texts::kWrongConfirmationTail);
  const std::string programmingNone = Transfer(texts::kProgrammingHeading, 8, texts::kTimeoutTail);

  starts(Operation::kOperatingTime, texts::kOperatingTimeStart1Wrong,
         texts::kOperatingTimeStart1None, texts::kOperatingTimeStart2Wrong,
         texts::kOperatingTimeStart2None);
  confirm(Operation::kOperatingTime, 0, 40, 300, texts::kClearWrongConfirmation,
          texts::kConfirmationTimeout);
  starts(Operation::kErrorMemory, texts::kErrorMemoryStart1Wrong, texts::kErrorMemoryStart1None,
         texts::kErrorMemoryStart2Wrong, texts::kErrorMemoryStart2None);
  confirm(Operation::kErrorMemory, 0, 600, 2000, texts::kClearWrongConfirmation,
          texts::kConfirmationTimeout);

  starts(Operation::kSerial, texts::kSerialStart1Wrong, texts::kSerialStart1None,
         texts::kSerialStart2Wrong, texts::kSerialStart2None);
  for (int i = 0; i < 7; ++i) {
    places.push_back({Operation::kSerial, StepKind::kData, i, Wait{10, 2, 96},
                      texts::kSerialWrongReply, texts::kSerialTimeout});
  }
  places.push_back({Operation::kSerial, StepKind::kEnd, 0, Wait{10, 1, 96},
                    texts::kSerialWrongReply, texts::kSerialTimeout});
  // Two seconds of pauses lie between the end byte's echo and the confirmation wait.
  confirm(Operation::kSerial, 2000, 40, 300, texts::kSerialWrongConfirmation,
          texts::kConfirmationTimeout);

  starts(Operation::kDeviceType, texts::kDeviceTypeStart1Wrong, texts::kDeviceTypeStart1None,
         texts::kDeviceTypeStart2Wrong, texts::kDeviceTypeStart2None);
  decimal(Operation::kDeviceType, {3});
  confirm(Operation::kDeviceType, 2000, 600, 1000, programmingWrong, programmingNone);

  places.push_back({Operation::kConfiguration, StepKind::kStart1, 0, kStartWait,
                    texts::kConfigStart1Wrong, texts::kConfigStart1None});
  // The version byte answers start character 2: looked for after 20 ms, then every 10 ms.
  places.push_back({Operation::kConfiguration, StepKind::kStart2, 0, Wait{30, 10, 499},
                    texts::kConfigVersionWrong, texts::kConfigVersionTimeout});
  decimal(Operation::kConfiguration, Parameters());
  confirm(Operation::kConfiguration, 0, 500, 3000, programmingWrong, programmingNone);
  return places;
}

// The host bytes of the healthy write: every place but the confirmations sends one.
long HostBytes() {
  const auto places = Places();
  // Each operation sends one probe of its own; the probe's place stands for all five.
  return static_cast<long>(std::count_if(places.begin(), places.end(),
                                         [](const Place& p) {
                                           return p.kind != StepKind::kConfirm;
                                         })) +
         4;
}

struct Expected {
  int status;
  std::vector<std::string> dialogs;  // "caption: text"
};

const std::string kPortError = "Fehler: ComPortError:  COM3 !";
const std::string kLineError = "Fehler: ComPortLineError:  COM3 !";
const std::string kSuccess = "Information: Schreiben erfolgreich beendet!";

struct Row {
  std::string scenario;
  Expected expected;
};

using testsupport::ProcessThreads;
using testsupport::ProcessThreadsAtMost;

// What one sweep saw.
struct Tally {
  int runs = 0;
  std::map<int, int> statuses;
  std::int64_t longestNs = 0;
  int failures = 0;
};

class FaultSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("lcdwrite-sweep-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    fs::current_path(dir_);
    std::ofstream("Quorix.lcd", std::ios::binary) << apptest::SampleConfig();
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

  // Runs every row (or the sample) and checks each; prints and stores the table line.
  void Sweep(const std::string& family, const std::vector<Row>& rows) {
    Tally tally;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i % kSampleEvery != 0 && i + 1 != rows.size()) continue;
      RunRow(rows[i], tally);
    }
    std::ostringstream line;
    line << std::left << std::setw(26) << family << std::right << std::setw(6) << tally.runs;
    for (int status : {app::kExitWritten, app::kExitBoardFailure,
                       app::kExitPortError}) {
      line << std::setw(8) << tally.statuses[status];
      tally.statuses.erase(status);
    }
    int other = 0;
    for (const auto& [status, count] : tally.statuses) other += count;
    line << std::setw(8) << other << std::setw(12) << std::fixed << std::setprecision(3)
         << double(tally.longestNs) / 1e9 << std::setw(10) << tally.failures;
    // Runs, their exit statuses, the longest run in seconds of machine time, failed checks.
    std::ostringstream head;
    head << std::left << std::setw(26) << "fault sweep" << std::right << std::setw(6) << "runs"
         << std::setw(8) << "=0" << std::setw(8) << "=1" << std::setw(8) << "=4" << std::setw(8)
         << "other" << std::setw(12) << "longest s" << std::setw(10) << "failures";
    const std::string header = head.str();
    std::cout << header << "\n" << line.str() << "\n";
    const fs::path artifacts = LCDWRITE_ARTIFACT_DIR;
    fs::create_directories(artifacts);
    std::ofstream(artifacts / ("fault-sweep-" + family + ".txt")) << header << "\n"
                                                                   << line.str() << "\n";
    EXPECT_EQ(tally.failures, 0);
  }

 private:
  void RunRow(const Row& row, Tally& tally) {
    std::ofstream("sweep.scenario") << row.scenario << "\n";
    fs::remove("report.json");
    app::Options options;
    options.simulate = true;
    options.fast = true;
    options.scenario = "sweep.scenario";
    options.simReport = "report.json";
    ui::RecordingFrontEnd frontEnd(false);
    std::ostringstream out, err;
    std::int64_t endNs = 0;
    std::size_t handles = 0;
    int threads = 0;
    app::RunHooks hooks;
    hooks.onStart = [&row](app::SimulatedTarget* target, app::TMainForm&) {
      sim::Machine* machine = simfront::MachineOf(target);
      machine->Schedule(kWatchdogNs, [scenario = row.scenario] {
        std::fprintf(stderr, "fault sweep: still running after %lld s of machine time: %s\n",
                     static_cast<long long>(kWatchdogNs / 1000000000), scenario.c_str());
        std::abort();
      });
    };
    hooks.onEnd = [&](app::SimulatedTarget* target) {
      sim::Machine* machine = simfront::MachineOf(target);
      endNs = machine->NowNs();
      // A thread told to stop at the end of the run finishes once it gets its turn.
      machine->RunFor(1000 * sim::kNsPerMs);
      threads = machine->OtherThreads();
      handles = machine->OpenHandles();
    };
    const int processThreads = ProcessThreads();
    const int status = app::RunTool(options, frontEnd, out, err, simfront::MakeSimulatedRun, hooks);
    const int threadsLeft = ProcessThreadsAtMost(processThreads) - processThreads;

    std::vector<std::string> dialogs;
    for (const auto& d : frontEnd.dialogs) dialogs.push_back(d.caption + ": " + d.text);
    const std::string report = apptest::Read("report.json");
    const bool stored = report == board::ReportJson(WrittenMemory());

    ++tally.runs;
    ++tally.statuses[status];
    tally.longestNs = std::max(tally.longestNs, endNs);
    std::vector<std::string> problems;
    if (status != row.expected.status) {
      problems.push_back("status " + std::to_string(status) + ", expected " +
                         std::to_string(row.expected.status));
    }
    if (dialogs != row.expected.dialogs) {
      std::string seen;
      for (const auto& d : dialogs) seen += "\n    [" + d + "]";
      problems.push_back("dialogs:" + seen);
    }
    if (endNs > kBoundNs) problems.push_back("took " + std::to_string(endNs) + " ns");
    if (threads != 0 || handles != 0 || threadsLeft != 0) {
      problems.push_back("left " + std::to_string(threads) + " framework threads, " +
                         std::to_string(handles) + " handles, " + std::to_string(threadsLeft) +
                         " process threads");
    }
    // (A failed run may still have stored everything: a lost confirmation cannot be told from
    // a failed store.)
    if (status == app::kExitWritten && !stored) {
      problems.push_back("written, but the board holds " + report);
    }
    if (!problems.empty()) {
      ++tally.failures;
      // The first few in full; the count says the rest.
      if (tally.failures <= 5) {
        std::string text;
        for (const auto& p : problems) text += "\n  " + p;
        ADD_FAILURE() << row.scenario << ":" << text;
      }
    }
  }

  fs::path dir_;
  fs::path previous_;
};

std::vector<Row> ByteRows(const std::string& key, const std::string& suffix,
                          const Expected& expected) {
  std::vector<Row> rows;
  for (long n = 1; n <= HostBytes(); ++n) {
    rows.push_back({key + " = " + std::to_string(n) + suffix, expected});
  }
  return rows;
}

TEST_F(FaultSweep, converter_pulled_after_every_host_byte) {
  // The console ends at the first port error; nothing is written.
  Sweep("unplugged",
        ByteRows("unplug_after_bytes", "", {app::kExitPortError, {kPortError}}));
}

class LineErrorSweep : public FaultSweep, public ::testing::WithParamInterface<const char*> {};

TEST_P(LineErrorSweep, after_every_host_byte) {
  // The line-error handler reports and closes the port; the write's next port call reports
  // the closed port and ends the run.
  Sweep(std::string("line error ") + GetParam(),
        ByteRows("line_error_after_bytes", std::string(" ") + GetParam(),
                 {app::kExitPortError, {kLineError, kPortError}}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LineErrorSweep,
                         ::testing::Values("frame", "overrun", "parity", "break"),
                         [](const auto& info) { return std::string(info.param); });

struct FaultKindCase {
  const char* name;
  std::string kind;  // the scenario's fault kind
};

void PrintTo(const FaultKindCase& c, std::ostream* os) { *os << c.name; }

class BoardFaultSweep : public FaultSweep, public ::testing::WithParamInterface<FaultKindCase> {};

TEST_P(BoardFaultSweep, at_every_step_of_every_operation) {
  const FaultKindCase& c = GetParam();
  std::vector<Row> rows;
  for (const Place& place : Places()) {
    Expected expected{app::kExitBoardFailure, {}};
    if (c.kind == "silent") {
      expected.dialogs = {"Fehler: " + place.noneText};
    } else if (c.kind.rfind("delay=", 0) == 0) {
      if (place.AcceptsDelay(kLateMs)) {
        expected = {app::kExitWritten, {kSuccess}};
      } else {
        expected.dialogs = {"Fehler: " + place.noneText};
      }
    } else {
      // A wrong byte, or a stray one before the right answer: the first byte read is wrong.
      expected.dialogs = {"Fehler: " + place.wrongText};
    }
    rows.push_back({place.Fault(c.kind), expected});
  }
  Sweep(std::string("board ") + c.name, rows);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BoardFaultSweep,
    ::testing::Values(FaultKindCase{"silent", "silent"}, FaultKindCase{"wrong", "wrong=0x00"},
                      FaultKindCase{"late", "delay=" + std::to_string(kLateMs)},
                      FaultKindCase{"stray", "stray=0x00"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
