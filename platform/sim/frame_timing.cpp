#include "platform/sim/frame_timing.h"

#include <algorithm>

namespace sim {

FrameFormat FrameOf(const DCB& dcb) {
  FrameFormat format;
  format.baud = dcb.BaudRate;
  const std::uint32_t parity = dcb.Parity == NOPARITY ? 0 : 1;
  const std::uint32_t stopHalfBits = dcb.StopBits == ONE5STOPBITS   ? 3
                                     : dcb.StopBits == TWOSTOPBITS ? 4
                                                                   : 2;
  format.halfBits = 2 * (1 + dcb.ByteSize + parity) + stopHalfBits;
  return format;
}

std::int64_t RunOffsetNs(std::uint64_t k, FrameFormat format) {
  const unsigned __int128 numerator =
      static_cast<unsigned __int128>(k) * format.halfBits * 1000000000u;
  const unsigned __int128 denominator = 2u * static_cast<unsigned __int128>(format.baud);
  return static_cast<std::int64_t>((numerator + denominator / 2) / denominator);
}

std::pair<std::int64_t, std::int64_t> FrameClock::Next(std::int64_t nowNs, FrameFormat format) {
  const std::int64_t start = std::max(nowNs, lastEnd_);
  if (count_ > 0 && start == lastEnd_ && format == format_) {
    ++count_;
  } else {
    origin_ = start;
    count_ = 1;
    format_ = format;
  }
  lastEnd_ = origin_ + RunOffsetNs(count_, format_);
  return {start, lastEnd_};
}

}  // namespace sim
