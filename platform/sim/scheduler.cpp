#include "platform/sim/scheduler.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace sim {

// A blocked thread of the virtual clock's turn order (or, in real-time mode, any blocked thread).
struct Scheduler::Waiter {
  const std::function<bool()>* ready = nullptr;
  std::int64_t deadline = kNever;
  const char* what = "";
  bool done = false;
  bool signalled = false;
  std::condition_variable cv;
};

struct Scheduler::Slot {
  enum State { Runnable, Running, Blocked, Finished };
  int number = 0;
  std::thread::id osThread;
  State state = Runnable;
  // False between ThreadStarting and the new thread's ThreadEntered.
  bool claimed = false;
  std::condition_variable cv;
  const std::function<bool()>* ready = nullptr;
  std::int64_t deadline = kNever;
  const char* what = "";
  bool signalled = false;
};

namespace {

// The slot of the calling thread, and the scheduler it belongs to.
thread_local const Scheduler* t_owner = nullptr;
thread_local void* t_slot = nullptr;
thread_local bool t_inCallback = false;

constexpr std::int64_t kShutdownBudgetNs = 60LL * 1000 * kNsPerMs;
constexpr auto kRealShutdownWait = std::chrono::seconds(5);

std::string Milliseconds(std::int64_t ns) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64 " ms", ns / kNsPerMs,
                ns % kNsPerMs);
  return text;
}

}  // namespace

Scheduler::Scheduler(ClockMode mode) : mode_(mode), origin_(std::chrono::steady_clock::now()) {
  if (mode_ == ClockMode::Virtual) {
    auto main = std::make_unique<Slot>();
    main->number = 1;
    main->state = Slot::Running;
    main->claimed = true;
    current_ = main.get();
    t_owner = this;
    t_slot = main.get();
    slots_.push_back(std::move(main));
  } else {
    schedulerThread_ = std::thread([this] { SchedulerThread(); });
  }
}

Scheduler::~Scheduler() {
  if (!shutDown_) Shutdown();
}

bool Scheduler::InCallback() { return t_inCallback; }

Scheduler::Slot* Scheduler::Self() const {
  return t_owner == this ? static_cast<Slot*>(t_slot) : nullptr;
}

std::int64_t Scheduler::NowNs() const {
  if (mode_ == ClockMode::Virtual) return virtualNow_.load();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                              origin_)
      .count();
}

EventId Scheduler::Schedule(std::int64_t atNs, std::function<void()> fn) {
  Lock lock(mutex_);
  const EventId id = ScheduleLocked(lock, atNs, std::move(fn));
  Kick(lock);
  return id;
}

EventId Scheduler::ScheduleLocked(Lock& /*lock*/, std::int64_t atNs, std::function<void()> fn) {
  const std::int64_t at = std::max(atNs, NowNs());
  const EventId id = nextEvent_++;
  events_.emplace(std::make_pair(at, id), std::move(fn));
  eventTimes_.emplace(id, at);
  if (mode_ == ClockMode::RealTime) schedulerWake_.notify_one();
  return id;
}

bool Scheduler::Cancel(EventId id) {
  Lock lock(mutex_);
  return CancelLocked(id);
}

bool Scheduler::CancelLocked(EventId id) {
  auto it = eventTimes_.find(id);
  if (it == eventTimes_.end()) return false;
  events_.erase(std::make_pair(it->second, id));
  eventTimes_.erase(it);
  return true;
}

void Scheduler::Changed(Lock& lock) {
  WakeWaiters(lock);
  Kick(lock);
}

void Scheduler::WakeWaiters(Lock& /*lock*/) {
  for (auto& slot : slots_) {
    if (slot->state == Slot::Blocked && slot->ready != nullptr && (*slot->ready)()) {
      slot->signalled = true;
      slot->state = Slot::Runnable;
    }
  }
  for (Waiter* waiter : foreign_) {
    if (!waiter->done && waiter->ready != nullptr && (*waiter->ready)()) {
      waiter->done = true;
      waiter->signalled = true;
      waiter->cv.notify_all();
    }
  }
}

// Virtual mode: moves the simulation on from a state in which no thread holds the turn.
void Scheduler::Kick(Lock& lock) {
  if (mode_ == ClockMode::Virtual && current_ == nullptr && !driving_) Drive(lock);
}

void Scheduler::RunCallback(Lock& lock, std::function<void()>& fn) {
  t_inCallback = true;
  lock.unlock();
  try {
    fn();
  } catch (const std::exception& e) {
    lock.lock();
    Fail(std::string("a scheduled callback threw: ") + e.what());
  } catch (...) {
    lock.lock();
    Fail("a scheduled callback threw");
  }
  lock.lock();
  t_inCallback = false;
}

