// The serial API's behaviour, one table for every backend (see serial_bench.h).
//
// The facts are Win32's: Microsoft's documentation of the comm functions and what the
// conformance tests of those functions record on real Windows. A row whose backend behaves
// otherwise names the difference and why it stays; the row then runs all the same and must
// still fail there, so a difference that goes away is noticed.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <ostream>
#include <string>

#include "tests/platform/serial_bench.h"

namespace serialtable {
namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFFu;
// The longest any single step may take on a real machine before it counts as hanging.
constexpr DWORD kBoundMs = 5000;
// A real time-out may end up to a clock tick early (Windows counts them in ticks) and, on a
// loaded machine, late by far more.
constexpr std::int64_t kEarlyUs = 20000;
constexpr std::int64_t kLateUs = 3000000;

const char* BackendName(Backend backend) {
  switch (backend) {
    case Backend::Sim: return "simulated machine";
    case Backend::Pty: return "Linux backend on a pty";
    case Backend::Wine: return "Win32 backend under Wine";
  }
  return "?";
}

// One overlapped request and what it works on; owned by its Port, so nothing the backend may
// still write to goes away before the port is closed.
struct Op {
  OVERLAPPED ov{};
  std::string buffer;
  DWORD mask = 0xDEAD;       // WaitCommEvent's output
  BOOL started = FALSE;      // what the starting call returned
  DWORD startError = 0;      // its last error when it returned FALSE
  DWORD startCount = 0;      // the count it reported
  std::string Data() const { return buffer.substr(0, static_cast<std::size_t>(ov.InternalHigh)); }
};

struct Result {
  BOOL ok = FALSE;
  DWORD error = 0;
  DWORD count = 0;
};

// The port of a bench and the requests made on it. Closing (at the latest in the destructor)
// comes before the requests' records and events are released.
class Port {
 public:
  enum Mode { kOverlapped, kSynchronous };
  // configure: set 9600 8N1 right after opening, as the component does.
  explicit Port(SerialBench& bench, Mode mode = kOverlapped, bool configure = true)
      : bench_(bench), api_(bench.Serial()), kernel_(bench.Kernel()) {
    const std::string name = bench.PortName();
    const DWORD flags = mode == kOverlapped ? FILE_FLAG_OVERLAPPED : 0;
    handle_ = api_.CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | flags);
    openError_ = handle_ == INVALID_HANDLE_VALUE ? kernel_.GetLastError() : 0;
    if (Opened() && configure) {
      DCB dcb{};
      EXPECT_TRUE(api_.GetCommState(handle_, &dcb)) << LastError();
      dcb.BaudRate = 9600;
      dcb.ByteSize = 8;
      dcb.Parity = NOPARITY;
      dcb.StopBits = ONESTOPBIT;
      dcb.fBinary = 1;
      EXPECT_TRUE(api_.SetCommState(handle_, &dcb)) << LastError();
    }
  }
  // A request may still write its record after CloseHandle returned (Wine completes them a
  // moment later): a request whose end was not seen is left allocated rather than freed under it.
  ~Port() {
    Close();
    for (std::unique_ptr<Op>& op : ops_) {
      if (op->started || op->startError != ERROR_IO_PENDING || Signalled(*op, kBoundMs)) {
        kernel_.CloseEvent(op->ov.hEvent);
      } else {
        ADD_FAILURE() << "a request did not end when its port was closed";
        static_cast<void>(op.release());
      }
    }
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  bool Opened() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD OpenError() const { return openError_; }
  HANDLE Handle() const { return handle_; }
  plat::SerialApi& Api() { return api_; }
  DWORD LastError() { return kernel_.GetLastError(); }

  BOOL Close() {
    if (!Opened() || closed_) return TRUE;
    closed_ = true;
    return api_.CloseHandle(handle_);
  }

  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeMultiplier = 0,
                   DWORD writeConstant = 0) {
    COMMTIMEOUTS t{interval, multiplier, constant, writeMultiplier, writeConstant};
    EXPECT_TRUE(api_.SetCommTimeouts(handle_, &t)) << LastError();
  }
  void SetMask(DWORD mask) { EXPECT_TRUE(api_.SetCommMask(handle_, mask)) << LastError(); }

  Op& NewOp() {
    ops_.push_back(std::make_unique<Op>());
    Op& op = *ops_.back();
    op.ov.hEvent = kernel_.CreateEventA(TRUE, FALSE);
    return op;
  }
  Op& Read(DWORD length) {
    Op& op = NewOp();
    op.buffer.assign(length, '\0');
    op.started = api_.ReadFile(handle_, op.buffer.data(), length, &op.startCount, &op.ov);
    if (!op.started) op.startError = LastError();
    return op;
  }
  Op& Write(const std::string& data) {
    Op& op = NewOp();
    op.buffer = data;
    op.started = api_.WriteFile(handle_, op.buffer.data(), static_cast<DWORD>(op.buffer.size()),
                                &op.startCount, &op.ov);
    if (!op.started) op.startError = LastError();
    return op;
  }
  Op& Wait() {
    Op& op = NewOp();
    op.started = api_.WaitCommEvent(handle_, &op.mask, &op.ov);
    if (!op.started) op.startError = LastError();
    return op;
  }

