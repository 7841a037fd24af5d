// The Win32 rules of serial transfers that the Linux backend and the simulated machine both
// emulate (on Windows the driver applies them): what COMMTIMEOUTS mean for one read or write,
// which time-outs SetCommTimeouts refuses, and how OVERLAPPED marks an operation still running.
// Pure functions; each backend turns the result into its own deadlines.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

namespace plat::win32rules {

constexpr DWORD kMaxDword = 0xFFFFFFFFu;  // MAXDWORD: the special time-out value

// OVERLAPPED::Internal of an operation still running (the NT status value Win32 uses).
constexpr ULONG_PTR kStatusPending = 0x103;

// Windows arms a timer for any non-zero total; a total beyond this one (about 31 years) cannot
// be a deadline on the backends' clocks and counts as none, which no run can tell apart.
constexpr std::uint64_t kLongestTimeoutMs = 1000000000000ull;

// How one transfer ends besides completing.
struct TransferTimeouts {
  bool immediate = false;    // read: return at once with what is queued
  bool returnOnAny = false;  // read: the first byte ends it (and totalMs with none)
  DWORD intervalMs = 0;      // read: longest gap between two bytes; 0: none
  std::uint64_t totalMs = 0;  // time-out of the whole transfer; 0: none
};

// A read of length bytes under t.
TransferTimeouts ReadTimeouts(const COMMTIMEOUTS& t, DWORD length);
// A write of length bytes under t.
TransferTimeouts WriteTimeouts(const COMMTIMEOUTS& t, DWORD length);

// False for the time-outs the Windows serial driver refuses (ERROR_INVALID_PARAMETER): an
// interval and a total constant both MAXDWORD.
bool TimeoutsAccepted(const COMMTIMEOUTS& t);

}  // namespace plat::win32rules
