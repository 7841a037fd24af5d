// Scenario files: defaults, every key, and errors that name their line.
#include "board/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace board {
namespace {

Scenario Parse(const std::string& text) {
  std::istringstream in(text);
  return ParseScenario(in, "t.scenario");
}

TEST(Scenario, empty_file_is_the_healthy_default_machine) {
  const Scenario s = Parse("# nothing\n\n   \n");
  EXPECT_EQ(s.ports, (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(s.boardPort, "COM3");
  EXPECT_TRUE(s.busy.empty());
  ASSERT_EQ(s.portNames.size(), 1u);
  EXPECT_EQ(s.portNames.at("A5XK3RJTA"), std::optional<std::string>("COM3"));
  EXPECT_NE(std::find(s.devices.begin(), s.devices.end(),
                      "FTDIBUS#VID_0403+PID_6001+A5XK3RJTA#0000#{86e0d1e0-8089-11d0-9ce4-"
                      "08002be10318}"),
            s.devices.end());
  EXPECT_TRUE(s.board.present);
  EXPECT_EQ(s.board.version, 4);
  EXPECT_EQ(s.board.storeMs, (std::array<int, kOperationCount>{0, 300, 2000, 300, 1000, 3000}));
  EXPECT_EQ(s.board.confirmByte, 0xAF);
  EXPECT_EQ(s.SerialDevices(), (std::vector<std::string>{"COM1", "COM3"}));
}

TEST(Scenario, reads_every_key) {
  const Scenario s = Parse(
      "ports = COM1 COM4\n"
      "devices = C: ftdi:B7QW2MZKA  FTDIBUS#odd#name\n"
      "portname.B7QW2MZKA = COM4\n"
      "portname.A5XK3RJTA = none\n"
      "busy = COM1 COM9\n"
      "board.port = COM4\n"
      "board.present = no\n"
      "board.version = 0x03\n"
      "board.echo_delay_ms = 7\n"
      "board.dsr = on\n"
      "board.dsr_delay_ms = 60\n"
      "board.store_ms.error_memory = 11000\n"
      "board.confirm_byte = 0xAE\n"
      "fault = serial data:6 wrong=0x80\n"
      "fault = probe start1 delay=120\n"
      "fault = configuration confirm stray=0x00\n"
      "fault = operating_time start2 silent\n"
      "unplug_after_bytes = 40\n"
      "line_error_after_bytes = 12 overrun\n");
  EXPECT_EQ(s.ports, (std::vector<std::string>{"COM1", "COM4"}));
  EXPECT_EQ(s.devices, (std::vector<std::string>{
                           "C:",
                           "FTDIBUS#VID_0403+PID_6001+B7QW2MZKA#0000#{86e0d1e0-8089-11d0-9ce4-"
                           "08002be10318}",
                           "FTDIBUS#odd#name"}));
  EXPECT_EQ(s.portNames.size(), 2u);  // the default converter's key is gone
  EXPECT_EQ(s.portNames.at("B7QW2MZKA"), std::optional<std::string>("COM4"));
  EXPECT_EQ(s.portNames.at("A5XK3RJTA"), std::nullopt);
  EXPECT_EQ(s.busy, (std::vector<std::string>{"COM1", "COM9"}));
  EXPECT_EQ(s.boardPort, "COM4");
  EXPECT_FALSE(s.board.present);
  EXPECT_EQ(s.board.version, 3);
  EXPECT_EQ(s.board.echoDelayMs, 7);
  EXPECT_EQ(s.board.dsr, DsrMode::kOn);
  EXPECT_EQ(s.board.dsrDelayMs, 60);
  EXPECT_EQ(s.board.storeMs[static_cast<int>(Operation::kErrorMemory)], 11000);
  EXPECT_EQ(s.board.confirmByte, 0xAE);
  ASSERT_EQ(s.board.faults.size(), 4u);
  const Fault& f = s.board.faults[0];
  EXPECT_EQ(f.operation, Operation::kSerial);
  EXPECT_EQ(f.step, (Step{StepKind::kData, 6}));
  EXPECT_EQ(f.kind, FaultKind::kWrong);
  EXPECT_EQ(f.value, 0x80);
  EXPECT_EQ(s.board.faults[1].kind, FaultKind::kDelay);
  EXPECT_EQ(s.board.faults[1].value, 120);
  EXPECT_EQ(s.board.faults[2].step.kind, StepKind::kConfirm);
  EXPECT_EQ(s.board.faults[3].kind, FaultKind::kSilent);
  EXPECT_EQ(s.board.unplugAfterBytes, 40);
  EXPECT_EQ(s.board.lineErrorAfterBytes, 12);
  EXPECT_EQ(s.board.lineError, LineError::kOverrun);
  EXPECT_EQ(s.SerialDevices(), (std::vector<std::string>{"COM1", "COM4"}));
}

TEST(Scenario, errors_name_the_line_and_the_problem) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"bogus = 1", "t.scenario:1: unknown key 'bogus'"},
      {"# c\n\nboard.dsr = maybe", "t.scenario:3: bad value 'maybe' for board.dsr"},
      {"just words", "t.scenario:1: expected key = value"},
      {"board.present = 1", "bad value '1' for board.present (yes or no)"},
      {"board.version = 256", "bad value '256' for board.version"},
      {"board.version = 0x", "bad value '0x' for board.version"},
      {"board.echo_delay_ms = -1", "bad value '-1' for board.echo_delay_ms"},
      {"board.store_ms.probe = 5", "unknown key 'board.store_ms.probe'"},
      {"board.store_ms.everything = 5", "unknown key 'board.store_ms.everything'"},
      {"board.port = COM1 COM3", "bad value 'COM1 COM3' for board.port"},
      {"fault = serial data:7 silent", "bad value 'serial data:7 silent' for fault"},
      {"fault = operating_time data:0 silent", "for fault (a step of operating_time"},
      {"fault = probe start2 silent", "for fault (a step of probe: start1)"},
      {"fault = error_memory end silent", "a step of error_memory"},
      {"fault = serial start1 wrong=0x100", "(wrong=<byte>)"},
      {"fault = serial start1 wrong", "(kind silent, wrong=0xNN, delay=MS or stray=0xNN)"},
      {"fault = serial start1 silent=1", "(kind silent"},
      {"fault = serial start1 loud", "(kind silent"},
      {"fault = reboot start1 silent", "(operation probe, operating_time"},
      {"fault = serial start1", "(<operation> <step> <kind>)"},
      {"unplug_after_bytes = 0", "bad value '0' for unplug_after_bytes"},
      {"line_error_after_bytes = 5 noise", "for line_error_after_bytes"},
      {"line_error_after_bytes = 5", "for line_error_after_bytes"},
      {"portname. = COM3", "t.scenario:1: portname. needs a converter instance id"},
      {"portname.A5\\\\X = COM3", "t.scenario:1: a converter instance id has no backslash"},
      {"portname.A5\\X = COM3", "t.scenario:1: a converter instance id has no backslash"},
      // Sections of further boards.
      {"[board]", "t.scenario:1: expected [board PORT]"},
      {"[board COM4", "t.scenario:1: expected [board PORT]"},
      {"[station COM4]", "t.scenario:1: expected [board PORT]"},
      {"[board COM4]\n[board COM4]", "t.scenario:2: [board COM4] is given twice"},
      {"[board COM4]\nports = COM4", "t.scenario:2: 'ports' describes the machine"},
      {"[board COM4]\nboard.port = COM4", "t.scenario:2: 'board.port' describes the machine"},
      {"[board COM4]\nconverter.latency_ms = 2", "'converter.latency_ms' describes the machine"},
      {"board.port = COM4\n[board COM4]", "t.scenario: [board COM4]: board.port is that port"},
      {"[board COM4]\nboard.present = 1", "t.scenario:2: bad value '1' for board.present"},
  };
  for (const auto& [text, message] : cases) {
    try {
      Parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
          << text << " -> " << e.what();
    }
  }
}