  bool Signalled(Op& op, DWORD ms = 0) {
    return kernel_.WaitForSingleObject(op.ov.hEvent, ms) == WAIT_OBJECT_0;
  }
  // The starting call reported ERROR_IO_PENDING. (Whether it is still pending a moment later
  // depends, on a real machine, on how long the calling thread was kept from running.)
  bool Pending(const Op& op) const { return !op.started && op.startError == ERROR_IO_PENDING; }
  // Waits (bounded) for the request to end and returns GetOverlappedResult's answer.
  Result Finish(Op& op) {
    EXPECT_TRUE(Signalled(op, kBoundMs)) << "the request did not end";
    Result r;
    r.ok = api_.GetOverlappedResult(handle_, &op.ov, &r.count, FALSE);
    if (!r.ok) r.error = LastError();
    return r;
  }

  COMSTAT Stat(DWORD* errors = nullptr) {
    COMSTAT stat{};
    DWORD ignored = 0;
    EXPECT_TRUE(api_.ClearCommError(handle_, errors ? errors : &ignored, &stat)) << LastError();
    return stat;
  }
  // Waits until the input queue holds count bytes (the line and the pty take a moment).
  bool InputArrived(DWORD count) {
    const std::int64_t end = bench_.NowUs() + std::int64_t{kBoundMs} * 1000;
    do {
      COMSTAT stat{};
      DWORD errors = 0;
      if (!api_.ClearCommError(handle_, &errors, &stat)) return false;
      if (stat.cbInQue >= count) return true;
      kernel_.Sleep(1);
    } while (bench_.NowUs() < end);
    return false;
  }
  DWORD ModemStatus() {
    DWORD status = 0xDEAD;
    EXPECT_TRUE(api_.GetCommModemStatus(handle_, &status)) << LastError();
    return status;
  }

 private:
  SerialBench& bench_;
  plat::SerialApi& api_;
  plat::KernelApi& kernel_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD openError_ = 0;
  bool closed_ = false;
  std::vector<std::unique_ptr<Op>> ops_;
};

// Checks when something that started at startUs ended: on the virtual clock at exactly frames
// wire frames plus ms; on a real backend not (much) before ms and not absurdly late.
void ExpectEndedAt(SerialBench& bench, std::int64_t startUs, double frames, DWORD ms) {
  const std::int64_t elapsedUs = bench.NowUs() - startUs;
  if (bench.VirtualClock()) {
    const double expectedUs = (frames * bench.FrameNs()) / 1000.0 + ms * 1000.0;
    EXPECT_NEAR(static_cast<double>(elapsedUs), expectedUs, 2.0);
  } else {
    EXPECT_GE(elapsedUs, std::int64_t{ms} * 1000 - kEarlyUs);
    EXPECT_LE(elapsedUs, std::int64_t{ms} * 1000 + kLateUs);
  }
}

// Opens the bench's port (the arguments after the name go to Port) or ends the row.
#define OPEN_PORT(port, ...)                     \
  Port port(bench __VA_OPT__(, ) __VA_ARGS__); \
  ASSERT_TRUE(port.Opened()) << port.OpenError()

// ======================================================================== read time-outs

void AllZeroWaitsForEveryByte(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(3);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  bench.After(20, [&bench] { bench.Send("ab"); });
  EXPECT_FALSE(p.Signalled(read, 60)) << "two of three bytes must not end the read";
  bench.Send("c");
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.Data(), "abc");
  ExpectEndedAt(bench, start, 1, 60);
}

void ImmediateReturnsWhatIsThere(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(kMaxDword, 0, 0);
  Op& none = p.Read(4);
  EXPECT_TRUE(none.started) << "MAXDWORD/0/0 returns at once, error " << none.startError;
  EXPECT_EQ(none.startCount, 0u);
  bench.Send("ab");
  ASSERT_TRUE(p.InputArrived(2));
  Op& some = p.Read(4);
  EXPECT_TRUE(some.started) << some.startError;
  EXPECT_EQ(some.startCount, 2u);
  EXPECT_EQ(some.Data(), "ab");
  EXPECT_TRUE(p.Signalled(some)) << "a request done at once still signals its event";
}

void FirstByteModeReturnsWithWhatIsThere(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(kMaxDword, kMaxDword, 1000);
  bench.Send("xy");
  ASSERT_TRUE(p.InputArrived(2));
  Op& read = p.Read(8);
  EXPECT_TRUE(read.started) << read.startError;
  EXPECT_EQ(read.Data(), "xy");
}

void FirstByteModeWaitsForTheFirstByte(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(kMaxDword, kMaxDword, 1000);
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(8);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  bench.After(30, [&bench] { bench.Send("z"); });
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.Data(), "z");
  ExpectEndedAt(bench, start, 1, 30);
}

void FirstByteModeTimesOutEmpty(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(kMaxDword, kMaxDword, 50);
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(8);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << "a time-out is no failure, error " << r.error;
  EXPECT_EQ(r.count, 0u);
  ExpectEndedAt(bench, start, 0, 50);
}

void TotalConstantEndsAShortRead(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 100);
  bench.Send("x");
  ASSERT_TRUE(p.InputArrived(1));
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(4);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << "a time-out is no failure, error " << r.error;
  EXPECT_EQ(read.Data(), "x");
  ExpectEndedAt(bench, start, 0, 100);
}

void TotalIsMultiplierTimesCountPlusConstant(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 10, 5);
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(4);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.count, 0u);
  ExpectEndedAt(bench, start, 0, 45);
}

