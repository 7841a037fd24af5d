// The files the serial backend reads and writes beside a device node, all through its
// system-call table: sysfs attributes (the tty's kernel name, its driver, a USB-serial
// converter's latency timer), /proc (who else has a device open) and the small records it keeps
// while it has changed a device's setting.
//
// The roots are parameters so that tests run on fake trees.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/posix/serial_sys.h"

namespace plat::posix {

struct HostPaths {
  std::string sysfs = "/sys";
  std::string proc = "/proc";
  // Where the backend keeps a record while it has changed a device's setting, so that the next
  // open can put back what a run that ended without closing (killed, crashed) left changed.
  // Empty: no records.
  std::string state;
};

// The production paths. The state directory is the user's runtime directory ($XDG_RUNTIME_DIR,
// private to the user and emptied at log-out and boot, as a device's settings are by a new
// plug-in); without one, /run for root; none otherwise.
HostPaths DefaultHostPaths(const SysCalls& sys);

// A small file's text (at most 4 KiB) without a trailing newline; empty optional with errno
// set when it cannot be read.
std::optional<std::string> ReadSmallFile(const SysCalls& sys, const std::string& path);
// Writes text to an existing file (a sysfs attribute) in one write. 0, or the errno.
int WriteExistingFile(const SysCalls& sys, const std::string& path, const std::string& text);
// Creates or replaces a file private to the user (mode 0600, never through a symbolic link).
// 0, or the errno.
int WritePrivateFile(const SysCalls& sys, const std::string& path, const std::string& text);
// The last component of a symbolic link's target ("ftdi_sio" for .../drivers/ftdi_sio).
std::optional<std::string> LinkTargetName(const SysCalls& sys, const std::string& path);
// Whether a path exists (stat follows links).
bool Exists(const SysCalls& sys, const std::string& path);

// The kernel's name of the character device rdev ("ttyUSB0"), from <sysfs>/dev/char/M:m; empty
// optional when sysfs does not list it (a pty slave is never listed).
std::optional<std::string> KernelDeviceName(const SysCalls& sys, const std::string& sysfs,
                                            dev_t rdev);

// errno's text, for log lines.
std::string ErrnoText(int err);

}  // namespace plat::posix
