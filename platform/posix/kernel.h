// The POSIX kernel objects: the real monotonic clock, nanosleep, and Win32-style event objects
// built on a mutex and a condition variable. The serial backend signals these events when its
// overlapped operations complete.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/handletable.h"
#include "platform/platform.h"

namespace plat::posix {

class Kernel : public KernelApi {
 public:
  std::int64_t NowMicroseconds() override;
  void Sleep(DWORD milliseconds) override;
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override;
  BOOL SetEvent(HANDLE event) override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override;
  BOOL CloseEvent(HANDLE event) override;
  std::string SysErrorMessage(DWORD code) override;
  AdoptedThreads& Adopted() override { return adopted_; }

 private:
  AdoptedThreads adopted_;
  struct Event {
    std::mutex mutex;
    std::condition_variable changed;
    bool manualReset = false;
    bool signalled = false;
  };
  HandleTable<Event> events_{0x10000};
};

}  // namespace plat::posix