void IntervalStartsWithTheFirstByte(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(20, 0, 0);
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(8);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  EXPECT_FALSE(p.Signalled(read, 60)) << "no byte yet: the interval has not started";
  bench.Send("ab");
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.Data(), "ab");
  ExpectEndedAt(bench, start, 2, 60 + 20);
}

void TotalEndsAReadBeforeTheInterval(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(500, 0, 80);
  bench.Send("a");
  ASSERT_TRUE(p.InputArrived(1));
  const std::int64_t start = bench.NowUs();
  Op& read = p.Read(8);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  const Result r = p.Finish(read);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.Data(), "a");
  ExpectEndedAt(bench, start, 0, 80);
}

void MaxdwordIntervalAndConstantAreRefused(SerialBench& bench) {
  OPEN_PORT(p);
  for (DWORD multiplier : {DWORD{0}, DWORD{10}, kMaxDword}) {
    COMMTIMEOUTS t{kMaxDword, multiplier, kMaxDword, 0, 0};
    EXPECT_FALSE(p.Api().SetCommTimeouts(p.Handle(), &t)) << multiplier;
    EXPECT_EQ(p.LastError(), ERROR_INVALID_PARAMETER) << multiplier;
  }
  COMMTIMEOUTS kept{};
  ASSERT_TRUE(p.Api().GetCommTimeouts(p.Handle(), &kept));
  EXPECT_NE(kept.ReadTotalTimeoutConstant, kMaxDword);
}

void SynchronousReadReturnsTrueAtItsTimeout(SerialBench& bench) {
  OPEN_PORT(p, Port::kSynchronous);
  p.SetTimeouts(0, 0, 100);
  bench.Kernel().SetLastError(0x1234);
  char buffer[8];
  DWORD got = 0xDEAD;
  const std::int64_t start = bench.NowUs();
  EXPECT_TRUE(p.Api().ReadFile(p.Handle(), buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(p.LastError(), 0x1234u) << "a time-out sets no error";
  ExpectEndedAt(bench, start, 0, 100);
}

// ======================================================================= write time-outs

void WriteTotalTimeoutEndsAWriteShort(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0, 0, 100);
  const std::string data(bench.BlockingWriteSize(), 'w');
  const std::int64_t start = bench.NowUs();
  Op& write = p.Write(data);
  ASSERT_TRUE(p.Pending(write)) << write.startError;
  const Result r = p.Finish(write);
  EXPECT_TRUE(r.ok) << "a time-out is no failure, error " << r.error;
  EXPECT_LT(r.count, data.size());
  ExpectEndedAt(bench, start, 0, 100);
}

// ===================================================================== overlapped requests

void PendingReadCompletesWhenTheBytesCome(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  Op& read = p.Read(4);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  DWORD got = 0xDEAD;
  EXPECT_FALSE(p.Api().GetOverlappedResult(p.Handle(), &read.ov, &got, FALSE));
  EXPECT_EQ(p.LastError(), ERROR_IO_INCOMPLETE);
  bench.After(10, [&bench] { bench.Send("wxyz"); });
  EXPECT_TRUE(p.Api().GetOverlappedResult(p.Handle(), &read.ov, &got, TRUE)) << p.LastError();
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(read.Data(), "wxyz");
  EXPECT_TRUE(p.Signalled(read));
}

void SmallWriteCompletesAndSignals(SerialBench& bench) {
  OPEN_PORT(p);
  // Completing at once and going pending are both Win32 (a slow line keeps a write pending).
  const std::string data("\r\n\x03\x11\x13\x7f\x00\xff", 8);
  Op& write = p.Write(data);
  EXPECT_TRUE(write.started || write.startError == ERROR_IO_PENDING) << write.startError;
  const Result r = p.Finish(write);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.count, data.size());
  EXPECT_EQ(bench.Receive(data.size()), data) << "bytes pass unchanged";
}

void BytesPassUnchangedFromTheOpenOn(SerialBench& bench) {
  OPEN_PORT(p, Port::kOverlapped, false);
  p.SetTimeouts(0, 0, 1000);
  const std::string bytes("a\rb\n\xff", 5);
  bench.Send(bytes);
  Op& read = p.Read(5);
  EXPECT_TRUE(p.Finish(read).ok);
  EXPECT_EQ(read.Data(), bytes);
  Op& write = p.Write(bytes);
  EXPECT_TRUE(p.Finish(write).ok);
  EXPECT_EQ(bench.Receive(bytes.size()), bytes);
}

void LargeWriteStaysPendingUntilTheFarEndTakesIt(SerialBench& bench) {
  OPEN_PORT(p);
  std::string data(bench.BlockingWriteSize(), '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  Op& write = p.Write(data);
  ASSERT_TRUE(p.Pending(write)) << write.startError;
  DWORD written = 0xDEAD;
  EXPECT_FALSE(p.Api().GetOverlappedResult(p.Handle(), &write.ov, &written, FALSE));
  EXPECT_EQ(p.LastError(), ERROR_IO_INCOMPLETE);
  EXPECT_GT(p.Stat().cbOutQue, 0u) << "the pending bytes count as output";
  EXPECT_EQ(bench.Receive(data.size()), data);
  const Result r = p.Finish(write);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.count, data.size());
}

