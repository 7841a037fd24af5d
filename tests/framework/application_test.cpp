#include "framework/application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/timer.h"

namespace {

class TimerOwner : public fw::TComponent {
 public:
  TimerOwner() : fw::TComponent(nullptr), timer(new fw::TTimer(this)) {
    timer->SetEnabled(false);
    timer->SetOnTimer(fw::Method<&TimerOwner::Tick>(this));
  }
  void Tick(fw::TObject*) { ++ticks; }
  fw::TTimer* timer;
  int ticks = 0;
};

TEST(Application, handle_exception_is_silent_for_the_abort_and_shows_the_rest) {
  fw::TApplication app;
  std::vector<std::string> shown;
  app.OnShowException = [&](const std::string& m) { shown.push_back(m); };
  const std::vector<std::function<void()>> raisers = {
      [] { fw::Abort(); },
      [] { throw fw::Exception("visible"); },
      [] { throw 42; },
  };
  for (const auto& raise : raisers) {
    try {
      raise();
    } catch (...) {
      app.HandleException();
    }
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"visible", ""}));
}

TEST(Application, posted_calls_run_in_order_and_a_raising_one_does_not_stop_the_rest) {
  fw::TApplication app;
  std::vector<int> order;
  app.OnShowException = [&](const std::string&) { order.push_back(-1); };
  app.Post([&] { order.push_back(1); });
  app.Post([] { throw fw::Exception("x"); });
  app.Post([&] { order.push_back(2); });
  app.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, -1, 2}));
}

TEST(Application, exit_hook_unwinds_with_the_status) {
  fw::TApplication app;
  fw::TApplication::SetExitHook([](int status) { throw fw::ProcessEnded{status}; });
  constexpr int kStatus = 3;
  try {
    fw::TApplication::EndProcess(kStatus);
    FAIL() << "EndProcess returned";
  } catch (const fw::ProcessEnded& e) {
    EXPECT_EQ(e.status, kStatus);
  }
  fw::TApplication::SetExitHook(nullptr);
}

TEST(Timer, enabling_an_enabled_timer_does_not_restart_its_countdown) {
  fw::TApplication app;
  TimerOwner owner;
  owner.timer->SetInterval(50);
  owner.timer->SetEnabled(true);
  const DWORD first = app.NextTimerDelay();
  owner.timer->SetEnabled(true);
  EXPECT_LE(app.NextTimerDelay(), first);
  EXPECT_GT(app.NextTimerDelay(), 0u);
  owner.timer->SetEnabled(false);
  EXPECT_EQ(app.NextTimerDelay(), INFINITE);
}

TEST(Timer, default_interval_and_a_zero_interval_never_runs) {
  fw::TApplication app;
  TimerOwner owner;
  EXPECT_EQ(owner.timer->Interval(), 1000u);
  owner.timer->SetInterval(0);
  owner.timer->SetEnabled(true);
  EXPECT_EQ(app.NextTimerDelay(), INFINITE);
}

}  // namespace
