// The real lcdwrite program, started as a user starts it: signals from outside, the command
// line as the program entry sees it, and a display that cannot be opened. Each case runs the
// program on the simulated machine in a folder of its own and looks at its exit status, what
// it said, and what the simulated board stored (its report).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/samplefiles.h"

namespace {

namespace fs = std::filesystem;

using apptest::Read;
using apptest::SampleConfig;

enum class Board { Written, Partly, Untouched, NoMachine };

// How the program's standard output is connected.
enum class Output { File, ClosedPipe, FullDisk };

struct Started {
  pid_t pid = -1;
};

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = apptest::TestFolder("lcdwrite-program-" + std::to_string(getpid()) + "-");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "Quorix.lcd", std::ios::binary) << SampleConfig();
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  // Starts lcdwrite in the test's folder with args and exactly the environment env.
  pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
              Output output) {
    int pipeFds[2] = {-1, -1};
    if (output == Output::ClosedPipe && pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(120);
      const int in = open("/dev/null", O_RDONLY);
      const int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int out = -1;
      if (output == Output::ClosedPipe) {
        close(pipeFds[0]);  // nobody will read what the program writes
        out = pipeFds[1];
      } else if (output == Output::FullDisk) {
        out = open("/dev/full", O_WRONLY);
      } else {
        out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      }
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(LCDWRITE_TOOL)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
      envp.push_back(nullptr);
      execve(LCDWRITE_TOOL, argv.data(), envp.data());
      _exit(127);
    }
    if (output == Output::ClosedPipe) {
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    return pid;
  }

  // The exit status as a shell shows it (128 + the signal for a program a signal ended).
  static int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Waits until the program has printed text (true), or has ended or a minute has gone by.
  bool WaitForOutput(pid_t pid, const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < until) {
      if (Read(dir_ / "out.txt").find(text) != std::string::npos) return true;
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void ExpectBoard(Board board) {
    const std::string report = Read(dir_ / "report.json");
    const std::string all =
        "\"completed\": [\"operating_time\", \"error_memory\", \"serial\", \"device_type\", "
        "\"configuration\"]";
    switch (board) {
      case Board::Written:
        EXPECT_NE(report.find(all), std::string::npos) << report;
        break;
      case Board::Partly:
        EXPECT_NE(report.find("\"completed\": [\"operating_time\""), std::string::npos) << report;
        EXPECT_EQ(report.find("\"configuration\""), std::string::npos) << report;
        break;
      case Board::Untouched:
        EXPECT_NE(report.find("\"completed\": []"), std::string::npos) << report;
        break;
      case Board::NoMachine:
        EXPECT_FALSE(fs::exists(dir_ / "report.json"));
        break;
    }
  }

  std::string Err() { return Read(dir_ / "err.txt"); }

  fs::path dir_;
};

const std::vector<std::string> kEnvironment = {"PATH=/usr/bin:/bin", "LANG=C"};

// ---- Signals ----

struct SignalRow {
  const char* name;
  Output output;
  std::vector<std::string> args;
  const char* waitFor;  // the output after which the signal is sent; null: none is sent
  int signal;
  int status;
  std::string err;  // the program's last line on standard error
  Board board;
};

void PrintTo(const SignalRow& row, std::ostream* os) { *os << row.name; }

class Signals : public Program, public ::testing::WithParamInterface<SignalRow> {};

TEST_P(Signals, never_end_a_write_without_a_word_or_with_the_port_open) {
  const SignalRow& row = GetParam();
  const pid_t pid = Start(row.args, kEnvironment, row.output);
  ASSERT_GT(pid, 0);
  if (row.waitFor != nullptr) {
    ASSERT_TRUE(WaitForOutput(pid, row.waitFor)) << Read(dir_ / "out.txt") << Err();
    kill(pid, row.signal);
  }
  EXPECT_EQ(Wait(pid), row.status) << Err();
  EXPECT_EQ(Err(), row.err);
  ExpectBoard(row.board);
  if (row.waitFor != nullptr) {
    // The port's last line comes before the run's own last one, which names the status.
    const std::string log = Read(dir_ / "run.log");
    const std::size_t runEnd = log.rfind('\n', log.size() - 2);
    const std::string lastLines = log.substr(log.rfind('\n', runEnd - 1) + 1);
    EXPECT_NE(lastLines.find(" Close \\\\.\\COM3\n"), std::string::npos) << lastLines;
    EXPECT_NE(lastLines.find(": Ende des Laufs, Exit-Status " + std::to_string(row.status) + "\n"),
              std::string::npos)
        << lastLines;
  }
}

// In real time on the simulated machine: the caption comes when the search starts (1 s), the
// first operation is stored about 10 s in.
const std::vector<std::string> kRealTime = {"--console",   "--simulate", "--sim-report",
                                            "report.json", "--log",      "run.log"};

INSTANTIATE_TEST_SUITE_P(
    Table, Signals,
    ::testing::Values(
        SignalRow{"output_pipe_closed_by_its_reader",
                  Output::ClosedPipe,
                  {"--console", "--simulate", "--fast", "--sim-report", "report.json"},
                  nullptr,
                  0,
                  0,
                  "",
                  Board::Written},
        SignalRow{"interrupted_before_the_write", Output::File, kRealTime,
                  "LCD Konfiguration schreiben", SIGINT, 130,
                  "Abgebrochen: Die Platine wurde nicht beschrieben.\n", Board::Untouched},
        SignalRow{"interrupted_during_the_write", Output::File, kRealTime,
                  "Betriebszeit gel\u00f6scht", SIGINT, 130,
                  "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                  Board::Partly},
        SignalRow{"terminated_during_the_write", Output::File, kRealTime,
                  "Betriebszeit gel\u00f6scht", SIGTERM, 143,
                  "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                  Board::Partly},
        SignalRow{"hung_up_during_the_write", Output::File, kRealTime,
                  "Betriebszeit gel\u00f6scht", SIGHUP, 129,
                  "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                  Board::Partly},
        SignalRow{"quit_during_the_write", Output::File, kRealTime,
                  "Betriebszeit gel\u00f6scht", SIGQUIT, 131,
                  "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n",
                  Board::Partly}),
    [](const ::testing::TestParamInfo<SignalRow>& info) { return info.param.name; });

// ---- One log, two runs ----

// Two runs append to one log at the same time: each line is whole, each run's lines open with
// one naming its process and close with one naming its exit status, and the log is UTF-8.
TEST_F(Program, two_runs_on_one_log_can_be_told_apart) {
  const std::vector<std::string> args = {"--console",  "--simulate", "--fast",
                                         "--log",      "shared.log", "--sim-report",
                                         "report.json"};
  const pid_t first = Start(args, kEnvironment, Output::File);
  const pid_t second = Start(args, kEnvironment, Output::File);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  const std::string log = Read(dir_ / "shared.log");
  std::istringstream lines(log);
  const std::regex whole(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d .+)");
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
  }
  for (const pid_t pid : {first, second}) {
    const std::string process = "lcdwrite, Prozess " + std::to_string(pid) + ": ";
    const std::size_t begins = log.find(process + "Beginn des Laufs\n");
    const std::size_t ends = log.find(process + "Ende des Laufs, Exit-Status 0\n");
    EXPECT_NE(begins, std::string::npos) << log;
    EXPECT_NE(ends, std::string::npos) << log;
    EXPECT_LT(begins, ends);
  }
  EXPECT_NE(log.find("Registry-Schl\u00fcssel"), std::string::npos) << "UTF-8";
}

// ---- Output that cannot be written ----

struct FullOutputRow {
  const char* name;
  std::vector<std::string> args;
  int status;
  Board board;
};

void PrintTo(const FullOutputRow& row, std::ostream* os) { *os << row.name; }

class FullOutput : public Program, public ::testing::WithParamInterface<FullOutputRow> {};

// Standard output on a full disk: what would have been a success ends with 74 and says why on
// standard error; a failure keeps its own status.
TEST_P(FullOutput, never_ends_as_a_success) {
  const FullOutputRow& row = GetParam();
  apptest::Write(dir_ / "lost.scenario", "fault = configuration data:57 silent\n");
  const pid_t pid = Start(row.args, kEnvironment, Output::FullDisk);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), row.status);
  EXPECT_NE(Err().find("lcdwrite: Die Standardausgabe konnte nicht geschrieben werden: kein "
                       "Platz mehr auf dem Datentr\u00e4ger.\n"),
            std::string::npos)
      << Err();
  ExpectBoard(row.board);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FullOutput,
    ::testing::Values(
        FullOutputRow{"version", {"--version"}, 74, Board::NoMachine},
        FullOutputRow{"help", {"--help"}, 74, Board::NoMachine},
        FullOutputRow{"check", {"--check"}, 74, Board::NoMachine},
        FullOutputRow{"a_written_board",
                      {"--console", "--simulate", "--fast", "--sim-report", "report.json"},
                      74,
                      Board::Written},
        FullOutputRow{"a_failed_write_keeps_its_status",
                      {"--console", "--simulate=lost.scenario", "--fast", "--sim-report",
                       "report.json"},
                      1,
                      Board::Partly}),
    [](const ::testing::TestParamInfo<FullOutputRow>& info) { return info.param.name; });

// ---- The command line ----

struct CommandLineRow {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> env;  // added to the basic environment
  int status;
  std::string err;  // the first line on standard error
  Board board;
};

void PrintTo(const CommandLineRow& row, std::ostream* os) { *os << row.name; }

class CommandLine : public Program, public ::testing::WithParamInterface<CommandLineRow> {};

TEST_P(CommandLine, is_refused_before_anything_happens_or_runs_to_the_end) {
  const CommandLineRow& row = GetParam();
  std::vector<std::string> env = kEnvironment;
  env.insert(env.end(), row.env.begin(), row.env.end());
  const pid_t pid = Start(row.args, env, Output::File);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), row.status);
  const std::string err = Err();
  EXPECT_EQ(err.substr(0, err.find('\n') + 1), row.err);
  ExpectBoard(row.board);
  EXPECT_EQ(Read(dir_ / "Quorix.lcd"), SampleConfig());
}

