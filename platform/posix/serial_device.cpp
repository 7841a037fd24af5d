#include "platform/posix/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "platform/posix/errno_map.h"

namespace plat::posix {

namespace {

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kAllEvents = 0x1FFF;
constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr int kModemWaitLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
constexpr DWORD kMaxDword = 0xFFFFFFFFu;  // MAXDWORD: the special time-out value

// COMMPROP values that the shared Win32 header does not name.
constexpr DWORD kServiceSerialComm = 0x00000001;  // SP_SERIALCOMM
constexpr DWORD kProviderRs232 = 0x00000001;      // PST_RS232

// Poll periods used only where the kernel gives no wake-up.
constexpr std::int64_t kTxEmptyPollUs = 2000;         // output draining, EV_TXEMPTY awaited
constexpr std::int64_t kModemPollUs = 10000;          // modem lines without TIOCMIWAIT
constexpr std::int64_t kModemRecheckUs = 100000;      // modem lines with TIOCMIWAIT
constexpr std::int64_t kBlockedWriteRetryUs = 50000;  // a write waiting for room
// Longest time-out honoured (about 31 years); longer totals mean "none".
constexpr std::uint64_t kMaxTimeoutMs = 1000000000000ull;

void IgnoreSignal(int) {}

// The signal that interrupts a modem thread blocked in TIOCMIWAIT: a real-time signal with a
// handler that does nothing, installed without SA_RESTART so the ioctl returns EINTR. Returns
// 0 when the application already uses that signal; modem waits then fall back to polling.
int ModemWakeSignal() {
  static const int number = [] {
    const int candidate = SIGRTMIN + 7;
    if (candidate > SIGRTMAX) return 0;
    struct sigaction previous {};
    if (sigaction(candidate, nullptr, &previous) != 0) return 0;
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == IgnoreSignal) return candidate;
    if ((previous.sa_flags & SA_SIGINFO) || previous.sa_handler != SIG_DFL) return 0;
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return sigaction(candidate, &action, nullptr) == 0 ? candidate : 0;
  }();
  return number;
}

void* IntArg(int value) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)); }

}  // namespace

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

void SerialDevice::Complete(Op& op, DWORD status) {
  if (op.complete) return;
  op.complete = true;
  op.status = status;
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
      while (sys_.Read(callerWakeFd_, &value, sizeof value) < 0 && errno == EINTR) {
      }
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

// ---------------------------------------------------------------------------------------------
// Transfers

void SerialDevice::StartTransfer(Op& op, std::int64_t now) {
  op.started = true;
  op.lastByteUs = now;
  std::uint64_t totalMs = 0;
  if (op.kind == Kind::Read) {
    const COMMTIMEOUTS& t = timeouts_;
    if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
      op.immediate = true;  // return at once with what is there
      return;
    }
    if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword) {
      op.returnOnAny = true;  // first byte ends it; nothing by the constant ends it too
      totalMs = t.ReadTotalTimeoutConstant;
    } else {
      totalMs = std::uint64_t{t.ReadTotalTimeoutMultiplier} * op.length + t.ReadTotalTimeoutConstant;
      if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword)
        op.intervalMs = t.ReadIntervalTimeout;
    }
  } else {
    totalMs = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * op.length +
              timeouts_.WriteTotalTimeoutConstant;
  }
  if (totalMs != 0 && totalMs <= kMaxTimeoutMs)
    op.deadlineUs = now + static_cast<std::int64_t>(totalMs) * 1000;
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
    if (IsDeviceGoneErrno(err)) {
      Complete(op, ERROR_ACCESS_DENIED);
      MarkGone();
    } else {
      Complete(op, Win32FromErrno(err, ErrnoContext::Transfer));
    }
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
    if (IsDeviceGoneErrno(err)) {
      Complete(op, ERROR_ACCESS_DENIED);
      MarkGone();
    } else {
      Complete(op, Win32FromErrno(err, ErrnoContext::Transfer));
    }
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

// ---------------------------------------------------------------------------------------------
// Device events

