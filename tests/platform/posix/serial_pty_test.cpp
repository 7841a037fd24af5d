// The POSIX serial backend on real ptys: the test plays the far end on the master side.
// Every wait is bounded (5 s); nothing here measures time. What every backend does alike is in
// the serial behaviour table (tests/platform/serial_behaviour.cpp); here is what is this
// backend's own: names and opening, raw mode, a caller driving its own read, a plain pty.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <thread>

#include "platform/posix/serial.h"
#include "tools/ptymodem/pty.h"

namespace plat::posix {
namespace {

constexpr DWORD kWaitMs = 5000;

// An OVERLAPPED with its own manual-reset event.
struct Overlapped {
  explicit Overlapped(Kernel& kernel) : kernel(kernel) { ov.hEvent = kernel.CreateEventA(TRUE, FALSE); }
  ~Overlapped() { kernel.CloseEvent(ov.hEvent); }
  bool Signalled(DWORD ms = kWaitMs) { return kernel.WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
  Kernel& kernel;
  OVERLAPPED ov{};
};

class SerialPty : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty_.ok()); }

  HANDLE Open(DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = FILE_FLAG_OVERLAPPED) {
    return serial_.CreateFileA(pty_.DeviceName().c_str(), access, 0, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | flags);
  }
  HANDLE OpenPort() {
    HANDLE h = Open();
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
    return h;
  }
  // Waits until the slave's input queue holds count bytes (the pty hands bytes over on a
  // kernel worker, a moment after the master's write).
  bool InputArrived(HANDLE h, DWORD count) {
    for (int i = 0; i < 5000; ++i) {
      COMSTAT stat{};
      DWORD errors = 0;
      if (!serial_.ClearCommError(h, &errors, &stat)) return false;
      if (stat.cbInQue >= count) return true;
      kernel_.Sleep(1);
    }
    return false;
  }
  void SetReadTimeouts(HANDLE h, DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
    ASSERT_TRUE(serial_.SetCommTimeouts(h, &t));
  }

  Kernel kernel_;
  ptymodem::Pty pty_;
  Serial serial_{kernel_};
};

// ----------------------------------------------------------------------------------- open

TEST(SerialOpen, refused_names) {
  Kernel kernel;
  Serial serial(kernel);
  struct Row {
    const char* name;
    DWORD code;
  } rows[] = {
      {"\\\\.\\ttyNoSuchDevice", ERROR_FILE_NOT_FOUND},
      {"COM1", ERROR_FILE_NOT_FOUND},
      {"\\\\.\\null", ERROR_FILE_NOT_FOUND},  // a character device, but no tty
      {"\\\\.\\pts", ERROR_FILE_NOT_FOUND},   // a directory
      {"\\\\.\\../dev/null", ERROR_FILE_NOT_FOUND},
      {"\\\\.\\pts/../null", ERROR_FILE_NOT_FOUND},
      {"\\\\.\\/dev/null", ERROR_FILE_NOT_FOUND},
      {"", ERROR_FILE_NOT_FOUND},
  };
  for (const Row& row : rows) {
    kernel.SetLastError(0);
    EXPECT_EQ(serial.CreateFileA(row.name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED),
              INVALID_HANDLE_VALUE)
        << row.name;
    EXPECT_EQ(kernel.GetLastError(), row.code) << row.name;
  }
}

