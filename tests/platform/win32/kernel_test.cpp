// The Win32 kernel pass-through: events keep their reset kind and initial state apart, the
// last error and thread identity are the system's own, error texts come without line breaks,
// and the clock counts microseconds.
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <string>
#include <thread>

#include "platform/errortext.h"
#include "platform/win32/kernel.h"

namespace {

struct EventCase {
  const char* name;
  BOOL manualReset;
  BOOL initialState;
  // WaitForSingleObject(0) results: first and second wait without a SetEvent in between.
  DWORD firstWait;
  DWORD secondWait;
};
void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class Win32EventTest : public testing::TestWithParam<EventCase> {};

TEST_P(Win32EventTest, reset_kind_and_initial_state) {
  const EventCase& c = GetParam();
  plat::win32::Kernel kernel;
  HANDLE event = kernel.CreateEventA(c.manualReset, c.initialState);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), c.firstWait);
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), c.secondWait);
  // Signalled again: an auto-reset event lets exactly one wait through, a manual one all.
  ASSERT_TRUE(kernel.SetEvent(event));
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), c.manualReset ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
  ASSERT_TRUE(kernel.ResetEvent(event));
  EXPECT_EQ(kernel.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(kernel.CloseEvent(event));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Win32EventTest,
    testing::Values(EventCase{"auto_clear", FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
                    EventCase{"auto_set", FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
                    EventCase{"manual_clear", TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
                    EventCase{"manual_set", TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0}),
    [](const testing::TestParamInfo<EventCase>& info) { return std::string(info.param.name); });

TEST(Win32KernelTest, last_error_is_the_systems_own_per_thread) {
  plat::win32::Kernel kernel;
  kernel.SetLastError(1167);
  EXPECT_EQ(::GetLastError(), 1167u);
  ::SetLastError(995);
  EXPECT_EQ(kernel.GetLastError(), 995u);

  // The other thread starts with its own 0 and its code does not reach this one. Checked
  // before the join: ending a thread may itself touch this thread's last error.
  std::atomic<bool> done{false};
  DWORD otherError = 1;
  DWORD otherId = 0;
  std::thread other([&] {
    otherError = kernel.GetLastError();
    kernel.SetLastError(1167);
    otherId = kernel.GetCurrentThreadId();
    done.store(true);
  });
  ::SetLastError(995);
  while (!done.load()) {
  }
  EXPECT_EQ(kernel.GetLastError(), 995u);
  other.join();
  EXPECT_EQ(otherError, 0u);
  EXPECT_EQ(kernel.GetCurrentThreadId(), ::GetCurrentThreadId());
  EXPECT_NE(otherId, kernel.GetCurrentThreadId());
}

TEST(Win32KernelTest, error_texts_have_no_trailing_line_break) {
  plat::win32::Kernel kernel;
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
                     ERROR_NOT_SUPPORTED, ERROR_OPERATION_ABORTED}) {
    const std::string text = kernel.SysErrorMessage(code);
    SCOPED_TRACE(code);
    ASSERT_FALSE(text.empty());
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

TEST(Win32KernelTest, code_without_system_text_gets_the_portable_text) {
  plat::win32::Kernel kernel;
  // A customer code (bit 29): the system has no text for it.
  const DWORD code = 0x2000ABCDu;
  EXPECT_EQ(kernel.SysErrorMessage(code), plat::Win32ErrorText(code));
}

TEST(Win32KernelTest, clock_counts_microseconds) {
  plat::win32::Kernel kernel;
  // Compared with the system time (100 ns units) over a short busy stretch: a wrong unit is
  // off by a factor of a thousand, scheduling noise by far less than two.
  auto ticks = [](const FILETIME& t) {
    return (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  FILETIME start;
  FILETIME end;
  ::GetSystemTimePreciseAsFileTime(&start);
  const std::int64_t clockStart = kernel.NowMicroseconds();
  do {
    ::GetSystemTimePreciseAsFileTime(&end);
  } while (ticks(end) - ticks(start) < 300000);
  const std::int64_t clockNow = kernel.NowMicroseconds();
  const double systemMicroseconds = static_cast<double>(ticks(end) - ticks(start)) / 10.0;
  const double ratio = static_cast<double>(clockNow - clockStart) / systemMicroseconds;
  EXPECT_GT(ratio, 0.5);
  EXPECT_LT(ratio, 2.0);
}

}  // namespace