const std::vector<std::string> kFast = {"--console", "--simulate", "--fast", "--sim-report",
                                        "report.json"};

std::vector<std::string> Fast(std::vector<std::string> more) {
  more.insert(more.begin(), kFast.begin(), kFast.end());
  return more;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        CommandLineRow{"an_option_is_no_value_for_log",
                       {"--log", "--console", "--simulate", "--fast"},
                       {},
                       64,
                       "lcdwrite: --log needs a value\n",
                       Board::NoMachine},
        CommandLineRow{"an_option_is_no_value_for_port",
                       {"--console", "--port", "--simulate", "--fast"},
                       {},
                       64,
                       "lcdwrite: --port needs a value\n",
                       Board::NoMachine},
        CommandLineRow{"a_value_after_equals_may_look_like_an_option",
                       Fast({"--log=--odd"}),
                       {},
                       0,
                       "",
                       Board::Written},
        CommandLineRow{"check_with_simulate",
                       {"--check", "--simulate"},
                       {},
                       64,
                       "lcdwrite: --check does not go with --simulate: it only checks "
                       "Quorix.lcd\n",
                       Board::NoMachine},
        CommandLineRow{"check_with_a_report",
                       {"--check", "--sim-report", "report.json"},
                       {},
                       64,
                       "lcdwrite: --check does not go with --sim-report: it only checks "
                       "Quorix.lcd\n",
                       Board::NoMachine},
        CommandLineRow{
            "port_as_a_path_in_dev", Fast({"--port", "/dev/COM3"}), {}, 0, "", Board::Written},
        CommandLineRow{"port_as_the_tool_names_it",
                       Fast({"--port", "\\\\.\\COM3"}),
                       {},
                       0,
                       "",
                       Board::Written},
        CommandLineRow{"port_outside_dev",
                       Fast({"--port", "/tmp/COM3"}),
                       {},
                       64,
                       "lcdwrite: --port /tmp/COM3: not a serial port's name (for example "
                       "COM3, \\\\.\\COM3 or /dev/ttyUSB0)\n",
                       Board::NoMachine},
        CommandLineRow{"log_into_quorix_lcd",
                       Fast({"--log", "Quorix.lcd"}),
                       {},
                       64,
                       "lcdwrite: Die Protokolldatei Quorix.lcd ist Quorix.lcd selbst; die "
                       "Konfiguration w\u00fcrde \u00fcberschrieben.\n",
                       Board::NoMachine},
        CommandLineRow{"usage_error_in_a_german_locale",
                       {"--frobnicate"},
                       {"LC_ALL=de_DE.UTF-8"},
                       64,
                       "lcdwrite: unbekanntes Argument: --frobnicate\n",
                       Board::NoMachine}),
    [](const ::testing::TestParamInfo<CommandLineRow>& info) { return info.param.name; });

