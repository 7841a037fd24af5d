// The POSIX serial device's construction and operation bookkeeping: submitting, completing and
// ending operations, and a caller driving its own read.
#include "platform/posix/serial_device.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/posix/errno_map.h"

namespace plat::posix {

SerialDevice::SerialDevice(Kernel& kernel, const SysCalls& sys, int fd, dev_t rdev, bool canRead,
                           bool canWrite, bool overlapped, const DCB& initial)
    : kernel_(kernel),
      sys_(sys),
      fd_(fd),
      rdev_(rdev),
      canRead_(canRead),
      canWrite_(canWrite),
      overlapped_(overlapped),
      shadow_(initial) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Line errors from before the open are not this handle's; the probes also learn which line
  // ioctls the driver has.
  ReadCounters(errorMarks_);
  int lines = 0;
  if (ReadModemLines(lines)) {
    shadow_.fDtrControl = (lines & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (shadow_.fRtsControl != RTS_CONTROL_HANDSHAKE)
      shadow_.fRtsControl = (lines & TIOCM_RTS) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  }
}

SerialDevice::~SerialDevice() { Close(); }

// ---------------------------------------------------------------------------------------------
// Operation bookkeeping

DWORD SerialDevice::CheckUsable() const {
  if (closed_) return ERROR_INVALID_HANDLE;
  if (gone_) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

void SerialDevice::ResetRequestEvent(OVERLAPPED* overlapped) {
  // As on Windows: a signal left from an earlier request must not pass for this one's end.
  if (overlapped && overlapped->hEvent) kernel_.ResetEvent(overlapped->hEvent);
}

void SerialDevice::Complete(Op& op, DWORD status) {
  if (op.complete) return;
  op.complete = true;
  op.status = status;
  // A wait transfers its event mask, whatever bits it holds.
  if (op.kind == Kind::Wait && status == ERROR_SUCCESS) op.done = sizeof(DWORD);
  if (op.overlapped) {
    op.overlapped->InternalHigh = op.done;
    op.overlapped->Internal = status;
    if (op.overlapped->hEvent) kernel_.SetEvent(op.overlapped->hEvent);
  }
  changed_.notify_all();
  if (op.kind == Kind::Read) WakeDriver();
}

void SerialDevice::EndPending(DWORD transferError) {
  for (const OpPtr& op : reads_) Complete(*op, transferError);
  for (const OpPtr& op : writes_) Complete(*op, transferError);
  reads_.clear();
  writes_.clear();
  priorityPending_ = false;
  if (wait_) {
    *wait_->maskOut = 0;
    Complete(*wait_, ERROR_SUCCESS);
    wait_.reset();
  }
}

void SerialDevice::MarkGone() {
  if (gone_) return;
  gone_ = true;
  EndPending(ERROR_ACCESS_DENIED);
  Wake();
}

DWORD SerialDevice::Submit(const OpPtr& op) {
  if (DWORD error = EnsureIoThread()) {
    Complete(*op, error);
    return error;
  }
  if (op->overlapped) {
    op->overlapped->Internal = kStatusPending;
    op->overlapped->InternalHigh = 0;
  }
  switch (op->kind) {
    case Kind::Read: reads_.push_back(op); break;
    case Kind::Write: writes_.push_back(op); break;
    case Kind::Wait: wait_ = op; break;
  }
  if (op->kind == Kind::Read) {
    // A read needs the I/O thread only to listen for input, which needs no wake-up, and to
    // time out, which does when it must end sooner than the thread's wait.
    const bool sooner =
        ioWaiting_ && op->deadlineUs >= 0 && (ioWakeAtUs_ < 0 || op->deadlineUs < ioWakeAtUs_);
    if (ApplyInterest() && !sooner) return ERROR_IO_PENDING;
  }
  Wake();
  return ERROR_IO_PENDING;
}

DWORD SerialDevice::AwaitSync(std::unique_lock<std::mutex>& lock, const OpPtr& op,
                              DWORD* transferred) {
  AwaitComplete(lock, op);
  if (transferred) *transferred = op->done;
  return op->status;
}

void SerialDevice::AwaitComplete(std::unique_lock<std::mutex>& lock, const OpPtr& op) {
  if (op->complete) return;
  if (op->kind == Kind::Read && !driving_ && !closed_ && callerWakeFd_ >= 0 &&
      DriveTransfers(lock, op)) {
    return;
  }
  changed_.wait(lock, [&] { return op->complete; });
}

bool SerialDevice::DriveTransfers(std::unique_lock<std::mutex>& lock, const OpPtr& op) {
  driving_ = true;
  ApplyInterest();
  bool polled = true;
  bool hungUp = false;
  bool roomReported = true;  // false after room was reported but nothing could be written
  while (!op->complete) {
    int timeoutMs = NextTimeoutMs(kernel_.NowMicroseconds());
    // A hung-up tty reports itself on every poll; after the first report look again only
    // now and then, until a read or ioctl has found the device gone.
    if (hungUp && (timeoutMs < 0 || timeoutMs > 10)) timeoutMs = 10;
    // Writes still queued go on too: sending and receiving at once on one thread is cheaper
    // than two threads taking turns with the lock.
    // (A blocked write that poll calls writable is retried by the time-out instead, so
    // level-triggered poll cannot spin on it.)
    const bool writing = !writes_.empty() || priorityPending_;
    const short ttyEvents = static_cast<short>(POLLIN | (writing && roomReported ? POLLOUT : 0));
    pollfd fds[2] = {{hungUp ? -1 : fd_, ttyEvents, 0}, {callerWakeFd_, POLLIN, 0}};
    lock.unlock();
    const int count = sys_.Poll(fds, 2, timeoutMs);
    const int err = errno;
    lock.lock();
    if (count < 0 && err != EINTR) {
      polled = false;
      break;
    }
    if (count > 0 && (fds[1].revents & POLLIN)) {
      std::uint64_t value;
      RetryEintr([&] { return sys_.Read(callerWakeFd_, &value, sizeof value); });
    }
    if (count > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      hungUp = true;
      int queued = 0;
      QueueCount(FIONREAD, queued);  // a hung-up tty answers with EIO: the device is gone
    }
    if (op->complete || closed_) continue;
    const std::uint64_t writtenBefore = txWritten_;
    driverProgress_ = true;
    Progress();
    driverProgress_ = false;
    if (txWritten_ != writtenBefore) {
      roomReported = true;
    } else if (count > 0 && (fds[0].revents & POLLOUT)) {
      roomReported = false;
    }
  }
  driving_ = false;
  // Transfers still queued (or the read this caller gave up on) are the I/O thread's again.
  if (!closed_ && (!reads_.empty() || !writes_.empty() || priorityPending_)) {
    ApplyInterest();
    Wake();  // it must learn their time-outs
  }
  changed_.notify_all();  // Close waits for the driver to leave
  return polled;
}
}  // namespace plat::posix