void ZeroLengthTransfersCompleteAtOnce(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  Op& read = p.Read(0);
  EXPECT_TRUE(read.started) << read.startError;
  EXPECT_EQ(read.startCount, 0u);
  Op& write = p.Write("");
  EXPECT_TRUE(write.started) << write.startError;
  EXPECT_EQ(write.startCount, 0u);
}

void StartingARequestResetsItsEvent(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  Op& read = p.NewOp();
  read.buffer.assign(4, '\0');
  bench.Kernel().SetEvent(read.ov.hEvent);  // left signalled by an earlier request
  read.started = p.Api().ReadFile(p.Handle(), read.buffer.data(), 4, &read.startCount, &read.ov);
  if (!read.started) read.startError = p.LastError();
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  EXPECT_FALSE(p.Signalled(read)) << "the event of a pending read is reset";
}

void ResultAfterCloseComesFromTheRecord(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  bench.Send("ok");
  ASSERT_TRUE(p.InputArrived(2));
  Op& read = p.Read(2);
  ASSERT_TRUE(p.Signalled(read, kBoundMs));
  ASSERT_TRUE(p.Close());
  DWORD got = 0;
  EXPECT_TRUE(p.Api().GetOverlappedResult(p.Handle(), &read.ov, &got, FALSE)) << p.LastError();
  EXPECT_EQ(got, 2u);
}

// ============================================================================ device events

void EventDelivered(SerialBench& bench, DWORD mask, const std::function<void()>& cause,
                    DWORD expected) {
  OPEN_PORT(p);
  p.SetMask(mask);
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  bench.After(10, cause);
  const Result r = p.Finish(wait);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(wait.mask, expected);
  EXPECT_EQ(r.count, sizeof(DWORD)) << "a wait transfers its event mask";
}

void RxcharOnArrival(SerialBench& bench) {
  EventDelivered(bench, EV_RXCHAR | EV_TXEMPTY, [&bench] { bench.Send("a"); }, EV_RXCHAR);
}
void DsrChange(SerialBench& bench) {
  EventDelivered(bench, EV_DSR | EV_RXCHAR, [&bench] { bench.SetLine(FarLine::Dsr, true); }, EV_DSR);
}
void CtsChange(SerialBench& bench) {
  EventDelivered(bench, EV_CTS, [&bench] { bench.SetLine(FarLine::Cts, true); }, EV_CTS);
}
void RlsdChange(SerialBench& bench) {
  EventDelivered(bench, EV_RLSD, [&bench] { bench.SetLine(FarLine::Dcd, true); }, EV_RLSD);
}
void RingChange(SerialBench& bench) {
  EventDelivered(bench, EV_RING, [&bench] { bench.SetLine(FarLine::Ring, true); }, EV_RING);
}
void LineErrorRaisesEvErr(SerialBench& bench) {
  EventDelivered(bench, EV_ERR | EV_BREAK, [&bench] { bench.Fault(LineFault::Frame); }, EV_ERR);
}
void BreakRaisesEvBreak(SerialBench& bench) {
  EventDelivered(bench, EV_ERR | EV_BREAK, [&bench] { bench.Fault(LineFault::Break); }, EV_BREAK);
}

void TxemptyWhenTheOutputHasLeft(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_TXEMPTY);
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  Op& write = p.Write("xyz");
  const Result r = p.Finish(wait);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(wait.mask, EV_TXEMPTY);
  EXPECT_TRUE(p.Finish(write).ok);
  EXPECT_EQ(bench.Receive(3), "xyz");
}

void NoTxemptyWithoutOutput(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_TXEMPTY);
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  EXPECT_FALSE(p.Signalled(wait, 50));
}

void RxcharIsAnArrivalNotUnreadBytes(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_RXCHAR);
  Op& first = p.Wait();
  ASSERT_TRUE(p.Pending(first)) << first.startError;
  bench.Send("a");
  ASSERT_TRUE(p.Finish(first).ok);
  EXPECT_EQ(first.mask, static_cast<DWORD>(EV_RXCHAR));
  // The byte is still unread; the next wait waits for the next byte.
  Op& second = p.Wait();
  EXPECT_TRUE(p.Pending(second)) << "unread bytes are no new event, error " << second.startError
                                 << ", mask " << second.mask;
  EXPECT_FALSE(p.Signalled(second, 20));
  bench.Send("b");
  EXPECT_TRUE(p.Finish(second).ok);
  EXPECT_EQ(second.mask, static_cast<DWORD>(EV_RXCHAR));
}

void EventsBetweenWaitsGoToTheNextWait(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_DSR);
  bench.SetLine(FarLine::Dsr, true);
  // Let the change reach the host before the wait starts.
  const std::int64_t end = bench.NowUs() + std::int64_t{kBoundMs} * 1000;
  while (!(p.ModemStatus() & MS_DSR_ON) && bench.NowUs() < end) bench.Kernel().Sleep(1);
  Op& wait = p.Wait();
  const Result r = p.Finish(wait);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(wait.mask, static_cast<DWORD>(EV_DSR)) << "the change before the wait is reported";
}

void SetCommMaskEndsAPendingWaitWithNoBits(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_CTS);
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  p.SetMask(EV_CTS | EV_DSR);
  const Result r = p.Finish(wait);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(wait.mask, 0u);
}

