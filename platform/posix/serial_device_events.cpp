// The POSIX serial device's events: line counters and queue sizes read through ioctls, and
// the event bits found by comparing them with their marks.
#include "platform/posix/serial_device.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/posix/serial_device_internal.h"

namespace plat::posix {

using namespace device;

int SerialDevice::Ioctl(unsigned long request, void* arg) {
  return IoctlRetry(sys_, fd_, request, arg);
}

bool SerialDevice::ReadCounters(LineCounters& counters) {
  if (counters_ == Support::No || gone_) return false;
  serial_icounter_struct icount{};
  if (Ioctl(TIOCGICOUNT, &icount) != 0) {
    if (IsDeviceGoneErrno(errno)) {
      MarkGone();
    } else {
      counters_ = Support::No;
    }
    return false;
  }
  counters_ = Support::Yes;
  counters.cts = icount.cts;
  counters.dsr = icount.dsr;
  counters.rng = icount.rng;
  counters.dcd = icount.dcd;
  counters.frame = icount.frame;
  counters.overrun = icount.overrun;
  counters.parity = icount.parity;
  counters.brk = icount.brk;
  counters.bufOverrun = icount.buf_overrun;
  return true;
}

bool SerialDevice::ReadModemLines(int& lines) {
  if (modemLines_ == Support::No || gone_) return false;
  if (Ioctl(TIOCMGET, &lines) != 0) {
    if (IsDeviceGoneErrno(errno)) {
      MarkGone();
    } else {
      modemLines_ = Support::No;
    }
    return false;
  }
  modemLines_ = Support::Yes;
  return true;
}

bool SerialDevice::QueueCount(unsigned long request, int& count) {
  count = 0;
  if (gone_) return false;
  if (Ioctl(request, &count) != 0) {
    count = 0;
    if (IsDeviceGoneErrno(errno)) MarkGone();
    return false;
  }
  return true;
}

void SerialDevice::TakeMarks() {
  const DWORD mask = eventMask_;
  marks_ = Marks{};
  marks_.txWritten = txWritten_;
  if (mask & (EV_RXCHAR | EV_RX80FULL)) {
    int queued = 0;
    QueueCount(FIONREAD, queued);
    marks_.rxTotal = rxConsumed_ + static_cast<std::uint64_t>(queued);
    marks_.rx80 = inQueue_ != 0 && std::uint64_t(queued) * 5 >= std::uint64_t{inQueue_} * 4;
  }
  if ((mask & EV_TXEMPTY) && txWritten_ > 0 && writes_.empty() && !priorityPending_) {
    // Output still draining when the mask is set: its end is still an EV_TXEMPTY.
    int outQueue = 0;
    if (QueueCount(TIOCOUTQ, outQueue) && outQueue > 0) marks_.txWritten = txWritten_ - 1;
  }
  if (mask & (kModemEvents | EV_ERR | EV_BREAK)) {
    if (!ReadCounters(marks_.counters) && !gone_ && (mask & kModemEvents))
      ReadModemLines(marks_.modemLines);
  }
}

DWORD SerialDevice::EvaluateEvents() {
  const DWORD mask = eventMask_;
  DWORD bits = 0;
  if (mask & (EV_RXCHAR | EV_RX80FULL)) {
    int queued = 0;
    if (!QueueCount(FIONREAD, queued) && gone_) return 0;
    const std::uint64_t total = rxConsumed_ + static_cast<std::uint64_t>(queued);
    if ((mask & EV_RXCHAR) && total > marks_.rxTotal) {
      bits |= EV_RXCHAR;
      marks_.rxTotal = total;
    }
    const bool rx80 = inQueue_ != 0 && std::uint64_t(queued) * 5 >= std::uint64_t{inQueue_} * 4;
    if ((mask & EV_RX80FULL) && rx80 && !marks_.rx80) bits |= EV_RX80FULL;
    marks_.rx80 = rx80;
  }
  if ((mask & EV_TXEMPTY) && txWritten_ > marks_.txWritten && writes_.empty() &&
      !priorityPending_) {
    int outQueue = 0;
    if (QueueCount(TIOCOUTQ, outQueue)) {
      if (outQueue == 0) {
        bits |= EV_TXEMPTY;
        marks_.txWritten = txWritten_;
      }
    } else if (gone_) {
      return 0;
    }
  }
  if (mask & (kModemEvents | EV_ERR | EV_BREAK)) {
    LineCounters now;
    if (ReadCounters(now)) {
      LineCounters& m = marks_.counters;
      auto changed = [&](DWORD bit, int current, int& mark) {
        if ((mask & bit) && current != mark) {
          bits |= bit;
          mark = current;
        }
      };
      changed(EV_CTS, now.cts, m.cts);
      changed(EV_DSR, now.dsr, m.dsr);
      changed(EV_RLSD, now.dcd, m.dcd);
      changed(EV_RING, now.rng, m.rng);
      changed(EV_BREAK, now.brk, m.brk);
      // Line-status errors of EV_ERR: framing, overrun, parity (a receive-queue overflow is
      // reported by ClearCommError only).
      if ((mask & EV_ERR) &&
          (now.frame != m.frame || now.overrun != m.overrun || now.parity != m.parity)) {
        bits |= EV_ERR;
        m.frame = now.frame;
        m.overrun = now.overrun;
        m.parity = now.parity;
      }
    } else if (gone_) {
      return 0;
    } else if (mask & kModemEvents) {
      int lines = 0;
      if (ReadModemLines(lines)) {
        auto changed = [&](DWORD bit, int line) {
          if ((mask & bit) && ((lines ^ marks_.modemLines) & line)) {
            bits |= bit;
            marks_.modemLines ^= line;
          }
        };
        changed(EV_CTS, TIOCM_CTS);
        changed(EV_DSR, TIOCM_DSR);
        changed(EV_RLSD, TIOCM_CD);
        changed(EV_RING, TIOCM_RNG);
      } else if (gone_) {
        return 0;
      }
    }
  }
  return bits;
}

void SerialDevice::DeliverEvents() {
  if (!wait_ || gone_) return;
  const DWORD bits = EvaluateEvents();
  if (!wait_ || bits == 0) return;  // (a device found gone has completed the wait already)
  *wait_->maskOut = bits;
  Complete(*wait_, ERROR_SUCCESS);
  wait_.reset();
}

void SerialDevice::AfterFastWrite() {
  if (wait_ && (eventMask_ & EV_TXEMPTY)) {
    DeliverEvents();
    if (wait_) Wake();  // the I/O thread watches the output queue drain
  }
}
}  // namespace plat::posix
