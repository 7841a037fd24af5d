// The Win32 system pass-through: registry reads (a leading backslash allowed), the device-name
// list and its all-or-nothing size rule, priorities reaching the right process and thread, and
// the version resource, program path and current directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/system.h"
#include "platform/win32/timerresolution.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Every Windows (and every Wine prefix) has this key with this value.
constexpr char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct OpenCase {
  const char* name;
  const char* path;
  LONG expected;
};
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class Win32RegistryOpenTest : public testing::TestWithParam<OpenCase> {};

TEST_P(Win32RegistryOpenTest, opens_below_local_machine) {
  plat::win32::System system;
  HKEY key = nullptr;
  EXPECT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, GetParam().path, &key), GetParam().expected);
  if (key != nullptr) {
    EXPECT_EQ(system.RegCloseKey(key), ERROR_SUCCESS);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Win32RegistryOpenTest,
    testing::Values(
        OpenCase{"plain", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", ERROR_SUCCESS},
        OpenCase{"leading_backslash", "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                 ERROR_SUCCESS},
        OpenCase{"other_case", "software\\microsoft\\windows nt\\currentversion", ERROR_SUCCESS},
        OpenCase{"missing", "\\SOFTWARE\\NoSuchVendor\\NoSuchKey", ERROR_FILE_NOT_FOUND}),
    [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(Win32RegistryTest, value_that_does_not_fit_reports_the_size_needed) {
  plat::win32::System system;
  HKEY key = nullptr;
  ASSERT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, &key), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(system.RegQueryValueExA(key, "CurrentVersion", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  ASSERT_GT(size, 2u);  // "6.1" or the like, with its NUL

  std::vector<BYTE> small(size - 1);
  DWORD smallSize = static_cast<DWORD>(small.size());
  EXPECT_EQ(system.RegQueryValueExA(key, "CurrentVersion", nullptr, small.data(), &smallSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(smallSize, size);

  std::vector<BYTE> data(size);
  DWORD dataSize = size;
  ASSERT_EQ(system.RegQueryValueExA(key, "CurrentVersion", nullptr, data.data(), &dataSize),
            ERROR_SUCCESS);
  EXPECT_EQ(data[dataSize - 1], 0);
  EXPECT_NE(std::string(reinterpret_cast<const char*>(data.data())).find('.'), std::string::npos);
  system.RegCloseKey(key);
}

TEST(Win32SystemTest, device_names_are_listed_whole_or_not_at_all) {
  plat::win32::System system;
  std::vector<char> buffer(65535);
  const DWORD count = system.QueryDosDeviceA(nullptr, buffer.data(), 65535);
  ASSERT_GT(count, 0u);
  // NUL-separated names and a final extra NUL.
  ASSERT_GE(count, 2u);
  EXPECT_EQ(buffer[count - 1], '\0');
  EXPECT_EQ(buffer[count - 2], '\0');
  std::vector<std::string> names;
  for (DWORD start = 0, i = 0; i < count; ++i) {
    if (buffer[i] == '\0') {
      if (i > start) names.emplace_back(&buffer[start], i - start);
      start = i + 1;
    }
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "C:"), names.end());

  // Too small for the list: nothing, and the reason.
  std::vector<char> small(4);
  EXPECT_EQ(system.QueryDosDeviceA(nullptr, small.data(), static_cast<DWORD>(small.size())), 0u);
  EXPECT_EQ(::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Win32SystemTest, priority_class_of_this_process) {
  plat::win32::System system;
  const DWORD original = system.GetPriorityClass();
  ASSERT_NE(original, 0u);
  for (DWORD priorityClass : {HIGH_PRIORITY_CLASS, IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS}) {
    ASSERT_TRUE(system.SetPriorityClass(priorityClass));
    EXPECT_EQ(system.GetPriorityClass(), priorityClass);
    EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), priorityClass);
  }
  system.SetPriorityClass(original);
}

TEST(Win32SystemTest, thread_priority_reaches_the_std_thread) {
  plat::win32::System system;
  for (int priority : {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                       THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST}) {
    // The thread reads its priority only after it was set (an event: see framework/thread.h
    // on atomic waits with this compiler).
    HANDLE set = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int seen = THREAD_PRIORITY_ERROR_RETURN;
    std::thread thread([&] {
      ::WaitForSingleObject(set, 5000);
      seen = ::GetThreadPriority(::GetCurrentThread());
    });
    const BOOL ok =
        system.SetThreadPriority(static_cast<std::uintptr_t>(thread.native_handle()), priority);
    ::SetEvent(set);
    thread.join();
    ::CloseHandle(set);
    SCOPED_TRACE(priority);
    EXPECT_TRUE(ok);
    EXPECT_EQ(seen, priority);
  }
}

TEST(Win32SystemTest, thread_priority_without_a_thread_fails) {
  plat::win32::System system;
  ::SetLastError(0);
  EXPECT_FALSE(system.SetThreadPriority(0, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(::GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32SystemTest, version_resource_of_a_system_file) {
  plat::win32::System system;
  char directory[MAX_PATH];
  ASSERT_GT(::GetSystemDirectoryA(directory, MAX_PATH), 0u);
  const std::string path = std::string(directory) + "\\kernel32.dll";
  const DWORD size = system.GetFileVersionInfoSizeA(path.c_str());
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(system.GetFileVersionInfoA(path.c_str(), size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(system.VerQueryValueA(block.data(), "\\", &value, &length));
  ASSERT_GE(length, sizeof(plat::FixedFileInfo));
  const auto* info = static_cast<const plat::FixedFileInfo*>(value);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  EXPECT_GT(info->dwFileVersionMS, 0u);
}

TEST(Win32SystemTest, a_file_without_version_resource_has_size_zero) {
  plat::win32::System system;
  // The test program carries no version resource.
  EXPECT_EQ(system.GetFileVersionInfoSizeA(system.ProgramPath().c_str()), 0u);
  EXPECT_EQ(system.GetFileVersionInfoSizeA("C:\\no\\such\\file.exe"), 0u);
}

TEST(Win32SystemTest, program_path_and_current_directory) {
  plat::win32::System system;
  const std::string program = Lower(system.ProgramPath());
  EXPECT_EQ(program.size() >= 4 ? program.substr(program.size() - 4) : program, ".exe");
  EXPECT_NE(program.find("test_platform_win32"), std::string::npos);

  std::string original;
  ASSERT_TRUE(system.CurrentDirectory(original));
  char temp[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryA(temp));
  std::string now;
  ASSERT_TRUE(system.CurrentDirectory(now));
  // GetTempPath ends in a backslash, the current directory does not (unless a drive root).
  std::string expected = temp;
  if (expected.size() > 3 && expected.back() == '\\') expected.pop_back();
  EXPECT_EQ(Lower(now), Lower(expected));
  ::SetCurrentDirectoryA(original.c_str());
}

TEST(Win32SystemTest, native_platform_holds_a_one_millisecond_timer) {
  plat::NativePlatform();
  const plat::win32::TimerResolution& resolution = plat::win32::NativeTimerResolution();
  EXPECT_TRUE(resolution.Granted());
  EXPECT_EQ(resolution.Milliseconds(), 1u);
}

}  // namespace