void ASecondWaitIsRefused(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_CTS);
  Op& first = p.Wait();
  ASSERT_TRUE(p.Pending(first)) << first.startError;
  Op& second = p.Wait();
  EXPECT_FALSE(second.started);
  EXPECT_EQ(second.startError, ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(p.Signalled(first)) << "the first wait goes on";
}

void AWaitWithAnEmptyMaskIsRefused(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(0);
  Op& wait = p.Wait();
  EXPECT_FALSE(wait.started);
  EXPECT_EQ(wait.startError, ERROR_INVALID_PARAMETER);
}

// ==================================================================================== purge

void PurgeRxabortEndsAPendingRead(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  Op& read = p.Read(4);
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  EXPECT_TRUE(p.Api().PurgeComm(p.Handle(), PURGE_RXABORT)) << p.LastError();
  EXPECT_TRUE(p.Signalled(read, kBoundMs));
  const Result r = p.Finish(read);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, ERROR_OPERATION_ABORTED);
}

void PurgeTxabortEndsAPendingWrite(SerialBench& bench) {
  OPEN_PORT(p);
  Op& write = p.Write(std::string(bench.BlockingWriteSize(), 'p'));
  ASSERT_TRUE(p.Pending(write)) << write.startError;
  EXPECT_TRUE(p.Api().PurgeComm(p.Handle(), PURGE_TXABORT | PURGE_TXCLEAR)) << p.LastError();
  const Result r = p.Finish(write);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, ERROR_OPERATION_ABORTED);
}

void PurgeRxclearDiscardsInput(SerialBench& bench) {
  OPEN_PORT(p);
  bench.Send("abc");
  ASSERT_TRUE(p.InputArrived(3));
  EXPECT_TRUE(p.Api().PurgeComm(p.Handle(), PURGE_RXCLEAR)) << p.LastError();
  EXPECT_EQ(p.Stat().cbInQue, 0u);
}

void PurgeRefusesUnknownFlags(SerialBench& bench) {
  OPEN_PORT(p);
  for (DWORD flags : {DWORD{0}, DWORD{0x10}}) {
    EXPECT_FALSE(p.Api().PurgeComm(p.Handle(), flags)) << flags;
    EXPECT_EQ(p.LastError(), ERROR_INVALID_PARAMETER) << flags;
  }
}

// =========================================================================== ClearCommError

void FreshPortHasNoErrorsAndEmptyQueues(SerialBench& bench) {
  OPEN_PORT(p);
  DWORD errors = 0xDEAD;
  const COMSTAT stat = p.Stat(&errors);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(stat.cbOutQue, 0u);
}

void InputCountFollowsArrivalsAndReads(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  bench.Send("12345");
  ASSERT_TRUE(p.InputArrived(5));
  EXPECT_EQ(p.Stat().cbInQue, 5u);
  Op& read = p.Read(2);
  EXPECT_TRUE(p.Finish(read).ok);
  EXPECT_EQ(p.Stat().cbInQue, 3u);
}

void LineErrorsCollectUntilRead(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetMask(EV_ERR | EV_BREAK);
  Op& wait = p.Wait();
  bench.Fault(LineFault::Frame);
  bench.Fault(LineFault::Parity);
  ASSERT_TRUE(p.Signalled(wait, kBoundMs));
  DWORD errors = 0;
  p.Stat(&errors);
  EXPECT_EQ(errors & (CE_FRAME | CE_RXPARITY), CE_FRAME | CE_RXPARITY);
  p.Stat(&errors);
  EXPECT_EQ(errors, 0u) << "reading the errors clears them";
}

void RefusedDcbLeavesNoModeError(SerialBench& bench) {
  OPEN_PORT(p);
  DCB dcb{};
  ASSERT_TRUE(p.Api().GetCommState(p.Handle(), &dcb));
  dcb.ByteSize = 255;
  EXPECT_FALSE(p.Api().SetCommState(p.Handle(), &dcb));
  DWORD errors = 0xDEAD;
  p.Stat(&errors);
  EXPECT_EQ(errors & CE_MODE, 0u);
}

// ======================================================================= lines and status

void EscapeFunctionsDriveDtrAndRts(SerialBench& bench) {
  OPEN_PORT(p);
  struct Step {
    DWORD function;
    bool dtr, rts;
  } steps[] = {{SETDTR, true, false}, {SETRTS, true, true}, {CLRDTR, false, true},
               {CLRRTS, false, false}};
  EXPECT_TRUE(p.Api().EscapeCommFunction(p.Handle(), CLRDTR)) << p.LastError();
  EXPECT_TRUE(p.Api().EscapeCommFunction(p.Handle(), CLRRTS)) << p.LastError();
  for (const Step& step : steps) {
    EXPECT_TRUE(p.Api().EscapeCommFunction(p.Handle(), step.function)) << p.LastError();
    EXPECT_EQ(bench.Dtr(), step.dtr) << step.function;
    EXPECT_EQ(bench.Rts(), step.rts) << step.function;
  }
}

void OtherEscapeFunctions(SerialBench& bench) {
  OPEN_PORT(p);
  for (DWORD function : {SETBREAK, CLRBREAK, SETXOFF, SETXON}) {
    EXPECT_TRUE(p.Api().EscapeCommFunction(p.Handle(), function)) << function << ": " << p.LastError();
  }
  EXPECT_FALSE(p.Api().EscapeCommFunction(p.Handle(), 42));
  EXPECT_EQ(p.LastError(), ERROR_INVALID_PARAMETER);
}

