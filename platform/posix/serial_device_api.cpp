// The POSIX serial device's entry points: the serial API calls, each checking its arguments
// and the handle, then translating to the tty.
#include "platform/posix/serial_device.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/errno_map.h"
#include "platform/posix/serial_device_internal.h"

namespace plat::posix {

using namespace device;

DWORD SerialDevice::Failure(int err, ErrnoContext context) {
  if (IsDeviceGoneErrno(err)) {
    MarkGone();
    return ERROR_ACCESS_DENIED;
  }
  return Win32FromErrno(err, context);
}

DWORD SerialDevice::Read(void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (!canRead_) return ERROR_ACCESS_DENIED;
  if (!buffer && length != 0) return ERROR_INVALID_PARAMETER;
  ResetRequestEvent(overlapped);
  if (transferred) *transferred = 0;
  Op request;
  request.kind = Kind::Read;
  request.overlapped = overlapped;
  request.buffer = static_cast<std::uint8_t*>(buffer);
  request.length = length;
  if (reads_.empty()) {
    // Fast path: the bytes are there (or the time-outs say "return now").
    const std::int64_t now = kernel_.NowMicroseconds();
    StartTransfer(request, now);
    TryRead(request);
    Settle(request, now);
    if (request.complete) {
      if (transferred) *transferred = request.done;
      return request.status;
    }
  }
  const OpPtr op = std::make_shared<Op>(request);
  const DWORD result = Submit(op);
  if (result != ERROR_IO_PENDING || (overlapped_ && overlapped)) return result;
  return AwaitSync(lock, op, transferred);
}

DWORD SerialDevice::Write(const void* buffer, DWORD length, DWORD* transferred,
                          OVERLAPPED* overlapped) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (!canWrite_) return ERROR_ACCESS_DENIED;
  if (!buffer && length != 0) return ERROR_INVALID_PARAMETER;
  ResetRequestEvent(overlapped);
  if (transferred) *transferred = 0;
  Op request;
  request.kind = Kind::Write;
  request.overlapped = overlapped;
  // Never written through: the record serves reads and writes alike.
  request.buffer = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
  request.length = length;
  if (writes_.empty() && !priorityPending_) {
    // Fast path: complete once the driver has taken every byte.
    const std::int64_t now = kernel_.NowMicroseconds();
    StartTransfer(request, now);
    TryWrite(request);
    Settle(request, now);
    if (request.complete) {
      if (transferred) *transferred = request.done;
      if (request.status == ERROR_SUCCESS) AfterFastWrite();
      return request.status;
    }
  }
  const OpPtr op = std::make_shared<Op>(request);
  const DWORD result = Submit(op);
  if (result != ERROR_IO_PENDING || (overlapped_ && overlapped)) return result;
  return AwaitSync(lock, op, transferred);
}

DWORD SerialDevice::Wait(DWORD* mask, OVERLAPPED* overlapped) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (!mask || wait_ || eventMask_ == 0) return ERROR_INVALID_PARAMETER;
  ResetRequestEvent(overlapped);
  auto op = std::make_shared<Op>();
  op->kind = Kind::Wait;
  op->overlapped = overlapped;
  op->maskOut = mask;
  const DWORD bits = EvaluateEvents();
  if (gone_) return ERROR_ACCESS_DENIED;
  if (bits != 0) {
    *mask = bits;
    Complete(*op, ERROR_SUCCESS);
    return ERROR_SUCCESS;
  }
  if (eventMask_ & kModemEvents) EnsureModemThread();
  const DWORD result = Submit(op);
  if (result != ERROR_IO_PENDING || (overlapped_ && overlapped)) return result;
  return AwaitSync(lock, op, nullptr);
}

DWORD SerialDevice::Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait) {
  if (!overlapped) return ERROR_INVALID_PARAMETER;
  std::unique_lock<std::mutex> lock(mutex_);
  if (overlapped->Internal == kStatusPending && wait) {
    for (const OpPtr& op : reads_) {
      if (op->overlapped == overlapped) {
        const OpPtr mine = op;  // the queue may drop it meanwhile
        AwaitComplete(lock, mine);
        break;
      }
    }
  }
  while (overlapped->Internal == kStatusPending) {
    if (!wait) return ERROR_IO_INCOMPLETE;
    changed_.wait(lock);
  }
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  return static_cast<DWORD>(overlapped->Internal);
}

