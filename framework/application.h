// The application object: the main thread's message loop.
//
// It owns the main thread's queue: Synchronize requests from other threads, posted calls,
// device-change broadcasts for the hooks of the main message window, and the timers, which run
// on the platform's clock (so a virtual clock drives them in tests). ProcessMessages runs
// everything that is due without waiting; Run waits for work until Terminate. A front-end can
// plug its toolkit's event loop in through EventPump.
//
// The process ends through EndProcess, which calls the installed exit hook and std::exit when
// there is none (or it returns). The tool's run installs a hook that unwinds with ProcessEnded
// to the run's caller, which returns the status from main (app/run.cpp); tests use the same
// hook, so a whole run fits in one test.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/closure.h"
#include "framework/exceptions.h"
#include "platform/platform.h"

namespace fw {

class TTimer;

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  std::intptr_t Result;
};
// A hook sees every message of the main message window first; true consumes it.
using TWindowHook = Closure<bool(TMessage& message)>;

// Thrown by EndProcess under the unwinding exit hook (the run's and the tests'). Not an
// Exception: no handler guard swallows it.
struct ProcessEnded {
  int status;
};

// A toolkit's event loop, as the message loop needs it.
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles pending toolkit events without waiting.
  virtual void ProcessEvents() = 0;
  // Blocks until a toolkit event arrives, Wake is called, or timeoutMs passes.
  virtual void WaitForEvents(DWORD timeoutMs) = 0;
  // Any thread: ends a WaitForEvents early.
  virtual void Wake() = 0;
  // False for a pump without events of its own (the console, a test's): the message loop then
  // waits on the platform's kernel instead of calling WaitForEvents. On a virtual clock the loop
  // always waits on the kernel, since only the kernel moves virtual time forward.
  virtual bool HasOwnEvents() const { return true; }
};

class TApplication : public plat::MessageSink {
 public:
  explicit TApplication(plat::Platform& platform = plat::CurrentPlatform());
  // Calls still queued are dropped; threads waiting in Synchronize get EThread.
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  plat::Platform& PlatformRef() const { return platform_; }
  bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }
  void SetEventPump(EventPump* pump) { pump_ = pump; }
  EventPump* Pump() const { return pump_; }

  // Any thread: queue a call for the main thread.
  void Post(std::function<void()> call);
  // Any thread but the main one: run call on the main thread, wait, re-raise its exception.
  void Synchronize(const std::function<void()>& call);

  // Whether calls are queued for the main thread.
  bool HasQueuedWork();
  // Runs every queued request, posted call and due timer once; handles toolkit events.
  void ProcessMessages();
  // Waits for work (or the next timer), then processes it.
  void HandleMessage();
  // The message loop: until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Inside a catch block: shows the exception's message unless it is the silent abort. A
  // non-framework exception shows an empty message. EOutOfResources and std::bad_alloc are
  // raised again: the run cannot go on, and whoever runs it decides how it ends.
  void HandleException();
  void ShowException(const std::string& message);
  // Where exception messages go (a front-end installs its dialog); default: standard error.
  std::function<void(const std::string& message)> OnShowException;

  // Main message window hooks.
  void HookMainWindow(TWindowHook hook);
  void UnhookMainWindow(TWindowHook hook);
  // Runs the hooks for a message (main thread); true when one consumed it.
  bool DispatchToHooks(TMessage& message);
  // Any thread: queues a WM_DEVICECHANGE for the hooks. The record they get holds at least a
  // whole header and declares no more bytes than it holds, whatever broadcast was.
  void PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) override;

  // Timers (used by TTimer): due interval milliseconds from now on the platform's clock.
  void StartTimer(TTimer* timer, DWORD interval);
  void StopTimer(TTimer* timer);
  // Milliseconds until the next timer is due (INFINITE when none).
  DWORD NextTimerDelay();

  // Ends the process with status through the installed hook. Without a hook (std::exit, which
  // does not unwind) the application counts as gone first: calls still queued are dropped, so
  // a thread waiting in Synchronize gets EThread and can finish while the process exits.
  [[noreturn]] static void EndProcess(int status);
  using ExitHook = std::function<void(int status)>;
  // Null removes the hook: EndProcess then calls std::exit.
  static void SetExitHook(ExitHook hook);

 private:
  struct Timer {
    TTimer* timer;
    std::int64_t dueUs;
    DWORD interval;
  };
  void RunDueTimers();

  plat::Platform& platform_;
  std::thread::id mainThread_;
  EventPump* pump_ = nullptr;
  HANDLE wakeEvent_ = nullptr;
  // A queued call, and what ends it unrun when the application goes first (a Synchronize
  // request then raises EThread in its waiting thread instead of waiting for ever).
  struct Queued {
    std::function<void()> call;
    std::function<void()> cancel;
  };
  void Enqueue(Queued item);
  // The application goes: every queued call is cancelled, and so is every later one.
  void Close();

  std::mutex mutex_;
  std::deque<Queued> queue_;
  bool closed_ = false;
  std::vector<Timer> timers_;
  std::vector<TWindowHook> hooks_;
  bool terminated_ = false;
};

// The process's application object (created by the program entry or a test).
extern TApplication* Application;

}  // namespace fw
