// One open serial device of the POSIX backend: the emulation of Win32 overlapped I/O, the
// COMMTIMEOUTS rules and device-event waits on a non-blocking tty file descriptor.
//
// Design
// - Every read, write and event wait is an operation record. An operation that can finish at
//   once does so on the caller's thread (no thread hop: a ready byte costs one read()). One
//   that cannot is queued, marked pending in its OVERLAPPED (Internal = kStatusPending) and
//   finished by the device's I/O thread, which waits in epoll (edge-triggered on the tty, so a
//   new arrival is an event even while older bytes sit unread) plus an eventfd that wakes it
//   when the queues or the event mask change. Starting a request resets OVERLAPPED::hEvent;
//   completion writes Internal (the Win32 code) and InternalHigh (bytes transferred), then
//   signals the event through the Kernel.
// - A caller that waits for its own pending read (GetOverlappedResult with wait, or a blocking
//   ReadFile) takes the transfers over: it polls the tty itself and reads (and writes what is
//   queued) on its own thread, while the I/O thread stops listening for them. An arrival then
//   wakes one thread, the one that wants the byte, instead of waking the I/O thread to hand it
//   over. Only one caller drives at a time; others wait for the completion as before. The I/O
//   thread, woken for any other reason, may still finish the read; it then wakes the driving
//   caller through an eventfd of its own, as does anything else that changes the queues.
// - Reads and writes are served in order, one at a time per direction; time-outs count from
//   the moment an operation becomes the head of its queue.
// - Device events are found by comparing counters with marks taken at SetCommMask and at each
//   delivery: bytes received (consumed + FIONREAD) for EV_RXCHAR, bytes written and TIOCOUTQ
//   for EV_TXEMPTY, TIOCGICOUNT counters (or TIOCMGET levels when the driver has no counters)
//   for EV_CTS/EV_DSR/EV_RLSD/EV_RING, EV_ERR and EV_BREAK. Events in the mask that occur while
//   no wait is pending are reported by the next wait, as Win32 does.
// - Modem-line changes are waited for by a second thread blocked in TIOCMIWAIT. That call has
//   no time-out, so closing interrupts it with a signal installed without SA_RESTART. Where
//   TIOCMIWAIT is missing, or the signal is taken by the application, the I/O thread polls the
//   lines every 10 ms while a modem wait is pending; with TIOCMIWAIT it still checks every
//   100 ms, to catch a change that fell between two TIOCMIWAIT calls. A tty without modem
//   ioctls (a plain pty) never reports modem events; its other events work.
// - A device that vanishes (EIO/ENXIO/ENODEV, or end of file on the tty after a hang-up) is
//   "gone": pending transfers fail with ERROR_ACCESS_DENIED, a pending wait completes with no
//   event bits, and every later call fails with ERROR_ACCESS_DENIED until the handle is closed.
// - Close ends every pending operation (transfers with ERROR_OPERATION_ABORTED, a wait with no
//   bits), joins both threads and closes the descriptors. No caller buffer or OVERLAPPED is
//   touched after its operation has completed.
//
// All members run under one mutex; the threads release it only while blocked in the kernel.
// Methods return a Win32 code: ERROR_SUCCESS, ERROR_IO_PENDING, or the failure.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/posix/errno_map.h"
#include "platform/posix/kernel.h"
#include "platform/posix/serial_sys.h"
#include "platform/posix/serial_termios.h"
#include "platform/win32rules/transfers.h"

namespace plat::posix {

using win32rules::kStatusPending;

class SerialDevice {
 public:
  // Takes over fd (an open, locked tty in raw mode). overlapped: opened with
  // FILE_FLAG_OVERLAPPED; without it every transfer and wait blocks until done.
  SerialDevice(Kernel& kernel, const SysCalls& sys, int fd, dev_t rdev, bool canRead,
               bool canWrite, bool overlapped, const DCB& initial);
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  dev_t DeviceNumber() const { return rdev_; }

  DWORD GetState(DCB* dcb);
  DWORD SetState(const DCB* dcb);
  DWORD Setup(DWORD inQueue, DWORD outQueue);
  DWORD GetTimeouts(COMMTIMEOUTS* timeouts);
  DWORD SetTimeouts(const COMMTIMEOUTS* timeouts);
  DWORD SetMask(DWORD mask);
  DWORD Wait(DWORD* mask, OVERLAPPED* overlapped);
  DWORD Read(void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped);
  DWORD Write(const void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped);
  DWORD Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait);
  DWORD ClearError(DWORD* errors, COMSTAT* stat);
  DWORD Purge(DWORD flags);
  DWORD Flush();
  DWORD Escape(DWORD function);
  DWORD TransmitChar(char c);
  DWORD ModemStatus(DWORD* status);
  DWORD Properties(COMMPROP* properties);

  // Ends pending operations, stops the threads, closes the tty. Idempotent.
  void Close();

