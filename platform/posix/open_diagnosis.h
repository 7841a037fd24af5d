// Why a serial device did not open, found out the way a user would have to: the device node's
// owner, group and mode against the user's groups, and /proc for the programs that have the
// device open.
//
// How "held by another program" shows on Linux with this backend's open (O_NONBLOCK, then
// flock(LOCK_EX | LOCK_NB), then TIOCEXCL):
//   - a holder that set TIOCEXCL (ModemManager while it probes a new port, screen, most serial
//     libraries): open fails with EBUSY, except for root, whose open succeeds;
//   - a holder that took a flock (picocom, pyserial's exclusive mode, another lcdwrite): open
//     succeeds and flock fails with EWOULDBLOCK;
//   - a holder with neither (cat, a plain script, root's ModemManager seen by root): open
//     succeeds. The backend then looks in /proc before it opens a tty that has hardware
//     behind it and refuses the port as Windows would (access denied): two programs reading
//     one port each get part of the bytes.
// /proc shows another user's open files only to root; a regular user sees the holder's name
// only for the user's own programs, and is otherwise told which known port-grabbing services
// run.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/openreport.h"
#include "platform/posix/hostfiles.h"
#include "platform/posix/serial_sys.h"

namespace plat::posix {

// The failure of opening the node at path with errno err (from stat, open or flock), reported
// as code.
OpenFailure DiagnoseOpenFailure(const SysCalls& sys, const HostPaths& paths,
                                const std::string& path, int err, DWORD code);

// A port held by the given programs (or, with none, by an unknown one).
OpenFailure HeldFailure(const SysCalls& sys, const HostPaths& paths, const std::string& path,
                        DWORD code, std::vector<OpenFailure::Holder> holders);

// The processes other than this one that have the character device rdev open, in /proc order,
// where /proc lets this user see them.
std::vector<OpenFailure::Holder> FindHolders(const SysCalls& sys, const std::string& proc,
                                             dev_t rdev);

// The process ids in /proc, in numeric order.
std::vector<std::string> Processes(const SysCalls& sys, const std::string& proc);
// A process's name as the system shows it ("bash"); "?" when it cannot be read.
std::string ProgramName(const SysCalls& sys, const std::string& proc, const std::string& pid);

// This process as a holder (a port it has open already).
OpenFailure::Holder ThisProgram(const SysCalls& sys, const std::string& proc);

}  // namespace plat::posix
