// Whole runs of the tool in one process, on the simulated machine's virtual clock.
#include "app/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/mainform.h"
#include "framework/application.h"
#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::SampleConfig;
using apptest::WholeRun;
namespace fs = std::filesystem;

TEST_F(WholeRun, healthy_board_is_written_with_the_file_and_the_run_ends_with_0) {
  const Outcome o = Run("");
  EXPECT_EQ(o.status, 0);
  ASSERT_EQ(o.Texts(), std::vector<std::string>{"Information: Schreiben erfolgreich beendet!"});
  EXPECT_NE(o.report.find("\"completed\": [\"operating_time\", \"error_memory\", \"serial\", "
                          "\"device_type\", \"configuration\"]"),
            std::string::npos)
      << o.report;
  EXPECT_NE(o.report.find("\"serial\": \"31323334353637\""), std::string::npos) << o.report;
  EXPECT_NE(o.report.find("\"device_type\": 3"), std::string::npos) << o.report;
  EXPECT_NE(o.report.find("1000, 1001, 1002"), std::string::npos) << o.report;
  EXPECT_NE(o.report.find("1118, 1119]"), std::string::npos) << o.report;
}

struct FailureRow {
  const char* name;
  std::string scenario;
  std::string config;
  std::vector<std::string> dialogs;
  int status;
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class WholeRunFailures : public WholeRun, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(WholeRunFailures, reports_and_ends_with_its_status) {
  const FailureRow& row = GetParam();
  const Outcome o = Run(row.scenario, row.config);
  EXPECT_EQ(o.Texts(), row.dialogs);
  EXPECT_EQ(o.status, row.status);
}

const std::string kConverter = "ftdi:A5XK3RJTA";

INSTANTIATE_TEST_SUITE_P(
    Table, WholeRunFailures,
    ::testing::Values(
        FailureRow{"no_com_port", "ports =\n", SampleConfig(),
                   {"Fehler: Keinen ComPort auf dem PC gefunden!"}, 3},
        FailureRow{"no_converter", "devices = C: COM1 COM3\n", SampleConfig(),
                   {"Fehler: USB-Port der LCD-Platine nicht gefunden!"}, 3},
        FailureRow{"empty_device_list", "devices =\n", SampleConfig(),
                   {"Fehler: PortSuche nicht erfolgreich !"}, 3},
        FailureRow{"no_registry_key", "devices = COM1 " + kConverter + "\n", SampleConfig(),
                   {"Fehler: RegSchl\xFCssel nicht gefunden !"}, 3},
        FailureRow{"no_port_name_value",
                   "devices = COM1 " + kConverter + "\nportname.A5XK3RJTA = none\n",
                   SampleConfig(), {"Fehler: RegWert (PortName) nicht gefunden !"}, 3},
        FailureRow{"port_name_not_listed",
                   "devices = " + kConverter + "\nportname.A5XK3RJTA = COM9\n", SampleConfig(),
                   {"Fehler: PortSuche nicht erfolgreich !"}, 3},
        FailureRow{"port_name_differs_in_case",
                   "devices = " + kConverter + "\nportname.A5XK3RJTA = com3\n", SampleConfig(),
                   {"Fehler: PortSuche nicht erfolgreich !"}, 3},
        FailureRow{"port_busy", "busy = COM3\n", SampleConfig(),
                   {"Fehler: ComPortError:  COM3 !\n\nDer Port kann nicht ge\xF6\x66\x66net werden.",
                    "Fehler: PortSuche nicht erfolgreich !"},
                   3},
        FailureRow{"config_missing", "", "", {"Fehler: Quorix.lcd kann nicht ge\xF6\x66\x66net werden!"},
                   2},
        FailureRow{"config_other_version", "", "5\n1 2 3\n",
                   {"Fehler: Quorix.lcd geh\xF6rt zu einer anderen Konfigurationsversion!"}, 2},
        FailureRow{"config_damaged", "", "4\n1 2 x\n",
                   {"Fehler: Quorix.lcd ist fehlerhaft!\n"
                    "Eintrag 4 (Parameter 3): \"x\" ist keine ganze Zahl."},
                   2},
        FailureRow{"reset_not_answered", "board.dsr = off\n", SampleConfig(),
                   {"Fehler: Keine R\xFC\x63kmeldung vom \"Reset\"-Befehl \"ein\" erhalten!\n\n"
                    "        Daten\xFC\x62\x65rtragung abgebrochen!"},
                   1},
        FailureRow{"no_board", "board.present = no\n", SampleConfig(),
                   {"Fehler: Keine R\xFC\x63kmeldung vom \"Reset\"-Befehl \"ein\" erhalten!\n\n"
                    "        Daten\xFC\x62\x65rtragung abgebrochen!"},
                   1},
        FailureRow{"old_firmware", "board.version = 3\n", SampleConfig(),
                   {"Fehler: Daten\xFC\x62\x65rtragungsfehler!\n\nFalsches Kontrollzeichen "
                    "empfangen.\nFirmware in LCD-Platine vermutlich nicht kompatibel."},
                   1},
        FailureRow{"unplugged_during_write", "unplug_after_bytes = 20\n", SampleConfig(),
                   {"Fehler: ComPortError:  COM3 !"}, 4}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(WholeRun, first_matching_converter_decides_and_its_instance_id_is_cut_to_nine) {
  // The first converter has no key; the second one would have worked.
  const Outcome o = Run("devices = COM1 ftdi:A1B2C3D4AXYZ ftdi:A5XK3RJTA\n"
                        "portname.A5XK3RJTA = COM3\n");
  EXPECT_EQ(o.Texts(), std::vector<std::string>{"Fehler: RegSchl\xFCssel nicht gefunden !"});
  EXPECT_EQ(o.status, 3);
  // The key of an id longer than 9 characters holds its first 9.
  const Outcome cut = Run("devices = COM1 ftdi:A5XK3RJTAXYZ\nportname.A5XK3RJTA = COM3\n");
  EXPECT_EQ(cut.status, 0);
}

// Which registry key the search takes for a converter's instance id: the first 9 characters
// first, as always; the whole id (up to its '#') only where that key does not exist.
struct KeyRow {
  const char* name;
  std::string scenario;
  std::string dialog;
  int status;
};

void PrintTo(const KeyRow& row, std::ostream* os) { *os << row.name; }

class ConverterKey : public WholeRun, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(ConverterKey, search_finds_the_port_under_the_key_the_driver_made) {
  const KeyRow& row = GetParam();
  const Outcome o = Run(row.scenario);
  EXPECT_EQ(o.Texts(), std::vector<std::string>{row.dialog});
  EXPECT_EQ(o.status, row.status);
}

const std::string kDone = "Information: Schreiben erfolgreich beendet!";
const std::string kLong = "FT9Q2W7E5R3T1Y8UA";  // a 16-character serial and the letter A
const std::string kPlace = "5&977676F0&0&1";    // no serial: named by its USB location

INSTANTIATE_TEST_SUITE_P(
    Table, ConverterKey,
    ::testing::Values(
        KeyRow{"serial_of_8", "devices = COM1 ftdi:A5XK3RJTA\nportname.A5XK3RJTA = COM3\n", kDone, 0},
        KeyRow{"serial_of_16",
               "devices = COM1 ftdi:" + kLong + "\nportname." + kLong + " = COM3\n", kDone, 0},
        KeyRow{"no_serial", "devices = COM1 ftdi:" + kPlace + "\nportname." + kPlace + " = COM3\n",
               kDone, 0},
        KeyRow{"both_keys_the_nine_characters_decide",
               "devices = ftdi:" + kLong + "\nportname.FT9Q2W7E5 = COM3\nportname." + kLong +
                   " = none\n",
               kDone, 0},
        KeyRow{"both_keys_the_nine_characters_decide_even_without_a_port_name",
               "devices = ftdi:" + kLong + "\nportname.FT9Q2W7E5 = none\nportname." + kLong +
                   " = COM3\n",
               "Fehler: RegWert (PortName) nicht gefunden !", 3},
        KeyRow{"neither_key", "devices = ftdi:" + kLong + "\nportname.FT9Q2W7E5R = COM3\n",
               "Fehler: RegSchl\xFCssel nicht gefunden !", 3}),
    [](const ::testing::TestParamInfo<KeyRow>& info) { return info.param.name; });

// The log's lines without their time prefix (date, blank, time, blank).
std::vector<std::string> LogMessages(const fs::path& log) {
  std::vector<std::string> lines;
  std::istringstream in(apptest::ReadLog(log));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows text file
    std::size_t cut = line.find(' ');
    cut = cut == std::string::npos ? cut : line.find(' ', cut + 1);
    lines.push_back(cut == std::string::npos ? line : line.substr(cut + 1));
  }
  return lines;
}

TEST_F(WholeRun, a_port_that_does_not_open_is_explained_below_the_message_and_in_the_log) {
  const std::string held =
      "Zugriff verweigert: Der Port wird von einem anderen Programm benutzt.\n"
      "Abhilfe: das andere Programm (zum Beispiel ein Terminalprogramm) schlie\xDF\x65n und es "
      "erneut versuchen.";
  const std::string unplugged =
      "Port nicht gefunden: Der USB-Wandler ist nicht (mehr) angesteckt.\n"
      "Abhilfe: den Wandler anstecken und es erneut versuchen.";
  const struct {
    const char* name;
    std::string scenario;
    std::string port;
    std::string detail;
    std::string logged;
  } rows[] = {
      {"held by another program", "busy = COM3\n", "", held, "Access is denied."},
      {"named port not there", "", "COM9", unplugged, "The system cannot find the file specified."},
  };
  for (const auto& row : rows) {
    app::Options options;
    options.port = row.port;
    options.logFile = (dir_ / "port.log").string();
    fs::remove(dir_ / "port.log");
    const Outcome o = Run(row.scenario, SampleConfig(), false, options);
    const std::string name = row.port.empty() ? "COM3" : row.port;
    ASSERT_FALSE(o.dialogs.empty()) << row.name;
    EXPECT_EQ(o.dialogs[0].text, "ComPortError:  " + name + " !\n\nDer Port kann nicht ge\xF6\x66\x66net werden.")
        << row.name << ": the message itself stays as it is";
    EXPECT_EQ(o.dialogs[0].detail, row.detail) << row.name;
    for (std::size_t i = 1; i < o.dialogs.size(); ++i) EXPECT_EQ(o.dialogs[i].detail, "") << row.name;
    EXPECT_EQ(o.status, 3) << row.name;
    // The log ends with the failure and its explanation (the search logs before it).
    const std::size_t lineBreak = row.detail.find('\n');
    std::vector<std::string> logged = LogMessages(dir_ / "port.log");
    if (logged.size() > 3) logged.erase(logged.begin(), logged.end() - 3);
    EXPECT_EQ(logged, (std::vector<std::string>{"Open \\\\.\\" + name + " failed: " + row.logged,
                                                row.detail.substr(0, lineBreak),
                                                row.detail.substr(lineBreak + 1)}))
        << row.name;
  }
}

TEST_F(WholeRun, a_prefix_in_another_case_does_not_match) {
  const Outcome o =
      Run("devices = COM1 ftdibus#VID_0403+PID_6001+A5XK3RJTA#0000\nportname.A5XK3RJTA = COM3\n");
  EXPECT_EQ(o.Texts(), std::vector<std::string>{"Fehler: USB-Port der LCD-Platine nicht gefunden!"});
}

// What a user does at an instant of machine time: posted to the window's thread.
void At(sim::Machine& machine, std::int64_t ms, std::function<void()> action) {
  machine.Schedule(ms * 1000000, [action] { fw::Application->Post(action); });
}

TEST_F(WholeRun, two_clicks_within_a_second_start_one_search) {
  app::RunHooks hooks;
  hooks.onStart = [](app::SimulatedTarget* target, app::TMainForm& form) {
    sim::Machine* machine = simfront::MachineOf(target);
    // The start-up search fails at 1 s; the clicks come at 2.0 s and 2.5 s; the window is
    // closed at 10 s.
    At(*machine, 2000, [&form] { form.SuchenButton->Click(); });
    At(*machine, 2500, [&form] { form.SuchenButton->Click(); });
    At(*machine, 10000, [&form] { form.Close(); });
  };
  const Outcome o = Run("devices = C: COM1 COM3\n", SampleConfig(), true, {}, hooks);
  EXPECT_EQ(o.Texts(), std::vector<std::string>(2, "Fehler: USB-Port der LCD-Platine nicht gefunden!"));
  EXPECT_EQ(o.status, 3);
}

TEST_F(WholeRun, a_port_error_in_the_write_leaves_a_dead_window_until_it_is_closed) {
  bool stillRunning = false;
  app::RunHooks hooks;
  hooks.onStart = [&stillRunning](app::SimulatedTarget* target, app::TMainForm& form) {
    sim::Machine* machine = simfront::MachineOf(target);
    At(*machine, 300000, [&form, &stillRunning] {
      stillRunning = true;
      EXPECT_FALSE(form.SuchenButton->Enabled());
      EXPECT_FALSE(form.ComboBox->Enabled());
      form.Close();
    });
  };
  const Outcome o = Run("unplug_after_bytes = 20\n", SampleConfig(), true, {}, hooks);
  // The sequence's port call, then the event thread (the lines' last change, its failed wait)
  // each meet the vanished device; every report names the port.
  ASSERT_FALSE(o.dialogs.empty());
  for (const std::string& text : o.Texts()) EXPECT_EQ(text, "Fehler: ComPortError:  COM3 !");
  EXPECT_TRUE(stillRunning);
  EXPECT_EQ(o.status, 4);
}

TEST_F(WholeRun, closing_the_window_during_the_write_closes_the_port_first) {
  app::RunHooks hooks;
  hooks.onStart = [](app::SimulatedTarget* target, app::TMainForm& form) {
    sim::Machine* machine = simfront::MachineOf(target);
    // Inside the second reset pause's "warten" (the write starts at 3 s).
    At(*machine, 12000, [&form] { form.Close(); });
  };
  const Outcome o = Run("", SampleConfig(), true, {}, hooks);
  // The sequence's next port call meets the closed port.
  EXPECT_EQ(o.Texts(), std::vector<std::string>{"Fehler: ComPortError:  COM3 !"});
  EXPECT_EQ(o.status, 4);
  EXPECT_NE(o.report.find("\"completed\": [\"operating_time\"]"), std::string::npos) << o.report;
}

}  // namespace

namespace {

TEST_F(WholeRun, the_console_shows_what_will_be_written_once_the_file_is_loaded) {
  std::string config = SampleConfig();
  config.replace(config.find("1234\n567"), 8, "123456789\n5");
  const Outcome o = Run("", config);
  EXPECT_EQ(o.status, 0);
  const std::vector<std::string> summary = {
      "Seriennummer an die Platine: 12345<00>.", "Ger\xE4tetyp an die Platine: 3",
      "Warnung: Seriennummer Teil 1 \"123456789\" ist l\xE4nger als 4 Zeichen; gesendet wird "
      "\"1234\".",
      "Warnung: Seriennummer Teil 2 \"5\" ist k\xFCrzer als 3 Zeichen; gesendet wird \"5<00>.\"."};
  // After whatever the run noted before the load.
  ASSERT_GE(o.notes.size(), summary.size());
  EXPECT_EQ(std::vector<std::string>(o.notes.end() - summary.size(), o.notes.end()), summary);
  EXPECT_NE(o.report.find("\"serial\": \"3132333435002E\""), std::string::npos) << o.report;
}

TEST_F(WholeRun, check_shows_what_a_write_would_send_and_touches_no_port) {
  struct Row {
    std::string config;
    int status;
    std::string out;
    std::string err;
  };
  std::string longSerial = SampleConfig();
  longSerial.replace(longSerial.find("1234\n"), 5, "1234567\n");
  const Row rows[] = {
      {SampleConfig(), 0,
       "Quorix.lcd ist in Ordnung: Version 4, 120 Parameter.\n"
       "Seriennummer an die Platine: 1234567\nGer\u00e4tetyp an die Platine: 3\n",
       ""},
      {longSerial, 0,
       "Quorix.lcd ist in Ordnung: Version 4, 120 Parameter.\n"
       "Seriennummer an die Platine: 1234567\nGer\u00e4tetyp an die Platine: 3\n"
       "Warnung: Seriennummer Teil 1 \"1234567\" ist l\u00e4nger als 4 Zeichen; gesendet wird "
       "\"1234\".\n",
       ""},
      {"4 1 2 x", 2, "", "Quorix.lcd ist fehlerhaft!\nEintrag 4 (Parameter 3): \"x\" ist keine ganze Zahl.\n"},
      {"", 2, "",
       "Quorix.lcd kann nicht ge\u00f6ffnet werden!\nGesucht im Ordner: " +
           std::filesystem::current_path().string() + "\n"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(dir_ / "Quorix.lcd");
    if (!row.config.empty()) apptest::Write(dir_ / "Quorix.lcd", row.config);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(app::CheckConfigFile(out, err), row.status) << row.config;
    EXPECT_EQ(out.str(), row.out);
    EXPECT_EQ(err.str(), row.err);
  }
}

}  // namespace