TEST_F(SerialPty, open_is_exclusive_until_closed_and_handles_are_not_reused) {
  HANDLE first = OpenPort();
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);
  Serial other(kernel_);
  EXPECT_EQ(other.CreateFileA(pty_.DeviceName().c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);

  ASSERT_TRUE(serial_.CloseHandle(first));
  HANDLE second = OpenPort();
  EXPECT_NE(second, first);
  DCB dcb{};
  EXPECT_FALSE(serial_.GetCommState(first, &dcb));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(serial_.CloseHandle(first));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(SerialPty, trial_open_for_reading_only) {
  HANDLE trial = Open(GENERIC_READ, 0);
  ASSERT_NE(trial, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_FALSE(serial_.WriteFile(trial, "x", 1, &written, nullptr));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(serial_.CloseHandle(trial));
  HANDLE port = OpenPort();
  EXPECT_TRUE(serial_.CloseHandle(port));
}

// ------------------------------------------------------------------------------- settings

TEST_F(SerialPty, dcb_round_trip_through_the_kernel) {
  HANDLE h = OpenPort();
  // A second descriptor reads what the kernel holds (root passes TIOCEXCL).
  const int probe = open(pty_.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  // A pty keeps any rate (250000 through BOTHER) and the stop bits but forces 8 data bits
  // without parity; what it reverts must be refused, not reported as set.
  struct Row {
    DWORD rate;
    BYTE size, parity, stop;
    bool taken;
  } rows[] = {
      {9600, 8, NOPARITY, ONESTOPBIT, true},
      {19200, 8, NOPARITY, TWOSTOPBITS, true},
      {250000, 8, NOPARITY, ONESTOPBIT, true},
      {2400, 7, EVENPARITY, ONESTOPBIT, false},
      {115200, 8, MARKPARITY, ONESTOPBIT, false},
  };
  for (const Row& row : rows) {
    DCB dcb{};
    ASSERT_TRUE(serial_.GetCommState(h, &dcb));
    const DCB before = dcb;
    dcb.BaudRate = row.rate;
    dcb.ByteSize = row.size;
    dcb.Parity = row.parity;
    dcb.StopBits = row.stop;
    dcb.XonLim = 123;  // held by the backend, not by termios
    EXPECT_EQ(serial_.SetCommState(h, &dcb), row.taken ? TRUE : FALSE) << row.rate;
    const DCB& expected = row.taken ? dcb : before;
    if (!row.taken) {
      EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);
    }
    DCB back{};
    ASSERT_TRUE(serial_.GetCommState(h, &back));
    EXPECT_EQ(back.BaudRate, expected.BaudRate) << row.rate;
    EXPECT_EQ(back.ByteSize, expected.ByteSize) << row.rate;
    EXPECT_EQ(back.Parity, expected.Parity) << row.rate;
    EXPECT_EQ(back.StopBits, expected.StopBits) << row.rate;
    EXPECT_EQ(back.XonLim, expected.XonLim) << row.rate;
    if (probe >= 0) {
      termios2 kernelSide{};
      ASSERT_EQ(ioctl(probe, TCGETS2, &kernelSide), 0);
      EXPECT_EQ(kernelSide.c_ospeed, expected.BaudRate) << row.rate;
      EXPECT_EQ((kernelSide.c_cflag & CSTOPB) != 0, expected.StopBits == TWOSTOPBITS) << row.rate;
      EXPECT_EQ(kernelSide.c_lflag & (ICANON | ECHO), 0u);
    }
  }
  if (probe >= 0) close(probe);
}

TEST_F(SerialPty, bytes_pass_unchanged_both_ways_and_a_write_completes_at_once) {
  HANDLE h = OpenPort();
  const std::string far("\r\n\x03\x11\x13\x7f\x00\xff", 8);  // CR, LF, ^C, XON, XOFF, DEL, NUL
  ASSERT_TRUE(pty_.Send(far));
  Overlapped read(kernel_);
  char buffer[8] = {};
  DWORD got = 0;
  if (!serial_.ReadFile(h, buffer, 8, &got, &read.ov)) {
    ASSERT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(serial_.GetOverlappedResult(h, &read.ov, &got, TRUE));
  }
  EXPECT_EQ(std::string(buffer, got), far);

  Overlapped write(kernel_);
  ASSERT_TRUE(serial_.WriteFile(h, far.data(), 8, &got, &write.ov));
  EXPECT_EQ(got, 8u);
  EXPECT_TRUE(write.Signalled(0)) << "a completion at once must still signal the event";
  EXPECT_EQ(pty_.Receive(8), far);
}

// ------------------------------------------------------------------------------ transfers

// A table row's test name: its description with every other character made '_'.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.what;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// A caller blocked in GetOverlappedResult on its own read polls the tty itself; whatever ends
// the read from elsewhere must still end that wait, with the right result.
struct WaitedReadCase {
  const char* what;
  DWORD constant;  // ReadTotalTimeoutConstant; 0: none
  // Runs on another thread while the caller waits; gets the test and the handle.
  void (*act)(SerialPty&, Serial&, ptymodem::Pty&, HANDLE);
  BOOL ok;
  DWORD error;  // when !ok
  const char* expected;
};

void PrintTo(const WaitedReadCase& c, std::ostream* os) { *os << c.what; }

class WaitedRead : public SerialPty, public ::testing::WithParamInterface<WaitedReadCase> {};

TEST_P(WaitedRead, ends_with_the_reads_result) {
  const WaitedReadCase& c = GetParam();
  HANDLE h = OpenPort();
  SetReadTimeouts(h, 0, 0, c.constant);
  Overlapped read(kernel_);
  char buffer[4] = {};
  DWORD got = 0;
  ASSERT_FALSE(serial_.ReadFile(h, buffer, 4, &got, &read.ov));
  ASSERT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
  std::thread other([&] {
    kernel_.Sleep(30);  // the caller is in its wait by then (if not, it finds the result)
    c.act(*this, serial_, pty_, h);
  });
  const BOOL ok = serial_.GetOverlappedResult(h, &read.ov, &got, TRUE);
  const DWORD error = kernel_.GetLastError();
  other.join();
  EXPECT_EQ(ok, c.ok) << c.what;
  if (c.ok) {
    EXPECT_EQ(std::string(buffer, got), c.expected) << c.what;
  } else {
    EXPECT_EQ(error, c.error) << c.what;
  }
  serial_.CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WaitedRead,
    ::testing::Values(
        WaitedReadCase{"bytes from the far end", 0,
                       [](SerialPty&, Serial&, ptymodem::Pty& pty, HANDLE) {
                         pty.Send("ab");
                         pty.Send("cd");
                       },
                       TRUE, 0, "abcd"},
        WaitedReadCase{"total time-out with some bytes", 1000,
                       [](SerialPty&, Serial&, ptymodem::Pty& pty, HANDLE) { pty.Send("x"); },
                       TRUE, 0, "x"},
        WaitedReadCase{"abort from another thread", 0,
                       [](SerialPty&, Serial& serial, ptymodem::Pty&, HANDLE h) {
                         serial.PurgeComm(h, PURGE_RXABORT);
                       },
                       FALSE, ERROR_OPERATION_ABORTED, ""},
        WaitedReadCase{"the far end goes away", 0,
                       [](SerialPty&, Serial&, ptymodem::Pty& pty, HANDLE) { pty.CloseMaster(); },
                       FALSE, ERROR_ACCESS_DENIED, ""},
        WaitedReadCase{"a large write finishes meanwhile", 0,
                       [](SerialPty&, Serial& serial, ptymodem::Pty& pty, HANDLE h) {
                         // The write goes pending on the I/O thread while the read is waited
                         // for; the far end takes it all, then answers.
                         static std::string data(1 << 18, 'w');
                         OVERLAPPED write{};
                         DWORD written = 0;
                         serial.WriteFile(h, data.data(), static_cast<DWORD>(data.size()),
                                          &written, &write);
                         pty.Receive(data.size());
                         pty.Send("done");
                         serial.GetOverlappedResult(h, &write, &written, TRUE);
                       },
                       TRUE, 0, "done"}),
    CaseName<WaitedReadCase>);

TEST_F(SerialPty, close_from_another_thread_ends_a_waited_read) {
  HANDLE h = OpenPort();
  Overlapped read(kernel_);
  char buffer[4] = {};
  DWORD got = 0;
  ASSERT_FALSE(serial_.ReadFile(h, buffer, 4, &got, &read.ov));
  std::thread closer([&] {
    kernel_.Sleep(30);
    serial_.CloseHandle(h);
  });
  // The handle may be gone when the wait starts: then the call is refused instead.
  const BOOL ok = serial_.GetOverlappedResult(h, &read.ov, &got, TRUE);
  closer.join();
  EXPECT_FALSE(ok);
  const DWORD error = kernel_.GetLastError();
  EXPECT_TRUE(error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE) << error;
  EXPECT_TRUE(read.Signalled(0));
}

TEST_F(SerialPty, synchronous_handle_blocks_until_done) {
  HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(pty_.Send("ab"));
  ASSERT_TRUE(InputArrived(h, 2));
  SetReadTimeouts(h, 0, 0, 50);
  char buffer[4] = {};
  DWORD got = 0;
  // Three asked, two there: returns (short) only when the total time-out has run out.
  ASSERT_TRUE(serial_.ReadFile(h, buffer, 3, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "ab");
  DWORD written = 0;
  ASSERT_TRUE(serial_.WriteFile(h, "cd", 2, &written, nullptr));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(pty_.Receive(2), "cd");
}

// ------------------------------------------------------------------------- device events

TEST_F(SerialPty, events_between_waits_wait_for_the_next_wait_until_the_mask_is_set_again) {
  HANDLE h = OpenPort();
  ASSERT_TRUE(serial_.SetCommMask(h, EV_RXCHAR));
  ASSERT_TRUE(pty_.Send("a"));
  ASSERT_TRUE(InputArrived(h, 1));
  Overlapped wait(kernel_);
  DWORD mask = 0;
  ASSERT_TRUE(serial_.WaitCommEvent(h, &mask, &wait.ov));
  EXPECT_EQ(mask, EV_RXCHAR);

  ASSERT_TRUE(pty_.Send("b"));
  ASSERT_TRUE(InputArrived(h, 2));
  ASSERT_TRUE(serial_.SetCommMask(h, EV_RXCHAR));  // forgets what came before
  kernel_.ResetEvent(wait.ov.hEvent);
  EXPECT_FALSE(serial_.WaitCommEvent(h, &mask, &wait.ov));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
  ASSERT_TRUE(serial_.CloseHandle(h));  // ends the wait while mask and wait still exist
}

TEST_F(SerialPty, modem_lines_are_not_supported_on_a_plain_pty) {
  HANDLE h = OpenPort();
  DWORD status = 0;
  EXPECT_FALSE(serial_.GetCommModemStatus(h, &status));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_NOT_SUPPORTED);
  for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS}) {
    EXPECT_FALSE(serial_.EscapeCommFunction(h, function)) << function;
    EXPECT_EQ(kernel_.GetLastError(), ERROR_NOT_SUPPORTED) << function;
  }
  EXPECT_TRUE(serial_.SetCommBreak(h));
  EXPECT_TRUE(serial_.ClearCommBreak(h));
  EXPECT_FALSE(serial_.EscapeCommFunction(h, 42));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);

  // The DCB's DTR/RTS modes have no lines to act on, which is no error.
  DCB dcb{};
  ASSERT_TRUE(serial_.GetCommState(h, &dcb));
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  EXPECT_TRUE(serial_.SetCommState(h, &dcb));

  // A mask with modem events still serves the others.
  ASSERT_TRUE(serial_.SetCommMask(h, EV_DSR | EV_CTS | EV_RXCHAR));
  Overlapped wait(kernel_);
  DWORD mask = 0;
  ASSERT_FALSE(serial_.WaitCommEvent(h, &mask, &wait.ov));
  ASSERT_TRUE(pty_.Send("a"));
  ASSERT_TRUE(wait.Signalled());
  EXPECT_EQ(mask, EV_RXCHAR);
}

