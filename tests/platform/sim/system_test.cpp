#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace {

constexpr std::int64_t kMs = sim::kNsPerMs;
constexpr LONG kKeyDeleted = 1018;

class SystemTest : public ::testing::Test {
 protected:
  SystemTest() {
    machine.registry().SetString("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", "COM1");
    machine.registry().SetDword("HARDWARE\\DEVICEMAP\\SERIALCOMM", "Count", 2);
    machine.registry().SetString("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial1", "COM2");
  }
  HKEY OpenKey(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, &key), ERROR_SUCCESS) << path;
    return key;
  }
  std::string DosList() {
    std::vector<char> buffer(4096);
    const DWORD n = system.QueryDosDeviceA(nullptr, buffer.data(), 4096);
    return std::string(buffer.data(), n);
  }

  sim::Machine machine;
  plat::SystemApi& system = machine.system();
  plat::KernelApi& kernel = machine.kernel();
};

TEST_F(SystemTest, a_value_that_does_not_fit_reports_the_size_it_needs) {
  HKEY key = OpenKey("\\hardware\\devicemap\\SerialComm");
  DWORD type = 0;
  BYTE data[8] = {};
  DWORD size = 4;
  EXPECT_EQ(system.RegQueryValueExA(key, "\\Device\\Serial0", &type, data, &size),
            static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);  // "COM1" and its NUL
  size = 0;
  EXPECT_EQ(system.RegQueryValueExA(key, "\\device\\serial0", nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  size = sizeof data;
  EXPECT_EQ(system.RegQueryValueExA(key, "\\Device\\Serial0", &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "COM1");
  EXPECT_EQ(system.RegQueryValueExA(key, "PortName", nullptr, data, &size),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(system.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(system.RegCloseKey(key), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(system.RegQueryValueExA(key, "\\Device\\Serial0", nullptr, nullptr, &size),
            static_cast<LONG>(ERROR_INVALID_HANDLE));
}

TEST_F(SystemTest, missing_keys_and_malformed_paths_are_not_found) {
  for (const char* path : {"HARDWARE\\DEVICEMAP\\SERIALCOMX", "HARDWARE\\\\DEVICEMAP",
                           "SYSTEM\\CurrentControlSet\\Enum"}) {
    HKEY key = nullptr;
    EXPECT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, &key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND))
        << path;
  }
  // A trailing backslash and a path relative to an open key are fine.
  HKEY hardware = OpenKey("HARDWARE\\");
  HKEY key = nullptr;
  EXPECT_EQ(system.RegOpenKeyExA(hardware, "DEVICEMAP\\SERIALCOMM", &key), ERROR_SUCCESS);
}

TEST_F(SystemTest, values_enumerate_in_insertion_order_and_keys_in_name_order) {
  HKEY key = OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  std::vector<std::pair<std::string, DWORD>> seen;
  LONG result = ERROR_SUCCESS;
  for (DWORD i = 0; result == ERROR_SUCCESS; ++i) {
    char name[64];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    BYTE data[64];
    DWORD dataLength = sizeof data;
    result = system.RegEnumValueA(key, i, name, &nameLength, &type, data, &dataLength);
    if (result == ERROR_SUCCESS) {
      EXPECT_EQ(nameLength, std::strlen(name));
      seen.emplace_back(name, type);
    }
  }
  EXPECT_EQ(result, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
  const std::vector<std::pair<std::string, DWORD>> expected{
      {"\\Device\\Serial0", REG_SZ}, {"Count", REG_DWORD}, {"\\Device\\Serial1", REG_SZ}};
  EXPECT_EQ(seen, expected);

  char shortName[5];
  DWORD shortLength = sizeof shortName;
  EXPECT_EQ(system.RegEnumValueA(key, 0, shortName, &shortLength, nullptr, nullptr, nullptr),
            static_cast<LONG>(ERROR_MORE_DATA));

  machine.registry().CreateKey("HARDWARE\\DEVICEMAP\\ZETA");
  machine.registry().CreateKey("HARDWARE\\DEVICEMAP\\ALPHA");
  HKEY devicemap = OpenKey("HARDWARE\\DEVICEMAP");
  std::vector<std::string> keys;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD nameLength = sizeof name;
    if (system.RegEnumKeyExA(devicemap, i, name, &nameLength) != ERROR_SUCCESS) break;
    keys.emplace_back(name, nameLength);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"ALPHA", "SERIALCOMM", "ZETA"}));
}

TEST_F(SystemTest, a_key_deleted_while_open_reads_as_deleted) {
  HKEY key = OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  EXPECT_TRUE(machine.registry().DeleteKey("hardware\\devicemap"));
  DWORD size = 0;
  EXPECT_EQ(system.RegQueryValueExA(key, "Count", nullptr, nullptr, &size), kKeyDeleted);
  HKEY again = nullptr;
  EXPECT_EQ(system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", &again),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SystemTest, dos_device_list_must_fit_entirely) {
  machine.AddDosDevice("COM1", "\\Device\\Serial0");
  machine.AddDosDevice("LPT1", "\\Device\\Parallel0");
  const std::string expected("COM1\0LPT1\0\0", 11);
  EXPECT_EQ(DosList(), expected);
  std::vector<char> buffer(11);
  EXPECT_EQ(system.QueryDosDeviceA(nullptr, buffer.data(), 11), 11u);
  EXPECT_EQ(system.QueryDosDeviceA(nullptr, buffer.data(), 10), 0u);
  EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  // One name: its target.
  EXPECT_EQ(system.QueryDosDeviceA("lpt1", buffer.data(), 11), 0u);  // 17 + 2 NULs
  std::vector<char> wide(64);
  const DWORD n = system.QueryDosDeviceA("lpt1", wide.data(), 64);
  EXPECT_EQ(std::string(wide.data(), n), std::string("\\Device\\Parallel0\0\0", 19));
}

TEST_F(SystemTest, converter_appears_in_the_device_list_registry_and_port_map) {
  sim::SerialDevice& device = machine.AddConverter("A5XK3RJT", "COM3");
  EXPECT_EQ(device.Name(), "COM3");
  const std::string list = DosList();
  EXPECT_NE(list.find(std::string("COM3\0", 5)), std::string::npos);
  EXPECT_NE(list.find(std::string("FTDIBUS#VID_0403+PID_6001+A5XK3RJTA#0000#"
                                  "{86e0d1e0-8089-11d0-9ce4-08002be10318}") +
                      '\0'),
            std::string::npos);

  HKEY key = OpenKey(
      "System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\Device "
      "Parameters");
  char value[200];
  DWORD size = sizeof value;
  ASSERT_EQ(system.RegQueryValueExA(key, "PortName", nullptr, reinterpret_cast<BYTE*>(value),
                                    &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, "COM3");
  HKEY instance = OpenKey("\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000");
  size = sizeof value;
  ASSERT_EQ(system.RegQueryValueExA(instance, "FriendlyName", nullptr,
                                    reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, "USB Serial Port (COM3)");
  HKEY portMap = OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  size = sizeof value;
  ASSERT_EQ(system.RegQueryValueExA(portMap, "\\Device\\VCP0", nullptr,
                                    reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, "COM3");
}

TEST_F(SystemTest, values_are_set_only_through_a_key_opened_for_writing) {
  const char* path = "SYSTEM\\Params";
  machine.registry().SetDword(path, "LatencyTimer", 16);
  const DWORD one = 1;
  const BYTE* data = reinterpret_cast<const BYTE*>(&one);
  HKEY readable = OpenKey(path);
  EXPECT_EQ(system.RegSetValueExA(readable, "LatencyTimer", REG_DWORD, data, sizeof one),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(system.RegSetValueExA(HKEY_LOCAL_MACHINE, "LatencyTimer", REG_DWORD, data,
                                  sizeof one),
            ERROR_ACCESS_DENIED);
  HKEY writable = nullptr;
  ASSERT_EQ(system.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, path, &writable), ERROR_SUCCESS);
  EXPECT_EQ(system.RegSetValueExA(writable, "LatencyTimer", REG_DWORD, data, sizeof one),
            ERROR_SUCCESS);
  // Seen through the other handle too, at once.
  DWORD value = 0, size = sizeof value, type = 0;
  EXPECT_EQ(system.RegQueryValueExA(readable, "LatencyTimer", &type,
                                    reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  system.RegCloseKey(writable);
  system.RegCloseKey(readable);

  machine.registry().DenyWrites(path);
  EXPECT_EQ(system.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, path, &writable), ERROR_ACCESS_DENIED);
  EXPECT_EQ(system.RegOpenKeyForWriteA(HKEY_LOCAL_MACHINE, "SYSTEM\\None", &writable),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(SystemTest, converter_options_leave_out_the_key_or_the_value) {
  machine.AddConverter("AAAAAAAA", "COM4", sim::ConverterOptions{false, true});
  machine.AddConverter("BBBBBBBB", "COM5", sim::ConverterOptions{true, false});
  const std::string base = "System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+";
  EXPECT_FALSE(machine.registry().KeyExists(base + "AAAAAAAAA\\0000\\Device Parameters"));
  HKEY key = OpenKey((base + "BBBBBBBBA\\0000\\Device Parameters").c_str());
  DWORD size = 0;
  EXPECT_EQ(system.RegQueryValueExA(key, "PortName", nullptr, nullptr, &size),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

// Records the broadcasts it gets.
struct RecordingSink : plat::MessageSink {
  struct Message {
    WPARAM wParam;
    std::vector<std::uint8_t> bytes;
    std::int64_t atNs;
  };
  explicit RecordingSink(sim::Machine& m) : machine(m) {}
  void PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) override {
    std::lock_guard<std::mutex> lock(mutex);
    messages.push_back(Message{wParam, std::move(broadcast), machine.NowNs()});
  }
  static DWORD DwordAt(const std::vector<std::uint8_t>& b, std::size_t offset) {
    DWORD value = 0;
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
  }
  sim::Machine& machine;
  std::mutex mutex;
  std::vector<Message> messages;
};

TEST_F(SystemTest, converter_arrival_and_removal_are_broadcast_at_their_instant) {
  RecordingSink sink(machine);
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = 32;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = sim::kUsbDeviceInterface;
  HANDLE registration = system.RegisterDeviceNotificationA(&sink, &filter, 0);
  ASSERT_NE(registration, nullptr);

  machine.Schedule(5 * kMs, [&] { machine.AddConverter("A5XK3RJT", "COM3"); });
  machine.RunFor(10 * kMs);
  ASSERT_EQ(sink.messages.size(), 2u);
  const auto& usb = sink.messages[0];
  EXPECT_EQ(usb.wParam, DBT_DEVICEARRIVAL);
  EXPECT_EQ(usb.atNs, 5 * kMs);
  EXPECT_EQ(RecordingSink::DwordAt(usb.bytes, 0), usb.bytes.size());
  EXPECT_EQ(RecordingSink::DwordAt(usb.bytes, 4), DBT_DEVTYP_DEVICEINTERFACE);
  EXPECT_EQ(std::memcmp(usb.bytes.data() + 12, &sim::kUsbDeviceInterface, 16), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(usb.bytes.data() + 28),
               "\\\\?\\USB#VID_0403&PID_6001#A5XK3RJT#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  const auto& port = sink.messages[1];
  EXPECT_EQ(RecordingSink::DwordAt(port.bytes, 0), 17u);
  EXPECT_EQ(RecordingSink::DwordAt(port.bytes, 4), DBT_DEVTYP_PORT);
  EXPECT_STREQ(reinterpret_cast<const char*>(port.bytes.data() + 12), "COM3");

  HANDLE h = machine.serial().CreateFileA("\\\\.\\COM3", GENERIC_READ, 0, OPEN_EXISTING, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  machine.Schedule(20 * kMs, [&] { machine.RemoveConverter("A5XK3RJT"); });
  machine.RunFor(20 * kMs);
  ASSERT_EQ(sink.messages.size(), 4u);
  EXPECT_EQ(sink.messages[2].wParam, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(RecordingSink::DwordAt(sink.messages[2].bytes, 4), DBT_DEVTYP_PORT);
  EXPECT_EQ(RecordingSink::DwordAt(sink.messages[3].bytes, 4), DBT_DEVTYP_DEVICEINTERFACE);
  DCB dcb{};
  EXPECT_FALSE(machine.serial().GetCommState(h, &dcb));
  EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(DosList().find("FTDIBUS"), std::string::npos);

  EXPECT_TRUE(system.UnregisterDeviceNotification(registration));
  EXPECT_FALSE(system.UnregisterDeviceNotification(registration));
  machine.AddConverter("A5XK3RJT", "COM3");
  EXPECT_EQ(sink.messages.size(), 4u);
  EXPECT_NE(machine.serial().CreateFileA("COM3", GENERIC_READ, 0, OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE);
}

struct VersionCase {
  const char* what;
  void (*setUp)(sim::System&);
  const char* path;
  bool sized;
  bool rootReadable;
};

class FileVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FileVersionTest, version_of_the_program_file) {
  const VersionCase& c = GetParam();
  sim::Machine machine;
  c.setUp(machine.SimSystem());
  plat::SystemApi& system = machine.system();
  const DWORD size = system.GetFileVersionInfoSizeA(c.path);
  EXPECT_EQ(size != 0, c.sized);
  if (!c.sized) return;
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(system.GetFileVersionInfoA(c.path, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_EQ(system.VerQueryValueA(block.data(), "\\", &value, &length) != FALSE, c.rootReadable);
  if (!c.rootReadable) return;
  ASSERT_EQ(length, sizeof(plat::FixedFileInfo));
  const auto* info = static_cast<const plat::FixedFileInfo*>(value);
  EXPECT_EQ(info->dwFileVersionMS, (7u << 16) | 26u);
  EXPECT_EQ(info->dwFileVersionLS, (3u << 16) | 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FileVersionTest,
    ::testing::Values(
        VersionCase{"readable", [](sim::System& s) { s.SetFileVersion(7, 26, 3, 1); },
                    "/sim/lcdwrite", true, true},
        VersionCase{"another_file", [](sim::System& s) { s.SetFileVersion(7, 26, 3, 1); },
                    "/sim/other", false, false},
        VersionCase{"none", [](sim::System&) {}, "/sim/lcdwrite", false, false},
        VersionCase{"root_unreadable", [](sim::System& s) { s.SetUnreadableFileVersion(); },
                    "/sim/lcdwrite", true, false},
        VersionCase{"moved_program",
                    [](sim::System& s) {
                      s.SetFileVersion(7, 26, 3, 1);
                      s.SetProgramPath("C:\\Tools\\lcdwrite.exe");
                    },
                    "C:\\Tools\\lcdwrite.exe", true, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SystemTest, beep_lasts_its_duration_and_refuses_inaudible_tones) {
  machine.RunFor(7 * kMs);
  EXPECT_TRUE(system.MessageBeep(0));
  EXPECT_TRUE(system.Beep(2800, 150));
  EXPECT_EQ(machine.NowNs(), 157 * kMs);
  EXPECT_FALSE(system.Beep(20, 150));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SystemTest, priority_class_starts_normal_and_refuses_unknown_classes) {
  EXPECT_EQ(system.GetPriorityClass(), NORMAL_PRIORITY_CLASS);
  EXPECT_TRUE(system.SetPriorityClass(REALTIME_PRIORITY_CLASS));
  EXPECT_FALSE(system.SetPriorityClass(0x1234));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(system.GetPriorityClass(), REALTIME_PRIORITY_CLASS);
  EXPECT_FALSE(system.SetThreadPriority(1, 3));
  EXPECT_TRUE(system.SetThreadPriority(1, THREAD_PRIORITY_TIME_CRITICAL));
}

TEST_F(SystemTest, current_directory_is_the_process_s) {
  std::string directory;
  EXPECT_TRUE(system.CurrentDirectory(directory));
  EXPECT_FALSE(directory.empty());
}

}  // namespace
