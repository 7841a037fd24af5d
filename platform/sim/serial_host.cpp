// The host side of a simulated serial device: what the serial API's calls do to it, with Win32
// semantics (time-out rules, pending operations, device-event waits). Serial calls these with
// the machine's lock held, after it has checked the handle.
#include <algorithm>

#include "platform/sim/kernel.h"
#include "platform/sim/serial_device.h"
#include "platform/win32rules/transfers.h"

namespace sim {

namespace {
constexpr DWORD kSpSerialComm = 0x00000001;  // dwServiceMask: a serial communications provider
constexpr DWORD kPstRs232 = 0x00000001;      // dwProvSubType: RS-232
}  // namespace

void SerialDevice::StartRequest(OVERLAPPED* overlapped) {
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  // Win32 resets the completion event when a request starts, so a signal left from an earlier
  // request does not pass for this one's completion.
  kernel_.ResetLocked(overlapped->hEvent);
}

DWORD SerialDevice::OpenLocked(Scheduler::Lock& lock, HostHandle* handle) {
  if (!present_) return ERROR_FILE_NOT_FOUND;
  if (busy_ || open_ != nullptr) return ERROR_ACCESS_DENIED;
  open_ = handle;
  inQueue_.clear();
  errors_ = 0;
  mask_ = 0;
  history_ = 0;
  abortLatched_ = false;
  xoffHeld_ = false;
  StartChipLocked();
  // The device's DCB decides the control lines at open.
  SetHostLine(lock, Line::DTR, dcb_.fDtrControl == DTR_CONTROL_ENABLE ||
                                   dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE);
  SetHostLine(lock, Line::RTS, dcb_.fRtsControl == RTS_CONTROL_ENABLE ||
                                   dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE);
  return 0;
}

void SerialDevice::CloseLocked(Scheduler::Lock& lock) {
  Detach(lock, ERROR_OPERATION_ABORTED);
  // Bytes the driver has taken still leave; what was received is dropped.
  DropChipBuffer();
  inQueue_.clear();
  errors_ = 0;
  abortLatched_ = false;
  SetHostLine(lock, Line::DTR, false);
  SetHostLine(lock, Line::RTS, false);
  SetHostLine(lock, Line::Break, false);
  StartTx(lock);
}

DWORD SerialDevice::SetStateLocked(Scheduler::Lock& lock, const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS) {
    return ERROR_INVALID_PARAMETER;
  }
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
  const DCB old = dcb_;
  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  // A control line follows the DCB when its control mode changes (as the Windows serial driver
  // does); otherwise it keeps what EscapeCommFunction made of it.
  if (dcb.fDtrControl != old.fDtrControl) {
    SetHostLine(lock, Line::DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE);
  }
  if (dcb.fRtsControl != old.fRtsControl) {
    const bool on = dcb.fRtsControl == RTS_CONTROL_TOGGLE ? txBusy_
                                                          : dcb.fRtsControl != RTS_CONTROL_DISABLE;
    SetHostLine(lock, Line::RTS, on);
  }
  StartTx(lock);
  return 0;
}

DWORD SerialDevice::SetupLocked(DWORD inQueue, DWORD outQueue) {
  if (inQueue != 0) inLimit_ = inQueue;
  if (outQueue != 0) outLimit_ = outQueue;
  return 0;
}

DWORD SerialDevice::SetMaskLocked(Scheduler::Lock& /*lock*/, DWORD mask) {
  // A pending wait ends at once with no event bits; the new mask starts afresh.
  if (wait_) FinishWait(0);
  mask_ = mask;
  history_ = 0;
  return 0;
}

DWORD SerialDevice::WaitEventLocked(Scheduler::Lock& /*lock*/, DWORD* mask,
                                    OVERLAPPED* overlapped) {
  if (mask == nullptr || wait_ || mask_ == 0) return ERROR_INVALID_PARAMETER;
  StartRequest(overlapped);
  wait_ = Wait{mask, overlapped};
  if (history_ != 0) {
    const DWORD happened = history_;
    history_ = 0;
    FinishWait(happened);
    return 0;
  }
  return ERROR_IO_PENDING;
}

