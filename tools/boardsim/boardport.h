// The board's end of the serial line, for the board simulator: a byte stream and the two modem
// lines of the reset handshake, as the board sees them.
//
// Two kinds: the master side of a pty whose modem lines live in the modem-line shim's state
// file (ptyport.h: end-to-end runs on one machine), and a real tty of a USB-serial converter
// wired back to back with the host's (ttyport.h: the hardware test).
#pragma once

#include <cstdint>
#include <string>

#include "board/line.h"

namespace boardsim {

class BoardPort {
 public:
  virtual ~BoardPort() = default;

  // What the host opens ("/dev/pts/7", "/dev/ttyUSB1").
  virtual const std::string& HostPath() const = 0;
  // The descriptor the board reads the host's bytes from and writes its answers to; -1 once
  // unplugged.
  virtual int Fd() const = 0;
  // The host's DTR as the board sees it now.
  virtual bool HostDtr() = 0;
  // The board's DSR towards the host.
  virtual void SetDsr(bool on) = 0;
  // The time one answer byte takes on the wire that the port itself does not spend (a pty
  // hands bytes over at once; a real line takes its own time).
  virtual std::int64_t FrameNs() const = 0;
  // The converter faults of a scenario.
  virtual void Unplug() = 0;
  virtual void InjectLineError(board::LineError error) = 0;
};

}  // namespace boardsim
