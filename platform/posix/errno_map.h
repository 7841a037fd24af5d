// The one translation of errno values into the Win32 error codes the serial API reports.
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

#include "platform/wintypes.h"

namespace plat::posix {

enum class ErrnoContext { Open, Transfer, LineIoctl };

// Win32 code for err (0 for 0). Never returns ERROR_IO_PENDING.
DWORD Win32FromErrno(int err, ErrnoContext context);

// True for the errno values a tty returns once its device has gone (hang-up after an unplug).
bool IsDeviceGoneErrno(int err);

}  // namespace plat::posix
