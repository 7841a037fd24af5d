// Which character devices the serial backend refuses to take as a serial port because they
// are terminals someone works in.
//
// Opening and configuring a terminal as the board's port (9600 baud, raw, no signals) leaves
// the shell on it unusable: no echo, no Ctrl+C. So before it opens a device, the backend asks
// whether the device is the terminal this program runs in (its controlling terminal, or
// /dev/tty, which names it), a console of the machine (/dev/console, the virtual consoles
// tty0 to tty63), or a pseudo-terminal that is another session's controlling terminal (a
// shell in another window). A pseudo-terminal nobody has as a terminal stays allowed: the
// board simulator offers the board on one. /proc tells the controlling terminal of every
// process (field 7 of /proc/PID/stat).
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/openreport.h"
#include "platform/posix/serial_sys.h"

namespace plat::posix {

// The terminal the character device rdev is, as far as the backend refuses it; Terminal::None
// when it may be opened. holder, for OtherSession: a process that has it as its terminal.
OpenFailure::Terminal TerminalInUse(const SysCalls& sys, const std::string& proc, dev_t rdev,
                                    OpenFailure::Holder* holder);

// The failure for a name that is no serial port.
OpenFailure NotSerialPortFailure(const std::string& path, OpenFailure::Terminal terminal,
                                 OpenFailure::Holder holder = {});

}  // namespace plat::posix
