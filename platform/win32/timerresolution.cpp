#include "platform/win32/timerresolution.h"

#include <mmsystem.h>

namespace plat::win32 {

TimerResolution::TimerResolution(UINT milliseconds)
    : milliseconds_(milliseconds), granted_(::timeBeginPeriod(milliseconds) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
  if (granted_) ::timeEndPeriod(milliseconds_);
}

}  // namespace plat::win32
