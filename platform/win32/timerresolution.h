// A finer system timer while the program runs.
//
// Windows ticks every 15.6 ms by default, and a Sleep(1) then lasts a whole tick: the board
// protocol's polls of 1 ms would each take sixteen times as long, and every time-out counted in
// polls with them. The native platform asks for 1 ms (timeBeginPeriod) for as long as it exists,
// that is from its first use until the process exits, and gives it back (timeEndPeriod).
#pragma once

#include "platform/wintypes.h"

namespace plat::win32 {

class TimerResolution {
 public:
  explicit TimerResolution(UINT milliseconds);
  ~TimerResolution();
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;

  // Whether the system granted the request (and it will be given back).
  bool Granted() const { return granted_; }
  UINT Milliseconds() const { return milliseconds_; }

 private:
  UINT milliseconds_;
  bool granted_;
};

// The request held by the native platform (creating it if needed).
const TimerResolution& NativeTimerResolution();

}  // namespace plat::win32
