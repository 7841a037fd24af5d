// The serial backend with system calls that fail on purpose (through its SysCalls table), on a
// real pty: interrupted calls are retried, and every failure reaches the caller as the right
// Win32 code without leaking the tty's descriptor.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

#include "platform/posix/serial.h"
#include "tools/ptymodem/pty.h"

namespace plat::posix {
namespace {

struct Faults {
  std::atomic<int> eintrStat{0}, eintrOpen{0}, eintrFlock{0}, eintrIoctl{0}, eintrRead{0},
      eintrWrite{0}, eintrEpoll{0};
  std::atomic<int> statErrno{0}, openErrno{0}, flockErrno{0}, readErrno{0}, eventFdErrno{0};
  std::atomic<unsigned long> ioctlRequest{0};
  std::atomic<int> ioctlErrno{0};
  std::mutex mutex;
  std::set<int> ttys;  // descriptors opened and not yet closed
} g;

bool Interrupted(std::atomic<int>& budget) {
  if (budget.load() <= 0 || budget.fetch_sub(1) <= 0) return false;
  errno = EINTR;
  return true;
}

// Calls real unless an EINTR is due or an errno is set for this call.
template <class Result, class... Args>
Result Gate(std::atomic<int>& eintr, std::atomic<int>& err, Result (*real)(Args...), Args... args) {
  if (Interrupted(eintr)) return -1;
  if (const int e = err.load()) {
    errno = e;
    return -1;
  }
  return real(args...);
}

std::atomic<int> g_never{0};

SysCalls MakeFaulty() {
  SysCalls s = RealSysCalls();
  s.Stat = [](const char* p, struct stat* st) { return Gate(g.eintrStat, g.statErrno, RealSysCalls().Stat, p, st); };
  s.Open = [](const char* path, int flags) {
    const int fd = Gate(g.eintrOpen, g.openErrno, RealSysCalls().Open, path, flags);
    std::lock_guard<std::mutex> lock(g.mutex);
    if (fd >= 0) g.ttys.insert(fd);
    return fd;
  };
  s.Close = [](int fd) {
    {
      std::lock_guard<std::mutex> lock(g.mutex);
      g.ttys.erase(fd);
    }
    return RealSysCalls().Close(fd);
  };
  s.Flock = [](int fd, int op) { return Gate(g.eintrFlock, g.flockErrno, RealSysCalls().Flock, fd, op); };
  s.Ioctl = [](int fd, unsigned long request, void* arg) {
    std::atomic<int>& err = request == g.ioctlRequest ? g.ioctlErrno : g_never;
    return Gate(g.eintrIoctl, err, RealSysCalls().Ioctl, fd, request, arg);
  };
  s.Read = [](int fd, void* b, std::size_t n) { return Gate(g.eintrRead, g.readErrno, RealSysCalls().Read, fd, b, n); };
  s.Write = [](int fd, const void* b, std::size_t n) { return Gate(g.eintrWrite, g_never, RealSysCalls().Write, fd, b, n); };
  s.EventFd = [](unsigned int i, int f) { return Gate(g_never, g.eventFdErrno, RealSysCalls().EventFd, i, f); };
  s.EpollWait = [](int e, epoll_event* ev, int m, int t) { return Gate(g.eintrEpoll, g_never, RealSysCalls().EpollWait, e, ev, m, t); };
  return s;
}

const SysCalls kFaulty = MakeFaulty();

class SerialFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    for (auto* budget : {&g.eintrStat, &g.eintrOpen, &g.eintrFlock, &g.eintrIoctl, &g.eintrRead,
                         &g.eintrWrite, &g.eintrEpoll, &g.statErrno, &g.openErrno, &g.flockErrno,
                         &g.readErrno, &g.eventFdErrno, &g.ioctlErrno})
      budget->store(0);
    g.ioctlRequest = 0;
  }
  void TearDown() override {
    serial_.reset();
    std::lock_guard<std::mutex> lock(g.mutex);
    EXPECT_TRUE(g.ttys.empty()) << "a tty descriptor was left open";
  }
  HANDLE Open() {
    return serial_->CreateFileA(pty_.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  }
  bool InputArrived(HANDLE h, DWORD count) {
    for (int i = 0; i < 5000; ++i) {
      COMSTAT stat{};
      if (serial_->ClearCommError(h, nullptr, &stat) && stat.cbInQue >= count) return true;
      kernel_.Sleep(1);
    }
    return false;
  }

  Kernel kernel_;
  ptymodem::Pty pty_;
  std::unique_ptr<Serial> serial_ = std::make_unique<Serial>(kernel_, kFaulty);
};

TEST_F(SerialFaults, interrupted_calls_are_retried) {
  g.eintrStat = 2;
  g.eintrOpen = 2;
  g.eintrFlock = 1;
  g.eintrIoctl = 3;
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
  DCB dcb{};
  g.eintrIoctl = 2;
  ASSERT_TRUE(serial_->GetCommState(h, &dcb));

  ASSERT_TRUE(pty_.Send("ab"));
  ASSERT_TRUE(InputArrived(h, 2));
  g.eintrRead = 2;
  g.eintrWrite = 2;
  char buffer[2] = {};
  DWORD done = 0;
  OVERLAPPED ov{};
  ASSERT_TRUE(serial_->ReadFile(h, buffer, 2, &done, &ov));
  EXPECT_EQ(std::string(buffer, done), "ab");
  ASSERT_TRUE(serial_->WriteFile(h, "cd", 2, &done, &ov));
  EXPECT_EQ(pty_.Receive(2), "cd");

  // A pending read served by the I/O thread, whose waits are interrupted too.
  g.eintrEpoll = 2;
  ov = {};
  ov.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  ASSERT_FALSE(serial_->ReadFile(h, buffer, 1, &done, &ov));
  g.eintrRead = 1;
  ASSERT_TRUE(pty_.Send("e"));
  ASSERT_EQ(kernel_.WaitForSingleObject(ov.hEvent, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(serial_->GetOverlappedResult(h, &ov, &done, FALSE));
  EXPECT_EQ(buffer[0], 'e');
  kernel_.CloseEvent(ov.hEvent);

  for (auto* budget : {&g.eintrStat, &g.eintrOpen, &g.eintrFlock, &g.eintrIoctl, &g.eintrRead, &g.eintrWrite})
    EXPECT_LE(budget->load(), 0) << "an injected EINTR was never reached";
}

TEST_F(SerialFaults, open_failures) {
  struct Row {
    const char* what;
    std::atomic<int>* fault;
    int err;
    unsigned long request;
    DWORD code;
  } rows[] = {
      {"no device node", &g.statErrno, ENOENT, 0, ERROR_FILE_NOT_FOUND},
      {"busy (TIOCEXCL of another program)", &g.openErrno, EBUSY, 0, ERROR_ACCESS_DENIED},
      {"no permission", &g.openErrno, EACCES, 0, ERROR_ACCESS_DENIED},
      {"node without hardware", &g.openErrno, ENXIO, 0, ERROR_FILE_NOT_FOUND},
      {"locked by another process", &g.flockErrno, EWOULDBLOCK, 0, ERROR_ACCESS_DENIED},
      {"not a tty", &g.ioctlErrno, ENOTTY, TCGETS2, ERROR_FILE_NOT_FOUND},
      {"raw mode refused", &g.ioctlErrno, EIO, TCSETS2, ERROR_GEN_FAILURE},
  };
  for (const Row& row : rows) {
    g.ioctlRequest = row.request;
    row.fault->store(row.err);
    kernel_.SetLastError(0);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE) << row.what;
    EXPECT_EQ(kernel_.GetLastError(), row.code) << row.what;
    row.fault->store(0);
    std::lock_guard<std::mutex> lock(g.mutex);
    EXPECT_TRUE(g.ttys.empty()) << row.what << ": descriptor leaked";
  }
  HANDLE h = Open();
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "a failed open must not leave the device marked open";
}

TEST_F(SerialFaults, io_error_during_a_pending_read_is_an_unplug) {
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  OVERLAPPED ov{};
  ov.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  char buffer[4];
  DWORD done = 0;
  ASSERT_FALSE(serial_->ReadFile(h, buffer, 4, &done, &ov));
  ASSERT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
  g.readErrno = EIO;
  ASSERT_TRUE(pty_.Send("x"));  // wakes the I/O thread, whose read then fails
  ASSERT_EQ(kernel_.WaitForSingleObject(ov.hEvent, 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(serial_->GetOverlappedResult(h, &ov, &done, FALSE));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(serial_->WriteFile(h, "y", 1, &done, &ov));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(serial_->CloseHandle(h));
  kernel_.CloseEvent(ov.hEvent);
}

TEST_F(SerialFaults, failing_ioctls_on_an_open_port) {
  struct Row {
    const char* what;
    unsigned long request;
    int err;
    BOOL (*call)(Serial&, HANDLE);
    DWORD code;
  } rows[] = {
      {"modem status, no lines", TIOCMGET, EINVAL, [](Serial& s, HANDLE h) { DWORD st; return s.GetCommModemStatus(h, &st); }, ERROR_NOT_SUPPORTED},
      {"DTR, no lines", TIOCMBIS, ENOTTY, [](Serial& s, HANDLE h) { return s.EscapeCommFunction(h, SETDTR); }, ERROR_NOT_SUPPORTED},
      {"break, no lines", TIOCSBRK, ENOTTY, [](Serial& s, HANDLE h) { return s.SetCommBreak(h); }, ERROR_NOT_SUPPORTED},
      {"flush refused", TCFLSH, EBADF, [](Serial& s, HANDLE h) { return s.PurgeComm(h, PURGE_RXCLEAR); }, ERROR_INVALID_HANDLE},
      {"settings after an unplug", TCGETS2, EIO, [](Serial& s, HANDLE h) { DCB d; return s.GetCommState(h, &d); }, ERROR_ACCESS_DENIED},
  };
  for (const Row& row : rows) {
    HANDLE h = Open();
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << row.what;
    g.ioctlRequest = row.request;
    g.ioctlErrno = row.err;
    EXPECT_FALSE(row.call(*serial_, h)) << row.what;
    EXPECT_EQ(kernel_.GetLastError(), row.code) << row.what;
    g.ioctlErrno = 0;
    const bool unplugged = row.code == ERROR_ACCESS_DENIED;
    COMMTIMEOUTS t{};
    EXPECT_EQ(serial_->GetCommTimeouts(h, &t), unplugged ? FALSE : TRUE) << row.what << ": only an unplug is lasting";
    EXPECT_TRUE(serial_->CloseHandle(h)) << row.what;
  }
}

TEST_F(SerialFaults, an_operation_that_cannot_start_its_thread_fails) {
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  g.eventFdErrno = EMFILE;
  OVERLAPPED ov{};
  ov.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  char buffer[1];
  DWORD done = 0;
  EXPECT_FALSE(serial_->ReadFile(h, buffer, 1, &done, &ov));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << "must not claim to be pending";
  g.eventFdErrno = 0;
  EXPECT_FALSE(serial_->ReadFile(h, buffer, 1, &done, &ov));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
  EXPECT_TRUE(serial_->CloseHandle(h));
  EXPECT_EQ(ov.Internal, ERROR_OPERATION_ABORTED);
  kernel_.CloseEvent(ov.hEvent);
}

}  // namespace
}  // namespace plat::posix