void Scheduler::Drive(Lock& lock) {
  driving_ = true;
  for (;;) {
    WakeWaiters(lock);
    Slot* next = nullptr;
    for (auto& slot : slots_) {
      if (slot->state == Slot::Runnable) {
        next = slot.get();
        break;
      }
    }
    if (next != nullptr) {
      current_ = next;
      next->cv.notify_all();
      break;
    }

    const std::int64_t eventAt = events_.empty() ? kNever : events_.begin()->first.first;
    std::int64_t deadline = kNever;
    for (auto& slot : slots_) {
      if (slot->state == Slot::Blocked) deadline = std::min(deadline, slot->deadline);
    }
    bool foreignWaiting = false;
    for (Waiter* waiter : foreign_) {
      if (!waiter->done) {
        foreignWaiting = true;
        deadline = std::min(deadline, waiter->deadline);
      }
    }
    if (eventAt == kNever && deadline == kNever) {
      // Only an unregistered thread can change anything now; its call moves things on.
      if (foreignWaiting) break;
      Fail("deadlock: no thread can run and nothing is scheduled");
    }

    if (eventAt <= deadline) {
      auto it = events_.begin();
      virtualNow_.store(std::max(virtualNow_.load(), eventAt));
      std::function<void()> fn = std::move(it->second);
      eventTimes_.erase(it->first.second);
      events_.erase(it);
      RunCallback(lock, fn);
      continue;
    }
    virtualNow_.store(std::max(virtualNow_.load(), deadline));
    bool woken = false;
    for (auto& slot : slots_) {
      if (slot->state == Slot::Blocked && slot->deadline == deadline) {
        slot->signalled = false;
        slot->state = Slot::Runnable;
        woken = true;
        break;
      }
    }
    if (!woken) {
      for (Waiter* waiter : foreign_) {
        if (!waiter->done && waiter->deadline == deadline) {
          waiter->done = true;
          waiter->signalled = false;
          waiter->cv.notify_all();
          break;
        }
      }
    }
  }
  driving_ = false;
}

void Scheduler::WaitForTurn(Lock& lock, Slot* self) {
  self->cv.wait(lock, [&] { return current_ == self; });
  self->state = Slot::Running;
}

bool Scheduler::Block(Lock& lock, const std::function<bool()>& ready, std::int64_t deadlineNs,
                      const char* what) {
  if (t_inCallback) Fail(std::string("a scheduled callback blocked in ") + what);
  Slot* self = mode_ == ClockMode::Virtual ? Self() : nullptr;
  if (self != nullptr) return BlockRegistered(lock, self, ready, deadlineNs, what);
  return BlockForeign(lock, ready, deadlineNs, what);
}

bool Scheduler::BlockRegistered(Lock& lock, Slot* self, const std::function<bool()>& ready,
                                std::int64_t deadlineNs, const char* what) {
  if (current_ != self) Fail(std::string("a thread blocked in ") + what + " without its turn");
  self->state = Slot::Blocked;
  self->ready = ready ? &ready : nullptr;
  self->deadline = deadlineNs;
  self->what = what;
  self->signalled = false;
  current_ = nullptr;
  Drive(lock);
  WaitForTurn(lock, self);
  self->ready = nullptr;
  self->deadline = kNever;
  return self->signalled;
}

bool Scheduler::BlockForeign(Lock& lock, const std::function<bool()>& ready,
                             std::int64_t deadlineNs, const char* what) {
  Waiter waiter;
  waiter.ready = ready ? &ready : nullptr;
  waiter.deadline = deadlineNs;
  waiter.what = what;
  foreign_.push_back(&waiter);
  if (mode_ == ClockMode::Virtual) {
    Kick(lock);
    waiter.cv.wait(lock, [&] { return waiter.done; });
  } else {
    while (!waiter.done) {
      if (deadlineNs == kNever) {
        waiter.cv.wait(lock);
      } else if (waiter.cv.wait_until(lock, origin_ + std::chrono::nanoseconds(deadlineNs)) ==
                     std::cv_status::timeout &&
                 !waiter.done) {
        waiter.done = true;
        waiter.signalled = false;
      }
    }
  }
  std::erase(foreign_, &waiter);
  return waiter.signalled;
}

void Scheduler::ThreadStarting() {
  Lock lock(mutex_);
  if (mode_ == ClockMode::RealTime) {
    ++realThreads_;
    return;
  }
  // One announced thread at a time, so each new thread takes the slot announced for it.
  claimed_.wait(lock, [&] {
    for (auto& slot : slots_) {
      if (!slot->claimed) return false;
    }
    return true;
  });
  auto slot = std::make_unique<Slot>();
  slot->number = static_cast<int>(slots_.size()) + 1;
  slot->state = Slot::Runnable;
  slots_.push_back(std::move(slot));
}

void Scheduler::ThreadEntered() {
  Lock lock(mutex_);
  if (mode_ == ClockMode::RealTime) return;
  Slot* self = nullptr;
  for (auto& slot : slots_) {
    if (!slot->claimed) {
      self = slot.get();
      break;
    }
  }
  if (self == nullptr) {
    // A thread nobody announced: it joins the turn order at the end.
    auto slot = std::make_unique<Slot>();
    slot->number = static_cast<int>(slots_.size()) + 1;
    slot->state = Slot::Runnable;
    self = slot.get();
    slots_.push_back(std::move(slot));
  }
  self->claimed = true;
  self->osThread = std::this_thread::get_id();
  t_owner = this;
  t_slot = self;
  claimed_.notify_all();
  Kick(lock);
  WaitForTurn(lock, self);
}