TEST_F(Program, a_value_after_equals_names_its_file) {
  const pid_t pid = Start(Fast({"--log=--odd"}), kEnvironment, Output::File);
  ASSERT_EQ(Wait(pid), 0);
  EXPECT_GT(fs::file_size(dir_ / "--odd"), 0u);
}

// ---- The display ----

#ifdef LCDWRITE_HAVE_QT
struct DisplayRow {
  const char* name;
  std::vector<std::string> env;
  std::string err;  // what standard error holds
};

void PrintTo(const DisplayRow& row, std::ostream* os) { *os << row.name; }

class Display : public Program, public ::testing::WithParamInterface<DisplayRow> {};

// Without --console: a display that cannot be opened falls back to the console, as no display
// does, and says so; the board is written either way.
TEST_P(Display, that_cannot_be_opened_falls_back_to_the_console) {
  const DisplayRow& row = GetParam();
  std::vector<std::string> env = kEnvironment;
  env.insert(env.end(), row.env.begin(), row.env.end());
  const pid_t pid =
      Start({"--simulate", "--fast", "--sim-report", "report.json"}, env, Output::File);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_EQ(Err(), row.err);
  EXPECT_NE(Read(dir_ / "out.txt").find("[Information] Schreiben erfolgreich beendet!"),
            std::string::npos);
  ExpectBoard(Board::Written);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Display,
    ::testing::Values(
        DisplayRow{"display_that_does_not_answer",
                   {"DISPLAY=:8123"},
                   "Kein Bildschirm erreichbar (DISPLAY=:8123): lcdwrite l\u00e4uft auf der "
                   "Konsole.\n"},
        DisplayRow{"toolkit_platform_that_does_not_exist",
                   {"QT_QPA_PLATFORM=nosuchplatform"},
                   "Kein Bildschirm erreichbar (QT_QPA_PLATFORM=nosuchplatform): lcdwrite "
                   "l\u00e4uft auf der Konsole.\n"},
        DisplayRow{"no_display_at_all", {}, ""}),
    [](const ::testing::TestParamInfo<DisplayRow>& info) { return info.param.name; });
