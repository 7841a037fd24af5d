// The POSIX serial backend when the system gives it no thread (a process or memory limit):
// whatever needs its I/O thread fails at once with ERROR_NOT_ENOUGH_MEMORY instead of staying
// pending with nobody to complete it, and the port still closes.
#include <gtest/gtest.h>

#include <functional>

#include "platform/posix/serial.h"
#include "tools/ptymodem/pty.h"

namespace plat::posix {
namespace {

class NoThreadKernel : public Kernel {
 public:
  BOOL CreateThread(std::function<void()>, std::thread*) override {
    ++asked;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  int asked = 0;
};

struct ThreadRow {
  const char* name;
  std::function<BOOL(SerialApi& serial, HANDLE port, OVERLAPPED* ov)> call;
};

void PrintTo(const ThreadRow& row, std::ostream* os) { *os << row.name; }

class SerialWithoutThreads : public ::testing::TestWithParam<ThreadRow> {};

TEST_P(SerialWithoutThreads, fails_at_once_with_out_of_memory) {
  ptymodem::Pty pty;
  ASSERT_TRUE(pty.ok());
  NoThreadKernel kernel;
  Serial serial(kernel);
  const HANDLE port = serial.CreateFileA(pty.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE,
                                         0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << kernel.GetLastError();
  OVERLAPPED ov{};
  ov.hEvent = kernel.CreateEventA(TRUE, FALSE);
  EXPECT_FALSE(GetParam().call(serial, port, &ov));
  EXPECT_EQ(kernel.GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_GT(kernel.asked, 0);
  EXPECT_TRUE(serial.CloseHandle(port));
  kernel.CloseEvent(ov.hEvent);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SerialWithoutThreads,
    ::testing::Values(
        ThreadRow{"read",
                  [](SerialApi& serial, HANDLE port, OVERLAPPED* ov) {
                    char byte = 0;
                    DWORD got = 0;
                    return serial.ReadFile(port, &byte, 1, &got, ov);
                  }},
        ThreadRow{"event_wait",
                  [](SerialApi& serial, HANDLE port, OVERLAPPED* ov) {
                    DWORD mask = 0;
                    if (!serial.SetCommMask(port, EV_RXCHAR)) return TRUE;
                    return serial.WaitCommEvent(port, &mask, ov);
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plat::posix
