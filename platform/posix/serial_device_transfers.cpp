// The POSIX serial device's transfers: COMMTIMEOUTS turned into deadlines, reads and writes on
// the non-blocking tty, and the order in which queued operations advance.
#include "platform/posix/serial_device.h"

#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/posix/serial_device_internal.h"
#include "platform/win32rules/transfers.h"

namespace plat::posix {

using namespace device;

void SerialDevice::StartTransfer(Op& op, std::int64_t now) {
  op.started = true;
  op.lastByteUs = now;
  const win32rules::TransferTimeouts t = op.kind == Kind::Read
                                            ? win32rules::ReadTimeouts(timeouts_, op.length)
                                            : win32rules::WriteTimeouts(timeouts_, op.length);
  if (t.immediate) op.immediate = true;
  if (t.returnOnAny) op.returnOnAny = true;
  if (t.intervalMs != 0) op.intervalMs = t.intervalMs;
  if (t.totalMs != 0) op.deadlineUs = now + static_cast<std::int64_t>(t.totalMs) * 1000;
}

void SerialDevice::Refuse(Op& op, int err) {
  if (IsDeviceGoneErrno(err)) {
    // As Windows fails the transfers of a pulled converter.
    Complete(op, ERROR_ACCESS_DENIED);
    MarkGone();
  } else {
    Complete(op, Win32FromErrno(err, ErrnoContext::Transfer));
  }
}

void SerialDevice::TryRead(Op& op) {
  while (op.done < op.length) {
    const ssize_t n = sys_.Read(fd_, op.buffer + op.done, op.length - op.done);
    if (n > 0) {
      op.done += static_cast<DWORD>(n);
      rxConsumed_ += static_cast<std::uint64_t>(n);
      if (op.intervalMs != 0) op.lastByteUs = kernel_.NowMicroseconds();
      continue;
    }
    const int err = n == 0 ? EIO : errno;  // end of file on a tty: it was hung up
    if (err == EINTR) continue;
    if (err == EAGAIN) return;
    Refuse(op, err);
    return;
  }
}

bool SerialDevice::SendPriorityChar() {
  while (priorityPending_) {
    const ssize_t n = sys_.Write(fd_, &priorityChar_, 1);
    if (n == 1) {
      priorityPending_ = false;
      ++txWritten_;
      return true;
    }
    const int err = n == 0 ? EAGAIN : errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) return false;
    if (IsDeviceGoneErrno(err)) {
      MarkGone();
      return false;
    }
    priorityPending_ = false;  // the driver refused the character: drop it
  }
  return true;
}

void SerialDevice::TryWrite(Op& op) {
  if (!SendPriorityChar()) {
    if (gone_) Complete(op, ERROR_ACCESS_DENIED);
    return;
  }
  while (op.done < op.length) {
    const ssize_t n = sys_.Write(fd_, op.buffer + op.done, op.length - op.done);
    if (n > 0) {
      op.done += static_cast<DWORD>(n);
      txWritten_ += static_cast<std::uint64_t>(n);
      continue;
    }
    const int err = n == 0 ? EAGAIN : errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) return;
    Refuse(op, err);
    return;
  }
}

void SerialDevice::Settle(Op& op, std::int64_t now) {
  if (op.complete) return;
  if (op.done == op.length || op.immediate || (op.returnOnAny && op.done > 0)) {
    Complete(op, ERROR_SUCCESS);
    return;
  }
  const bool intervalOver =
      op.intervalMs != 0 && op.done > 0 && now - op.lastByteUs >= std::int64_t{op.intervalMs} * 1000;
  const bool totalOver = op.deadlineUs >= 0 && now >= op.deadlineUs;
  // A time-out is not an error: the operation succeeds with fewer bytes.
  if (intervalOver || totalOver) Complete(op, ERROR_SUCCESS);
}

std::uint64_t SerialDevice::OutstandingTx() const {
  std::uint64_t bytes = priorityPending_ ? 1 : 0;
  for (const OpPtr& op : writes_) bytes += op->length - op->done;
  return bytes;
}

void SerialDevice::Progress() {
  while (!reads_.empty() && !gone_) {
    const OpPtr op = reads_.front();
    if (!op->started) StartTransfer(*op, kernel_.NowMicroseconds());
    TryRead(*op);
    Settle(*op, kernel_.NowMicroseconds());
    if (!op->complete) break;
    if (!reads_.empty() && reads_.front() == op) reads_.pop_front();
  }
  if (writes_.empty() && priorityPending_) SendPriorityChar();
  while (!writes_.empty() && !gone_) {
    const OpPtr op = writes_.front();
    if (!op->started) StartTransfer(*op, kernel_.NowMicroseconds());
    TryWrite(*op);
    Settle(*op, kernel_.NowMicroseconds());
    if (!op->complete) break;
    if (!writes_.empty() && writes_.front() == op) writes_.pop_front();
  }
  DeliverEvents();
}
}  // namespace plat::posix
