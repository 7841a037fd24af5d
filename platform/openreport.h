// What a serial backend can tell about an open beyond the Win32 result.
//
// The serial API is shaped like Win32's: an open gives a handle or an error code, and a close a
// BOOL. A real machine has more to say. When an open fails, the code 5 (access denied) alone
// cannot tell a user who lacks the permission from a port that another program holds, nor who
// that program is. And an open may change the device on the way (the Linux backend asks a
// USB-serial converter for low latency and puts the old setting back on close), which belongs
// in the port's log. SerialApi::LastOpenFailure and SerialApi::LastDeviceNotes hand both out;
// backends that know nothing more report nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace plat {

// Why the calling thread's last failed open failed, as far as the backend could find out.
struct OpenFailure {
  enum class Cause {
    Unknown,         // nothing beyond the error code
    NotInGroup,      // the device file is open to a group the user is not a member of
    GroupNotActive,  // the user is a member of that group, but this login does not have it yet
    NoAccess,        // no permission, and no group of the device file would give it
    Held,            // another program has the device open
    Gone,            // there is no device behind the name (unplugged, or never there)
    NotSerialPort,   // the name is no serial port: no tty at all, or a terminal (terminal)
  };
  // NotSerialPort: the terminal the name is, if it is one.
  enum class Terminal {
    None,          // no terminal: a file, a block device, a character device that is no tty
    Own,           // the terminal this program runs in
    Console,       // a console of the machine (a virtual console, the system console)
    OtherSession,  // the terminal of another session (a shell in another window, say)
  };
  struct Holder {
    std::string program;  // the program's name as the system shows it ("ModemManager")
    int pid = 0;
  };

  Cause cause = Cause::Unknown;
  DWORD code = 0;     // the Win32 code the open failed with; 0: no failed open recorded
  std::string path;   // the device file ("/dev/ttyUSB0")
  std::string user;   // the permission causes: the user running this program
  std::string group;  // the permission causes: the device file's group ("dialout")
  std::string owner;  // NoAccess: the device file's owner
  std::string mode;   // NoAccess: its permission bits in octal ("0600")
  // Held: the programs that have the device open, where the system shows them (other users'
  // processes may be hidden).
  std::vector<Holder> holders;
  // Held, no holder visible: running programs that are known to take serial ports for
  // themselves when a converter is plugged in ("ModemManager").
  std::vector<std::string> suspects;
  Terminal terminal = Terminal::None;
  // OtherSession: a program whose terminal it is, where the system shows one.
  Holder session;
};

}  // namespace plat