// ------------------------------------------------------------------ properties and records

TEST_F(SerialPty, properties_follow_setup_comm) {
  HANDLE h = OpenPort();
  COMMPROP p{};
  ASSERT_TRUE(serial_.GetCommProperties(h, &p));
  EXPECT_EQ(p.dwCurrentRxQueue, 4096u);
  EXPECT_EQ(p.dwCurrentTxQueue, 2048u);
  ASSERT_TRUE(serial_.SetupComm(h, 64000, 1024));
  ASSERT_TRUE(serial_.GetCommProperties(h, &p));
  EXPECT_EQ(p.dwCurrentRxQueue, 64000u);
  EXPECT_EQ(p.dwCurrentTxQueue, 1024u);
}

TEST_F(SerialPty, default_config_records) {
  const std::string name = pty_.DeviceName();
  COMMCONFIG config{};
  DWORD size = 10;
  EXPECT_FALSE(serial_.GetDefaultCommConfigA(name.c_str(), &config, &size));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(size, sizeof(COMMCONFIG));
  ASSERT_TRUE(serial_.GetDefaultCommConfigA(name.c_str(), &config, &size));
  config.dcb.BaudRate = 250000;
  ASSERT_TRUE(serial_.SetDefaultCommConfigA(name.c_str(), &config, sizeof(COMMCONFIG)));
  COMMCONFIG back{};
  ASSERT_TRUE(serial_.GetDefaultCommConfigA(name.c_str(), &back, &size));
  EXPECT_EQ(back.dcb.BaudRate, 250000u);
  config.dcb.ByteSize = 9;
  EXPECT_FALSE(serial_.SetDefaultCommConfigA(name.c_str(), &config, sizeof(COMMCONFIG)));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(serial_.CommConfigDialogA(name.c_str(), nullptr, &config));
  EXPECT_EQ(kernel_.GetLastError(), ERROR_CANCELLED);
}

}  // namespace
}  // namespace plat::posix
