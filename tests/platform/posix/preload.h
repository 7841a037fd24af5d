// Runs tests of this program again in a child process with the modem-line shim preloaded (a
// pty has modem lines only through it), and reports what the child's run gave.
//
// The child sees kChildEnv set and the state file named in ptymodem::kModemStateEnv; tests
// meant for it check kChildEnv. The sanitizers' runtimes insist on coming first in the
// preload list; the child is told to let the shim come first.
#pragma once

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/ptymodem/modemstate.h"
#include "tools/ptymodem/preload.h"

extern char** environ;

namespace lcdtest {

inline constexpr const char* kChildEnv = "LCDWRITE_PRELOADED_CHILD";

inline bool InPreloadedChild() { return std::getenv(kChildEnv) != nullptr; }

struct PreloadedRun {
  bool ended = false;   // within the time allowed
  int status = -1;      // waitpid's status
  std::string report;   // the child's gtest JSON report
  bool Passed() const { return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  // At least one test ran and none was skipped.
  bool RanAll() const {
    return report.find("\"result\": \"COMPLETED\"") != std::string::npos &&
           report.find("\"result\": \"SKIPPED\"") == std::string::npos;
  }
};

// Runs the tests filter selects in a child with the shim preloaded, at most timeoutMs.
inline PreloadedRun RunPreloaded(const std::string& filter, int timeoutMs = 60000) {
  PreloadedRun run;
  char state[] = "/tmp/lcdwrite-modem-XXXXXX";
  char report[] = "/tmp/lcdwrite-preload-XXXXXX";
  const int stateFd = mkstemp(state), reportFd = mkstemp(report);
  if (stateFd >= 0) close(stateFd);
  if (reportFd >= 0) close(reportFd);
  if (stateFd < 0 || reportFd < 0) return run;

  std::vector<std::string> env;
  // The caller's own state file (a suite of this process may have named one) is left out: the
  // child's is the one below, and the first entry of a name is the one getenv finds.
  const std::string ownState = std::string(ptymodem::kModemStateEnv) + "=";
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!ptymodem::SetByPreload(entry) && entry.rfind("ASAN_OPTIONS=", 0) != 0 &&
        entry.rfind(ownState, 0) != 0)
      env.push_back(entry);
  }
  const char* asan = std::getenv("ASAN_OPTIONS");
  for (std::string& entry : ptymodem::PreloadEnvironment(LCDWRITE_MODEMSHIM_PATH, std::getenv("LD_LIBRARY_PATH")))
    env.push_back(entry);
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0");
  env.push_back(std::string(ptymodem::kModemStateEnv) + "=" + state);
  env.push_back(std::string(kChildEnv) + "=1");
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string filterArg = "--gtest_filter=" + filter;
  std::string output = std::string("--gtest_output=json:") + report;
  std::string self = "/proc/self/exe";
  char* argv[] = {self.data(), filterArg.data(), output.data(), nullptr};

  const pid_t pid = fork();
  if (pid == 0) {
    execve("/proc/self/exe", argv, envp.data());
    _exit(127);
  }
  if (pid > 0) {
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended{pidFd, POLLIN, 0};
    run.ended = pidFd < 0 || poll(&ended, 1, timeoutMs) > 0;
    if (!run.ended) kill(pid, SIGKILL);
    waitpid(pid, &run.status, 0);
    if (pidFd >= 0) close(pidFd);
    std::stringstream json;
    json << std::ifstream(report).rdbuf();
    run.report = json.str();
  }
  unlink(state);
  unlink(report);
  return run;
}

}  // namespace lcdtest
