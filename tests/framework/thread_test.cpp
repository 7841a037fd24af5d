#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "framework/application.h"
#include "framework/exceptions.h"
#include "platform/sim/machine.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Runs a function on its own thread.
class Worker : public fw::TThread {
 public:
  explicit Worker(std::function<void(Worker&)> body) : fw::TThread(true), body_(std::move(body)) {}
  void Execute() override { body_(*this); }

 private:
  std::function<void(Worker&)> body_;
};

// Lets the main thread process the application's queue until done is set.
void PumpUntil(fw::TApplication& app, const std::atomic<bool>& done) {
  for (int i = 0; i < 5000 && !done.load(); ++i) {
    app.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(done.load()) << "worker did not finish";
}

TEST(Thread, synchronize_runs_on_the_main_thread_and_reraises_in_the_worker) {
  fw::TApplication app;
  const std::thread::id mainId = std::this_thread::get_id();
  std::thread::id ranOn;
  std::string caught;
  std::atomic<bool> done{false};
  Worker worker([&](Worker& self) {
    self.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    try {
      self.Synchronize([] { throw fw::Exception("from the main thread"); });
    } catch (const fw::Exception& e) {
      caught = e.Message();
    }
    done = true;
  });
  worker.Start();
  PumpUntil(app, done);
  worker.WaitFor();
  EXPECT_EQ(ranOn, mainId);
  EXPECT_EQ(caught, "from the main thread");
}

TEST(Thread, synchronize_on_the_main_thread_runs_directly) {
  fw::TApplication app;
  bool ran = false;
  fw::TThread::Synchronize(nullptr, [&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(Thread, created_suspended_until_started_and_terminate_is_seen) {
  fw::TApplication app;
  std::atomic<int> loops{0};
  Worker worker([&](Worker& self) {
    while (!self.Terminated()) {
      ++loops;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(loops.load(), 0);
  worker.Start();
  while (loops.load() == 0) std::this_thread::yield();
  worker.Terminate();
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
}

TEST(Thread, free_on_terminate_deletes_itself_and_an_escaping_exception_is_silent) {
  fw::TApplication app;
  static std::atomic<int> destroyed{0};
  struct SelfFreeing : fw::TThread {
    SelfFreeing() : fw::TThread(true) { SetFreeOnTerminate(true); }
    ~SelfFreeing() override { ++destroyed; }
    void Execute() override { throw std::runtime_error("ends the thread"); }
  };
  destroyed = 0;
  (new SelfFreeing)->Start();
  for (int i = 0; i < 2000 && destroyed.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(destroyed.load(), 1);
}

// Tells whether a thread has run its exit, the very last thing the system does with it.
//
// Linux: a thread-local object's destructor, which the C library runs as part of the thread's
// exit (delayed here, as a loaded machine may delay it). Windows: the thread's own handle, which
// is signalled once the thread has left; the Windows build's C runtime is no witness there, as it
// skips other threads' thread-local destructors once the process has begun to exit.
class ExitWatch {
 public:
  // On the watched thread.
  void Watch() {
#ifdef _WIN32
    thread_ = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
#else
    thread_local Marker marker;
    marker.left = &left_;
#endif
  }
  bool Left() const {
#ifdef _WIN32
    return thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
#else
    return left_.load();
#endif
  }
  void Reset() {
#ifdef _WIN32
    if (thread_ != nullptr) CloseHandle(thread_);
    thread_ = nullptr;
#else
    left_ = false;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE thread_ = nullptr;
#else
  struct Marker {
    std::atomic<bool>* left = nullptr;
    ~Marker() {
      if (left == nullptr) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      left->store(true);
    }
  };
  std::atomic<bool> left_{false};
#endif
};

TEST(Thread, free_on_terminate_threads_have_left_the_process_when_their_machine_goes) {
  static ExitWatch watches[3];
  struct SelfFreeing : fw::TThread {
    SelfFreeing(int n, plat::Platform& platform) : fw::TThread(true, platform), n_(n) {
      SetFreeOnTerminate(true);
    }
    void Execute() override {
      watches[n_].Watch();
      PlatformRef().kernel().Sleep(10 * (n_ + 1));
    }
    int n_;
  };
  {
    sim::Machine machine;
    for (int n = 0; n < 3; ++n) {
      watches[n].Reset();
      (new SelfFreeing(n, machine))->Start();
    }
    machine.RunFor(5 * sim::kNsPerMs);
    EXPECT_EQ(machine.kernel().Adopted().Count(), 3u);
  }
  // Nothing of them runs any more: not in the machine's code, and not in their own exit.
  for (int n = 0; n < 3; ++n) EXPECT_TRUE(watches[n].Left()) << n;
}

}  // namespace

namespace {

ExitWatch g_waiterExit;

// Registered before the platform exists, so it runs after the platform has gone at exit.
void SayWhetherTheWaiterLeft() {
  if (g_waiterExit.Left()) std::fputs("left\n", stderr);
}

// The production end of the process (std::exit) does not unwind: the application still exists,
// but a thread waiting for it in Synchronize is released, and the process waits for that
// free-on-terminate thread to leave before it ends.
TEST(ThreadDeathTest, a_thread_waiting_in_synchronize_is_released_when_the_process_ends) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Waiter : fw::TThread {
    Waiter() : fw::TThread(true) { SetFreeOnTerminate(true); }
    void Execute() override {
      g_waiterExit.Watch();
      try {
        Synchronize([] {});
      } catch (const fw::EThread&) {
        std::fputs("released\n", stderr);
      }
    }
  };
  EXPECT_EXIT(
      {
        std::atexit(SayWhetherTheWaiterLeft);
        fw::TApplication app;
        (new Waiter)->Start();
        while (!app.HasQueuedWork()) std::this_thread::yield();
        fw::TApplication::EndProcess(3);
      },
      ::testing::ExitedWithCode(3), "released\nleft");
}

TEST(Thread, a_synchronize_left_waiting_when_the_application_goes_raises_instead_of_hanging) {
  std::string caught;
  auto app = std::make_unique<fw::TApplication>();
  Worker worker([&](Worker& self) {
    try {
      self.Synchronize([] { FAIL() << "must not run after the application ended"; });
    } catch (const fw::EThread& e) {
      caught = e.Message();
    }
  });
  worker.Start();
  while (!app->HasQueuedWork()) std::this_thread::yield();
  app.reset();
  worker.WaitFor();
  EXPECT_FALSE(caught.empty());
}

}  // namespace
