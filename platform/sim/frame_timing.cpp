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

namespace {

// a * b / c rounded to nearest, exact for any 64-bit a, b and c > 0 with a 64-bit result.
#if defined(__SIZEOF_INT128__)
std::uint64_t MulDivRound(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  const unsigned __int128 numerator = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>((numerator + c / 2) / c);
}
#else
// 32-bit targets (the Windows build) have no 128-bit integer: the product is kept in two
// 64-bit halves and divided bit by bit.
std::uint64_t MulDivRound(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
  const std::uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
  const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  std::uint64_t lo = (ll & 0xFFFFFFFFu) | (middle << 32);
  std::uint64_t hi = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
  const std::uint64_t half = c / 2;
  lo += half;
  if (lo < half) ++hi;
  std::uint64_t quotient = 0;
  std::uint64_t remainder = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const bool carry = (remainder >> 63) != 0;
    const std::uint64_t next = bit >= 64 ? (hi >> (bit - 64)) & 1u : (lo >> bit) & 1u;
    remainder = (remainder << 1) | next;
    quotient <<= 1;
    if (carry || remainder >= c) {
      remainder -= c;
      quotient |= 1u;
    }
  }
  return quotient;
}
#endif

}  // namespace

std::int64_t RunOffsetNs(std::uint64_t k, FrameFormat format) {
  return static_cast<std::int64_t>(MulDivRound(
      k, static_cast<std::uint64_t>(format.halfBits) * 1000000000u, 2u * static_cast<std::uint64_t>(format.baud)));
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
