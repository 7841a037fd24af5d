// Low latency for a USB-serial converter while its port is open.
//
// Why: a USB-serial converter such as the FT232R holds the bytes it receives until its latency
// timer runs out (16 ms by default under Linux's ftdi_sio) or a USB packet is full. The board
// protocol waits for the echo of every byte before it sends the next, so each echo would wait
// up to that long. The driver shortens the timer to 1 ms on request.
//
// At open, for a tty on the usb-serial bus (<sysfs>/bus/usb-serial/devices/<tty>):
//   1. its latency_timer attribute, where there is one, already reads 1 (a udev rule, or the
//      low-latency flag set before): nothing is changed;
//   2. otherwise the tty's ASYNC_LOW_LATENCY flag is set with TIOCGSERIAL/TIOCSSERIAL (a user
//      flag: no privilege needed; ftdi_sio then programs a 1 ms timer) and read back, since
//      drivers without a setting of their own accept the call and drop the flag;
//   3. where that is refused or dropped, the latency_timer attribute is written with 1 when it
//      is writable (root, or a udev rule that made it so).
// Anything else (a pty, an on-board UART, a CDC-ACM device, a converter whose driver has
// neither) is left alone; it is never a failure of the open. Every step is a line for the
// port's log.
//
// At close the previous setting is put back (flag cleared, attribute rewritten). A converter
// that was unplugged meanwhile has lost the setting with its device; there is nothing to put
// back. A run that ends without closing (killed, crashed) cannot put anything back itself, so
// while a setting is changed a small record (<state>/lcdwrite-latency-<tty>) names the device
// (device number and the device node's change time, which a new plug-in renews) and what it
// was before. The next open of that same device takes the record's previous setting as its
// own and puts it back at its close; a record of an earlier plug-in of the tty is dropped.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/hostfiles.h"
#include "platform/posix/serial_sys.h"
#include "platform/wintypes.h"

namespace plat::posix {

class LatencyRequest {
 public:
  LatencyRequest() = default;

  // Asks the tty behind fd (kernel name tty, node: fstat of fd) for low latency as described
  // above; appends what it found and did to notes.
  static LatencyRequest Apply(const SysCalls& sys, const HostPaths& paths, int fd,
                              const std::string& tty, const struct stat& node,
                              std::vector<std::string>& notes);

  // Puts back what Apply changed, while fd is still open; appends what it did to notes.
  // Nothing to do (and no note) when Apply changed nothing.
  void Restore(const SysCalls& sys, int fd, std::vector<std::string>& notes);

  bool Changed() const { return clearFlag_ || attributePrevious_.has_value(); }
  // The read-back: the converter's latency_timer attribute now, which the driver keeps in step
  // with the chip, in ms; 0 for a tty that is no USB-serial converter's (or no readable value).
  DWORD TimerMs(const SysCalls& sys) const;

 private:
  // The record's text and its parse; false for a record of another device or a damaged one.
  std::string RecordText() const;
  bool ParseRecord(const std::string& text);
  void SaveRecord(const SysCalls& sys) const;
  void DropRecord(const SysCalls& sys) const;
  // The record as the state now is: written while something is changed, removed otherwise.
  void SyncRecord(const SysCalls& sys) const;

  std::string tty_;
  std::string attribute_;  // the latency_timer attribute's path
  std::string record_;     // the record's path; empty: no records
  dev_t rdev_ = 0;
  struct timespec nodeChanged_ {};
  bool clearFlag_ = false;                 // ASYNC_LOW_LATENCY was set here (or by a lost run)
  std::optional<int> attributePrevious_;   // latency_timer before it was written
};

}  // namespace plat::posix
