// Ending a run from outside (Ctrl+C, a termination request) the way the tool ends itself: on
// the main thread, through EndProcess, so the run unwinds, the port is closed, and the tool
// says in one line how far the board was written (exit status 130 or 143).
//
// The request comes on another thread. The main thread notices it wherever it waits: in the
// message loop (a posted call wakes it) and in every sleep and wait of the write sequence,
// since those all go through the platform's kernel and the run installs a kernel that looks
// at the request first (StoppablePlatform). On the real clock, long sleeps and waits are cut
// into short slices so the request is seen within one slice; on a virtual clock they are
// passed on whole, so simulated runs keep their exact timing.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/application.h"
#include "platform/platform.h"

namespace app {

class RunStop {
 public:
  // The process's one instance.
  static RunStop& Instance();

  // Any thread: asks for the end with status. Before a run has begun the process ends at once
  // with that status, saying that the board was not written; after the run has ended, and for
  // a second request whenever it comes, it ends at once without a word (after the last word,
  // if one is set).
  void Request(int status);
  // What must still be said before the process ends with a request's status after the run
  // (the journal's record takes that status); called on the requesting thread, bounded by the
  // callee. Empty to clear (before what it refers to goes).
  void SetLastWord(std::function<void(int status)> lastWord);

  // Main thread, around a run's message loop. While the run is on, a request ends it at the
  // next wait or sleep of the main thread.
  void BeginRun(fw::TApplication& application);
  // Ends the run's watch. Also called by the tool when it ends a run itself, so a request then
  // cannot change the status it chose; the process ends moments later anyway (a second
  // request ends it at once).
  void EndRun();

  // Main thread: ends the run (EndProcess with the requested status) when a request is
  // pending and the run is on; otherwise returns.
  void EndIfRequested();
  bool OnMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }
  // Whether a request ended the run (read after the run).
  bool Ended() const { return ended_; }

  // For tests: forget everything.
  void Reset();

 private:
  RunStop() = default;

  enum class Phase { Before, Running, After };

  std::mutex mutex_;
  Phase phase_ = Phase::Before;
  fw::TApplication* application_ = nullptr;  // while the run is on
  std::atomic<std::thread::id> mainThread_{};
  std::atomic<bool> running_{false};
  std::atomic<bool> requested_{false};
  std::atomic<int> status_{0};
  bool ended_ = false;
  std::function<void(int status)> lastWord_;
};

// A platform that is another one, except that the main thread's sleeps and waits first look
// for a stop request (RunStop::EndIfRequested), and on the real clock are cut into slices.
class StoppablePlatform : public plat::Platform {
 public:
  StoppablePlatform(plat::Platform& inner, RunStop& stop);
  ~StoppablePlatform() override;
  // The native platform's, never destroyed (threads that free themselves may still finish
  // their last calls into it while the process exits).
  static StoppablePlatform& Native(RunStop& stop);
  plat::KernelApi& kernel() override;
  plat::SerialApi& serial() override { return inner_.serial(); }
  plat::SystemApi& system() override { return inner_.system(); }

 private:
  class Kernel;
  plat::Platform& inner_;
  std::unique_ptr<Kernel> kernel_;
};

}  // namespace app
