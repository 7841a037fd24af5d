// The simulated kernel: the clock and sleeps of the machine's scheduler, and Win32 event objects
// whose waits run on that clock (a time-out on the virtual clock is a virtual time-out).
#pragma once

#include "platform/platform.h"
#include "platform/sim/objects.h"
#include "platform/sim/scheduler.h"

namespace sim {

class Kernel : public plat::KernelApi {
 public:
  Kernel(Scheduler& scheduler, ObjectTable& objects)
      : scheduler_(scheduler), objects_(objects) {}

  std::int64_t NowMicroseconds() override { return scheduler_.NowNs() / 1000; }
  void Sleep(DWORD milliseconds) override;
  bool IsVirtual() const override { return scheduler_.Mode() == ClockMode::Virtual; }

  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override;
  BOOL SetEvent(HANDLE event) override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override;
  BOOL CloseEvent(HANDLE event) override;
  std::string SysErrorMessage(DWORD code) override;

  void ThreadStarting() override { scheduler_.ThreadStarting(); }
  void ThreadEntered() override { scheduler_.ThreadEntered(); }
  void ThreadFinished() override { scheduler_.ThreadFinished(); }
  void ThreadNotStarted() override { scheduler_.ThreadNotStarted(); }
  void ThreadJoining(std::thread::id thread) override { scheduler_.ThreadJoining(thread); }
  plat::AdoptedThreads& Adopted() override { return adopted_; }

  // Signals an event with the scheduler's mutex held (completion of an overlapped operation);
  // the caller reports the change through Scheduler::Changed. Unknown handles are ignored, as
  // Win32 ignores a completion event that was closed meanwhile.
  void SignalLocked(HANDLE event);
  // Resets it, as Win32 resets an OVERLAPPED's event when an I/O request starts.
  void ResetLocked(HANDLE event);

 private:
  plat::AdoptedThreads adopted_;
  Scheduler& scheduler_;
  ObjectTable& objects_;
};

// The deadline of a wait of milliseconds from now (INFINITE: none).
std::int64_t DeadlineAfter(const Scheduler& scheduler, DWORD milliseconds);

}  // namespace sim
