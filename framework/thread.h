// The framework's thread class.
//
// A TThread is created suspended or running, runs Execute once on its own thread, and can be
// asked to stop (Terminate sets a flag that Execute polls). With FreeOnTerminate set, the object
// deletes itself when Execute has ended; nobody may touch it after that. Synchronize runs a call
// on the main thread, waits for it and re-raises its exception in the calling thread; called on
// the main thread it runs the call directly. An exception that escapes Execute ends the thread
// silently. Every thread announces itself to the platform's kernel, so a virtual clock knows
// which threads are running.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/exceptions.h"
#include "framework/object.h"
#include "platform/platform.h"

namespace fw {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The platform thread priority of a member: -15, -2, -1, 0, 1, 2, 15.
int ThreadPriorityValue(TThreadPriority priority);

class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended, plat::Platform& platform = plat::CurrentPlatform());
  // Joins a thread that is not free-on-terminate (after requesting termination).
  ~TThread() override;

  // Starts a thread created suspended; a second call does nothing. Raises EOutOfResources when
  // the platform has no thread to give (the object then stays unstarted).
  void Start();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  // Stored; applied at once when the thread runs, otherwise when it starts.
  void SetPriority(TThreadPriority priority);
  // True when called on this thread.
  bool IsCurrentThread() const;
  // Waits until Execute has ended (not for a free-on-terminate thread).
  void WaitFor();

  // Runs method on the main thread (see the file comment).
  void Synchronize(const std::function<void()>& method);
  static void Synchronize(TThread* thread, const std::function<void()>& method);

 protected:
  virtual void Execute() = 0;
  plat::Platform& PlatformRef() const { return platform_; }

 private:
  void Body();
  void ApplyPriority();

  plat::Platform& platform_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> started_{false};
  // A mutex and condition rather than std::atomic::wait: with MinGW-w64's libstdc++ (GCC 12)
  // an atomic wait can miss its notification and block for good.
  std::mutex setUpMutex_;
  std::condition_variable setUpChanged_;
  bool setUpDone_ = false;
  std::uintptr_t nativeHandle_ = 0;
  std::atomic<std::thread::id> id_{};
  bool freeOnTerminate_ = false;
  TThreadPriority priority_ = tpNormal;
};

}  // namespace fw
