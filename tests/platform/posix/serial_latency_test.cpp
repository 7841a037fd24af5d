// The converter's latency request at open and its restore at close, through the serial API:
// a real pty poses as a USB-serial converter's tty in a fake sysfs, a fake driver answers the
// serial-info ioctls, the log lines come from LastDeviceNotes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/posix/serial.h"
#include "tests/platform/posix/fake_host_port.h"

namespace plat::posix {
namespace {

using testing::FakeTree;
using testing::g_host;
using testing::SerialInfo;

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

class SerialLatency : public testing::FakeHostPort {
 protected:
  // The notes without their "Latency ttyUSB0: " prefix.
  std::vector<std::string> Notes(const std::string& tty = "ttyUSB0") {
    std::vector<std::string> notes;
    for (const std::string& note : serial_.LastDeviceNotes()) {
      const std::string prefix = "Latency " + tty + ": ";
      notes.push_back(note.rfind(prefix, 0) == 0 ? note.substr(prefix.size()) : "(other) " + note);
    }
    return notes;
  }
  int Timer() {
    std::ifstream in(g_host.latencyFile);
    int value = -1;
    in >> value;
    return value;
  }
  bool FlagSet() { return (g_host.flags & ASYNC_LOW_LATENCY) != 0; }
  int SetCalls() {
    int count = 0;
    for (unsigned long request : g_host.ioctls) count += request == TIOCSSERIAL;
    return count;
  }
};

struct LatencyRow {
  const char* name;
  const char* driver;
  SerialInfo info;
  int timer;  // the attribute at open; -1: none
  bool writable;
  const char* openNote;
  int timerWhileOpen;
  bool flagWhileOpen;
  const char* closeNote;  // "": no note
};

void PrintTo(const LatencyRow& row, std::ostream* os) { *os << row.name; }

class SerialLatencyTable : public SerialLatency, public ::testing::WithParamInterface<LatencyRow> {};

TEST_P(SerialLatencyTable, request_at_open_and_restore_at_close) {
  const LatencyRow& row = GetParam();
  tree_.AddTty(rdev_, "ttyUSB0", true, row.driver, row.timer);
  g_host.serialInfo = row.info;
  g_host.attributeWritable = row.writable;

  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "a latency request never fails the open: " << kernel_.GetLastError();
  EXPECT_EQ(Notes(), std::vector<std::string>{row.openNote});
  if (row.timer >= 0) {
    EXPECT_EQ(Timer(), row.timerWhileOpen);
  }
  EXPECT_EQ(FlagSet(), row.flagWhileOpen);
  // The read-back is the attribute as it reads while open (none: 0).
  EXPECT_EQ(serial_.ConverterLatency(h), static_cast<DWORD>(row.timer >= 0 ? Timer() : 0));
  const bool changed = std::string(row.closeNote).size() > 0;
  EXPECT_EQ(FileExists(tree_.Record("ttyUSB0")), changed) << "a record exactly while something is changed";

  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_EQ(serial_.ConverterLatency(h), 0u);
  EXPECT_EQ(Notes(), changed ? std::vector<std::string>{row.closeNote} : std::vector<std::string>{});
  if (row.timer >= 0) {
    EXPECT_EQ(Timer(), row.timer) << "the previous timer is back";
  }
  EXPECT_FALSE(FlagSet());
  EXPECT_FALSE(FileExists(tree_.Record("ttyUSB0")));
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, SerialLatencyTable,
    ::testing::Values(
        LatencyRow{"flag_kept", "ftdi_sio", SerialInfo::Kept, 16, true,
                   "driver ftdi_sio, latency timer 16 ms; low latency requested (ASYNC_LOW_LATENCY), now 1 ms",
                   1, true, "put back: low latency off, now 16 ms"},
        LatencyRow{"flag_refused_attribute_written", "ftdi_sio", SerialInfo::Refused, 16, true,
                   "driver ftdi_sio, latency timer 16 ms; low latency refused (TIOCSSERIAL: Operation not "
                   "permitted); latency_timer set, now 1 ms",
                   1, false, "put back: latency_timer written, now 16 ms"},
        LatencyRow{"flag_dropped_attribute_written", "ftdi_sio", SerialInfo::Dropped, 32, true,
                   "driver ftdi_sio, latency timer 32 ms; low latency refused (the driver dropped the "
                   "flag); latency_timer set, now 1 ms",
                   1, false, "put back: latency_timer written, now 32 ms"},
        LatencyRow{"no_serial_info_attribute_written", "ftdi_sio", SerialInfo::Missing, 16, true,
                   "driver ftdi_sio, latency timer 16 ms; low latency refused (TIOCGSERIAL: "
                   "Inappropriate ioctl for device); latency_timer set, now 1 ms",
                   1, false, "put back: latency_timer written, now 16 ms"},
        LatencyRow{"refused_and_attribute_not_writable", "ftdi_sio", SerialInfo::Refused, 16, false,
                   "driver ftdi_sio, latency timer 16 ms; low latency refused (TIOCSSERIAL: Operation not "
                   "permitted); latency_timer not writable (Permission denied): stays 16 ms",
                   16, false, ""},
        LatencyRow{"driver_without_any_setting", "pl2303", SerialInfo::Dropped, -1, true,
                   "driver pl2303, no latency timer attribute; low latency refused (the driver dropped "
                   "the flag); nothing changed",
                   -1, false, ""},
        LatencyRow{"already_low_by_a_udev_rule", "ftdi_sio", SerialInfo::Kept, 1, true,
                   "driver ftdi_sio, latency timer 1 ms; already low, nothing requested", 1, false, ""}),
    [](const ::testing::TestParamInfo<LatencyRow>& info) { return info.param.name; });

TEST_F(SerialLatency, a_port_off_the_usb_serial_bus_is_left_alone) {
  tree_.AddTty(rdev_, "ttyS0", false, "serial8250");
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Notes("ttyS0"), std::vector<std::string>{"not a USB-serial converter; nothing requested"});
  EXPECT_TRUE(g_host.ioctls.empty()) << "no serial-info request on a port that is no converter";
  EXPECT_EQ(serial_.ConverterLatency(h), 0u);
  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_TRUE(serial_.LastDeviceNotes().empty());
}

TEST_F(SerialLatency, a_real_pty_opens_and_closes_as_before) {
  Serial real(kernel_);
  HANDLE h = real.CreateFileA(pty_.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
  const std::string name = pty_.SlavePath().substr(5);  // "pts/N"
  EXPECT_EQ(real.LastDeviceNotes(),
            std::vector<std::string>{"Latency " + name + ": not a USB-serial converter; nothing requested"});
  EXPECT_EQ(real.LastOpenFailure().cause, OpenFailure::Cause::Unknown);
  EXPECT_EQ(real.LastOpenFailure().code, 0u);
  ASSERT_TRUE(pty_.Send("x"));
  char byte = 0;
  DWORD done = 0;
  COMMTIMEOUTS timeouts{0, 0, 5000, 0, 0};
  ASSERT_TRUE(real.SetCommTimeouts(h, &timeouts));
  OVERLAPPED ov{};
  ov.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  if (!real.ReadFile(h, &byte, 1, &done, &ov)) {
    ASSERT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(real.GetOverlappedResult(h, &ov, &done, TRUE));
  }
  EXPECT_EQ(byte, 'x');
  kernel_.CloseEvent(ov.hEvent);
  EXPECT_TRUE(real.CloseHandle(h));
  EXPECT_TRUE(real.LastDeviceNotes().empty());
}

TEST_F(SerialLatency, a_converter_unplugged_while_open_has_nothing_to_put_back) {
  tree_.AddTty(rdev_, "ttyUSB0", true, "ftdi_sio", 16);
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(FlagSet());
  g_host.unplugged = true;
  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_EQ(Notes(), std::vector<std::string>{
                         "the converter is gone; its setting went with it, nothing to put back"});
  EXPECT_FALSE(FileExists(tree_.Record("ttyUSB0")));
}

TEST_F(SerialLatency, a_setting_left_behind_is_put_back_by_the_next_open_of_the_same_device) {
  tree_.AddTty(rdev_, "ttyUSB0", true, "ftdi_sio", 16);
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // The restore fails, as for a run that ended without closing: the record stays.
  g_host.serialInfo = SerialInfo::Refused;
  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_EQ(Notes(), std::vector<std::string>{"could not put the previous setting back (TIOCSSERIAL: "
                                              "Operation not permitted); the next open of this "
                                              "converter tries again"});
  ASSERT_TRUE(FlagSet());
  ASSERT_TRUE(FileExists(tree_.Record("ttyUSB0")));

  g_host.serialInfo = SerialInfo::Kept;
  h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Notes(), (std::vector<std::string>{
                         "an earlier run ended without putting its setting back; that is done at this close",
                         "driver ftdi_sio, latency timer 1 ms; already low, nothing requested"}));
  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_EQ(Notes(), std::vector<std::string>{"put back: low latency off, now 16 ms"});
  EXPECT_FALSE(FlagSet());
  EXPECT_FALSE(FileExists(tree_.Record("ttyUSB0")));
}

TEST_F(SerialLatency, a_record_of_an_earlier_plug_in_is_dropped_without_touching_the_device) {
  tree_.AddTty(rdev_, "ttyUSB0", true, "ftdi_sio", 16);
  // Someone else's low latency on a converter plugged in afresh since the record was written.
  g_host.flags = ASYNC_LOW_LATENCY;
  g_host.ShowLatency();
  std::ostringstream stale;
  stale << "lcdwrite-latency-record-1 " << rdev_ << " 1 0 1 -1\n";
  std::ofstream(tree_.Record("ttyUSB0")) << stale.str();

  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Notes(), std::vector<std::string>{
                         "driver ftdi_sio, latency timer 1 ms; already low, nothing requested"});
  EXPECT_FALSE(FileExists(tree_.Record("ttyUSB0")));
  EXPECT_TRUE(serial_.CloseHandle(h));
  EXPECT_TRUE(serial_.LastDeviceNotes().empty());
  EXPECT_TRUE(FlagSet()) << "not this program's setting to take back";
}


