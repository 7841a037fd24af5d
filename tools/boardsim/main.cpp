// boardsim: the simulated board on a pty, for end-to-end runs of the real program.
//
//   boardsim [--scenario FILE] [--state FILE] [--report FILE] [--timeout SECONDS]
//
// Prints the pty slave's path ("/dev/pts/N") on its first line of standard output, then runs
// the board until SIGTERM or SIGINT (or the time-out), and then writes what the board stored
// as JSON to the report file (board/report.h). The host program runs with the modem-line shim
// preloaded and LCDWRITE_MODEM_STATE set to the state file (default: the variable's value, or
// /tmp/lcdwrite-modem-<pid>). Of the scenario, the board's keys and the faults apply; the
// machine's keys (ports, devices, portname, busy, board.port) describe a simulated machine and
// are ignored here.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "board/report.h"
#include "board/scenario.h"
#include "tools/boardsim/ptyboard.h"

namespace {

std::atomic<bool>* g_stop = nullptr;

extern "C" void OnSignal(int) {
  if (g_stop) g_stop->store(true);
}

int Usage() {
  std::fprintf(stderr,
               "usage: boardsim [--scenario FILE] [--state FILE] [--report FILE] "
               "[--timeout SECONDS]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioFile, stateFile, reportFile;
  double timeoutSeconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--scenario") scenarioFile = value;
    else if (arg == "--state") stateFile = value;
    else if (arg == "--report") reportFile = value;
    else if (arg == "--timeout") timeoutSeconds = std::atof(value.c_str());
    else return Usage();
  }
  if (stateFile.empty()) {
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
    boardsim::PtyBoard pty(scenario.board, stateFile);
    g_stop = &pty.StopFlag();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    std::thread timer;
    if (timeoutSeconds > 0) {
      timer = std::thread([&pty, timeoutSeconds] {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::duration<double>(timeoutSeconds);
        while (!pty.StopFlag().load() && std::chrono::steady_clock::now() < end) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pty.Stop();
      });
    }
    pty.Run();
    if (timer.joinable()) timer.join();
    g_stop = nullptr;
    if (!reportFile.empty() && !board::WriteReport(reportFile, pty.Stored())) {
      std::fprintf(stderr, "boardsim: cannot write %s\n", reportFile.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boardsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