TEST(Scenario, each_section_describes_its_own_board_from_the_defaults) {
  const Scenario s = Parse(
      "board.port = COM3\nunplug_after_bytes = 40\nboard.version = 5\n"
      "[board COM4]\nfault = serial confirm silent\nboard.store_ms.configuration = 10\n"
      "[ board  COM5 ]\n# healthy\n");
  EXPECT_EQ(s.board.unplugAfterBytes, 40);
  EXPECT_EQ(s.board.version, 5);
  EXPECT_TRUE(s.board.faults.empty());
  ASSERT_EQ(s.moreBoards.size(), 2u);
  EXPECT_EQ(s.moreBoards[0].port, "COM4");
  EXPECT_EQ(s.moreBoards[0].settings.faults.size(), 1u);
  EXPECT_EQ(s.moreBoards[0].settings.storeMs[static_cast<int>(Operation::kConfiguration)], 10);
  // Nothing of the first board's keys carries over.
  EXPECT_EQ(s.moreBoards[0].settings.unplugAfterBytes, std::nullopt);
  EXPECT_EQ(s.moreBoards[0].settings.version, 4);
  EXPECT_EQ(s.moreBoards[1].port, "COM5");
  EXPECT_TRUE(s.moreBoards[1].settings.faults.empty());
  // Every board's port is a device of the machine.
  const std::vector<std::string> devices = s.SerialDevices();
  for (const char* port : {"COM3", "COM4", "COM5"}) {
    EXPECT_NE(std::find(devices.begin(), devices.end(), port), devices.end()) << port;
  }
}

TEST(Scenario, a_missing_file_is_an_error_naming_it) {
  EXPECT_THROW(LoadScenarioFile("/nonexistent/x.scenario"), ScenarioError);
}

TEST(Scenario, example_files_are_valid) {
  const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(source) / "board/scenarios")) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_NO_THROW(LoadScenarioFile(entry.path().string()));
    ++files;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace board
