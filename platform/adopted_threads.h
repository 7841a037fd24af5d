// Threads nobody joins: the framework's free-on-terminate threads, owned by the kernel they run
// on instead of being detached.
//
// A detached thread may still be running its last instructions (its final kernel calls, its
// own exit) while the owner of that kernel destroys it or the process ends, and nothing can wait
// for it. So such a thread is adopted: the kernel keeps its std::thread, the thread says Ended
// as the very last thing it does with the kernel, and the kernel joins it - the ended ones
// whenever another thread is adopted (so a long-running program holds at most a few), and all
// of them in JoinAll, which whoever destroys the platform calls first.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace plat {

class AdoptedThreads {
 public:
  AdoptedThreads() = default;
  // Joins what JoinAll can.
  ~AdoptedThreads();
  AdoptedThreads(const AdoptedThreads&) = delete;
  AdoptedThreads& operator=(const AdoptedThreads&) = delete;

  // Takes over a joinable thread (from any thread but that one itself, or from that thread
  // before it says Ended); joins the adopted threads that have ended.
  void Adopt(std::thread thread);
  // On any thread, as its last call on this object and on the kernel: an adopted thread marks
  // itself ended (a thread that was not adopted is ignored).
  void Ended();
  // Waits until every adopted thread has ended, at most limit, and joins those that have. True
  // when none is left; a thread still running after the limit stays adopted (and is detached
  // when this object goes, as nothing else can be done with it then).
  bool JoinAll(std::chrono::milliseconds limit = std::chrono::milliseconds::max());
  // Adopted threads not joined yet.
  std::size_t Count() const;

 private:
  std::vector<std::thread> TakeEnded();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::thread::id, std::thread> threads_;
  std::set<std::thread::id> ended_;
};

}  // namespace plat
