// Wire timing of a simulated serial line.
//
// A frame is one start bit, the data bits, a parity bit when parity is on, and the stop bits
// (1, 1.5 or 2), all at the DCB's baud rate: 10 bits at 9600 baud last 1041666.67 ns. Bytes sent
// back to back form a run; the end of the k-th byte of a run is computed from the run's start by
// exact integer arithmetic, so thousands of bytes do not drift from the ideal instants.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/wintypes.h"

namespace sim {

struct FrameFormat {
  std::uint32_t baud = 9600;
  // Bits per frame, doubled (1.5 stop bits make it odd).
  std::uint32_t halfBits = 20;
  bool operator==(const FrameFormat&) const = default;
};

// The frame of a DCB. Precondition: BaudRate > 0.
FrameFormat FrameOf(const DCB& dcb);

// The instant, relative to the start of a run, at which its k-th byte (from 1) has arrived,
// rounded to the nearest nanosecond.
std::int64_t RunOffsetNs(std::uint64_t k, FrameFormat format);

// One direction of the line: hands out the start and arrival instants of the next byte. A byte
// that starts exactly when the previous one arrived, in the same format, continues its run.
class FrameClock {
 public:
  // {frame start, arrival} of a byte that starts at nowNs or as soon as the line is free.
  std::pair<std::int64_t, std::int64_t> Next(std::int64_t nowNs, FrameFormat format);
  // Forgets the current run (the byte on the line was lost).
  void Reset() { count_ = 0; lastEnd_ = 0; }

 private:
  std::int64_t origin_ = 0;
  std::uint64_t count_ = 0;
  std::int64_t lastEnd_ = 0;
  FrameFormat format_;
};

}  // namespace sim
