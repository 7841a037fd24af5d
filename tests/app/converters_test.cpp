// Several converters attached: the search takes the one named with --converter (or the first,
// and says which and what else is attached), and --list shows them without opening a port.
#include "app/converters.h"
#include "app/listconverters.h"
#include "app/resultline.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::WholeRun;

// Two converters with their ports; the board is behind A5XK3RJT on COM3, the other's port COM4
// has nothing behind it.
const std::string kTwo =
    "ports = COM1 COM3 COM4\n"
    "devices = C: COM1 COM3 COM4 ftdi:B7QW2MZKA ftdi:A5XK3RJTA Global\n"
    "portname.A5XK3RJTA = COM3\n"
    "portname.B7QW2MZKA = COM4\n";

struct PinRow {
  const char* name;
  std::string scenario;
  std::string converter;  // --converter; "" for none
  std::vector<std::string> dialogs;
  int status;
  std::string note;  // a note the console shows ("" for none expected)
};

void PrintTo(const PinRow& row, std::ostream* os) { *os << row.name; }

class PinnedConverter : public WholeRun, public ::testing::WithParamInterface<PinRow> {};

TEST_P(PinnedConverter, search_takes_the_named_converter_or_says_which_it_took) {
  const PinRow& row = GetParam();
  app::Options options;
  options.converter = row.converter;
  const Outcome o = Run(row.scenario, apptest::SampleConfig(), false, options);
  std::vector<std::string> shown;  // each dialog's text with its detail below it
  for (const auto& d : o.dialogs) {
    shown.push_back(d.caption + ": " + d.text + (d.detail.empty() ? "" : "\n" + d.detail));
  }
  EXPECT_EQ(shown, row.dialogs);
  EXPECT_EQ(o.status, row.status);
  bool seen = row.note.empty();
  for (const std::string& note : o.notes) seen = seen || note == row.note;
  EXPECT_TRUE(seen) << "missing note: " << row.note;
  if (row.note.empty()) {
    for (const std::string& note : o.notes) EXPECT_EQ(note.find("Mehrere"), std::string::npos);
  }
}

const std::string kSeveral =
    "Mehrere USB-Wandler angeschlossen: genommen B7QW2MZK (COM4), au\xDF"
    "erdem A5XK3RJT. Einen bestimmten w\xE4hlt --converter SERIENNUMMER.";

INSTANTIATE_TEST_SUITE_P(
    Table, PinnedConverter,
    ::testing::Values(
        // Without --converter the first one decides, as always, and the console says so.
        PinRow{"first_of_two_is_taken_and_named", kTwo, "",
               {"Fehler: Keine R\xFC" "ckmeldung vom \"Reset\"-Befehl \"ein\" erhalten!\n\n"
                "        Daten\xFC" "bertragung abgebrochen!"},
               1, kSeveral},
        PinRow{"pinned_serial_is_written", kTwo, "A5XK3RJT",
               {"Information: Schreiben erfolgreich beendet!"}, 0, ""},
        PinRow{"pinned_in_lower_case", kTwo, "a5xk3rjt",
               {"Information: Schreiben erfolgreich beendet!"}, 0, ""},
        PinRow{"pinned_by_instance_id", kTwo, "A5XK3RJTA",
               {"Information: Schreiben erfolgreich beendet!"}, 0, ""},
        // The first converter has no registry key: pinned to the second it does not matter.
        PinRow{"pinned_past_a_converter_without_key",
               "devices = COM1 ftdi:B7QW2MZKA ftdi:A5XK3RJTA\nportname.A5XK3RJTA = COM3\n",
               "A5XK3RJT", {"Information: Schreiben erfolgreich beendet!"}, 0, ""},
        PinRow{"not_attached_names_the_attached", kTwo, "C9999999",
               {"Fehler: USB-Wandler C9999999 nicht angeschlossen!\n"
                "Angeschlossen: B7QW2MZK, A5XK3RJT"},
               3, ""},
        PinRow{"prefix_of_a_serial_is_no_match", kTwo, "A5XK3",
               {"Fehler: USB-Wandler A5XK3 nicht angeschlossen!\n"
                "Angeschlossen: B7QW2MZK, A5XK3RJT"},
               3, ""},
        PinRow{"none_attached", "devices = C: COM1 COM3\n", "A5XK3RJT",
               {"Fehler: USB-Wandler A5XK3RJT nicht angeschlossen!\nAngeschlossen: -"}, 3, ""},
        PinRow{"escape_in_the_name_is_shown_not_acted_on", kTwo, "\x1b[2J",
               {"Fehler: USB-Wandler \\x1b[2J nicht angeschlossen!\n"
                "Angeschlossen: B7QW2MZK, A5XK3RJT"},
               3, ""}),
    [](const ::testing::TestParamInfo<PinRow>& info) { return info.param.name; });