void ModemStatusFollowsTheFarEnd(SerialBench& bench) {
  OPEN_PORT(p);
  EXPECT_EQ(p.ModemStatus(), 0u);
  struct Step {
    FarLine line;
    DWORD bit;
  } steps[] = {{FarLine::Cts, MS_CTS_ON}, {FarLine::Dsr, MS_DSR_ON}, {FarLine::Ring, MS_RING_ON},
               {FarLine::Dcd, MS_RLSD_ON}};
  DWORD expected = 0;
  for (const Step& step : steps) {
    bench.SetLine(step.line, true);
    expected |= step.bit;
    EXPECT_EQ(p.ModemStatus(), expected);
  }
  bench.SetLine(FarLine::Dsr, false);
  EXPECT_EQ(p.ModemStatus(), expected & ~MS_DSR_ON);
}

// ============================================================================ SetCommState

void SetCommStateRefusesBadSettingsAndKeepsTheOld(SerialBench& bench) {
  OPEN_PORT(p);
  DCB good{};
  ASSERT_TRUE(p.Api().GetCommState(p.Handle(), &good));
  good.BaudRate = 9600;
  good.ByteSize = 8;
  good.Parity = NOPARITY;
  good.StopBits = ONESTOPBIT;
  good.fOutX = good.fInX = 0;
  ASSERT_TRUE(p.Api().SetCommState(p.Handle(), &good)) << p.LastError();
  struct Bad {
    const char* what;
    void (*change)(DCB&);
  } bads[] = {
      {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
      {"parity 5", [](DCB& d) { d.Parity = 5; }},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
      {"XON equal to XOFF", [](DCB& d) {
         d.fOutX = 1;
         d.XonChar = d.XoffChar = 0x11;
       }},
  };
  for (const Bad& bad : bads) {
    DCB dcb = good;
    bad.change(dcb);
    EXPECT_FALSE(p.Api().SetCommState(p.Handle(), &dcb)) << bad.what;
    EXPECT_EQ(p.LastError(), ERROR_INVALID_PARAMETER) << bad.what;
    DCB now{};
    ASSERT_TRUE(p.Api().GetCommState(p.Handle(), &now));
    EXPECT_EQ(now.BaudRate, 9600u) << bad.what;
    EXPECT_EQ(now.ByteSize, 8) << bad.what;
    EXPECT_EQ(now.StopBits, ONESTOPBIT) << bad.what;
    EXPECT_EQ(now.fOutX, 0u) << bad.what;
  }
}

void SetCommStateTakesAGoodRate(SerialBench& bench) {
  OPEN_PORT(p);
  DCB dcb{};
  ASSERT_TRUE(p.Api().GetCommState(p.Handle(), &dcb));
  dcb.BaudRate = 19200;
  dcb.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(p.Api().SetCommState(p.Handle(), &dcb)) << p.LastError();
  DCB back{};
  ASSERT_TRUE(p.Api().GetCommState(p.Handle(), &back));
  EXPECT_EQ(back.BaudRate, 19200u);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
}

// ================================================================== closing and vanishing

void CloseEndsEveryPendingRequest(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  p.SetMask(EV_CTS);
  Op& read = p.Read(4);
  Op& write = p.Write(std::string(bench.BlockingWriteSize(), 'c'));
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  ASSERT_TRUE(p.Pending(write)) << write.startError;
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  ASSERT_TRUE(p.Close());
  for (Op* op : {&read, &write, &wait}) EXPECT_TRUE(p.Signalled(*op, kBoundMs));
  for (Op* op : {&read, &write}) {
    const Result r = p.Finish(*op);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ERROR_OPERATION_ABORTED);
  }
  // The wait ends too; with no event bits if it reports success.
  const Result w = p.Finish(wait);
  if (w.ok) {
    EXPECT_EQ(wait.mask, 0u);
  } else {
    EXPECT_EQ(w.error, ERROR_OPERATION_ABORTED);
  }
  COMSTAT stat{};
  EXPECT_FALSE(p.Api().ClearCommError(p.Handle(), nullptr, &stat));
  EXPECT_EQ(p.LastError(), ERROR_INVALID_HANDLE);
}

void VanishingFailsPendingAndLaterCalls(SerialBench& bench) {
  OPEN_PORT(p);
  p.SetTimeouts(0, 0, 0);
  p.SetMask(EV_CTS | EV_RXCHAR);
  Op& read = p.Read(4);
  Op& wait = p.Wait();
  ASSERT_TRUE(p.Pending(read)) << read.startError;
  ASSERT_TRUE(p.Pending(wait)) << wait.startError;
  bench.After(10, [&bench] { bench.Vanish(); });
  const Result r = p.Finish(read);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(p.Signalled(wait, kBoundMs));
  EXPECT_EQ(wait.mask, 0u);
  COMSTAT stat{};
  EXPECT_FALSE(p.Api().ClearCommError(p.Handle(), nullptr, &stat));
  EXPECT_EQ(p.LastError(), ERROR_ACCESS_DENIED);
  Op& again = p.Wait();
  EXPECT_FALSE(again.started);
  EXPECT_EQ(again.startError, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(p.Close());
}

void FlushWaitsUntilTheOutputHasLeft(SerialBench& bench) {
  OPEN_PORT(p);
  Op& write = p.Write("flush");
  EXPECT_TRUE(p.Api().TransmitCommChar(p.Handle(), '!')) << p.LastError();
  EXPECT_TRUE(p.Api().FlushFileBuffers(p.Handle())) << p.LastError();
  EXPECT_EQ(p.Stat().cbOutQue, 0u);
  EXPECT_TRUE(p.Finish(write).ok);
  const std::string got = bench.Receive(6);
  EXPECT_EQ(got.size(), 6u);
  EXPECT_NE(got.find('!'), std::string::npos);
}

#undef OPEN_PORT

// Differences that several rows show.
constexpr const char* kWineFirstByteMode =
    "Wine 8 leaves a read with ReadIntervalTimeout and ReadTotalTimeoutMultiplier at MAXDWORD "
    "pending, bytes there or not, past its constant; the component's time-outs are all zero";
constexpr const char* kWinePurgeAborts =
    "Wine's PurgeComm only flushes the tty's queues: a pending read or write goes on until it "
    "completes or the handle is closed";

}  // namespace