 private:
  enum class Kind { Read, Write, Wait };
  struct Op {
    Kind kind = Kind::Read;
    OVERLAPPED* overlapped = nullptr;
    std::uint8_t* buffer = nullptr;
    DWORD length = 0;
    DWORD done = 0;
    DWORD* maskOut = nullptr;
    bool complete = false;
    DWORD status = ERROR_SUCCESS;
    bool started = false;
    bool immediate = false;        // read: return at once with what is there
    bool returnOnAny = false;      // read: the first byte ends it
    DWORD intervalMs = 0;          // read: longest gap between bytes; 0 none
    std::int64_t deadlineUs = -1;  // total time-out; -1 none
    std::int64_t lastByteUs = 0;
  };
  using OpPtr = std::shared_ptr<Op>;

  // Counters the device events are detected from.
  struct LineCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  };
  struct Marks {
    std::uint64_t rxTotal = 0;
    std::uint64_t txWritten = 0;
    bool rx80 = false;
    int modemLines = 0;  // TIOCM_ levels, where there are no counters
    LineCounters counters;
  };
  enum class Support { Unknown, Yes, No };

  DWORD CheckUsable() const;
  // Queues an operation that could not finish at once and starts the I/O thread.
  DWORD Submit(const OpPtr& op);
  DWORD AwaitSync(std::unique_lock<std::mutex>& lock, const OpPtr& op, DWORD* transferred);
  // Waits for op on the completion condition, or, for a queued read when no other caller
  // drives, by driving the transfers on this thread.
  void AwaitComplete(std::unique_lock<std::mutex>& lock, const OpPtr& op);
  // Polls the tty and advances the operations on the calling thread until op has completed.
  // False when polling fails; the I/O thread then has the transfers back.
  bool DriveTransfers(std::unique_lock<std::mutex>& lock, const OpPtr& op);
  // A request about to start: its completion event is reset.
  void ResetRequestEvent(OVERLAPPED* overlapped);
  void Complete(Op& op, DWORD status);
  // Ends every queued operation: transfers fail with transferError, a wait completes with no
  // event bits; a pending priority character is dropped.
  void EndPending(DWORD transferError);
  void MarkGone();
  // The Win32 code for a failed call; a vanished device is marked gone.
  DWORD Failure(int err, ErrnoContext context);
  DWORD SetModemLine(int line, bool on, bool ignoreUnsupported);

  void StartTransfer(Op& op, std::int64_t now);
  // Ends a transfer the system refused with errno err (a vanished device marks the port gone).
  void Refuse(Op& op, int err);
  void TryRead(Op& op);
  void TryWrite(Op& op);
  bool SendPriorityChar();
  // Completes op when it is whole or its time-outs have run out.
  void Settle(Op& op, std::int64_t now);
  void Progress();
  // Event bits of the mask that occurred since their marks; moves those marks.
  DWORD EvaluateEvents();
  void DeliverEvents();
  void AfterFastWrite();
  void TakeMarks();
  std::uint64_t OutstandingTx() const;

  // Line state queries; false when the driver lacks them (support remembered) or the device
  // is gone (then MarkGone has run).
  bool ReadCounters(LineCounters& counters);
  bool ReadModemLines(int& lines);
  bool QueueCount(unsigned long request, int& count);

  int Ioctl(unsigned long request, void* arg);
  DWORD EnsureIoThread();
  void EnsureModemThread();
  void Wake();
  // Wakes a caller driving the transfers, unless that is the calling thread.
  void WakeDriver();
  void IoLoop();
  void ModemLoop();
  int NextTimeoutMs(std::int64_t now) const;
  std::uint32_t WantedInterest() const;
  // Brings the I/O thread's interest in the tty up to date (epoll_ctl works from any thread,
  // also while the I/O thread waits). False when the kernel refused the change.
  bool ApplyInterest();

  Kernel& kernel_;
  const SysCalls& sys_;
  const int fd_;
  const dev_t rdev_;
  const bool canRead_, canWrite_, overlapped_;

  std::mutex mutex_;
  std::condition_variable changed_;  // any completion, thread exit
  bool closed_ = false;
  bool gone_ = false;

  DCB shadow_;
  COMMTIMEOUTS timeouts_{};
  DWORD inQueue_ = 4096, outQueue_ = 2048;
  DWORD eventMask_ = 0;
  Marks marks_;
  LineCounters errorMarks_;
  Support counters_ = Support::Unknown;
  Support modemLines_ = Support::Unknown;
  bool modemWaitWorks_ = true;

  std::deque<OpPtr> reads_, writes_;
  OpPtr wait_;
  bool priorityPending_ = false;
  std::uint8_t priorityChar_ = 0;
  std::uint64_t rxConsumed_ = 0;
  std::uint64_t txWritten_ = 0;

  std::thread ioThread_;
  int wakeFd_ = -1, epollFd_ = -1;
  std::uint32_t interest_ = 0;
  bool stopIo_ = false;
  bool ioWaiting_ = false;       // the I/O thread is (about to be) blocked in epoll_wait
  std::int64_t ioWakeAtUs_ = -1;  // when that wait times out; -1 never

  // A caller driving the transfers itself, and the eventfd that wakes it when another thread
  // completes its read, changes the queues or closes the device.
  bool driving_ = false;
  bool driverProgress_ = false;  // the driving caller is inside Progress
  int callerWakeFd_ = -1;

  std::thread modemThread_;
  bool stopModem_ = false;
  bool modemExited_ = false;
};

}  // namespace plat::posix
