// The POSIX serial device's threads: the I/O thread waiting in epoll, the modem thread
// blocked in TIOCMIWAIT, their wake-ups, and Close, which stops both.
#include "platform/posix/serial_device.h"

#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "platform/posix/errno_map.h"
#include "platform/posix/serial_device_internal.h"

namespace plat::posix {

namespace device {
namespace {

void IgnoreSignal(int) {}

}  // namespace

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

}  // namespace device

using namespace device;

void SerialDevice::Wake() {
  WakeDriver();  // what changed may concern the transfers a caller drives
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  RetryEintr([&] { return sys_.Write(wakeFd_, &one, sizeof one); });
}

void SerialDevice::WakeDriver() {
  if (!driving_ || driverProgress_ || callerWakeFd_ < 0) return;
  const std::uint64_t one = 1;
  RetryEintr([&] { return sys_.Write(callerWakeFd_, &one, sizeof one); });
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
  if (!kernel_.CreateThread([this] { IoLoop(); }, &ioThread_)) {
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
  // Without a thread of its own the I/O thread polls the lines instead.
  if (!kernel_.CreateThread([this] { ModemLoop(); }, &modemThread_)) modemWaitWorks_ = false;
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
        RetryEintr([&] { return sys_.Read(wakeFd_, &value, sizeof value); });
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
}  // namespace plat::posix