DWORD SerialDevice::ReadLocked(Scheduler::Lock& lock, void* buffer, DWORD length,
                               OVERLAPPED* overlapped) {
  if (abortLatched_) return ERROR_OPERATION_ABORTED;
  Transfer read;
  read.id = nextTransfer_++;
  read.overlapped = overlapped;
  read.readBuffer = static_cast<std::uint8_t*>(buffer);
  read.length = length;
  StartRequest(overlapped);
  if (length == 0) {
    Finish(read, 0);
    return 0;
  }
  reads_.push_back(read);
  StartFrontRead(lock);
  return overlapped->Internal == kStatusPending ? ERROR_IO_PENDING
                                                : ErrorOfStatus(overlapped->Internal);
}

void SerialDevice::StartFrontRead(Scheduler::Lock& lock) {
  while (!reads_.empty()) {
    Transfer& read = reads_.front();
    if (read.started) return;
    read.started = true;
    while (read.done < read.length && !inQueue_.empty()) {
      read.readBuffer[read.done++] = inQueue_.front();
      inQueue_.pop_front();
    }
    const plat::win32rules::TransferTimeouts t = plat::win32rules::ReadTimeouts(timeouts_, read.length);
    read.firstByte = t.returnOnAny;
    if (read.done == read.length || t.immediate || (read.firstByte && read.done > 0)) {
      Finish(read, 0);
      reads_.pop_front();
      continue;
    }
    if (t.totalMs != 0) {
      const std::uint64_t id = read.id;
      read.totalTimer = scheduler_.ScheduleLocked(
          lock, scheduler_.NowNs() + static_cast<std::int64_t>(t.totalMs) * kNsPerMs,
          [this, id] { TransferTimedOut(true, id); });
    }
    if (t.intervalMs != 0) {
      read.intervalNs = static_cast<std::int64_t>(t.intervalMs) * kNsPerMs;
      if (read.done > 0) ArmIntervalTimer(lock);
    }
    return;
  }
}

void SerialDevice::ArmIntervalTimer(Scheduler::Lock& lock) {
  Transfer& read = reads_.front();
  if (read.intervalNs == 0) return;
  if (read.intervalTimer != 0) scheduler_.CancelLocked(read.intervalTimer);
  const std::uint64_t id = read.id;
  read.intervalTimer =
      scheduler_.ScheduleLocked(lock, scheduler_.NowNs() + read.intervalNs,
                                [this, id] { TransferTimedOut(true, id); });
}

void SerialDevice::TransferTimedOut(bool read, std::uint64_t id) {
  Scheduler::Lock lock(scheduler_.Mutex());
  std::deque<Transfer>& queue = read ? reads_ : writes_;
  if (queue.empty() || queue.front().id != id) return;
  // A time-out is a success with fewer bytes than asked for.
  Finish(queue.front(), 0);
  queue.pop_front();
  if (read) {
    StartFrontRead(lock);
  } else {
    PumpWrites(lock);
  }
  scheduler_.Changed(lock);
}

DWORD SerialDevice::WriteLocked(Scheduler::Lock& lock, const void* buffer, DWORD length,
                                OVERLAPPED* overlapped) {
  if (abortLatched_) return ERROR_OPERATION_ABORTED;
  Transfer write;
  write.id = nextTransfer_++;
  write.overlapped = overlapped;
  write.writeBuffer = static_cast<const std::uint8_t*>(buffer);
  write.length = length;
  StartRequest(overlapped);
  if (length == 0) {
    Finish(write, 0);
    return 0;
  }
  writes_.push_back(write);
  PumpWrites(lock);
  if (overlapped->Internal != kStatusPending) return ErrorOfStatus(overlapped->Internal);
  // Waiting for room in the output queue: the write time-outs apply.
  const std::uint64_t totalMs = plat::win32rules::WriteTimeouts(timeouts_, length).totalMs;
  if (totalMs != 0) {
    Transfer& pending = writes_.back();
    const std::uint64_t id = pending.id;
    pending.totalTimer = scheduler_.ScheduleLocked(
        lock, scheduler_.NowNs() + static_cast<std::int64_t>(totalMs) * kNsPerMs,
        [this, id] { TransferTimedOut(false, id); });
  }
  return ERROR_IO_PENDING;
}

void SerialDevice::PumpWrites(Scheduler::Lock& lock) {
  while (!writes_.empty()) {
    Transfer& write = writes_.front();
    while (write.done < write.length && outQueue_.size() < outLimit_) {
      outQueue_.push_back(write.writeBuffer[write.done++]);
    }
    if (write.done < write.length) break;
    Finish(write, 0);
    writes_.pop_front();
  }
  StartTx(lock);
}