int SerialDevice::Ioctl(unsigned long request, void* arg) {
  int result;
  do {
    result = sys_.Ioctl(fd_, request, arg);
  } while (result < 0 && errno == EINTR);
  return result;
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

// ---------------------------------------------------------------------------------------------
// Threads

void SerialDevice::Wake() {
  WakeDriver();  // what changed may concern the transfers a caller drives
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  while (sys_.Write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void SerialDevice::WakeDriver() {
  if (!driving_ || driverProgress_ || callerWakeFd_ < 0) return;
  const std::uint64_t one = 1;
  while (sys_.Write(callerWakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

DWORD SerialDevice::EnsureIoThread() {
  if (ioThread_.joinable()) return ERROR_SUCCESS;
  if (stopIo_) return ERROR_INVALID_HANDLE;
  const int wakeFd = sys_.EventFd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) return Win32FromErrno(errno, ErrnoContext::Transfer);
  const int callerWakeFd = sys_.EventFd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (callerWakeFd < 0) {
    const DWORD error = Win32FromErrno(errno, ErrnoContext::Transfer);
    sys_.Close(wakeFd);
    return error;
  }
  const int epollFd = sys_.EpollCreate(EPOLL_CLOEXEC);
  if (epollFd < 0) {
    const DWORD error = Win32FromErrno(errno, ErrnoContext::Transfer);
    sys_.Close(callerWakeFd);
    sys_.Close(wakeFd);
    return error;
  }
  epoll_event wakeEvent{};
  wakeEvent.events = EPOLLIN;
  wakeEvent.data.fd = wakeFd;
  epoll_event ttyEvent{};
  ttyEvent.events = EPOLLET;
  ttyEvent.data.fd = fd_;
  if (sys_.EpollCtl(epollFd, EPOLL_CTL_ADD, wakeFd, &wakeEvent) != 0 ||
      sys_.EpollCtl(epollFd, EPOLL_CTL_ADD, fd_, &ttyEvent) != 0) {
    const DWORD error = Win32FromErrno(errno, ErrnoContext::Transfer);
    sys_.Close(epollFd);
    sys_.Close(callerWakeFd);
    sys_.Close(wakeFd);
    return error;
  }
  wakeFd_ = wakeFd;
  callerWakeFd_ = callerWakeFd;
  epollFd_ = epollFd;
  interest_ = EPOLLET;
  try {
    ioThread_ = std::thread([this] { IoLoop(); });
  } catch (const std::exception&) {
    sys_.Close(epollFd_);
    sys_.Close(callerWakeFd_);
    sys_.Close(wakeFd_);
    epollFd_ = wakeFd_ = callerWakeFd_ = -1;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

void SerialDevice::EnsureModemThread() {
  if (modemThread_.joinable() || !modemWaitWorks_ || stopModem_) return;
  if (counters_ != Support::Yes && modemLines_ != Support::Yes) return;
  if (ModemWakeSignal() == 0) {
    modemWaitWorks_ = false;
    return;
  }
  try {
    modemThread_ = std::thread([this] { ModemLoop(); });
  } catch (const std::exception&) {
    modemWaitWorks_ = false;
  }
}

std::uint32_t SerialDevice::WantedInterest() const {
  std::uint32_t events = EPOLLET;
  if (gone_) return events;
  // A pending wait always listens for input: arrivals, line errors and a hang-up come that way.
  // A caller driving the transfers listens for them itself.
  if ((!reads_.empty() && !driving_) || wait_) events |= EPOLLIN;
  if (((!writes_.empty() || priorityPending_) && !driving_) ||
      (wait_ && (eventMask_ & EV_TXEMPTY) && txWritten_ > marks_.txWritten))
    events |= EPOLLOUT;
  return events;
}

bool SerialDevice::ApplyInterest() {
  if (epollFd_ < 0) return false;
  const std::uint32_t wanted = WantedInterest();
  if (wanted == interest_) return true;
  epoll_event ttyEvent{};
  ttyEvent.events = wanted;
  ttyEvent.data.fd = fd_;
  if (sys_.EpollCtl(epollFd_, EPOLL_CTL_MOD, fd_, &ttyEvent) != 0) return false;
  interest_ = wanted;
  return true;
}

int SerialDevice::NextTimeoutMs(std::int64_t now) const {
  std::int64_t next = -1;
  auto consider = [&](std::int64_t at) {
    if (next < 0 || at < next) next = at;
  };
  if (!reads_.empty()) {
    const Op& op = *reads_.front();
    if (op.deadlineUs >= 0) consider(op.deadlineUs);
    if (op.intervalMs != 0 && op.done > 0) consider(op.lastByteUs + std::int64_t{op.intervalMs} * 1000);
  }
  if (!writes_.empty()) {
    const Op& op = *writes_.front();
    if (op.deadlineUs >= 0) consider(op.deadlineUs);
  }
  if (!writes_.empty() || priorityPending_) consider(now + kBlockedWriteRetryUs);
  if (wait_) {
    if ((eventMask_ & EV_TXEMPTY) && txWritten_ > marks_.txWritten) consider(now + kTxEmptyPollUs);
    const bool modemLines = counters_ == Support::Yes || modemLines_ == Support::Yes;
    if ((eventMask_ & kModemEvents) && modemLines) {
      const bool blockingWait = modemThread_.joinable() && !modemExited_ && modemWaitWorks_;
      consider(now + (blockingWait ? kModemRecheckUs : kModemPollUs));
    }
  }
  if (next < 0) return -1;
  const std::int64_t ms = (next - now + 999) / 1000;
  return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

void SerialDevice::IoLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  epoll_event events[4];
  while (!stopIo_) {
    Progress();
    ApplyInterest();
    const std::int64_t now = kernel_.NowMicroseconds();
    const int timeoutMs = NextTimeoutMs(now);
    ioWaiting_ = true;
    ioWakeAtUs_ = timeoutMs < 0 ? -1 : now + std::int64_t{timeoutMs} * 1000;
    lock.unlock();
    const int count = sys_.EpollWait(epollFd_, events, 4, timeoutMs);
    const int err = errno;
    lock.lock();
    ioWaiting_ = false;
    if (count < 0) {
      // Only a broken epoll set fails here; do not spin on it.
      if (err != EINTR) changed_.wait_for(lock, std::chrono::milliseconds(10));
      continue;
    }
    for (int i = 0; i < count; ++i) {
      if (events[i].data.fd == wakeFd_) {
        std::uint64_t value;
        while (sys_.Read(wakeFd_, &value, sizeof value) < 0 && errno == EINTR) {
        }
      } else if (events[i].events & (EPOLLHUP | EPOLLERR)) {
        // A hung-up tty answers every ioctl with EIO; that marks the device gone.
        int queued = 0;
        QueueCount(FIONREAD, queued);
      }
    }
  }
}

void SerialDevice::ModemLoop() {
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, ModemWakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopModem_) {
    lock.unlock();
    // No EINTR retry here: the close signal must end the wait.
    const int result = sys_.Ioctl(fd_, TIOCMIWAIT, IntArg(kModemWaitLines));
    const int err = errno;
    lock.lock();
    if (stopModem_) break;
    if (result != 0) {
      if (err == EINTR) continue;
      if (IsDeviceGoneErrno(err)) {
        MarkGone();
      } else {
        modemWaitWorks_ = false;  // the I/O thread polls the lines instead
        Wake();
      }
      break;
    }
    DeliverEvents();
  }
  modemExited_ = true;
  changed_.notify_all();
}

void SerialDevice::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) return;
  closed_ = true;
  stopIo_ = true;
  stopModem_ = true;
  Wake();
  if (modemThread_.joinable()) {
    // The signal may land just before the thread enters TIOCMIWAIT; repeat until it has left.
    while (!modemExited_) {
      pthread_kill(modemThread_.native_handle(), ModemWakeSignal());
      changed_.wait_for(lock, std::chrono::milliseconds(2));
    }
    lock.unlock();
    modemThread_.join();
    lock.lock();
  }
  if (ioThread_.joinable()) {
    lock.unlock();
    ioThread_.join();
    lock.lock();
  }
  EndPending(ERROR_OPERATION_ABORTED);
  // A caller still polling the tty has been woken by the completions above.
  changed_.wait(lock, [&] { return !driving_; });
  lock.unlock();
  if (epollFd_ >= 0) sys_.Close(epollFd_);
  if (wakeFd_ >= 0) sys_.Close(wakeFd_);
  if (callerWakeFd_ >= 0) sys_.Close(callerWakeFd_);
  epollFd_ = wakeFd_ = callerWakeFd_ = -1;
  sys_.Close(fd_);
}

// ---------------------------------------------------------------------------------------------
// The serial API

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
  // All three read values at kMaxDword is the one combination Win32 refuses.
  if (timeouts->ReadIntervalTimeout == kMaxDword && timeouts->ReadTotalTimeoutMultiplier == kMaxDword &&
      timeouts->ReadTotalTimeoutConstant == kMaxDword)
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
  if (flags & ~kAllPurgeFlags) return ERROR_INVALID_PARAMETER;
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
