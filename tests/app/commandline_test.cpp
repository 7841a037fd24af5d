#include "app/commandline.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(CommandLine, no_arguments_is_the_plain_tool) {
  const auto parsed = app::ParseCommandLine({});
  ASSERT_TRUE(parsed.options);
  EXPECT_FALSE(parsed.options->console);
  EXPECT_FALSE(parsed.options->simulate);
}

TEST(CommandLine, options_and_their_values) {
  const auto parsed =
      app::ParseCommandLine({"--console", "--simulate=s.txt", "--fast", "--sim-report", "r.json",
                             "--log=--odd", "--port", "COM7", "D:\\Platinen\\4711"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const app::Options& o = *parsed.options;
  EXPECT_TRUE(o.console);
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.scenario, "s.txt");
  EXPECT_TRUE(o.fast);
  EXPECT_EQ(o.simReport, "r.json");
  EXPECT_EQ(o.logFile, "--odd");
  EXPECT_EQ(o.port, "COM7");
  EXPECT_EQ(o.configPlace, "D:\\Platinen\\4711");
  const auto line = app::ParseCommandLine({"--converter=A5XK3RJT", "--console"});
  ASSERT_TRUE(line.options) << line.error;
  EXPECT_EQ(line.options->converter, "A5XK3RJT");
  const auto list = app::ParseCommandLine({"--list", "--simulate=two.scenario"});
  ASSERT_TRUE(list.options) << list.error;
  EXPECT_TRUE(list.options->list);
}

TEST(CommandLine, history_takes_an_optional_count_and_a_serial_number) {
  const struct {
    std::vector<std::string> args;
    int count;
    std::string serial;
    bool csv;
  } rows[] = {
      {{"--history"}, 0, "", false},
      {{"--history", "5"}, 5, "", false},
      {{"--history=7", "--csv"}, 7, "", true},
      {{"--history", "--serial", "1234567"}, 0, "1234567", false},
      {{"--serial=12", "--history", "3", "--csv"}, 3, "12", true},
  };
  for (const auto& row : rows) {
    const auto parsed = app::ParseCommandLine(row.args);
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_TRUE(parsed.options->history);
    EXPECT_EQ(parsed.options->historyCount, row.count) << row.args[0];
    EXPECT_EQ(parsed.options->historySerial, row.serial);
    EXPECT_EQ(parsed.options->historyCsv, row.csv);
  }
  // A word after --history is no count: it stays an argument of its own.
  EXPECT_FALSE(app::ParseCommandLine({"--history", "COM3"}).options);
}

struct RefusedRow {
  std::vector<std::string> args;
  std::string english;
  std::string german;
};

TEST(CommandLine, bad_command_lines_are_refused_with_a_reason_in_the_users_language) {
  const RefusedRow rows[] = {
      {{"--frobnicate"}, "unknown argument: --frobnicate", "unbekanntes Argument: --frobnicate"},
      // One file or folder at most.
      {{"4711", "COM3"}, "unknown argument: COM3", "unbekanntes Argument: COM3"},
      {{"--fast"}, "--fast only goes with --simulate", "--fast geht nur zusammen mit --simulate"},
      {{"--sim-report", "x.json"},
       "--sim-report only goes with --simulate",
       "--sim-report geht nur zusammen mit --simulate"},
      {{"--port"}, "--port needs a value", "--port braucht einen Wert"},
      {{"--log="}, "--log needs a value", "--log braucht einen Wert"},
      {{"--simulate="},
       "--simulate= needs a scenario file",
       "--simulate= braucht eine Szenariodatei"},
      // An option is never taken for the value of the one before it.
      {{"--log", "--console"}, "--log needs a value", "--log braucht einen Wert"},
      {{"--console", "--port", "--simulate", "--fast"},
       "--port needs a value",
       "--port braucht einen Wert"},
      {{"--simulate", "--sim-report", "-h"},
       "--sim-report needs a value",
       "--sim-report braucht einen Wert"},
      // --check only checks Quorix.lcd: options about a run contradict it.
      {{"--check", "--simulate"},
       "--check does not go with --simulate: it only checks Quorix.lcd",
       "--check geht nicht zusammen mit --simulate: es pr\u00fcft nur Quorix.lcd"},
      {{"--simulate", "--sim-report", "r.json", "--check"},
       "--check does not go with --simulate: it only checks Quorix.lcd",
       "--check geht nicht zusammen mit --simulate: es pr\u00fcft nur Quorix.lcd"},
      {{"--check", "--log", "x.log"},
       "--check does not go with --log: it only checks Quorix.lcd",
       "--check geht nicht zusammen mit --log: es pr\u00fcft nur Quorix.lcd"},
      {{"--check", "--port", "COM3"},
       "--check does not go with --port: it only checks Quorix.lcd",
       "--check geht nicht zusammen mit --port: es pr\u00fcft nur Quorix.lcd"},
      // An option given twice: neither value is taken.
      {{"--log", "a.log", "--log=b.log"}, "--log is given more than once",
       "--log ist mehrfach angegeben"},
      {{"--console", "--console"}, "--console is given more than once",
       "--console ist mehrfach angegeben"},
      {{"--simulate", "--simulate=s.txt"}, "--simulate is given more than once",
       "--simulate ist mehrfach angegeben"},
      {{"-h", "--help"}, "--help is given more than once", "--help ist mehrfach angegeben"},
      // After "--" nothing is an option: one file or folder, and no more.
      {{"--", "--console", "--fast"}, "unknown argument: --fast", "unbekanntes Argument: --fast"},
      {{"--port", "../../etc/passwd"},
       "--port ../../etc/passwd: not a serial port's name (for example COM3, \\\\.\\COM3 or "
       "/dev/ttyUSB0)",
       "--port ../../etc/passwd: kein Name einer seriellen Schnittstelle (zum Beispiel COM3, "
       "\\\\.\\COM3 oder /dev/ttyUSB0)"},
      // The journal's options.
      {{"--journal", "j.sqlite3", "--no-journal"},
       "--journal and --no-journal exclude each other",
       "--journal und --no-journal schlie\u00dfen sich aus"},
      {{"--serial", "1234567"},
       "--serial only goes with --history",
       "--serial geht nur zusammen mit --history"},
      {{"--csv"}, "--csv only goes with --history", "--csv geht nur zusammen mit --history"},
      {{"--history", "--simulate"},
       "--history does not go with --simulate: it only prints the journal",
       "--history geht nicht zusammen mit --simulate: es zeigt nur das Journal"},
      {{"--history", "--no-journal"},
       "--history does not go with --no-journal: it only prints the journal",
       "--history geht nicht zusammen mit --no-journal: es zeigt nur das Journal"},
      {{"--history=0"},
       "--history 0: not a number of records (1 or more)",
       "--history 0: keine Anzahl von Eintr\u00e4gen (1 oder mehr)"},
      {{"--history=x"},
       "--history x: not a number of records (1 or more)",
       "--history x: keine Anzahl von Eintr\u00e4gen (1 oder mehr)"},
      {{"--journal"}, "--journal needs a value", "--journal braucht einen Wert"},
      {{"--journal-setup"}, "--journal-setup needs a value", "--journal-setup braucht einen Wert"},
      {{"--journal-setup", "postgresql://db/journal", "--history"},
       "--journal-setup does not go with --history: it only makes the journal's tables",
       "--journal-setup geht nicht zusammen mit --history: es legt nur die Tabellen des Journals "
       "an"},
      {{"--converter", "A5XK3RJT", "--port", "COM3"},
       "--converter and --port exclude each other",
       "--converter und --port schlie\u00dfen sich aus"},
      // --converter may name several boards, each once (letters in any case).
      {{"--converter", "A", "--converter", "a"},
       "--converter a is given more than once",
       "--converter a ist mehrfach angegeben"},
      {{"--converter", "=boards/a"},
       "--converter =boards/a: give the converter's serial, or SERIAL=FOLDER for its board's own "
       "Quorix.lcd",
       "--converter =boards/a: die Seriennummer des USB-Wandlers angeben, oder SERIENNR=ORDNER "
       "f\u00fcr die eigene Quorix.lcd seiner Platine"},
      {{"--converter=A="},
       "--converter A=: give the converter's serial, or SERIAL=FOLDER for its board's own "
       "Quorix.lcd",
       "--converter A=: die Seriennummer des USB-Wandlers angeben, oder SERIENNR=ORDNER "
       "f\u00fcr die eigene Quorix.lcd seiner Platine"},
      {{"--converter", "A=boards/a", "boards/b"},
       "boards/b: the configuration is already given with --converter SERIAL=FOLDER",
       "boards/b: die Konfiguration ist schon mit --converter SERIENNR=ORDNER angegeben"},
      {{"--all", "--port", "COM3"},
       "--all and --port exclude each other",
       "--all und --port schlie\u00dfen sich aus"},
      {{"--all", "--all"}, "--all is given more than once", "--all ist mehrfach angegeben"},
      {{"--all", "--check"},
       "--all only goes with a write (not with --check or --history)",
       "--all geht nur zusammen mit einem Schreiben (nicht mit --check oder --history)"},
      {{"--list", "--all"},
       "--list does not go with --all: it only lists the converters",
       "--list geht nicht zusammen mit --all: es zeigt nur die USB-Wandler"},
      {{"--converter"}, "--converter needs a value", "--converter braucht einen Wert"},
      {{"--check", "--converter=A5XK3RJT"},
       "--converter only goes with a write (not with --check or --history)",
       "--converter geht nur zusammen mit einem Schreiben (nicht mit --check oder --history)"},
      {{"--list", "--console"},
       "--list does not go with --console: it only lists the converters",
       "--list geht nicht zusammen mit --console: es zeigt nur die USB-Wandler"},
      {{"--list", "D:\\Platinen"},
       "--list does not go with D:\\Platinen: it only lists the converters",
       "--list geht nicht zusammen mit D:\\Platinen: es zeigt nur die USB-Wandler"},
  };
  for (const RefusedRow& row : rows) {
    const auto english = app::ParseCommandLine(row.args, app::Language::English);
    EXPECT_FALSE(english.options) << row.english;
    EXPECT_EQ(english.error, row.english);
    EXPECT_EQ(app::ParseCommandLine(row.args, app::Language::German).error, row.german);
  }
}

TEST(CommandLine, one_converter_is_a_single_run_and_more_or_all_are_a_line) {
  const struct {
    std::vector<std::string> args;
    bool line;
    std::string converter;    // the single run's
    std::string configPlace;  // the single run's, or the line's common one
    size_t converters;
  } rows[] = {
      {{"--converter", "A5XK3RJT"}, false, "A5XK3RJT", "", 1},
      {{"--converter=A5XK3RJT=boards/a"}, false, "A5XK3RJT", "boards/a", 1},
      {{"--converter", "A=boards/a", "--converter", "B"}, true, "", "", 2},
      {{"--all"}, true, "", "", 0},
      {{"--all", "--converter", "A=a", "station"}, true, "", "station", 1},
      {{"--all", "--converter", "A"}, true, "", "", 1},
  };
  for (const auto& row : rows) {
    const auto parsed = app::ParseCommandLine(row.args);
    ASSERT_TRUE(parsed.options) << parsed.error;
    const app::Options& o = *parsed.options;
    EXPECT_EQ(o.Line(), row.line) << row.args[0];
    EXPECT_EQ(o.converter, row.converter) << row.args[0];
    EXPECT_EQ(o.configPlace, row.configPlace) << row.args[0];
    EXPECT_EQ(o.converters.size(), row.converters) << row.args[0];
  }
  const auto two = app::ParseCommandLine({"--converter", "A=boards/a=1", "--converter", "B"});
  ASSERT_TRUE(two.options) << two.error;
  // The first "=" ends the name: a folder may hold one.
  EXPECT_EQ(two.options->converters[0].name, "A");
  EXPECT_EQ(two.options->converters[0].configPlace, "boards/a=1");
  EXPECT_EQ(two.options->converters[1].configPlace, "");
}

TEST(CommandLine, a_double_dash_ends_the_options) {
  const auto parsed = app::ParseCommandLine({"--console", "--"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_TRUE(parsed.options->console);
  // A folder whose name begins with "-" follows "--".
  const auto folder = app::ParseCommandLine({"--console", "--", "-4711"});
  ASSERT_TRUE(folder.options) << folder.error;
  EXPECT_EQ(folder.options->configPlace, "-4711");
}

TEST(CommandLine, help_follows_a_german_locale) {
  EXPECT_EQ(app::UsageText(app::Language::German).rfind("Aufruf: lcdwrite", 0), 0u);
  EXPECT_EQ(app::UsageText(app::Language::English).rfind("Usage: lcdwrite", 0), 0u);
}

}  // namespace

namespace {

// The language of --help: a Windows language id decides on Windows, the locale variables
// elsewhere.
TEST(CommandLineLanguage, german_is_every_country_s_german_and_nothing_else) {
  struct Row {
    unsigned languageId;
    app::Language language;
  };
  for (const Row& row : {
           Row{0x0407, app::Language::German},   // Germany
           Row{0x0C07, app::Language::German},   // Austria
           Row{0x0807, app::Language::German},   // Switzerland
           Row{0x1407, app::Language::German},   // Liechtenstein
           Row{0x0409, app::Language::English},  // United States
           Row{0x0809, app::Language::English},  // United Kingdom
           Row{0x040C, app::Language::English},  // French: not German, so English
           Row{0x0413, app::Language::English},  // Dutch
           Row{0x0000, app::Language::English},  // neutral
           Row{0x0007, app::Language::German},   // German without a country
           // Kinyarwanda (0x87): its low seven bits are German's.
           Row{0x0487, app::Language::English},
       }) {
    EXPECT_EQ(app::LanguageOfWindowsLanguage(row.languageId), row.language)
        << std::hex << row.languageId;
  }
}

TEST(CommandLineLanguage, the_first_locale_variable_set_decides) {
  struct Row {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    app::Language language;
  };
  for (const Row& row : {
           Row{nullptr, nullptr, nullptr, app::Language::English},
           Row{nullptr, nullptr, "de_DE.UTF-8", app::Language::German},
           Row{nullptr, nullptr, "de_AT", app::Language::German},
           Row{nullptr, "en_US.UTF-8", "de_DE.UTF-8", app::Language::English},
           Row{"de_CH.UTF-8", "en_US.UTF-8", "en_US.UTF-8", app::Language::German},
           Row{"", "", "de_DE.UTF-8", app::Language::German},
           Row{"C", nullptr, "de_DE.UTF-8", app::Language::English},
       }) {
    EXPECT_EQ(app::LanguageOfLocaleVariables(row.lcAll, row.lcMessages, row.lang), row.language)
        << (row.lcAll ? row.lcAll : "-") << " " << (row.lcMessages ? row.lcMessages : "-") << " "
        << (row.lang ? row.lang : "-");
  }
}

}  // namespace