void Scheduler::ThreadFinished() {
  Lock lock(mutex_);
  if (mode_ == ClockMode::RealTime) {
    --realThreads_;
    realThreadsChanged_.notify_all();
    return;
  }
  Slot* self = Self();
  if (self == nullptr) return;
  self->state = Slot::Finished;
  t_owner = nullptr;
  t_slot = nullptr;
  if (current_ == self) {
    current_ = nullptr;
    Drive(lock);
  }
}

void Scheduler::ThreadNotStarted() {
  // In real time only a count: the thread counts as one that ended.
  if (mode_ == ClockMode::RealTime) {
    ThreadFinished();
    return;
  }
  Lock lock(mutex_);
  // ThreadStarting adds a slot only when every earlier one is claimed: the unclaimed one is
  // the last.
  if (slots_.empty() || slots_.back()->claimed) return;
  slots_.pop_back();
  claimed_.notify_all();
  Kick(lock);
}

int Scheduler::OtherThreads() const {
  Lock lock(mutex_);
  if (mode_ == ClockMode::RealTime) return realThreads_;
  int alive = 0;
  for (const auto& slot : slots_) {
    if (slot->state != Slot::Finished) ++alive;
  }
  return alive - 1;
}

void Scheduler::ThreadJoining(std::thread::id thread) {
  Lock lock(mutex_);
  Slot* self = mode_ == ClockMode::Virtual ? Self() : nullptr;
  if (self == nullptr) return;
  const std::function<bool()> ended = [&] {
    for (auto& slot : slots_) {
      if (slot->claimed && slot->osThread == thread) return slot->state == Slot::Finished;
    }
    return false;
  };
  if (!ended()) Block(lock, ended, kNever, "joining a thread");
}

void Scheduler::Shutdown() {
  Lock lock(mutex_);
  if (shutDown_) return;
  if (mode_ == ClockMode::Virtual) {
    Slot* self = Self();
    if (self == nullptr || self->number != 1) {
      Fail("the machine must be destroyed on the thread that made it");
    }
    const std::function<bool()> othersEnded = [&] {
      for (auto& slot : slots_) {
        if (slot.get() != self && slot->state != Slot::Finished) return false;
      }
      return true;
    };
    if (!othersEnded() &&
        !BlockRegistered(lock, self, othersEnded, NowNs() + kShutdownBudgetNs,
                         "machine shutdown")) {
      Fail("the machine is being destroyed while other threads still run");
    }
    self->state = Slot::Finished;
    current_ = nullptr;
    t_owner = nullptr;
    t_slot = nullptr;
    shutDown_ = true;
    return;
  }
  if (!realThreadsChanged_.wait_for(lock, kRealShutdownWait, [&] { return realThreads_ == 0; })) {
    Fail("the machine is being destroyed while framework threads still run");
  }
  stopping_ = true;
  shutDown_ = true;
  schedulerWake_.notify_all();
  lock.unlock();
  schedulerThread_.join();
}

void Scheduler::SchedulerThread() {
  Lock lock(mutex_);
  while (!stopping_) {
    if (events_.empty()) {
      schedulerWake_.wait(lock);
      continue;
    }
    const std::int64_t at = events_.begin()->first.first;
    if (NowNs() < at) {
      schedulerWake_.wait_until(lock, origin_ + std::chrono::nanoseconds(at));
      continue;
    }
    auto it = events_.begin();
    std::function<void()> fn = std::move(it->second);
    eventTimes_.erase(it->first.second);
    events_.erase(it);
    RunCallback(lock, fn);
  }
}

std::string Scheduler::Describe() const {
  std::string text = "  at " + Milliseconds(NowNs()) + " of simulated time\n";
  static const char* const kStates[] = {"runnable", "running", "blocked", "finished"};
  for (const auto& slot : slots_) {
    text += "  thread " + std::to_string(slot->number) + (slot->number == 1 ? " (main)" : "") +
            ": " + kStates[slot->state];
    if (slot->state == Slot::Blocked) {
      text += std::string(" in ") + slot->what;
      text += slot->deadline == kNever ? " without time-out"
                                       : " until " + Milliseconds(slot->deadline);
    }
    if (!slot->claimed) text += " (not started yet)";
    text += "\n";
  }
  for (const Waiter* waiter : foreign_) {
    if (!waiter->done) text += std::string("  unregistered thread: blocked in ") + waiter->what + "\n";
  }
  text += "  " + std::to_string(events_.size()) + " scheduled event(s)\n";
  return text;
}

void Scheduler::Fail(const std::string& problem) {
  std::fprintf(stderr, "sim: %s\n%s", problem.c_str(), Describe().c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace sim
