#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/thread.h"
#include "framework/timer.h"
#include "platform/sim/machine.h"

namespace {

constexpr std::int64_t kMs = sim::kNsPerMs;

// A framework thread that runs a function.
class Worker : public fw::TThread {
 public:
  Worker(plat::Platform& platform, std::function<void()> body)
      : fw::TThread(true, platform), body_(std::move(body)) {}
  ~Worker() override { WaitFor(); }

 protected:
  void Execute() override { body_(); }

 private:
  std::function<void()> body_;
};

struct Trace {
  std::mutex mutex;
  std::vector<std::string> entries;
  void Add(const std::string& what, std::int64_t atNs) {
    std::lock_guard<std::mutex> lock(mutex);
    entries.push_back(what + "@" + std::to_string(atNs / 1000));
  }
};

TEST(VirtualClock, sleeps_move_time_exactly_and_cost_no_real_time) {
  sim::Machine machine;
  plat::KernelApi& kernel = machine.kernel();
  EXPECT_TRUE(kernel.IsVirtual());
  EXPECT_EQ(kernel.NowMicroseconds(), 0);
  kernel.Sleep(1500);
  EXPECT_EQ(kernel.NowMicroseconds(), 1500000);
  kernel.Sleep(3600 * 1000);  // an hour, at once
  EXPECT_EQ(machine.NowNs(), (1500 + 3600 * 1000) * kMs);
}

TEST(VirtualClock, events_of_one_instant_run_in_insertion_order_before_a_thread_due_then) {
  sim::Machine machine;
  std::vector<int> order;
  for (int i = 1; i <= 3; ++i) machine.Schedule(2 * kMs, [&order, i] { order.push_back(i); });
  machine.Schedule(1 * kMs, [&] {
    order.push_back(0);
    // Scheduled for an instant already past: runs now, after what is due now.
    machine.Schedule(0, [&] { order.push_back(machine.NowNs() == kMs ? 10 : -1); });
  });
  machine.kernel().Sleep(2);
  EXPECT_EQ(order, (std::vector<int>{0, 10, 1, 2, 3}));
  const sim::EventId cancelled = machine.ScheduleAfter(kMs, [&] { order.push_back(99); });
  EXPECT_TRUE(machine.Cancel(cancelled));
  EXPECT_FALSE(machine.Cancel(cancelled));
  machine.RunFor(5 * kMs);
  EXPECT_EQ(order.size(), 5u);
}

struct WaitCase {
  const char* what;
  BOOL manualReset;
  std::int64_t setAtMs;  // -1: never
  DWORD timeoutMs;
  DWORD result;
  std::int64_t doneAtMs;
  DWORD secondResult;  // of a zero wait right after
};

class EventWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(EventWaitTest, waits_on_the_virtual_clock) {
  const WaitCase& c = GetParam();
  sim::Machine machine;
  plat::KernelApi& kernel = machine.kernel();
  HANDLE event = kernel.CreateEventA(c.manualReset, FALSE);
  if (c.setAtMs >= 0) machine.Schedule(c.setAtMs * kMs, [&] { kernel.SetEvent(event); });
  EXPECT_EQ(kernel.WaitForSingleObject(event, c.timeoutMs), c.result);
  EXPECT_EQ(machine.NowNs(), c.doneAtMs * kMs);
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), c.secondResult);
  EXPECT_EQ(machine.NowNs(), c.doneAtMs * kMs);
  EXPECT_TRUE(kernel.CloseEvent(event));
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(
    Events, EventWaitTest,
    ::testing::Values(WaitCase{"auto_reset_signalled", FALSE, 3, 10, WAIT_OBJECT_0, 3, WAIT_TIMEOUT},
                      WaitCase{"manual_reset_stays_signalled", TRUE, 3, 10, WAIT_OBJECT_0, 3,
                               WAIT_OBJECT_0},
                      WaitCase{"times_out", FALSE, -1, 10, WAIT_TIMEOUT, 10, WAIT_TIMEOUT},
                      WaitCase{"set_at_the_deadline_wins", FALSE, 10, 10, WAIT_OBJECT_0, 10,
                               WAIT_TIMEOUT},
                      WaitCase{"infinite", TRUE, 7000, INFINITE, WAIT_OBJECT_0, 7000,
                               WAIT_OBJECT_0}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(VirtualClock, threads_take_turns_in_registration_order) {
  sim::Machine machine;
  Trace trace;
  auto body = [&](const char* name) {
    return [&machine, &trace, name] {
      for (int i = 0; i < 3; ++i) {
        trace.Add(name, machine.NowNs());
        machine.kernel().Sleep(1);
      }
    };
  };
  {
    Worker a(machine, body("a"));
    Worker b(machine, body("b"));
    a.Start();
    b.Start();
    trace.Add("main", machine.NowNs());
    machine.kernel().Sleep(0);  // a yield: both workers run before main goes on
    trace.Add("main", machine.NowNs());
  }  // joined here
  const std::vector<std::string> expected{"main@0", "a@0",    "b@0",    "main@0", "a@1000",
                                          "b@1000", "a@2000", "b@2000"};
  EXPECT_EQ(trace.entries, expected);
}

TEST(VirtualClock, an_auto_reset_event_releases_one_waiter_at_a_time) {
  sim::Machine machine;
  plat::KernelApi& kernel = machine.kernel();
  HANDLE event = kernel.CreateEventA(FALSE, FALSE);
  std::atomic<int> woken{0};
  Trace trace;
  auto waiter = [&](const char* name) {
    return [&, name] {
      kernel.WaitForSingleObject(event, INFINITE);
      trace.Add(name, machine.NowNs());
    };
  };
  Worker first(machine, waiter("first"));
  Worker second(machine, waiter("second"));
  first.Start();
  second.Start();
  kernel.Sleep(1);
  kernel.SetEvent(event);
  kernel.Sleep(1);
  EXPECT_EQ(trace.entries, std::vector<std::string>{"first@1000"});
  kernel.SetEvent(event);
  first.WaitFor();
  second.WaitFor();
  EXPECT_EQ(trace.entries, (std::vector<std::string>{"first@1000", "second@2000"}));
}

TEST(VirtualClock, synchronize_and_timers_of_the_framework_run_on_it) {
  sim::Machine machine;
  plat::SetCurrentPlatform(&machine);
  {
    fw::TApplication application(machine);
    Trace trace;
    struct Ticker {
      Trace* trace;
      sim::Machine* machine;
      fw::TTimer* timer;
      void Tick(fw::TObject*) {
        trace->Add("timer", machine->NowNs());
        timer->SetEnabled(false);
      }
    };
    fw::TTimer timer(nullptr);
    Ticker ticker{&trace, &machine, &timer};
    timer.SetInterval(500);
    timer.SetOnTimer(fw::Method<&Ticker::Tick>(&ticker));
    Worker worker(machine, [&] {
      machine.kernel().Sleep(5);
      fw::TThread::Synchronize(nullptr, [&] { trace.Add("synchronized", machine.NowNs()); });
      trace.Add("worker", machine.NowNs());
    });
    worker.Start();
    while (trace.entries.size() < 3) application.HandleMessage();
    worker.WaitFor();
    const std::vector<std::string> expected{"synchronized@5000", "worker@5000", "timer@500000"};
    EXPECT_EQ(trace.entries, expected);
  }
  plat::SetCurrentPlatform(nullptr);
}

TEST(VirtualClockDeathTest, a_deadlock_is_reported_instead_of_hanging) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        sim::Machine machine;
        HANDLE event = machine.kernel().CreateEventA(FALSE, FALSE);
        machine.kernel().WaitForSingleObject(event, INFINITE);
      },
      // One line of the report: on Windows gtest's own regular expressions, '.' stops at a
      // line break.
      "thread 1 \\(main\\): blocked in WaitForSingleObject without time-out");
}

TEST(VirtualClockDeathTest, a_callback_must_not_block) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        sim::Machine machine;
        machine.Schedule(kMs, [&] { machine.kernel().Sleep(1); });
        machine.RunFor(2 * kMs);
      },
      "a scheduled callback blocked in Sleep");
}

TEST(RealTimeClock, events_and_waits_use_the_steady_clock) {
  sim::Machine machine(sim::ClockMode::RealTime);
  plat::KernelApi& kernel = machine.kernel();
  EXPECT_FALSE(kernel.IsVirtual());
  HANDLE event = kernel.CreateEventA(TRUE, FALSE);
  const std::int64_t start = machine.NowNs();
  machine.ScheduleAfter(2 * kMs, [&] { kernel.SetEvent(event); });
  ASSERT_EQ(kernel.WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
  EXPECT_GE(machine.NowNs() - start, 2 * kMs);
  // A worker thread runs alongside, without a turn.
  std::atomic<bool> ran{false};
  {
    Worker worker(machine, [&] { ran = kernel.WaitForSingleObject(event, 0) == WAIT_OBJECT_0; });
    worker.Start();
  }
  EXPECT_TRUE(ran);
}

}  // namespace