// What a list of the converters shows without opening the port: the timer as the attribute
// holds it, and the programs that have the port open.
TEST_F(SerialLatency, the_idle_timer_and_the_holders_are_read_without_an_open) {
  const struct {
    const char* name;
    bool usbSerial;
    const char* attribute;  // nullptr: none
    DWORD expected;
  } rows[] = {{"timer_16", true, "16", 16},        {"timer_1", true, "1", 1},
              {"no_attribute", true, nullptr, 0},  {"not_a_number", true, "16ms", 0},
              {"out_of_range", true, "256", 0},    {"not_usb_serial", false, nullptr, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::FakeTree tree(std::string("idle_") + row.name);
    tree.AddTty(rdev_, "ttyUSB0", row.usbSerial, "ftdi_sio", row.attribute ? 1 : -1);
    if (row.attribute) {
      std::ofstream(tree.Root() / "sys/bus/usb-serial/devices/ttyUSB0/latency_timer")
          << row.attribute << "\n";
    }
    Serial serial(kernel_, testing::FakeHostCalls(), "/dev", tree.Paths());
    EXPECT_EQ(serial.IdleConverterLatency(pty_.DeviceName().c_str()), row.expected);
    EXPECT_TRUE(g_host.ioctls.empty()) << "nothing asked of the driver";
  }
  tree_.AddTty(rdev_, "ttyUSB0", true, "ftdi_sio", 16);
  EXPECT_TRUE(serial_.PortHolders(pty_.DeviceName().c_str()).empty());
  tree_.AddProcess(4711, "picocom", pty_.SlavePath());
  const std::vector<OpenFailure::Holder> holders = serial_.PortHolders(pty_.DeviceName().c_str());
  ASSERT_EQ(holders.size(), 1u);
  EXPECT_EQ(holders[0].program, "picocom");
  EXPECT_EQ(holders[0].pid, 4711);
  EXPECT_TRUE(serial_.PortHolders("\\\\.\\ttyUSB9").empty());
}

}  // namespace
}  // namespace plat::posix