#endif

}  // namespace

// ---- The journal ----

namespace {

// A run killed half-way (no chance to complete its record) is still on record, and --history
// lists it as "abgebrochen"; the completed write before it is listed with its result.
TEST_F(Program, a_run_killed_half_way_is_listed_as_abgebrochen) {
  const std::string journal = (dir_ / "journal.sqlite3").string();
  ASSERT_EQ(Wait(Start(Fast({"--journal", journal}), kEnvironment, Output::File)), 0);
  std::vector<std::string> killed = kRealTime;
  killed.insert(killed.end(), {"--journal", journal});
  fs::remove(dir_ / "out.txt");  // the first run's "warten" must not count
  const pid_t pid = Start(killed, kEnvironment, Output::File);
  // In the first reset pause: the record was begun before the reset.
  ASSERT_TRUE(WaitForOutput(pid, "warten")) << Read(dir_ / "out.txt") << Err();
  kill(pid, SIGKILL);
  EXPECT_EQ(Wait(pid), 128 + SIGKILL);

  ASSERT_EQ(Wait(Start({"--history", "--journal", journal}, kEnvironment, Output::File)), 0);
  const std::string table = Read(dir_ / "out.txt");
  std::vector<std::string> lines;
  for (size_t start = 0; start < table.size();) {
    const size_t end = table.find('\n', start);
    lines.push_back(table.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 3u) << table;
  EXPECT_NE(lines[1].find("1234567"), std::string::npos) << table;
  EXPECT_NE(lines[1].find("COM3 (sim.)  0 geschrieben"), std::string::npos) << table;
  EXPECT_NE(lines[2].find("COM3 (sim.)  abgebrochen"), std::string::npos) << table;

  ASSERT_EQ(Wait(Start({"--history", "1", "--csv", "--journal", journal}, kEnvironment,
                       Output::File)),
            0);
  const std::string csv = Read(dir_ / "out.txt");
  EXPECT_EQ(csv.find("run_id,started,ended,"), 0u) << csv;
  EXPECT_NE(csv.find(",abgebrochen,"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("geschrieben"), std::string::npos) << "only the last record: " << csv;
}

}  // namespace

namespace {

// Another program holding a SQLite journal's write lock (the sqlite3 shell in an exclusive
// transaction) until it is released.
class SqliteShellLock {
 public:
  SqliteShellLock(const fs::path& journal, const fs::path& output) : output_(output) {
    const std::string command =
        "sqlite3 -batch '" + journal.string() + "' > '" + output.string() + "'";
    shell_ = popen(command.c_str(), "w");
  }
  ~SqliteShellLock() { Release(); }
  // True once the shell says it holds the lock.
  bool Take() {
    if (shell_ == nullptr) return false;
    std::fputs("BEGIN EXCLUSIVE;\nSELECT 'gesperrt';\n", shell_);
    std::fflush(shell_);
    for (int i = 0; i < 500; ++i) {
      if (Read(output_).find("gesperrt") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void Release() {
    if (shell_ != nullptr) pclose(shell_);
    shell_ = nullptr;
  }

 private:
  fs::path output_;
  std::FILE* shell_ = nullptr;
};

struct HungJournalRow {
  const char* name;
  int signal;
  int status;
};

void PrintTo(const HungJournalRow& row, std::ostream* os) { *os << row.name; }

class HungJournal : public Program, public ::testing::WithParamInterface<HungJournalRow> {};

// A signal while the journal hangs (another program holds its lock from the first reset pause
// on) ends the run as it would without a journal: the usual line first, the port closed, the
// signal's status. The journal's warning follows once the completion was given up.
TEST_P(HungJournal, a_signal_ends_the_run_as_without_a_journal) {
  const HungJournalRow& row = GetParam();
  const fs::path journal = dir_ / "journal.sqlite3";
  ASSERT_EQ(Wait(Start(Fast({"--journal", journal.string()}), kEnvironment, Output::File)), 0);
  fs::remove(dir_ / "out.txt");
  std::vector<std::string> args = kRealTime;
  args.insert(args.end(), {"--journal", journal.string()});
  const pid_t pid = Start(args, kEnvironment, Output::File);
  ASSERT_TRUE(WaitForOutput(pid, "warten")) << Read(dir_ / "out.txt") << Err();
  SqliteShellLock lock(journal, dir_ / "shell.txt");
  ASSERT_TRUE(lock.Take());
  ASSERT_TRUE(WaitForOutput(pid, "Betriebszeit gel\u00f6scht")) << Err();
  kill(pid, row.signal);
  EXPECT_EQ(Wait(pid), row.status) << Err();
  const std::string err = Err();
  EXPECT_EQ(err.substr(0, err.find('\n') + 1),
            "Abgebrochen: Die Platine wurde nicht vollst\u00e4ndig beschrieben!\n")
      << err;
  ExpectBoard(Board::Partly);
  const std::string log = Read(dir_ / "run.log");
  const std::size_t runEnd = log.rfind('\n', log.size() - 2);
  const std::string lastLines = log.substr(log.rfind('\n', runEnd - 1) + 1);
  EXPECT_NE(lastLines.find(" Close \\\\.\\COM3\n"), std::string::npos) << lastLines;
  EXPECT_NE(lastLines.find(": Ende des Laufs, Exit-Status " + std::to_string(row.status) + "\n"),
            std::string::npos)
      << lastLines;
}

INSTANTIATE_TEST_SUITE_P(Table, HungJournal,
                         ::testing::Values(HungJournalRow{"interrupted", SIGINT, 130},
                                           HungJournalRow{"terminated", SIGTERM, 143},
                                           HungJournalRow{"hung_up", SIGHUP, 129}),
                         [](const ::testing::TestParamInfo<HungJournalRow>& info) {
                           return info.param.name;
                         });

}  // namespace
