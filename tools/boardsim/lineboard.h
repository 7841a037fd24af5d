// The board's firmware on the board's end of a serial line (boardport.h): a pty for end-to-end
// runs of the real program on one machine (and of the Windows build under Wine, which maps a
// COM port to the pty's slave), or a real converter's tty for the test on real hardware.
//
// One thread runs the firmware: it reads the host's bytes, watches the host's DTR, and runs the
// firmware's timed calls on the real clock. An answer leaves once the line is free, after the
// wire time the port itself does not spend (9600 8N1 on a pty).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "board/firmware.h"
#include "tools/boardsim/boardport.h"

namespace boardsim {

class LineBoard : private board::Line {
 public:
  // The port outlives the board.
  LineBoard(BoardPort& port, board::BoardSettings settings);
  LineBoard(const LineBoard&) = delete;
  LineBoard& operator=(const LineBoard&) = delete;

  // Runs the firmware until Stop (any thread, or a signal handler through the flag).
  void Run();
  void Stop() { stop_.store(true); }
  std::atomic<bool>& StopFlag() { return stop_; }

  board::Memory Stored() const { return board_.Stored(); }

  // The far end hangs up (the port is unplugged, as when the converter is pulled) delayMs after
  // the host has raised DTR for the count-th time or sent its count-th byte. Set before Run.
  struct HangUp {
    enum class After { kNever, kDtrRaised, kHostBytes };
    After after = After::kNever;
    long count = 0;
    int delayMs = 0;
  };
  void SetHangUp(const HangUp& hangUp) { hangUp_ = hangUp; }
  // When the port was unplugged, on the steady clock (nanoseconds since its epoch); 0 before.
  std::int64_t HungUpAt() const { return hungUpAt_; }

  // Calls reached (on the firmware's thread, with the steady clock's nanoseconds) delayMs after
  // the moment given as for a hang-up: a test outside pulls the converter then, at a point of
  // the write the board itself counted. Set before Run.
  void SetMark(const HangUp& moment, std::function<void(std::int64_t)> reached) {
    mark_ = moment;
    markReached_ = std::move(reached);
  }

 private:
  // board::Line, on the firmware's thread.
  std::int64_t NowNs() override;
  void Send(std::uint8_t byte) override;
  void SetDsr(bool on) override;
  void After(std::int64_t delayNs, std::function<void()> fn) override;
  void Unplug() override;
  void InjectLineError(board::LineError error) override;

  void WriteToHost(std::uint8_t byte);
  // Counts one more event of the kind; hangs up or marks (later) when it is the chosen one.
  void Count(HangUp::After kind);
  void Mark();

  BoardPort& port_;
  bool dtr_ = false;  // the host's DTR as the board last saw it
  std::atomic<bool> stop_{false};
  std::int64_t origin_ = 0;
  std::int64_t lineFreeAt_ = 0;  // when the last queued answer has fully arrived
  std::uint64_t sequence_ = 0;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> timers_;
  HangUp hangUp_;
  HangUp mark_;
  std::function<void(std::int64_t)> markReached_;
  long dtrRaised_ = 0;
  long hostBytes_ = 0;
  std::int64_t hungUpAt_ = 0;
  board::Board board_;
};

}  // namespace boardsim
