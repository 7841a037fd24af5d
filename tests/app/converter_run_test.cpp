// Whole runs of the tool behind a converter with a latency timer, on the virtual clock: with
// the request for low latency honoured or ignored the board is written all the same; the
// console and the port's log say what the search found and did.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "tests/app/samplefiles.h"
#include "ui/recording/recording_frontend.h"

namespace {

namespace fs = std::filesystem;

constexpr char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\Device "
    "Parameters";
const std::string kFound16 = "Latenzzeit des USB-Wandlers an COM3: 16 ms";
const std::string kLowered =
    "Latenzzeit auf 1 ms gesetzt; der Treiber \xFC" "bernimmt sie beim \xD6" "ffnen des Ports, "
    "also schon f\xFCr diesen Lauf.";

using apptest::Read;
using apptest::SampleConfig;

// What the board holds after it was written with the sample.
std::string StoredSample() {
  std::string parameters;
  for (int i = 0; i < 120; ++i) parameters += (i ? ", " : "") + std::to_string(1000 + i);
  return "{\"completed\": [\"operating_time\", \"error_memory\", \"serial\", \"device_type\", "
         "\"configuration\"], \"serial\": \"31323334353637\", \"device_type\": 3, "
         "\"parameters\": [" + parameters + "]}\n";
}

struct Outcome {
  int status = -1;
  std::vector<std::string> dialogs;
  std::vector<std::string> notes;
  std::string report;
  std::string log;
  std::int64_t endNs = 0;
  int latencyInUse = -1;  // the board's converter at the end
  std::optional<DWORD> latencyTimer;  // the registry value at the end
};

class BehindConverter : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("lcdwrite-converter-" +
            std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    fs::current_path(dir_);
    std::ofstream(dir_ / "Quorix.lcd", std::ios::binary) << SampleConfig();
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

  Outcome Run(const std::string& scenario, void (*before)(sim::Machine&) = nullptr) {
    std::ofstream(dir_ / "test.scenario") << scenario;
    fs::remove(dir_ / "port.log");  // each run's log of its own
    app::Options options;
    options.simulate = true;
    options.fast = true;
    options.scenario = (dir_ / "test.scenario").string();
    options.simReport = (dir_ / "report.json").string();
    options.logFile = (dir_ / "port.log").string();
    ui::RecordingFrontEnd frontEnd(false);
    Outcome o;
    app::RunHooks hooks;
    hooks.onStart = [before](app::SimulatedTarget* target, app::TMainForm&) {
      sim::Machine* machine = simfront::MachineOf(target);
      if (before != nullptr) before(*machine);
    };
    hooks.onEnd = [&o](app::SimulatedTarget* target) {
      sim::Machine* machine = simfront::MachineOf(target);
      o.endNs = machine->NowNs();
      o.latencyInUse = machine->Device("COM3")->LatencyMs();
      o.latencyTimer = machine->registry().Dword(kParameters, "LatencyTimer");
    };
    std::ostringstream out, err;
    o.status = app::RunTool(options, frontEnd, out, err, simfront::MakeSimulatedRun, hooks);
    for (const auto& d : frontEnd.dialogs) o.dialogs.push_back(d.caption + ": " + d.text);
    // The notes of the search; the load adds what the write will send, which is not ours.
    for (const std::string& note : frontEnd.notes) {
      if (note.rfind("Seriennummer an die Platine: ", 0) == 0) break;
      o.notes.push_back(note);
    }
    o.report = Read(dir_ / "report.json");
    o.log = apptest::ReadLog(dir_ / "port.log");
    return o;
  }

  fs::path dir_;
  fs::path previous_;
};

const std::vector<std::string> kSuccess{"Information: Schreiben erfolgreich beendet!"};
const std::string kConverter16 = "converter.latency_ms = 16\n";

TEST_F(BehindConverter, request_honoured_the_search_lowers_the_latency_and_the_write_succeeds) {
  const Outcome o = Run(kConverter16 + "converter.low_latency = honoured\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.dialogs, kSuccess);
  EXPECT_EQ(o.report, StoredSample());
  EXPECT_EQ(o.notes, (std::vector<std::string>{kFound16, kLowered}));
  EXPECT_NE(o.log.find(kFound16), std::string::npos);
  EXPECT_NE(o.log.find(kLowered), std::string::npos);
  EXPECT_EQ(o.latencyTimer, 1u);
  EXPECT_EQ(o.latencyInUse, 1);
}

TEST_F(BehindConverter, request_ignored_the_write_succeeds_and_takes_longer) {
  const Outcome honoured = Run(kConverter16);
  const Outcome o = Run(kConverter16 + "converter.low_latency = ignored\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.dialogs, kSuccess);
  EXPECT_EQ(o.report, StoredSample());
  // The tool cannot tell that the driver ignored it.
  EXPECT_EQ(o.notes, (std::vector<std::string>{kFound16, kLowered}));
  EXPECT_EQ(o.latencyTimer, 1u);
  EXPECT_EQ(o.latencyInUse, 16);
  // Every echo waited for the 16 ms timer: seconds more for the whole write.
  EXPECT_GT(o.endNs - honoured.endNs, 2000 * sim::kNsPerMs);
}

TEST_F(BehindConverter, key_not_writable_says_how_to_change_it_and_writes_the_board) {
  const Outcome o = Run(kConverter16, [](sim::Machine& machine) {
    machine.registry().DenyWrites(kParameters);
  });
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.dialogs, kSuccess);
  EXPECT_EQ(o.report, StoredSample());
  ASSERT_EQ(o.notes.size(), 3u);
  EXPECT_EQ(o.notes[0], kFound16);
  EXPECT_EQ(o.notes[1],
            "Latenzzeit l\xE4sst sich nicht auf 1 ms setzen: Access is denied.");
  EXPECT_EQ(o.notes[2],
            "Abhilfe: Ger\xE4te-Manager > Anschl\xFCsse (COM & LPT) > USB Serial Port (COM3) > "
            "Eigenschaften > Anschlusseinstellungen (Port Settings) > Erweitert (Advanced): "
            "Latenzzeit (Latency Timer) auf 1 ms stellen, oder lcdwrite einmal als Administrator "
            "starten.");
  EXPECT_NE(o.log.find(o.notes[2]), std::string::npos);
  EXPECT_EQ(o.latencyTimer, 16u);
  EXPECT_EQ(o.latencyInUse, 16);
}

TEST_F(BehindConverter, latency_already_low_is_only_reported) {
  const Outcome o = Run("converter.latency_ms = 1\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.notes, std::vector<std::string>{"Latenzzeit des USB-Wandlers an COM3: 1 ms"});
  EXPECT_EQ(o.latencyTimer, 1u);
}

TEST_F(BehindConverter, without_a_latency_value_the_console_says_nothing_and_the_log_why) {
  const Outcome o = Run("");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.report, StoredSample());
  EXPECT_TRUE(o.notes.empty());
  EXPECT_NE(o.log.find("Latenzzeit des USB-Wandlers an COM3: kein Wert LatencyTimer im "
                       "Registry-Schl\xFCssel"),
            std::string::npos);
  EXPECT_EQ(o.latencyTimer, std::nullopt);
  EXPECT_EQ(o.latencyInUse, 0);
}

// The port's log without its time stamps and without the search's lines on the latency (they
// name the value found): the bytes on the wire and the port's calls, in order.
std::vector<std::string> Traffic(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find("Latenzzeit") != std::string::npos) continue;
    const std::size_t time = line.find(' ', line.find(' ') + 1);
    lines.push_back(time == std::string::npos ? line : line.substr(time + 1));
  }
  return lines;
}

