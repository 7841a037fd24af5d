// What an errno value means to the backend: the one translation into the Win32 error codes the
// serial API reports, the values that say a device has gone, and the retry after EINTR.
//
// Some errno values mean different things depending on the call that produced them, so the
// caller names the kind of call:
//   Open       CreateFileA: a missing device node or a device without hardware behind it is
//              "not found" (2); a busy or locked device is "access denied" (5).
//   Transfer   reads, writes and queue ioctls on an open handle: EIO, ENXIO and ENODEV mean
//              the device vanished (a USB converter was unplugged) and give 5, as Windows
//              reports for a vanished USB serial port.
//   LineIoctl  modem-line and break ioctls: ENOTTY and EINVAL mean the driver has no such
//              lines (a pty) and give 50 (not supported).
#pragma once

#include <cerrno>

#include "platform/wintypes.h"

namespace plat::posix {

enum class ErrnoContext { Open, Transfer, LineIoctl };

// Win32 code for err (0 for 0). Never returns ERROR_IO_PENDING.
DWORD Win32FromErrno(int err, ErrnoContext context);

// True for the errno values a tty returns once its device has gone (hang-up after an unplug).
bool IsDeviceGoneErrno(int err);

// Calls call() again while it fails with EINTR (a signal came before the call did anything)
// and returns its last result, errno as that call left it. Calls that report partial progress
// (reads and writes of a transfer) and the modem-line wait, which a signal must end, keep
// their own loops.
template <typename Call>
auto RetryEintr(Call&& call) {
  for (;;) {
    const auto result = call();
    if (!(result < 0 && errno == EINTR)) return result;
  }
}

}  // namespace plat::posix
