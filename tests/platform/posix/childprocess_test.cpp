// Child processes on POSIX: their lines as they wrote them, how they ended, what they inherit.
// The children are small shell scripts.
#include "platform/childprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Collected {
  std::mutex mutex;
  std::vector<std::string> output;
  std::vector<std::string> error;
  std::atomic<int> closed{0};
};

bool StartShell(plat::ChildProcess& child, const std::string& script, Collected& got,
                std::string* why = nullptr) {
  return child.Start(
      "/bin/sh", {"-c", script},
      [&got](plat::ChildStream stream, const std::string& line) {
        std::lock_guard lock(got.mutex);
        (stream == plat::ChildStream::Output ? got.output : got.error).push_back(line);
      },
      [&got] { ++got.closed; }, why);
}

TEST(ChildProcess, lines_and_ends) {
  const struct {
    const char* name;
    const char* script;
    std::vector<std::string> output;
    std::vector<std::string> error;
    bool exited;
    int status;  // exit status, or the signal
  } rows[] = {
      {"lines and status", "echo one; echo two; exit 3", {"one", "two"}, {}, true, 3},
      {"a line written in pieces", "printf 'ab'; sleep 0; printf 'c\\nd\\n'", {"abc", "d"}, {},
       true, 0},
      {"a carriage return before the break goes", "printf 'x\\r\\n\\r\\n'", {"x", ""}, {}, true,
       0},
      {"a last line without a break", "printf 'last'", {"last"}, {}, true, 0},
      {"both streams apart", "echo out; echo err >&2; exit 1", {"out"}, {"err"}, true, 1},
      {"a line longer than a read", "head -c 10000 /dev/zero | tr '\\0' x; echo",
       {std::string(10000, 'x')}, {}, true, 0},
      {"killed by a signal", "echo before; kill -KILL $$", {"before"}, {}, false, SIGKILL},
      {"standard input is empty", "cat; echo $?", {"0"}, {}, true, 0},
  };
  for (const auto& row : rows) {
    Collected got;
    plat::ChildProcess child;
    ASSERT_TRUE(StartShell(child, row.script, got)) << row.name;
    const plat::ChildExit exit = child.Wait();
    EXPECT_EQ(got.output, row.output) << row.name;
    EXPECT_EQ(got.error, row.error) << row.name;
    EXPECT_EQ(exit.exited, row.exited) << row.name;
    EXPECT_EQ(exit.exited ? exit.status : exit.signal, row.status) << row.name;
    EXPECT_EQ(got.closed.load(), 1) << row.name;
    // Asked again, the same answer.
    EXPECT_EQ(child.Wait().exited, row.exited) << row.name;
  }
}

TEST(ChildProcess, stop_requests_reach_the_child_as_signals) {
  const struct {
    const char* name;
    void (plat::ChildProcess::*stop)();
    const char* trapped;  // what the child's trap says
  } rows[] = {
      {"interrupt", &plat::ChildProcess::Interrupt, "INT"},
      {"terminate", &plat::ChildProcess::Terminate, "TERM"},
  };
  for (const auto& row : rows) {
    Collected got;
    plat::ChildProcess child;
    // The trap answers and ends the child in order; the loop waits for the signal.
    ASSERT_TRUE(StartShell(child,
                           "trap 'echo INT; exit 5' INT; trap 'echo TERM; exit 6' TERM; "
                           "echo ready; while :; do sleep 0.01; done",
                           got));
    for (;;) {
      {
        std::lock_guard lock(got.mutex);
        if (!got.output.empty()) break;
      }
      std::this_thread::yield();
    }
    (child.*row.stop)();
    const plat::ChildExit exit = child.Wait();
    EXPECT_TRUE(exit.exited) << row.name;
    EXPECT_EQ(got.output.back(), row.trapped) << row.name;
  }
}

TEST(ChildProcess, a_child_has_a_process_group_and_no_descriptor_of_ours) {
  // A descriptor without close-on-exec, as a library might leave one.
  const int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  Collected got;
  plat::ChildProcess child;
  ASSERT_TRUE(StartShell(child,
                         "if [ -e /proc/self/fd/" + std::to_string(leaked) +
                             " ]; then echo leaked; else echo closed; fi; "
                             "cut -d' ' -f5 /proc/$$/stat; echo $$",
                         got));
  child.Wait();
  close(leaked);
  ASSERT_EQ(got.output.size(), 3u);
  EXPECT_EQ(got.output[0], "closed");
  // Its own group: a terminal's Ctrl+C goes to the parent's group only.
  EXPECT_EQ(got.output[1], got.output[2]);
}

TEST(ChildProcess, a_program_that_cannot_start_says_why_and_calls_nothing) {
  Collected got;
  plat::ChildProcess child;
  std::string why;
  EXPECT_FALSE(child.Start("/nonexistent/lcdwrite", {}, [&got](plat::ChildStream, const std::string&) {
    got.output.push_back("called");
  }, [&got] { ++got.closed; }, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(child.Started());
  EXPECT_TRUE(got.output.empty());
  EXPECT_EQ(got.closed.load(), 0);
}

TEST(ChildProcess, a_child_still_running_goes_with_its_object) {
  Collected got;
  long pid = 0;
  {
    plat::ChildProcess child;
    ASSERT_TRUE(StartShell(child, "exec sleep 600", got));
    pid = child.Id();
  }
  // Killed and reaped: no such process any more.
  EXPECT_NE(kill(static_cast<pid_t>(pid), 0), 0);
}

}  // namespace