// The table. Deviations name the backend that differs and why that cannot change.
const std::vector<Row>& SerialBehaviourRows() {
  static const std::vector<Row> rows = {
      // Read time-outs.
      {"all_zero_time_outs_wait_for_every_byte", AllZeroWaitsForEveryByte, {}},
      {"maxdword_0_0_returns_at_once_with_what_is_there", ImmediateReturnsWhatIsThere,
       {{Backend::Wine,
         "Wine 8, with nothing received, leaves the read pending until bytes come "
         "instead of returning at once with none (bytes already there it returns at "
         "once); the component's time-outs are all zero"}}},
      {"maxdword_maxdword_n_returns_at_once_with_what_is_there", FirstByteModeReturnsWithWhatIsThere,
       {{Backend::Wine,
         kWineFirstByteMode}}},
      {"maxdword_maxdword_n_waits_for_the_first_byte", FirstByteModeWaitsForTheFirstByte,
       {{Backend::Wine,
         kWineFirstByteMode}}},
      {"maxdword_maxdword_n_times_out_empty_after_n", FirstByteModeTimesOutEmpty,
       {{Backend::Wine,
         kWineFirstByteMode}}},
      {"total_constant_ends_a_short_read_without_error", TotalConstantEndsAShortRead, {}},
      {"total_is_multiplier_times_count_plus_constant", TotalIsMultiplierTimesCountPlusConstant,
       {{Backend::Wine,
         "Wine's GetOverlappedResult ends a read that timed out with nothing read with "
         "FALSE and ERROR_TIMEOUT (1460), where the time-out status is a success on "
         "Windows (TRUE, 0 bytes); a timed-out read that got bytes succeeds under Wine "
         "too"}}},
      {"interval_starts_with_the_first_byte", IntervalStartsWithTheFirstByte, {}},
      {"total_ends_a_read_before_a_longer_interval", TotalEndsAReadBeforeTheInterval, {}},
      {"maxdword_interval_and_constant_are_refused", MaxdwordIntervalAndConstantAreRefused,
       {{Backend::Wine,
         "Wine's SetCommTimeouts takes any values"}}},
      {"synchronous_read_returns_true_at_its_time_out", SynchronousReadReturnsTrueAtItsTimeout, {}},
      // Write time-outs.
      {"write_total_time_out_ends_a_write_short_without_error", WriteTotalTimeoutEndsAWriteShort, {}},
      // Overlapped requests.
      {"pending_read_completes_when_the_bytes_come", PendingReadCompletesWhenTheBytesCome, {}},
      {"small_write_completes_and_signals", SmallWriteCompletesAndSignals, {}},
      {"bytes_pass_unchanged_from_the_open_on", BytesPassUnchangedFromTheOpenOn,
       {{Backend::Wine,
         "Wine leaves the tty's line discipline as it found it until SetCommState, so a fresh "
         "pty holds input back until a line end and changes what passes; the component always "
         "sets its DCB right after opening"}}},
      {"large_write_stays_pending_until_the_far_end_takes_it", LargeWriteStaysPendingUntilTheFarEndTakesIt,
       {{Backend::Wine,
         "Wine's ClearCommError counts only the tty's output queue, not the bytes of a "
         "write Wine still holds"}}},
      {"zero_length_transfers_complete_at_once", ZeroLengthTransfersCompleteAtOnce, {}},
      {"starting_a_request_resets_its_event", StartingARequestResetsItsEvent, {}},
      {"result_after_close_comes_from_the_record", ResultAfterCloseComesFromTheRecord, {}},
      // Device events.
      {"ev_rxchar_on_arrival", RxcharOnArrival, {}},
      {"ev_dsr_on_a_dsr_change", DsrChange, {}},
      {"ev_cts_on_a_cts_change", CtsChange, {}},
      {"ev_rlsd_on_a_dcd_change", RlsdChange, {}},
      {"ev_ring_on_a_ring_change", RingChange, {}},
      {"ev_err_on_a_line_error", LineErrorRaisesEvErr, {}},
      {"ev_break_on_a_break", BreakRaisesEvBreak, {}},
      {"ev_txempty_when_the_output_has_left", TxemptyWhenTheOutputHasLeft, {}},
      {"no_ev_txempty_without_output", NoTxemptyWithoutOutput, {}},
      {"ev_rxchar_is_an_arrival_not_unread_bytes", RxcharIsAnArrivalNotUnreadBytes,
       {{Backend::Wine,
         "Wine reports EV_RXCHAR to any wait that starts while unread bytes are in the "
         "input queue, not only for bytes that came since the last wait"}}},
      {"events_between_waits_go_to_the_next_wait", EventsBetweenWaitsGoToTheNextWait,
       {{Backend::Wine,
         "Wine compares the modem lines with their state when a wait starts, so a change "
         "while no wait is pending is never reported"}}},
      {"set_comm_mask_ends_a_pending_wait_with_no_bits", SetCommMaskEndsAPendingWaitWithNoBits,
       {{Backend::Wine,
         "Wine ends the pending wait with ERROR_OPERATION_ABORTED instead of success; "
         "the mask is 0 either way, which is all the component's event thread looks at"}}},
      {"a_second_wait_is_refused", ASecondWaitIsRefused, {}},
      {"a_wait_with_an_empty_mask_is_refused", AWaitWithAnEmptyMaskIsRefused,
       {{Backend::Wine,
         "Wine takes a wait with an empty mask (it waits until the mask changes)"}}},
      // Purge.
      {"purge_rxabort_ends_a_pending_read", PurgeRxabortEndsAPendingRead,
       {{Backend::Wine,
         kWinePurgeAborts}}},
      {"purge_txabort_ends_a_pending_write", PurgeTxabortEndsAPendingWrite,
       {{Backend::Wine,
         kWinePurgeAborts}}},
      {"purge_rxclear_discards_input", PurgeRxclearDiscardsInput, {}},
      {"purge_refuses_no_or_unknown_flags", PurgeRefusesUnknownFlags,
       {{Backend::Wine,
         "Wine's PurgeComm takes any flags"}}},
      // ClearCommError.
      {"fresh_port_has_no_errors_and_empty_queues", FreshPortHasNoErrorsAndEmptyQueues, {}},
      {"input_count_follows_arrivals_and_reads", InputCountFollowsArrivalsAndReads, {}},
      {"line_errors_collect_until_read", LineErrorsCollectUntilRead,
       {{Backend::Wine,
         "Wine's ClearCommError never reports line-error flags (EV_ERR and EV_BREAK "
         "still come)"}}},
      {"refused_dcb_leaves_no_mode_error", RefusedDcbLeavesNoModeError, {}},
      // Lines and status.
      {"escape_functions_drive_dtr_and_rts", EscapeFunctionsDriveDtrAndRts, {}},
      {"break_and_xon_xoff_escapes_and_an_unknown_one", OtherEscapeFunctions, {}},
      {"modem_status_follows_the_far_end", ModemStatusFollowsTheFarEnd, {}},
      // SetCommState.
      {"set_comm_state_refuses_bad_settings_and_keeps_the_old", SetCommStateRefusesBadSettingsAndKeepsTheOld,
       {{Backend::Wine,
         "Wine takes a rate of 0 (which hangs a tty up) and XonChar equal to XoffChar, "
         "and refuses a bad size, parity or stop bits with ERROR_NOT_SUPPORTED (50) "
         "instead of ERROR_INVALID_PARAMETER"}}},
      {"set_comm_state_takes_a_good_rate", SetCommStateTakesAGoodRate, {}},
      // Closing and vanishing.
      {"close_ends_every_pending_request", CloseEndsEveryPendingRequest,
       {{Backend::Wine,
         "Wine ends the transfers of a closed handle with ERROR_HANDLES_CLOSED (676) "
         "instead of ERROR_OPERATION_ABORTED, some only after CloseHandle has returned; "
         "they do end and signal"}}},
      {"vanishing_fails_pending_and_later_calls", VanishingFailsPendingAndLaterCalls,
       {{Backend::Wine,
         "on a pty whose far side closed, Wine ends the pending read with "
         "ERROR_BROKEN_PIPE (109), leaves the event wait pending and fails later calls "
         "with ERROR_NOT_READY (21) or ERROR_INVALID_PARAMETER; how a converter's own "
         "Windows driver reports its removal no pty under Wine can show"}}},
      {"flush_waits_until_the_output_has_left", FlushWaitsUntilTheOutputHasLeft, {}},
  };
  return rows;
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

TEST_P(SerialBehaviour, matches_win32) {
  if (RanInChildProcess()) return;
  const Row& row = GetParam();
  std::unique_ptr<SerialBench> bench = MakeSerialBench();
  ASSERT_NE(bench, nullptr);
  const Deviation* deviation = nullptr;
  for (const Deviation& d : row.deviations) {
    if (d.backend == bench->Kind()) deviation = &d;
  }
  if (deviation == nullptr) {
    row.run(*bench);
    return;
  }
  // The known difference must still show; what it looks like is printed for the record.
  const Backend backend = bench->Kind();
  ::testing::TestPartResultArray failures;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    row.run(*bench);
    bench.reset();
  }
  std::cout << "[ DEVIATION] " << BackendName(backend) << ": "
            << deviation->why << "\n";
  for (int i = 0; i < failures.size(); ++i) {
    std::cout << "             " << failures.GetTestPartResult(i).message() << "\n";
  }
  EXPECT_GT(failures.size(), 0) << "the backend matches Win32 here now: drop the deviation";
}

}  // namespace serialtable