struct LatencyRow {
  int latencyMs;
  bool honoured;
};

void PrintTo(const LatencyRow& row, std::ostream* os) {
  *os << row.latencyMs << (row.honoured ? " ms, honoured" : " ms, ignored");
}

class LongLatency : public BehindConverter, public ::testing::WithParamInterface<LatencyRow> {};

// Behind any latency timer the board is written; with the request honoured the run is the
// 16 ms converter's to the byte and to the poll (the same machine time), and ignored it only
// takes longer.
TEST_P(LongLatency, the_write_succeeds) {
  const LatencyRow& row = GetParam();
  const Outcome reference = Run(kConverter16 + "converter.low_latency = honoured\n");
  const Outcome o = Run("converter.latency_ms = " + std::to_string(row.latencyMs) +
                        "\nconverter.low_latency = " + (row.honoured ? "honoured" : "ignored") +
                        "\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.dialogs, kSuccess);
  EXPECT_EQ(o.report, StoredSample());
  EXPECT_EQ(o.latencyInUse, row.honoured ? 1 : row.latencyMs);
  if (row.honoured) {
    EXPECT_EQ(Traffic(o.log), Traffic(reference.log));
    EXPECT_EQ(o.endNs, reference.endNs);
  } else {
    EXPECT_GT(o.endNs, reference.endNs);
  }
}

INSTANTIATE_TEST_SUITE_P(Timers, LongLatency,
                         ::testing::Values(LatencyRow{64, true}, LatencyRow{64, false},
                                           LatencyRow{128, true}, LatencyRow{128, false},
                                           LatencyRow{255, true}, LatencyRow{255, false}),
                         [](const auto& info) {
                           return std::to_string(info.param.latencyMs) +
                                  (info.param.honoured ? "_honoured" : "_ignored");
                         });

}  // namespace