void SerialDevice::ClearErrorLocked(DWORD* errors, COMSTAT* stat) {
  if (errors != nullptr) *errors = errors_;
  errors_ = 0;
  abortLatched_ = false;
  if (stat != nullptr) {
    *stat = COMSTAT{};
    stat->fCtsHold = dcb_.fOutxCtsFlow && !cts_;
    stat->fDsrHold = dcb_.fOutxDsrFlow && !dsr_;
    stat->fXoffHold = xoffHeld_;
    stat->fTxim = immediate_.has_value();
    stat->cbInQue = static_cast<DWORD>(inQueue_.size());
    stat->cbOutQue = static_cast<DWORD>(outQueue_.size() + (txBusy_ ? 1 : 0) +
                                        (immediate_ ? 1 : 0));
  }
}

DWORD SerialDevice::PurgeLocked(Scheduler::Lock& lock, DWORD flags) {
  constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  if (flags == 0 || (flags & ~kAll) != 0) return ERROR_INVALID_PARAMETER;
  if (flags & PURGE_TXABORT) FinishWrites(lock, ERROR_OPERATION_ABORTED);
  if (flags & PURGE_RXABORT) FinishReads(lock, ERROR_OPERATION_ABORTED);
  if (flags & PURGE_TXCLEAR) {
    // The byte already on the line finishes; the rest never leaves.
    outQueue_.clear();
    immediate_.reset();
  }
  if (flags & PURGE_RXCLEAR) {
    inQueue_.clear();
    DropChipBuffer();
  }
  PumpWrites(lock);
  return 0;
}

bool SerialDevice::OutputDrainedLocked() const {
  return outQueue_.empty() && !txBusy_ && !immediate_ && writes_.empty();
}

DWORD SerialDevice::EscapeLocked(Scheduler::Lock& lock, DWORD function) {
  switch (function) {
    case SETXOFF:
      xoffHeld_ = true;
      return 0;
    case SETXON:
      xoffHeld_ = false;
      StartTx(lock);
      return 0;
    case SETRTS:
    case CLRRTS:
      // The driver owns RTS in handshake and toggle mode.
      if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
        return ERROR_INVALID_PARAMETER;
      }
      SetHostLine(lock, Line::RTS, function == SETRTS);
      return 0;
    case SETDTR:
    case CLRDTR:
      if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) return ERROR_INVALID_PARAMETER;
      SetHostLine(lock, Line::DTR, function == SETDTR);
      return 0;
    case RESETDEV:
      // A USB converter cannot be reset through its port.
      return ERROR_NOT_SUPPORTED;
    case SETBREAK:
      SetHostLine(lock, Line::Break, true);
      return 0;
    case CLRBREAK:
      SetHostLine(lock, Line::Break, false);
      StartTx(lock);
      return 0;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

DWORD SerialDevice::TransmitCharLocked(Scheduler::Lock& lock, char c) {
  // One character at a time may wait ahead of the queue.
  if (immediate_) return ERROR_INVALID_PARAMETER;
  immediate_ = static_cast<std::uint8_t>(c);
  StartTx(lock);
  return 0;
}

DWORD SerialDevice::ModemStatusLocked() const {
  return (cts_ ? MS_CTS_ON : 0) | (dsr_ ? MS_DSR_ON : 0) | (ring_ ? MS_RING_ON : 0) |
         (dcd_ ? MS_RLSD_ON : 0);
}

void SerialDevice::PropertiesLocked(COMMPROP* p) const {
  *p = COMMPROP{};
  p->wPacketLength = sizeof(COMMPROP);
  p->wPacketVersion = 2;
  p->dwServiceMask = kSpSerialComm;
  p->dwMaxTxQueue = 0;  // no limit
  p->dwMaxRxQueue = 0;
  p->dwMaxBaud = BAUD_USER;
  p->dwProvSubType = kPstRs232;
  p->dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                          PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
  p->dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                        SP_PARITY_CHECK | SP_RLSD;
  p->dwSettableBaud = BAUD_300 | BAUD_600 | BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 |
                      BAUD_7200 | BAUD_9600 | BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K |
                      BAUD_57600 | BAUD_115200 | BAUD_128K | BAUD_USER;
  p->wSettableData = DATABITS_7 | DATABITS_8;
  p->wSettableStopParity = STOPBITS_10 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN |
                           PARITY_MARK | PARITY_SPACE;
  p->dwCurrentTxQueue = outLimit_;
  p->dwCurrentRxQueue = inLimit_;
}

}  // namespace sim
