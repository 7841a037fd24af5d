// The serial pass-through's transfers and errors, on what every machine has: a missing device,
// and overlapped reads and writes on a file opened through it (the same calls, buffers and
// completion events as on a port), with the kernel's events signalled on completion.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/win32/kernel.h"
#include "platform/win32/serial.h"

namespace {

struct MissingCase {
  const char* label;
  const char* name;
};
void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.label; }

class Win32SerialMissingTest : public testing::TestWithParam<MissingCase> {};

TEST_P(Win32SerialMissingTest, missing_device_fails_with_file_not_found) {
  plat::win32::Serial serial;
  ::SetLastError(0);
  HANDLE device = serial.CreateFileA(GetParam().name, GENERIC_READ | GENERIC_WRITE, 0,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  EXPECT_EQ(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), ERROR_FILE_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Win32SerialMissingTest,
    testing::Values(MissingCase{"device_path", "\\\\.\\COM219"}, MissingCase{"plain", "COM219"}),
    [](const testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.label); });

class Win32SerialFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char directory[MAX_PATH];
    ASSERT_GT(::GetTempPathA(MAX_PATH, directory), 0u);
    char path[MAX_PATH];
    ASSERT_NE(::GetTempFileNameA(directory, "lcd", 0, path), 0u);
    path_ = path;
    file_ = serial_.CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED);
    ASSERT_NE(file_, INVALID_HANDLE_VALUE) << ::GetLastError();
  }
  void TearDown() override {
    if (file_ != INVALID_HANDLE_VALUE) serial_.CloseHandle(file_);
    ::DeleteFileA(path_.c_str());
  }

  plat::win32::Kernel kernel_;
  plat::win32::Serial serial_;
  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

TEST_F(Win32SerialFileTest, overlapped_write_then_read_signals_and_counts) {
  const std::string text = "\xBA\xA5\xA3" "15_1_\xFA";
  OVERLAPPED write{};
  write.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  DWORD written = 0;
  if (!serial_.WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, &write)) {
    ASSERT_EQ(::GetLastError(), ERROR_IO_PENDING);
  }
  ASSERT_TRUE(serial_.GetOverlappedResult(file_, &write, &written, TRUE));
  EXPECT_EQ(written, text.size());
  EXPECT_EQ(kernel_.WaitForSingleObject(write.hEvent, 0), WAIT_OBJECT_0);

  char buffer[32] = {};
  OVERLAPPED read{};
  read.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  DWORD got = 0;
  if (!serial_.ReadFile(file_, buffer, sizeof buffer, &got, &read)) {
    ASSERT_EQ(::GetLastError(), ERROR_IO_PENDING);
  }
  ASSERT_TRUE(serial_.GetOverlappedResult(file_, &read, &got, TRUE));
  EXPECT_EQ(std::string(buffer, got), text);
  EXPECT_EQ(kernel_.WaitForSingleObject(read.hEvent, 0), WAIT_OBJECT_0);
  kernel_.CloseEvent(write.hEvent);
  kernel_.CloseEvent(read.hEvent);
}

}  // namespace
