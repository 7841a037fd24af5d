// The Windows child process: started with exactly its arguments, read line by line on both
// streams, stopped as Ctrl+C or a termination request would stop it, killed, and its exit status.
// The child is tests/platform/win32/childprobe, built beside this program.
#include "platform/childprocess.h"

#include <windows.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hosttext.h"
#include "platform/win32/hosttext.h"

namespace plat {
namespace {

std::string Probe() {
  std::vector<wchar_t> self(MAX_PATH * 4);
  const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  return PathText(std::filesystem::path(std::wstring(self.data(), length)).parent_path() /
                  L"childprobe.exe");
}

std::wstring Wide(const std::string& utf8) { return FilePath(utf8).wstring(); }

// What a child said, gathered from its reader threads.
class Lines {
 public:
  ChildProcess::LineHandler OnLine() {
    return [this](ChildStream stream, const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      (stream == ChildStream::Output ? output_ : error_).push_back(line);
      changed_.notify_all();
    };
  }
  ChildProcess::ClosedHandler OnClosed() {
    return [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++closed_;
      changed_.notify_all();
    };
  }
  // Waits (bounded, for a hung child) until the child has said line.
  bool WaitFor(const std::string& line) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] {
      for (const std::string& said : output_) {
        if (said == line) return true;
      }
      return false;
    });
  }
  std::vector<std::string> Output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }
  std::vector<std::string> Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }
  int Closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> output_, error_;
  int closed_ = 0;
};

const std::string kKuehlraum = "K\xC3\xBChlraum 4711";
const std::string kLodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA";

struct ArgumentsRow {
  std::vector<std::string> arguments;
  bool ansi;  // the C runtime's narrow argv can hold them too
};
const ArgumentsRow kArgumentRows[] = {
    {{"--console", "--json", "--converter", "A5XK3RJT"}, true},
    {{"", "a b", "", "tab\tin"}, true},
    {{"say \"hi\"", "\"", "\\\"", "\\\\\""}, true},
    {{"C:\\Program Files\\", "C:\\Lauf 7\\\\", "\\\\server\\share\\x"}, true},
    {{"--converter", "A5XK3RJT=C:\\Platinen\\" + kKuehlraum + "\\"}, false},
    {{"--converter=" + kLodz, "a\\\\b\\c"}, false},
};

TEST(ChildProcessWin32, the_command_line_splits_back_into_the_arguments) {
  for (const ArgumentsRow& row : kArgumentRows) {
    EXPECT_EQ(ArgumentsOfCommandLine(Wide(WindowsCommandLine("C:\\x y\\lcdwrite.exe", row.arguments))),
              row.arguments);
  }
}

TEST(ChildProcessWin32, a_started_child_gets_every_argument_exactly) {
  for (const ArgumentsRow& row : kArgumentRows) {
    std::vector<std::string> arguments = {"args"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    Lines lines;
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start(Probe(), arguments, lines.OnLine(), lines.OnClosed(), &error)) << error;
    const ChildExit exit = child.Wait();
    EXPECT_TRUE(exit.exited);
    EXPECT_EQ(exit.status, 0);
    std::vector<std::string> expected;
    for (const std::string& argument : row.arguments) expected.push_back("w:" + argument);
    if (row.ansi) {
      for (const std::string& argument : row.arguments) expected.push_back("c:" + argument);
    }
    std::vector<std::string> output = lines.Output();
    if (!row.ansi) output.resize(row.arguments.size());  // the narrow argv cannot hold them
    EXPECT_EQ(output, expected);
  }
}

TEST(ChildProcessWin32, lines_of_both_streams_arrive_whole_and_the_exit_status_follows) {
  struct Row {
    int lines;
    int status;
  };
  for (const Row row : {Row{0, 0}, Row{3, 7}, Row{2000, 1}, Row{1, 255}, Row{1, 70000}}) {
    Lines lines;
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start(Probe(),
                            {"lines", std::to_string(row.lines), std::to_string(row.status)},
                            lines.OnLine(), lines.OnClosed(), &error))
        << error;
    EXPECT_NE(child.Id(), 0);
    const ChildExit exit = child.Wait();
    EXPECT_TRUE(exit.exited);
    EXPECT_EQ(exit.status, row.status);
    EXPECT_EQ(exit.signal, 0);
    std::vector<std::string> expected;
    for (int i = 1; i <= row.lines; ++i) expected.push_back("line " + std::to_string(i));
    expected.push_back("tail");
    EXPECT_EQ(lines.Output(), expected);
    EXPECT_EQ(lines.Error(), std::vector<std::string>{"error line"});
    EXPECT_EQ(lines.Closed(), 1);
    // What it used, once it has ended (Wine does not tell the peak memory of an ended
    // process: then -1, never a made-up 0).
    EXPECT_GE(exit.cpuMs, 0);
    EXPECT_TRUE(exit.peakMemoryKb > 0 || exit.peakMemoryKb == -1) << exit.peakMemoryKb;
    // Asked again: the same answer.
    EXPECT_EQ(child.Wait().status, row.status);
  }
}

