// The registry of the POSIX system view: Win32 semantics on the tree built from sysfs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "system_testing.h"

namespace plat::posix {
namespace {

using testing::TreePath;

constexpr const char* kConverterKey =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000\\Device Parameters";

class SystemRegistry : public ::testing::Test {
 protected:
  HKEY Open(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(system_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, &key), ERROR_SUCCESS) << path;
    return key;
  }

  testing::RecordingKernel kernel_;
  System system_{kernel_, TreePath("mixed"), "/dev"};
};

TEST_F(SystemRegistry, paths_compare_without_case_and_allow_outer_backslashes) {
  struct Row {
    const char* path;
    LONG result;
  };
  for (const Row& row : {
           Row{"\\HARDWARE\\DEVICEMAP\\SERIALCOMM", ERROR_SUCCESS},
           Row{"hardware\\devicemap\\serialcomm", ERROR_SUCCESS},
           Row{"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", ERROR_SUCCESS},
           Row{"system\\currentcontrolset\\enum\\ftdibus\\vid_0403+pid_6001+a50285bia\\0000\\"
               "device parameters",
               ERROR_SUCCESS},
           Row{"", ERROR_SUCCESS},
           Row{"HARDWARE\\\\DEVICEMAP", ERROR_FILE_NOT_FOUND},
           Row{"\\\\HARDWARE", ERROR_FILE_NOT_FOUND},
           Row{"HARDWARE\\DEVICEMAP\\SERIALCOMM\\\\", ERROR_FILE_NOT_FOUND},
           Row{"HARDWARE\\DEVICEMAP\\SERIALCOM", ERROR_FILE_NOT_FOUND},
           Row{"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BI\\0000",
               ERROR_FILE_NOT_FOUND},
       }) {
    HKEY key = nullptr;
    EXPECT_EQ(system_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, row.path, &key), row.result) << row.path;
    if (row.result == ERROR_SUCCESS) {
      EXPECT_EQ(system_.RegCloseKey(key), ERROR_SUCCESS);
    }
  }
}

TEST_F(SystemRegistry, query_value_sizes_follow_win32) {
  HKEY key = Open(kConverterKey);
  DWORD type = REG_NONE;
  DWORD size = 0;
  // Size only; REG_SZ data counts its terminating NUL.
  ASSERT_EQ(system_.RegQueryValueExA(key, "portname", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 8u);

  BYTE data[16];
  std::memset(data, 'x', sizeof data);
  size = 7;
  EXPECT_EQ(system_.RegQueryValueExA(key, "PortName", nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(data[0], 'x');  // untouched

  size = 8;
  ASSERT_EQ(system_.RegQueryValueExA(key, "PortName", nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "ttyUSB0");

  EXPECT_EQ(system_.RegQueryValueExA(key, "PortNames", nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(system_.RegQueryValueExA(key, nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(system_.RegQueryValueExA(key, "PortName", nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(system_.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SystemRegistry, enumeration_is_ordered_and_ends_with_no_more_items) {
  HKEY serialComm = Open("\\HARDWARE\\DEVICEMAP\\SERIALCOMM");
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[32];
    DWORD nameLength = sizeof name;
    const LONG result = system_.RegEnumValueA(serialComm, index, name, &nameLength, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(nameLength, std::strlen(name));
    names.emplace_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"\\Device\\ttyACM0", "\\Device\\ttyS0",
                                             "\\Device\\ttyUSB0", "\\Device\\ttyUSB1"}));

  // A name buffer without room for the NUL, and a data buffer one byte short.
  char name[32];
  DWORD nameLength = 15;  // "\Device\ttyACM0" has 15 characters
  EXPECT_EQ(system_.RegEnumValueA(serialComm, 0, name, &nameLength, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  BYTE data[8];
  DWORD dataLength = 7;
  nameLength = sizeof name;
  EXPECT_EQ(system_.RegEnumValueA(serialComm, 0, name, &nameLength, nullptr, data, &dataLength), ERROR_MORE_DATA);
  EXPECT_EQ(dataLength, 8u);

  HKEY enumKey = Open("\\SYSTEM\\CurrentControlSet\\Enum");
  EXPECT_EQ(testing::SubkeyNames(system_, enumKey), (std::vector<std::string>{"ACPI", "FTDIBUS", "USB"}));
  nameLength = 4;  // "ACPI" needs 5 with its NUL
  EXPECT_EQ(system_.RegEnumKeyExA(enumKey, 0, name, &nameLength), ERROR_MORE_DATA);
  nameLength = sizeof name;
  EXPECT_EQ(system_.RegEnumKeyExA(enumKey, 3, name, &nameLength), ERROR_NO_MORE_ITEMS);

  system_.RegCloseKey(serialComm);
  system_.RegCloseKey(enumKey);
}

TEST_F(SystemRegistry, handles_are_never_reused_and_stale_ones_fail) {
  HKEY first = Open("HARDWARE");
  ASSERT_EQ(system_.RegCloseKey(first), ERROR_SUCCESS);
  HKEY second = Open("HARDWARE");
  EXPECT_NE(first, second);
  EXPECT_EQ(system_.RegCloseKey(first), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(system_.RegQueryValueExA(first, "x", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  char name[32];
  DWORD nameLength = sizeof name;
  EXPECT_EQ(system_.RegEnumKeyExA(first, 0, name, &nameLength), ERROR_INVALID_HANDLE);

  // A path relative to an open key.
  HKEY relative = nullptr;
  EXPECT_EQ(system_.RegOpenKeyExA(second, "devicemap\\SERIALCOMM", &relative), ERROR_SUCCESS);
  EXPECT_EQ(testing::SubkeyNames(system_, relative).size(), 0u);
  system_.RegCloseKey(relative);
  system_.RegCloseKey(second);
}

TEST_F(SystemRegistry, nothing_can_be_written) {
  HKEY key = nullptr;
  EXPECT_EQ(system_.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, kConverterKey, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(system_.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, "HARDWARE\\NOTHING", &key),
            ERROR_FILE_NOT_FOUND);
  key = Open(kConverterKey);
  const DWORD one = 1;
  EXPECT_EQ(system_.RegSetValueExA(key, "LatencyTimer", REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&one), sizeof one),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(system_.RegQueryValueExA(key, "LatencyTimer", nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(system_.RegCloseKey(key), ERROR_SUCCESS);
}

TEST(SystemRegistryLive, each_open_reads_sysfs_anew_while_an_open_key_stays_stable) {
  const auto root = std::filesystem::temp_directory_path() /
                    ("lcdwrite-sysfs-" + std::to_string(::getpid()));
  std::filesystem::create_directories(root / "class" / "tty");
  testing::RecordingKernel kernel;
  System system(kernel, root.native(), "/dev");

  EXPECT_EQ(testing::PortMap(system), std::vector<std::string>{});
  HKEY before = nullptr;
  ASSERT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", &before), ERROR_SUCCESS);

  std::filesystem::create_directories(root / "class" / "tty" / "ttyACM3");
  std::filesystem::create_directories(root / "class" / "tty" / "ttyS4");
  std::ofstream(root / "class" / "tty" / "ttyS4" / "type") << "4\n";
  EXPECT_EQ(testing::PortMap(system), (std::vector<std::string>{"ttyACM3", "ttyS4"}));

  char name[32];
  DWORD nameLength = sizeof name;
  EXPECT_EQ(system.RegEnumValueA(before, 0, name, &nameLength, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  system.RegCloseKey(before);
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace plat::posix