struct ListRow {
  const char* name;
  std::string scenario;
  std::string listing;  // UTF-8
};

void PrintTo(const ListRow& row, std::ostream* os) { *os << row.name; }

class ListedConverters : public WholeRun, public ::testing::WithParamInterface<ListRow> {};

TEST_P(ListedConverters, list_shows_every_converter_and_opens_no_port) {
  const ListRow& row = GetParam();
  apptest::Write(dir_ / "list.scenario", row.scenario);
  app::Options options;
  options.list = true;
  options.simulate = true;
  options.scenario = (dir_ / "list.scenario").string();
  std::ostringstream out, err;
  EXPECT_EQ(app::ListConverters(options, out, err, simfront::MakeSimulatedRun), 0);
  EXPECT_EQ(out.str(), row.listing);
  EXPECT_EQ(err.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListedConverters,
    ::testing::Values(
        ListRow{"default_machine", "",
                "Port  USB-Wandler  Latenz  belegt von\n"
                "COM3  A5XK3RJT\n"},
        ListRow{"two_in_the_system_order", kTwo,
                "Port  USB-Wandler  Latenz  belegt von\n"
                "COM4  B7QW2MZK\n"
                "COM3  A5XK3RJT\n"},
        ListRow{"held_port_and_latency_timer", "busy = COM3\nconverter.latency_ms = 16\n",
                "Port  USB-Wandler  Latenz  belegt von\n"
                "COM3  A5XK3RJT     16 ms   einem anderen Programm\n"},
        ListRow{"without_key_and_by_location",
                "devices = COM1 ftdi:B7QW2MZKA ftdi:5&1C4A9D3E&0&2\n"
                "portname.5&1C4A9D3E&0&2 = COM3\n",
                "Port         USB-Wandler     Latenz  belegt von\n"
                "(kein Port)  B7QW2MZK\n"
                "COM3         5&1C4A9D3E&0&2\n"},
        ListRow{"none", "devices = C: COM1 COM3\n",
                "Kein USB-Wandler der LCD-Platine angeschlossen.\n"}),
    [](const ::testing::TestParamInfo<ListRow>& info) { return info.param.name; });


// The last JSON line of a run: what the run took and how it ended, from the run itself.
TEST_F(WholeRun, the_result_line_names_the_port_the_converter_and_the_failure) {
  const struct {
    const char* name;
    std::string scenario;
    std::string port;  // --port
    const char* line;
  } rows[] = {
      {"written", "", "",
       "{\"event\":\"result\",\"status\":0,\"written\":true,\"port\":\"COM3\","
       "\"converter\":\"A5XK3RJT\",\"failure\":\"\"}\n"},
      {"named_port", "", "COM3",
       "{\"event\":\"result\",\"status\":0,\"written\":true,\"port\":\"COM3\","
       "\"converter\":\"\",\"failure\":\"\"}\n"},
      {"unplugged", "unplug_after_bytes = 20\n", "",
       "{\"event\":\"result\",\"status\":4,\"written\":false,\"port\":\"COM3\","
       "\"converter\":\"A5XK3RJT\",\"failure\":\"ComPortError:  COM3 !\"}\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    app::Options options;
    options.port = row.port;
    std::string line;
    app::RunHooks hooks;
    hooks.onResult = [&line](int status, const std::string& port, const std::string& converter,
                             const std::string& failure) {
      line = app::ResultLine(status, port, converter, failure);
    };
    Run(row.scenario, apptest::SampleConfig(), false, options, hooks);
    EXPECT_EQ(line, row.line);
  }
}

}  // namespace
