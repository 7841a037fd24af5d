#include "platform/posix/terminal_check.h"

#include <sys/sysmacros.h>

#include <cstdlib>

#include "platform/posix/hostfiles.h"
#include "platform/posix/open_diagnosis.h"

namespace plat::posix {

namespace {

using Terminal = OpenFailure::Terminal;

// Device numbers of the kernel's terminals (Documentation/admin-guide/devices.txt).
constexpr unsigned kConsoleMajor = 4;       // tty0 .. tty63: virtual consoles
constexpr unsigned kVirtualConsoles = 64;
constexpr unsigned kTtyAuxMajor = 5;        // 5:0 /dev/tty, 5:1 /dev/console, 5:2 /dev/ptmx
constexpr unsigned kPtySlaveFirst = 136;    // Unix98 pty slaves: majors 136 to 143
constexpr unsigned kPtySlaveLast = 143;

// The controlling terminal of process pid as a device number; 0 for none or when unknown.
dev_t ControllingTerminal(const SysCalls& sys, const std::string& proc, const std::string& pid) {
  const std::optional<std::string> stat = ReadSmallFile(sys, proc + "/" + pid + "/stat");
  if (!stat) return 0;
  // "pid (comm) state ppid pgrp session tty_nr ...": comm may hold spaces and brackets.
  const std::size_t close = stat->rfind(')');
  if (close == std::string::npos) return 0;
  const char* p = stat->c_str() + close + 1;
  char* end = nullptr;
  std::strtol(p, &end, 10);  // state is a letter: strtol stops before it
  p = end;
  while (*p == ' ') ++p;
  if (*p != '\0') ++p;  // the state letter
  long field[4] = {};
  for (long& value : field) {
    value = std::strtol(p, &end, 10);
    if (end == p) return 0;
    p = end;
  }
  // tty_nr in the kernel's encoding: minor bits 0-7 and 20-31, major bits 8-19.
  const unsigned long tty = static_cast<unsigned long>(field[3]);
  if (tty == 0) return 0;
  return makedev((tty >> 8) & 0xfff, (tty & 0xff) | ((tty >> 12) & 0xfff00));
}

}  // namespace

Terminal TerminalInUse(const SysCalls& sys, const std::string& proc, dev_t rdev,
                       OpenFailure::Holder* holder) {
  const unsigned maj = major(rdev);
  const unsigned min = minor(rdev);
  if (maj == kTtyAuxMajor && min == 0) return Terminal::Own;
  if (maj == kTtyAuxMajor && min == 1) return Terminal::Console;
  if (maj == kConsoleMajor && min < kVirtualConsoles) return Terminal::Console;
  const std::string self = std::to_string(sys.Getpid());
  if (ControllingTerminal(sys, proc, self) == rdev) return Terminal::Own;
  if (maj < kPtySlaveFirst || maj > kPtySlaveLast) return Terminal::None;
  for (const std::string& pid : Processes(sys, proc)) {
    if (pid == self || ControllingTerminal(sys, proc, pid) != rdev) continue;
    if (holder != nullptr) *holder = {ProgramName(sys, proc, pid), std::atoi(pid.c_str())};
    return Terminal::OtherSession;
  }
  return Terminal::None;
}

OpenFailure NotSerialPortFailure(const std::string& path, Terminal terminal,
                                 OpenFailure::Holder holder) {
  OpenFailure failure;
  failure.cause = OpenFailure::Cause::NotSerialPort;
  failure.code = ERROR_FILE_NOT_FOUND;
  failure.path = path;
  failure.terminal = terminal;
  failure.session = std::move(holder);
  return failure;
}

}  // namespace plat::posix
