// The simulated machine's clock, its scheduled events and its threads.
//
// Virtual mode (the default): a deterministic discrete-event scheduler. Exactly one registered
// thread runs at a time: it holds the turn until it blocks in a simulated wait (Block) or ends.
// The turn then passes to the first runnable registered thread in registration order; when no
// thread is runnable, time jumps to the earliest scheduled event, sleep deadline or wait time-out
// and that one item runs or wakes (ties: events in insertion order first, then threads in
// registration order). A run therefore gives the same result every time and takes almost no
// real time. A state in which nothing can ever run again is a deadlock: the scheduler prints the
// blocked threads to standard error and aborts instead of hanging.
//
// RealTime mode: time is the steady clock, blocked threads wait for real, and scheduled events
// run at their real instants on a scheduler thread owned by this object. There is no turn.
//
// Every piece of simulated state is guarded by one mutex, Mutex(). Scheduled callbacks run
// without it held (virtual: on whichever thread moves time on; real time: on the scheduler
// thread) and may call back into the machine, but must not block in a simulated wait.
//
// Threads that are not registered (neither the constructing thread nor a framework thread
// announced through ThreadStarting/ThreadEntered) may still call in: their blocking calls wait
// outside the turn, which is safe but not deterministic.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace sim {

enum class ClockMode { Virtual, RealTime };

using EventId = std::uint64_t;
// A deadline that never comes.
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kNsPerMs = 1000000;

class Scheduler {
 public:
  using Lock = std::unique_lock<std::mutex>;

  // The constructing thread is registered as the main thread and holds the turn.
  explicit Scheduler(ClockMode mode);
  // Precondition: Shutdown has run.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  ClockMode Mode() const { return mode_; }
  std::mutex& Mutex() { return mutex_; }

  // Nanoseconds since the machine started (virtual or real).
  std::int64_t NowNs() const;

  // Runs fn at atNs (an instant in the past means now). Any thread, lock not held.
  EventId Schedule(std::int64_t atNs, std::function<void()> fn);
  // The same with Mutex() held by the caller.
  EventId ScheduleLocked(Lock& lock, std::int64_t atNs, std::function<void()> fn);
  // Removes an event that has not run yet; false when it ran already or is unknown.
  bool Cancel(EventId id);
  bool CancelLocked(EventId id);

  // Blocks the calling thread (which holds Mutex() through lock) until ready() returns true or
  // the deadline (in NowNs terms; kNever for none) has come. ready runs under the lock whenever
  // the state may have changed; when it returns true it must also take what it waited for (an
  // auto-reset event resets there), so that only one waiter gets it. A null ready waits for the
  // deadline only. Returns true when ready, false on time-out. Always gives up the turn, even
  // with a deadline of now, so Sleep(0) lets the other runnable threads run. what names the
  // call in a deadlock report. Must not be called from a scheduled callback.
  bool Block(Lock& lock, const std::function<bool()>& ready, std::int64_t deadlineNs,
             const char* what);

  // Call (with the lock held) after changing state that a blocked thread may wait for.
  void Changed(Lock& lock);

  // The framework's thread notices (see plat::KernelApi).
  void ThreadStarting();
  void ThreadEntered();
  void ThreadFinished();
  // The thread announced last could not be created: its slot goes, so nothing waits for it.
  void ThreadNotStarted();
  // Before the calling thread joins the framework thread with this id (virtual mode): blocks
  // until that thread has finished, so the join itself returns at once.
  void ThreadJoining(std::thread::id thread);

  // On the main thread before the machine goes: waits until every other registered thread has
  // ended (virtual: lets time run for up to a minute of virtual time), then stops the scheduler
  // thread. A thread that does not end is reported and the process aborts, rather than leaving
  // a thread that would touch a machine no longer there.
  void Shutdown();

  // Framework threads that have started and not yet finished (the main thread not counted).
  int OtherThreads() const;

  // True on a thread that is running a scheduled callback.
  static bool InCallback();

 private:
  struct Waiter;
  struct Slot;

  void WakeWaiters(Lock& lock);
  void Drive(Lock& lock);
  void Kick(Lock& lock);
  bool BlockRegistered(Lock& lock, Slot* self, const std::function<bool()>& ready,
                       std::int64_t deadlineNs, const char* what);
  bool BlockForeign(Lock& lock, const std::function<bool()>& ready, std::int64_t deadlineNs,
                    const char* what);
  void RunCallback(Lock& lock, std::function<void()>& fn);
  void WaitForTurn(Lock& lock, Slot* self);
  [[noreturn]] void Fail(const std::string& problem);
  std::string Describe() const;
  Slot* Self() const;
  void SchedulerThread();

  const ClockMode mode_;
  const std::chrono::steady_clock::time_point origin_;
  mutable std::mutex mutex_;
  std::atomic<std::int64_t> virtualNow_{0};

  // Scheduled events by (instant, insertion number).
  std::map<std::pair<std::int64_t, EventId>, std::function<void()>> events_;
  std::unordered_map<EventId, std::int64_t> eventTimes_;
  EventId nextEvent_ = 1;

  // Registered threads in registration order (virtual mode), and the one holding the turn.
  std::vector<std::unique_ptr<Slot>> slots_;
  Slot* current_ = nullptr;
  bool driving_ = false;
  std::condition_variable claimed_;
  // Waits of unregistered threads (and every wait in real-time mode).
  std::vector<Waiter*> foreign_;
  // Framework threads alive in real-time mode.
  int realThreads_ = 0;
  std::condition_variable realThreadsChanged_;

  std::thread schedulerThread_;
  std::condition_variable schedulerWake_;
  bool stopping_ = false;
  bool shutDown_ = false;
};

}  // namespace sim
