// boardsim's --mark, run as the virtual-machine bench runs it: the board on a pty, the host's
// bytes written to the slave. The mark must come exactly at the chosen point of the write (the
// bench pulls the converter then), and the board must go on as before.
//
// Each case also has the board hang up at the host's third byte: the slave's hang-up shows the
// board has counted bytes 1 to 3, so a mark it was due by then has been printed (a mark is
// told before a hang-up of the same byte), and an absent one will not come from them.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/boardsim_process.h"

namespace {

// Writes the bytes to the slave, then waits (at most five seconds) until the board hangs up.
bool WriteUntilHangUp(const std::string& slave, const std::string& bytes) {
  const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return false;
  bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  pollfd p{fd, POLLIN, 0};
  ok = ok && poll(&p, 1, 5000) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
  close(fd);
  return ok;
}

TEST(BoardSimMark, tells_the_chosen_byte_and_nothing_else) {
  const struct {
    const char* mark;
    bool told;
  } rows[] = {
      {"byte:3", true},    // the byte of the hang-up itself
      {"byte:1", true},    // an earlier one
      {"byte:4", false},   // never sent
      {"dtr:1", false},    // the host never raised DTR
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.mark);
    const std::string state = testsupport::TempFile("/tmp/lcdwrite-mark-modem-XXXXXX");
    ASSERT_FALSE(state.empty());
    testsupport::BoardSimProcess sim;
    ASSERT_TRUE(sim.Start(LCDWRITE_BOARDSIM_PATH,
                          {"--state", state, "--timeout", "30", "--mark", row.mark, "--hangup", "byte:3"}));
    EXPECT_TRUE(WriteUntilHangUp(sim.slave, "\xBA\xBA\xBA"));
    EXPECT_EQ(sim.Stop(), 0);
    const std::string out = testsupport::ReadFile(sim.output);
    EXPECT_EQ(out.find("mark at ") != std::string::npos, row.told) << out;
    EXPECT_NE(out.find("hung up at "), std::string::npos) << out;
    unlink(state.c_str());
  }
}

// The program's exit status for these arguments, its error output dropped; started without a
// shell, so the checkout's folder may hold blanks.
int ExitStatusOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(BoardSimMark, a_moment_it_cannot_read_is_a_usage_error) {
  for (const char* mark : {"byte:0", "bytes:3", "byte:3+", "dtr"}) {
    SCOPED_TRACE(mark);
    EXPECT_EQ(ExitStatusOf({LCDWRITE_BOARDSIM_PATH, "--state", "/nonexistent", "--mark", mark}), 64);
  }
}

}  // namespace
