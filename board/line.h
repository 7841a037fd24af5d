// The board's side of the serial line, as its firmware sees it.
//
// The firmware knows nothing of what carries the line: in-process it sits on a simulated
// serial device (board/simline.h, virtual or real clock); in tools/boardsim on the master side
// of a real pty with the modem-line state file. Calls into the firmware (Board::OnReceive,
// Board::OnDtr and the callbacks passed to After) must come one at a time.
#pragma once

#include <cstdint>
#include <functional>

#include "board/boardsettings.h"

namespace board {

class Line {
 public:
  virtual ~Line() = default;
  // Nanoseconds on the line's clock.
  virtual std::int64_t NowNs() = 0;
  // Queues a byte for the host, behind earlier ones; it arrives after its wire time.
  virtual void Send(std::uint8_t byte) = 0;
  virtual void SetDsr(bool on) = 0;
  // Calls fn delayNs from now (on the line's clock).
  virtual void After(std::int64_t delayNs, std::function<void()> fn) = 0;
  // The converter vanishes from the host.
  virtual void Unplug() = 0;
  // The converter reports a line error to the host.
  virtual void InjectLineError(LineError error) = 0;
};

}  // namespace board
