// The example scenarios in board/scenarios do to a whole run what their comments say.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/link.h"
#include "tests/protocol/protocolfixture.h"

namespace protocol::testing {
namespace {

struct ExampleRow {
  const char* file;
  const char* outcome;  // the first error dialog (UTF-8), "port error 5", or "" for success
};

void PrintTo(const ExampleRow& row, std::ostream* os) { *os << row.file; }

class ExampleScenario : public ProtocolTest, public ::testing::WithParamInterface<ExampleRow> {};

TEST_P(ExampleScenario, run_ends_as_described) {
  const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::stringstream text;
  text << std::ifstream(std::string(source) + "/board/scenarios/" + GetParam().file).rdbuf();
  ASSERT_FALSE(text.str().empty());
  Start(text.str());

  std::string outcome;
  for (Op op : {Op::OperatingTime, Op::ErrorMemory, Op::Serial, Op::DeviceType,
                Op::Configuration}) {
    try {
      const auto reset = Run([](BoardWindow& w) {
        ResetOn(w);
        ResetOff(w);
      });
      if (reset || RunOp(op)) break;
    } catch (const comport::EComError& e) {
      outcome = "port error " + std::to_string(e.ErrorCode());
      break;
    }
  }
  const auto errors = window->Of(WindowCall::Kind::Error);
  if (!errors.empty()) outcome = fw::Cp1252ToUtf8(errors.front().text);
  EXPECT_EQ(outcome, GetParam().outcome);
  if (outcome.empty()) {
    EXPECT_EQ(board->Stored().completed.size(), 5u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ExampleScenario,
    ::testing::Values(
        ExampleRow{"healthy.scenario", ""}, ExampleRow{"fast.scenario", ""},
        ExampleRow{"slow-board.scenario", ""},
        ExampleRow{"no-board.scenario",
                   "Keine Rückmeldung vom \"Reset\"-Befehl \"ein\" erhalten!\n\n"
                   "        Datenübertragung abgebrochen!"},
        ExampleRow{"old-firmware.scenario",
                   "Datenübertragungsfehler!\n\nFalsches Kontrollzeichen empfangen.\n"
                   "Firmware in LCD-Platine vermutlich nicht kompatibel."},
        ExampleRow{"lost-echo.scenario",
                   "Datenübertragungsfehler!  Fehlercode 4\n\nZeitüberschreitung."},
        ExampleRow{"stray-bytes.scenario",
                   "Datenübertragungsfehler!  Fehlercode 3\n\nFalsches Antwortbyte."},
        ExampleRow{"unplugged.scenario", "port error 5"}),
    [](const auto& info) {
      std::string name = info.param.file;
      for (char& c : name) {
        if (c == '-' || c == '.') c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace protocol::testing
