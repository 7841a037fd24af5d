// The real lcdwrite program under a real limit on threads (RLIMIT_NPROC, what `ulimit -u`
// sets): the program must end with one clear line and exit status 70, never abort, hang or
// report a write. The limit counts every thread of the user, so the program runs as an
// account with no other process (nobody), which needs root to switch to; elsewhere the test
// is skipped.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/app/samplefiles.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr auto kPatience = std::chrono::seconds(60);

struct LimitRow {
  const char* name;
  rlim_t threads;        // the user's processes and threads the program may have
  const char* board;     // what the board report must hold; null: no report written
};

void PrintTo(const LimitRow& row, std::ostream* os) { *os << row.name; }

class ThreadLimit : public ::testing::TestWithParam<LimitRow> {
 protected:
  void SetUp() override {
    if (getuid() != 0) GTEST_SKIP() << "needs root to run the program as an account of its own";
    dir_ = fs::temp_directory_path() / ("lcdwrite-limit-" + std::to_string(getpid()) + "-" +
                                        GetParam().name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::permissions(dir_, fs::perms::all);
    std::ofstream(dir_ / "Quorix.lcd", std::ios::binary) << apptest::SampleConfig();
    fs::permissions(dir_ / "Quorix.lcd", fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read | fs::perms::others_read);
  }
  void TearDown() override {
    std::error_code error;
    if (!dir_.empty()) fs::remove_all(dir_, error);
  }

  // Runs the program as nobody with the limit; its exit status as a shell shows it, or -1
  // when it had to be killed after kPatience.
  int RunLimited(rlim_t threads) {
    // The limit counts every process of the user the run switches to, so the rows, which ctest
    // may start side by side, take turns: another row's run would use up this one's threads.
    const int turn = open("/tmp/lcdwrite-thread-limit.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (turn >= 0) flock(turn, LOCK_EX);
    const int status = RunLimitedNow(threads);
    if (turn >= 0) close(turn);
    return status;
  }
  int RunLimitedNow(rlim_t threads) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(120);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      // The limit after the switch: set before it, the switch itself would mark the process
      // as over the limit and its exec would fail.
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(121);
      const rlimit limit{threads, threads};
      if (setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(122);
      const char* argv[] = {LCDWRITE_TOOL, "--console", "--simulate", "--fast",
                            "--sim-report",  "report.json", nullptr};
      // Under the address sanitizer, its leak check at exit needs a thread of its own, which
      // the limit refuses: it is left out here (the run's own leaks are checked elsewhere).
      const char* envp[] = {"PATH=/usr/bin:/bin", "LANG=C", "ASAN_OPTIONS=detect_leaks=0",
                            nullptr};
      execve(LCDWRITE_TOOL, const_cast<char**>(argv), const_cast<char**>(envp));
      _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + kPatience;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  fs::path dir_;
};

TEST_P(ThreadLimit, ends_the_run_with_one_line_and_status_70) {
  const LimitRow& row = GetParam();
  const int status = RunLimited(row.threads);
  const std::string out = apptest::Read(dir_ / "out.txt");
  const std::string err = apptest::Read(dir_ / "err.txt");
  EXPECT_EQ(status, 70) << "stdout:\n" << out << "stderr:\n" << err;
  const std::string said = out + err;
  const std::string line = "Das System gibt keinen Thread, Zeitgeber oder Speicher mehr her";
  const auto at = said.find(line);
  ASSERT_NE(at, std::string::npos) << said;
  EXPECT_EQ(said.find(line, at + 1), std::string::npos) << "said twice:\n" << said;
  EXPECT_NE(said.find("Die Platine wurde nicht beschrieben."), std::string::npos) << said;
  EXPECT_EQ(said.find("Schreiben erfolgreich beendet!"), std::string::npos) << said;
  EXPECT_EQ(said.find("terminate called"), std::string::npos) << said;
  const std::string report = apptest::Read(dir_ / "report.json");
  if (row.board == nullptr) {
    EXPECT_FALSE(fs::exists(dir_ / "report.json")) << report;
  } else {
    EXPECT_NE(report.find(row.board), std::string::npos) << report;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ThreadLimit,
    ::testing::Values(
        // No thread at all: the watch for stop requests cannot start, before any run.
        LimitRow{"no_thread_at_start", 1, nullptr},
        // One: the port's event thread cannot start when the port opens.
        LimitRow{"none_for_the_port", 2, "\"completed\": []"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
