// boardsim: the simulated board, for end-to-end runs of the real program.
//
//   boardsim [--scenario FILE] [--state FILE] [--report FILE] [--timeout SECONDS]
//            [--hangup dtr:K[+MS] | byte:N[+MS]]
//   boardsim --tty DEVICE [--scenario FILE] [--report FILE] [--timeout SECONDS]
//            [--mark dtr:K[+MS] | byte:N[+MS]]
//
// Prints the path the host opens on its first line of standard output, then runs the board
// until SIGTERM or SIGINT (or the time-out), and then writes what the board stored as JSON to
// the report file (board/report.h).
//
// Without --tty the board sits on a new pty and prints its slave ("/dev/pts/N"). The host
// program runs with the modem-line shim preloaded and LCDWRITE_MODEM_STATE set to the state
// file (default: the variable's value, or /tmp/lcdwrite-modem-<pid>).
// With --tty the board sits on a real serial port (a USB-serial converter wired back to back
// with the host's; see ttyport.h) and prints that path; what the converter's latency request
// did goes to standard error, a line each, before and after the run.
//
// Of the scenario, the board's keys and the faults apply; the machine's keys (ports, devices,
// portname, busy, board.port) describe a simulated machine and are ignored here.
//
// --hangup unplugs the board's port (on a pty the master closes and the host's port hangs up,
// as when the converter is pulled) MS milliseconds (default 0) after the host raised DTR the
// K-th time or sent its N-th byte; boardsim then prints "hung up at NS" (the steady clock's
// nanoseconds) on standard output.
//
// --mark only tells the moment, chosen the same way: "mark at NS" on standard output at once
// (the virtual-machine bench pulls the emulated converter then, at a point of the write the
// board counted, whatever the program under test logs).
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "board/report.h"
#include "board/scenario.h"
#include "tools/boardsim/lineboard.h"
#include "tools/boardsim/ptyport.h"
#include "tools/boardsim/ttyport.h"

namespace {

std::atomic<bool>* g_stop = nullptr;

extern "C" void OnSignal(int) {
  if (g_stop) g_stop->store(true);
}

int Usage() {
  std::fprintf(stderr,
               "usage: boardsim [--tty DEVICE | --state FILE] [--scenario FILE] [--report FILE] "
               "[--timeout SECONDS] [--hangup dtr:K[+MS] | byte:N[+MS]] [--mark dtr:K[+MS] | byte:N[+MS]]\n");
  return 64;
}

// "dtr:K[+MS]" or "byte:N[+MS]"; false when the text is neither.
bool ParseHangUp(const std::string& text, boardsim::LineBoard::HangUp& hangUp) {
  using After = boardsim::LineBoard::HangUp::After;
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = text.substr(0, colon);
  if (kind == "dtr") hangUp.after = After::kDtrRaised;
  else if (kind == "byte") hangUp.after = After::kHostBytes;
  else return false;
  char* end = nullptr;
  hangUp.count = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (hangUp.count < 1) return false;
  if (*end == '+') {
    const char* delay = end + 1;
    hangUp.delayMs = static_cast<int>(std::strtol(delay, &end, 10));
    if (end == delay || hangUp.delayMs < 0) return false;
  }
  return *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioFile, stateFile, reportFile, tty;
  boardsim::LineBoard::HangUp hangUp, mark;
  double timeoutSeconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--scenario") scenarioFile = value;
    else if (arg == "--state") stateFile = value;
    else if (arg == "--report") reportFile = value;
    else if (arg == "--timeout") timeoutSeconds = std::atof(value.c_str());
    else if (arg == "--tty") tty = value;
    else if (arg == "--hangup") {
      if (!ParseHangUp(value, hangUp)) return Usage();
    } else if (arg == "--mark") {
      if (!ParseHangUp(value, mark)) return Usage();
    }
    else return Usage();
  }
  if (!tty.empty() && !stateFile.empty()) return Usage();
  if (tty.empty() && stateFile.empty()) {
    const char* env = std::getenv(ptymodem::kModemStateEnv);
    stateFile = env ? env : "/tmp/lcdwrite-modem-" + std::to_string(getpid());
  }

  board::Scenario scenario;
  try {
    scenario = scenarioFile.empty() ? board::DefaultScenario()
                                    : board::LoadScenarioFile(scenarioFile);
  } catch (const board::ScenarioError& e) {
    std::fprintf(stderr, "boardsim: %s\n", e.what());
    return 2;
  }

  try {
    std::unique_ptr<boardsim::BoardPort> port;
    if (tty.empty()) {
      port = std::make_unique<boardsim::PtyPort>(stateFile);
    } else {
      auto real = std::make_unique<boardsim::TtyPort>(tty);
      for (const std::string& note : real->LatencyNotes()) {
        std::fprintf(stderr, "boardsim: %s\n", note.c_str());
      }
      port = std::move(real);
    }
    boardsim::LineBoard board(*port, scenario.board);
    board.SetHangUp(hangUp);
    board.SetMark(mark, [](std::int64_t at) {
      std::printf("mark at %lld\n", static_cast<long long>(at));
      std::fflush(stdout);
    });
    g_stop = &board.StopFlag();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::printf("%s\n", port->HostPath().c_str());
    std::fflush(stdout);

    std::thread timer;
    if (timeoutSeconds > 0) {
      timer = std::thread([&board, timeoutSeconds] {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::duration<double>(timeoutSeconds);
        while (!board.StopFlag().load() && std::chrono::steady_clock::now() < end) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        board.Stop();
      });
    }
    board.Run();
    if (timer.joinable()) timer.join();
    if (board.HungUpAt() != 0) {
      std::printf("hung up at %lld\n", static_cast<long long>(board.HungUpAt()));
      std::fflush(stdout);
    }
    g_stop = nullptr;
    if (!reportFile.empty() && !board::WriteReport(reportFile, board.Stored())) {
      std::fprintf(stderr, "boardsim: cannot write %s\n", reportFile.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boardsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