DWORD SerialDevice::SetMask(DWORD mask) {
  if (mask & ~kAllEvents) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (wait_) {
    // A new mask ends the pending wait at once, with no event bits.
    *wait_->maskOut = 0;
    Complete(*wait_, ERROR_SUCCESS);
    wait_.reset();
  }
  eventMask_ = mask;
  TakeMarks();
  Wake();
  return gone_ ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD SerialDevice::GetState(DCB* dcb) {
  if (!dcb) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  KernelTermios t{};
  if (Ioctl(TCGETS2, &t) != 0) return Failure(errno, ErrnoContext::Transfer);
  DCB result = shadow_;
  TermiosToDcb(t, result);
  result.DCBlength = sizeof(DCB);
  *dcb = result;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::SetModemLine(int line, bool on, bool ignoreUnsupported) {
  int bits = line;
  if (Ioctl(on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return ERROR_SUCCESS;
  const int err = errno;
  if (ignoreUnsupported && (err == ENOTTY || err == EINVAL)) return ERROR_SUCCESS;
  return Failure(err, ErrnoContext::LineIoctl);
}

DWORD SerialDevice::SetState(const DCB* dcb) {
  if (!dcb) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  KernelTermios before{};
  if (Ioctl(TCGETS2, &before) != 0) return Failure(errno, ErrnoContext::Transfer);
  KernelTermios wanted = before;
  if (DWORD error = DcbToTermios(*dcb, wanted)) return error;
  if (Ioctl(TCSETS2, &wanted) != 0) return Failure(errno, ErrnoContext::Transfer);
  KernelTermios applied{};
  if (Ioctl(TCGETS2, &applied) != 0) return Failure(errno, ErrnoContext::Transfer);
  if (!SameLineSettings(wanted, applied)) {
    // The driver silently fell back (say, to 9600 for a rate it cannot make): refuse the DCB
    // instead of reporting success for settings the line does not have.
    Ioctl(TCSETS2, &before);
    return ERROR_INVALID_PARAMETER;
  }
  // DTR and RTS follow their control modes as on Windows; a tty without modem lines (a pty)
  // simply has none to set.
  if (DWORD error = SetModemLine(TIOCM_DTR, dcb->fDtrControl != DTR_CONTROL_DISABLE, true))
    return error;
  if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE) {
    if (DWORD error = SetModemLine(TIOCM_RTS, dcb->fRtsControl != RTS_CONTROL_DISABLE, true))
      return error;
  }
  shadow_ = *dcb;
  shadow_.DCBlength = sizeof(DCB);
  shadow_.fBinary = 1;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::Setup(DWORD inQueue, DWORD outQueue) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  inQueue_ = inQueue;
  outQueue_ = outQueue;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::GetTimeouts(COMMTIMEOUTS* timeouts) {
  if (!timeouts) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  *timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::SetTimeouts(const COMMTIMEOUTS* timeouts) {
  if (!timeouts) return ERROR_INVALID_PARAMETER;
  if (!win32rules::TimeoutsAccepted(*timeouts))
    return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  timeouts_ = *timeouts;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  DWORD flags = 0;
  LineCounters now;
  if (ReadCounters(now)) {
    if (now.frame != errorMarks_.frame) flags |= CE_FRAME;
    if (now.parity != errorMarks_.parity) flags |= CE_RXPARITY;
    if (now.overrun != errorMarks_.overrun) flags |= CE_OVERRUN;
    if (now.bufOverrun != errorMarks_.bufOverrun) flags |= CE_RXOVER;
    if (now.brk != errorMarks_.brk) flags |= CE_BREAK;
    errorMarks_ = now;
  }
  if (gone_) return ERROR_ACCESS_DENIED;
  if (stat) {
    int inQueue = 0, outQueue = 0;
    QueueCount(FIONREAD, inQueue);
    QueueCount(TIOCOUTQ, outQueue);
    if (gone_) return ERROR_ACCESS_DENIED;
    COMSTAT result{};
    result.fTxim = priorityPending_ ? 1 : 0;
    result.cbInQue = static_cast<DWORD>(inQueue);
    result.cbOutQue = static_cast<DWORD>(static_cast<std::uint64_t>(outQueue) + OutstandingTx());
    *stat = result;
  }
  if (errors) *errors = flags;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::Purge(DWORD flags) {
  // Nothing to purge is refused as well, as by the Windows serial driver.
  if (flags == 0 || (flags & ~kAllPurgeFlags)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (flags & PURGE_TXABORT) {
    for (const OpPtr& op : writes_) Complete(*op, ERROR_OPERATION_ABORTED);
    writes_.clear();
    priorityPending_ = false;
  }
  if (flags & PURGE_RXABORT) {
    for (const OpPtr& op : reads_) Complete(*op, ERROR_OPERATION_ABORTED);
    reads_.clear();
  }
  if (flags & PURGE_TXCLEAR) {
    if (Ioctl(TCFLSH, IntArg(TCOFLUSH)) != 0) return Failure(errno, ErrnoContext::Transfer);
  }
  if (flags & PURGE_RXCLEAR) {
    // Discarded bytes count as consumed, so discarding is not taken for an arrival.
    int queued = 0;
    QueueCount(FIONREAD, queued);
    if (Ioctl(TCFLSH, IntArg(TCIFLUSH)) != 0) return Failure(errno, ErrnoContext::Transfer);
    rxConsumed_ += static_cast<std::uint64_t>(queued);
  }
  Wake();
  return ERROR_SUCCESS;
}

DWORD SerialDevice::Flush() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  for (;;) {
    if (closed_) return ERROR_OPERATION_ABORTED;
    if (gone_) return ERROR_ACCESS_DENIED;
    if (writes_.empty() && !priorityPending_) {
      int outQueue = 0;
      if (!QueueCount(TIOCOUTQ, outQueue)) return gone_ ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
      if (outQueue == 0) return ERROR_SUCCESS;
    }
    // The driver gives no wake-up for "output queue empty": look again shortly.
    changed_.wait_for(lock, std::chrono::microseconds(kTxEmptyPollUs));
  }
}

DWORD SerialDevice::Escape(DWORD function) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  switch (function) {
    case SETDTR: return SetModemLine(TIOCM_DTR, true, false);
    case CLRDTR: return SetModemLine(TIOCM_DTR, false, false);
    case SETRTS: return SetModemLine(TIOCM_RTS, true, false);
    case CLRRTS: return SetModemLine(TIOCM_RTS, false, false);
    case SETXOFF:
    case SETXON:
      if (Ioctl(TCXONC, IntArg(function == SETXOFF ? TCOOFF : TCOON)) != 0)
        return Failure(errno, ErrnoContext::LineIoctl);
      return ERROR_SUCCESS;
    case RESETDEV:
      return ERROR_SUCCESS;  // a tty has nothing to reset; accepted, as Windows serial drivers do
    case SETBREAK:
    case CLRBREAK:
      if (Ioctl(function == SETBREAK ? TIOCSBRK : TIOCCBRK, nullptr) != 0)
        return Failure(errno, ErrnoContext::LineIoctl);
      return ERROR_SUCCESS;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

DWORD SerialDevice::TransmitChar(char c) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  if (!canWrite_) return ERROR_ACCESS_DENIED;
  // One character at a time may wait ahead of the queue.
  if (priorityPending_) return ERROR_GEN_FAILURE;
  priorityChar_ = static_cast<std::uint8_t>(c);
  priorityPending_ = true;
  if (writes_.empty() && SendPriorityChar()) {
    AfterFastWrite();
    return ERROR_SUCCESS;
  }
  if (gone_) return ERROR_ACCESS_DENIED;
  if (DWORD error = EnsureIoThread()) {
    priorityPending_ = false;
    return error;
  }
  Wake();
  return ERROR_SUCCESS;
}

DWORD SerialDevice::ModemStatus(DWORD* status) {
  if (!status) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  int lines = 0;
  if (Ioctl(TIOCMGET, &lines) != 0) return Failure(errno, ErrnoContext::LineIoctl);
  DWORD result = 0;
  if (lines & TIOCM_CTS) result |= MS_CTS_ON;
  if (lines & TIOCM_DSR) result |= MS_DSR_ON;
  if (lines & TIOCM_RNG) result |= MS_RING_ON;
  if (lines & TIOCM_CD) result |= MS_RLSD_ON;
  *status = result;
  return ERROR_SUCCESS;
}

DWORD SerialDevice::Properties(COMMPROP* properties) {
  if (!properties) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (DWORD error = CheckUsable()) return error;
  COMMPROP p{};
  p.wPacketLength = sizeof(COMMPROP);
  p.wPacketVersion = 2;
  p.dwServiceMask = kServiceSerialComm;
  p.dwMaxTxQueue = 0;  // no fixed maximum
  p.dwMaxRxQueue = 0;
  p.dwMaxBaud = BAUD_USER;
  p.dwProvSubType = kProviderRs232;
  p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                         PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS;
  p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                       SP_PARITY_CHECK | SP_RLSD;
  // termios2 sets any rate, so every listed rate is settable, and others through BAUD_USER.
  p.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                     BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 |
                     BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K | BAUD_115200 |
                     BAUD_57600 | BAUD_USER;
  p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                          PARITY_EVEN | PARITY_MARK | PARITY_SPACE;  // mark/space via CMSPAR
  p.dwCurrentTxQueue = outQueue_;
  p.dwCurrentRxQueue = inQueue_;
  *properties = p;
  return ERROR_SUCCESS;
}

}  // namespace plat::posix
