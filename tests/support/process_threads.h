// The process's threads as the system lists them, for tests that check a run left none behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace testsupport {

// The entries of /proc/self/task (Linux; under Wine those of the Wine process); 0 where there
// is no /proc, which leaves the framework's own count to tell.
inline int ProcessThreads() {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end;
       !error && it != end; it.increment(error)) {
    ++count;
  }
  return count;
}

// The same once threads that were joined have also left the system's list: a join returns
// while the system still finishes the thread's exit, so the list can hold it a moment longer.
// A thread that is left running stays in it; the count then comes back after about a second.
inline int ProcessThreadsAtMost(int expected) {
  int count = ProcessThreads();
  for (int i = 0; i < 1000 && count > expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = ProcessThreads();
  }
  return count;
}

}  // namespace testsupport