TEST(ChildProcessWin32, a_stopped_child_ends_in_order_with_the_status_of_its_request) {
  struct Row {
    void (ChildProcess::*stop)();
    int status;
  };
  for (const Row row : {Row{&ChildProcess::Interrupt, 130}, Row{&ChildProcess::Terminate, 143}}) {
    Lines lines;
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start(Probe(), {"wait"}, lines.OnLine(), lines.OnClosed(), &error)) << error;
    ASSERT_TRUE(lines.WaitFor("ready"));
    (child.*row.stop)();
    const ChildExit exit = child.Wait();
    EXPECT_TRUE(exit.exited);
    EXPECT_EQ(exit.status, row.status);
    EXPECT_EQ(lines.Output(),
              (std::vector<std::string>{"ready", "stopped " + std::to_string(row.status)}));
    // Once waited for, a stop request changes nothing.
    (child.*row.stop)();
    EXPECT_EQ(child.Wait().status, row.status);
  }
}

TEST(ChildProcessWin32, a_killed_child_counts_as_ended_from_outside) {
  Lines lines;
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start(Probe(), {"hang"}, lines.OnLine(), lines.OnClosed(), &error)) << error;
  ASSERT_TRUE(lines.WaitFor("ready"));
  child.Kill();
  const ChildExit exit = child.Wait();
  EXPECT_FALSE(exit.exited);
  EXPECT_EQ(exit.signal, 9);
  EXPECT_EQ(lines.Closed(), 1);
}

TEST(ChildProcessWin32, children_started_at_once_hold_none_of_each_others_pipes) {
  constexpr int kChildren = 4;
  Lines lines[kChildren];
  ChildProcess children[kChildren];
  std::vector<std::thread> starters;
  for (int i = 0; i < kChildren; ++i) {
    starters.emplace_back([&, i] {
      children[i].Start(Probe(), {"hang"}, lines[i].OnLine(), lines[i].OnClosed(), nullptr);
    });
  }
  for (std::thread& starter : starters) starter.join();
  for (int i = 0; i < kChildren; ++i) {
    ASSERT_TRUE(children[i].Started());
    ASSERT_TRUE(lines[i].WaitFor("ready"));
  }
  // Each one's streams end with it while the others still run (a copy of its pipe in another
  // child would keep them open, and Wait would never return).
  for (int i = 0; i < kChildren; ++i) {
    children[i].Kill();
    EXPECT_EQ(children[i].Wait().signal, 9);
    EXPECT_EQ(lines[i].Closed(), 1);
    for (int later = i + 1; later < kChildren; ++later) EXPECT_EQ(lines[later].Closed(), 0);
  }
}

TEST(ChildProcessWin32, a_child_left_running_is_ended_with_its_object) {
  Lines lines;
  {
    ChildProcess child;
    ASSERT_TRUE(child.Start(Probe(), {"hang"}, lines.OnLine(), lines.OnClosed(), nullptr));
    ASSERT_TRUE(lines.WaitFor("ready"));
  }
  EXPECT_EQ(lines.Closed(), 1);
}

TEST(ChildProcessWin32, a_program_that_cannot_start_says_why_and_calls_nothing) {
  Lines lines;
  ChildProcess child;
  std::string error;
  EXPECT_FALSE(child.Start(Probe() + ".missing.exe", {"x"}, lines.OnLine(), lines.OnClosed(),
                           &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(child.Started());
  EXPECT_EQ(child.Id(), 0);
  const ChildExit exit = child.Wait();
  EXPECT_EQ(lines.Closed(), 0);
  EXPECT_TRUE(lines.Output().empty());
  (void)exit;
}

}  // namespace
}  // namespace plat
