// The POSIX system view apart from the registry: the MS-DOS device list, priorities, sounds,
// the program's file version and the current directory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "system_testing.h"

namespace plat::posix {
namespace {

using testing::TreePath;

// ---- the MS-DOS device list ----

const std::string kMixedList = std::string("ttyACM0\0ttyS0\0ttyUSB0\0ttyUSB1\0", 30) +
                               "FTDIBUS#VID_0403+PID_6001+A50285BIA#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}" +
                               '\0' +
                               "FTDIBUS#VID_0403+PID_6001+FT4KQ7ZDA#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}" +
                               '\0' + '\0';

TEST(SystemDosDevices, list_fits_exactly_or_not_at_all) {
  testing::RecordingKernel kernel;
  System system(kernel, TreePath("mixed"), "/devroot");
  const auto total = static_cast<DWORD>(kMixedList.size());
  struct Row {
    DWORD size;
    bool nullBuffer;
    DWORD result;
  };
  for (const Row& row : {Row{0xFFFF, false, total}, Row{total, false, total},
                         Row{total - 1, false, 0}, Row{0, false, 0}, Row{0xFFFF, true, 0}}) {
    std::vector<char> buffer(0xFFFF, 'x');
    kernel.SetLastError(0);
    const DWORD count = system.QueryDosDeviceA(nullptr, row.nullBuffer ? nullptr : buffer.data(), row.size);
    EXPECT_EQ(count, row.result) << row.size;
    if (count != 0) {
      EXPECT_EQ(std::string(buffer.data(), count), kMixedList);
    } else {
      EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
      EXPECT_EQ(buffer[0], 'x');  // nothing stored
    }
  }
}

TEST(SystemDosDevices, a_name_gives_its_device_file) {
  testing::RecordingKernel kernel;
  System system(kernel, TreePath("mixed"), "/devroot");
  struct Row {
    const char* name;
    const char* target;  // null: not found
  };
  for (const Row& row : {
           Row{"ttyUSB0", "/devroot/ttyUSB0"},
           Row{"TTYusb1", "/devroot/ttyUSB1"},
           Row{"FTDIBUS#VID_0403+PID_6001+A50285BIA#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}",
               "/devroot/ttyUSB0"},
           Row{"ttyS1", nullptr},  // an empty UART slot
           Row{"COM1", nullptr},
           Row{"", nullptr},
       }) {
    char buffer[64];
    kernel.SetLastError(0);
    const DWORD count = system.QueryDosDeviceA(row.name, buffer, sizeof buffer);
    if (row.target == nullptr) {
      EXPECT_EQ(count, 0u) << row.name;
      EXPECT_EQ(kernel.GetLastError(), ERROR_FILE_NOT_FOUND) << row.name;
      continue;
    }
    ASSERT_EQ(count, std::strlen(row.target) + 2) << row.name;
    EXPECT_STREQ(buffer, row.target);
    EXPECT_EQ(buffer[count - 1], '\0');
  }
  char small[8];
  EXPECT_EQ(system.QueryDosDeviceA("ttyUSB0", small, sizeof small), 0u);
  EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// ---- system calls a test cannot make fail for real ----

struct FakeCalls {
  static inline int nice = 0;
  static inline int getError = 0;
  static inline int setError = 0;
  static inline std::vector<int> setValues;
  static inline int tty = 0;
  static inline std::string written;
  static inline int cwdError = 0;

  static void Reset() {
    nice = 0;
    getError = setError = cwdError = 0;
    setValues.clear();
    tty = 0;
    written.clear();
  }
  static SystemCalls Calls() {
    SystemCalls calls = RealSystemCalls();
    calls.getpriority = [](int, id_t) {
      errno = getError;
      return getError != 0 ? -1 : nice;
    };
    calls.setpriority = [](int, id_t, int value) {
      setValues.push_back(value);
      errno = setError;
      return setError != 0 ? -1 : 0;
    };
    calls.isatty = [](int fd) { return fd == STDERR_FILENO ? tty : 0; };
    calls.write = [](int, const void* data, size_t size) {
      written.append(static_cast<const char*>(data), size);
      return static_cast<ssize_t>(size);
    };
    calls.getcwd = [](char* buffer, size_t size) -> char* {
      if (cwdError != 0) {
        errno = cwdError;
        return nullptr;
      }
      return ::getcwd(buffer, size);
    };
    return calls;
  }
};

class SystemCallsTest : public ::testing::Test {
 protected:
  void SetUp() override { FakeCalls::Reset(); }
  testing::RecordingKernel kernel_;
  System system_{kernel_, TreePath("mixed"), "/dev", FakeCalls::Calls()};
};

TEST_F(SystemCallsTest, priority_classes_are_nice_values) {
  struct Row {
    DWORD priorityClass;
    int nice;
  };
  for (const Row& row : {Row{IDLE_PRIORITY_CLASS, 19}, Row{NORMAL_PRIORITY_CLASS, 0},
                         Row{HIGH_PRIORITY_CLASS, -10}, Row{REALTIME_PRIORITY_CLASS, -20}}) {
    FakeCalls::setValues.clear();
    EXPECT_EQ(system_.SetPriorityClass(row.priorityClass), TRUE);
    EXPECT_EQ(FakeCalls::setValues, std::vector<int>{row.nice});
    FakeCalls::nice = row.nice;
    EXPECT_EQ(system_.GetPriorityClass(), row.priorityClass);
  }
  // A nice value set from outside reads as the nearest class.
  for (const Row& row : {Row{IDLE_PRIORITY_CLASS, 10}, Row{NORMAL_PRIORITY_CLASS, 9},
                         Row{NORMAL_PRIORITY_CLASS, -1}, Row{HIGH_PRIORITY_CLASS, -5},
                         Row{HIGH_PRIORITY_CLASS, -14}, Row{REALTIME_PRIORITY_CLASS, -15}}) {
    FakeCalls::nice = row.nice;
    EXPECT_EQ(system_.GetPriorityClass(), row.priorityClass) << row.nice;
  }
}

TEST_F(SystemCallsTest, saving_and_restoring_a_class_restores_the_nice_value) {
  FakeCalls::nice = 10;  // started with "nice -n 10"
  const DWORD saved = system_.GetPriorityClass();
  EXPECT_EQ(saved, IDLE_PRIORITY_CLASS);
  EXPECT_EQ(system_.SetPriorityClass(REALTIME_PRIORITY_CLASS), TRUE);
  EXPECT_EQ(system_.SetPriorityClass(saved), TRUE);
  EXPECT_EQ(FakeCalls::setValues, (std::vector<int>{-20, 10}));
}

TEST_F(SystemCallsTest, priority_failures_are_reported) {
  FakeCalls::setError = EACCES;
  EXPECT_EQ(system_.SetPriorityClass(REALTIME_PRIORITY_CLASS), FALSE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);
  FakeCalls::setError = EPERM;
  EXPECT_EQ(system_.SetPriorityClass(HIGH_PRIORITY_CLASS), FALSE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_ACCESS_DENIED);

  FakeCalls::setValues.clear();
  EXPECT_EQ(system_.SetPriorityClass(0x4000), FALSE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(FakeCalls::setValues.empty());

  FakeCalls::getError = ESRCH;
  EXPECT_EQ(system_.GetPriorityClass(), 0u);

  // Thread priorities are only checked; an invalid one is refused.
  EXPECT_EQ(system_.SetThreadPriority(0x1234, THREAD_PRIORITY_TIME_CRITICAL), TRUE);
  EXPECT_EQ(system_.SetThreadPriority(0x1234, 3), FALSE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SystemCallsTest, sounds_ring_the_terminal_bell_and_beep_takes_its_time) {
  struct Row {
    int tty;
    const char* written;
  };
  for (const Row& row : {Row{1, "\a\a"}, Row{0, ""}}) {
    FakeCalls::tty = row.tty;
    FakeCalls::written.clear();
    kernel_.sleeps.clear();
    EXPECT_EQ(system_.MessageBeep(MB_OK), TRUE);
    EXPECT_EQ(system_.Beep(2800, 150), TRUE);
    EXPECT_EQ(FakeCalls::written, row.written);
    EXPECT_EQ(kernel_.sleeps, std::vector<DWORD>{150});
  }
}

TEST_F(SystemCallsTest, current_directory_failure_leaves_the_argument_alone) {
  std::string directory = "unchanged";
  FakeCalls::cwdError = ENOENT;
  EXPECT_FALSE(system_.CurrentDirectory(directory));
  EXPECT_EQ(directory, "unchanged");
  FakeCalls::cwdError = 0;
  ASSERT_TRUE(system_.CurrentDirectory(directory));
  EXPECT_EQ(directory, std::filesystem::current_path().native());
}

// ---- file version ----

// The project version as CMake declares it, "major.minor.patch".
std::vector<DWORD> ProjectVersion() {
  std::ifstream in(testing::SourcePath("CMakeLists.txt"));
  std::stringstream text;
  text << in.rdbuf();
  const std::string content = text.str();
  const std::string marker = "project(lcdwrite VERSION ";
  const std::size_t at = content.find(marker);
  unsigned major = 0, minor = 0, patch = 0;
  if (at == std::string::npos ||
      std::sscanf(content.c_str() + at + marker.size(), "%u.%u.%u", &major, &minor, &patch) != 3) {
    return {};
  }
  return {major, minor, patch};
}

TEST(SystemVersion, running_program_has_the_project_version) {
  testing::RecordingKernel kernel;
  System system(kernel);
  const std::string program = system.ProgramPath();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(std::filesystem::path(program).is_absolute());

  const DWORD size = system.GetFileVersionInfoSizeA(program.c_str());
  ASSERT_GT(size, sizeof(FixedFileInfo));
  std::vector<DWORD> block(size / sizeof(DWORD) + 1);
  ASSERT_EQ(system.GetFileVersionInfoA(program.c_str(), size, block.data()), TRUE);
  void* value = nullptr;
  UINT length = 0;
  ASSERT_EQ(system.VerQueryValueA(block.data(), "\\", &value, &length), TRUE);
  ASSERT_EQ(length, sizeof(FixedFileInfo));
  const auto* info = static_cast<const FixedFileInfo*>(value);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  const std::vector<DWORD> version = ProjectVersion();
  ASSERT_EQ(version.size(), 3u);
  EXPECT_EQ(info->dwFileVersionMS >> 16, version[0]);
  EXPECT_EQ(info->dwFileVersionMS & 0xFFFF, version[1]);
  EXPECT_EQ(info->dwFileVersionLS >> 16, version[2]);
  EXPECT_EQ(info->dwFileVersionLS & 0xFFFF, 0u);

  EXPECT_EQ(system.VerQueryValueA(block.data(), "\\StringFileInfo\\040704E4\\FileVersion", &value, &length), FALSE);
  EXPECT_EQ(system.GetFileVersionInfoA(program.c_str(), size - 1, block.data()), FALSE);
  EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  const DWORD junk[16] = {};
  EXPECT_EQ(system.VerQueryValueA(junk, "\\", &value, &length), FALSE);
}

TEST(SystemVersion, only_the_running_program_has_one) {
  testing::RecordingKernel kernel;
  System system(kernel);
  const std::string program = system.ProgramPath();
  const auto link = std::filesystem::temp_directory_path() /
                    ("lcdwrite-exe-" + std::to_string(::getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(program, link);
  struct Row {
    std::string path;
    DWORD error;  // 0: has the version
  };
  for (const Row& row : {Row{link.native(), 0}, Row{"/bin/sh", 1813},
                         Row{"/no/such/program", ERROR_FILE_NOT_FOUND}}) {
    kernel.SetLastError(0);
    const DWORD size = system.GetFileVersionInfoSizeA(row.path.c_str());
    EXPECT_EQ(size == 0, row.error != 0) << row.path;
    EXPECT_EQ(kernel.GetLastError(), row.error) << row.path;
  }
  std::filesystem::remove(link);
}

}  // namespace
}  // namespace plat::posix
