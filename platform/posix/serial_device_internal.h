// What the files of the POSIX serial device share: its constants and two small helpers.
// Private to platform/posix/serial_device*.cpp.
#pragma once

#include <sys/ioctl.h>

#include <cstdint>

#include "platform/wintypes.h"

namespace plat::posix::device {

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kAllEvents = 0x1FFF;
constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr int kModemWaitLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

// COMMPROP values that the shared Win32 header does not name.
constexpr DWORD kServiceSerialComm = 0x00000001;  // SP_SERIALCOMM
constexpr DWORD kProviderRs232 = 0x00000001;      // PST_RS232

// Poll periods used only where the kernel gives no wake-up.
constexpr std::int64_t kTxEmptyPollUs = 2000;         // output draining, EV_TXEMPTY awaited
constexpr std::int64_t kModemPollUs = 10000;          // modem lines without TIOCMIWAIT
constexpr std::int64_t kModemRecheckUs = 100000;      // modem lines with TIOCMIWAIT
constexpr std::int64_t kBlockedWriteRetryUs = 50000;  // a write waiting for room

// The signal that interrupts a modem thread blocked in TIOCMIWAIT: a real-time signal with a
// handler that does nothing, installed without SA_RESTART so the ioctl returns EINTR. Returns
// 0 when the application already uses that signal; modem waits then fall back to polling.
int ModemWakeSignal();

inline void* IntArg(int value) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value));
}

}  // namespace plat::posix::device
