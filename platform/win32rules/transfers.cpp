#include "platform/win32rules/transfers.h"

namespace plat::win32rules {

namespace {

// A total beyond the longest honoured one is none.
std::uint64_t Honoured(std::uint64_t totalMs) { return totalMs <= kLongestTimeoutMs ? totalMs : 0; }

}  // namespace

TransferTimeouts ReadTimeouts(const COMMTIMEOUTS& t, DWORD length) {
  TransferTimeouts result;
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    result.immediate = true;
    return result;
  }
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
      t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword) {
    result.returnOnAny = true;
    result.totalMs = Honoured(t.ReadTotalTimeoutConstant);
    return result;
  }
  result.totalMs =
      Honoured(std::uint64_t{t.ReadTotalTimeoutMultiplier} * length + t.ReadTotalTimeoutConstant);
  if (t.ReadIntervalTimeout != kMaxDword) result.intervalMs = t.ReadIntervalTimeout;
  return result;
}

TransferTimeouts WriteTimeouts(const COMMTIMEOUTS& t, DWORD length) {
  TransferTimeouts result;
  result.totalMs = Honoured(std::uint64_t{t.WriteTotalTimeoutMultiplier} * length +
                            t.WriteTotalTimeoutConstant);
  return result;
}

bool TimeoutsAccepted(const COMMTIMEOUTS& t) {
  return !(t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutConstant == kMaxDword);
}

}  // namespace plat::win32rules
