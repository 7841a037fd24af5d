// The USB-serial converter between a simulated device's far end and the host: when the host
// sees what the far end sent, and which latency the driver programs at open.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sim/echo_far_end.h"
#include "platform/sim/machine.h"
#include "sim_test_support.h"

namespace {

using simtest::kFrame9600;
using simtest::kMs;

constexpr char kParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000\\Device "
    "Parameters";

// The instant the k-th byte of a run that starts at 0 has fully arrived.
std::int64_t Arrival(int k) { return static_cast<std::int64_t>(std::llround(k * kFrame9600)); }

// A converter on COM4 with an echoing far end, and a handle on it.
class ConverterPort : public ::testing::Test {
 protected:
  sim::SerialDevice& AddConverter(sim::ConverterSettings settings) {
    sim::SerialDevice& device = machine.AddConverter("A5XK3RJT", "COM4");
    machine.SetConverterTiming("A5XK3RJT", settings);
    return device;
  }
  HANDLE Open() {
    HANDLE h = serial.CreateFileA("\\\\.\\COM4", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
  }
  void Write(HANDLE h, std::uint8_t byte) {
    OVERLAPPED ov{};
    ov.hEvent = machine.kernel().CreateEventA(TRUE, FALSE);
    DWORD n = 0;
    ASSERT_TRUE(serial.WriteFile(h, &byte, 1, &n, &ov));
    machine.kernel().CloseEvent(ov.hEvent);
  }

  sim::Machine machine;
  plat::SerialApi& serial = machine.serial();
};

struct EchoCase {
  const char* what;
  int latencyMs;
  std::int64_t seenNs;  // when the echo of a byte written at the open reaches the host
};

void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.what; }

class ConverterEcho : public ConverterPort, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(ConverterEcho, a_single_echo_waits_for_the_latency_timer) {
  sim::SerialDevice& device = AddConverter({GetParam().latencyMs, true});
  sim::EchoFarEnd echo(device);
  HANDLE h = Open();
  Write(h, 0xBA);
  machine.RunUntil(Arrival(2) + 1);
  EXPECT_EQ(echo.Received(), std::vector<std::uint8_t>{0xBA});
  machine.RunUntil(GetParam().seenNs - 1);
  EXPECT_EQ(device.HostInputCount(), 0u);
  machine.RunUntil(GetParam().seenNs);
  EXPECT_EQ(device.HostInputCount(), 1u);
  serial.CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Table, ConverterEcho,
                         ::testing::Values(EchoCase{"default_16_ms", 16, 16 * kMs},
                                           EchoCase{"low_latency_1_ms", 1, 3 * kMs},
                                           EchoCase{"slow_40_ms", 40, 40 * kMs}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ConverterPort, a_full_packet_goes_at_once_and_the_rest_waits_for_the_timer) {
  sim::SerialDevice& device = AddConverter({255, true});
  HANDLE h = Open();
  device.Send(std::vector<std::uint8_t>(70, 0x55));
  // The 62nd byte fills the packet.
  machine.RunUntil(Arrival(62) - 1);
  EXPECT_EQ(device.HostInputCount(), 0u);
  machine.RunUntil(Arrival(62));
  EXPECT_EQ(device.HostInputCount(), 62u);
  // The packet restarted the timer: the other 8 go 255 ms after it.
  machine.RunUntil(Arrival(62) + 255 * kMs - 1);
  EXPECT_EQ(device.HostInputCount(), 62u);
  machine.RunUntil(Arrival(62) + 255 * kMs);
  EXPECT_EQ(device.HostInputCount(), 70u);
  serial.CloseHandle(h);
}

TEST_F(ConverterPort, a_modem_line_change_goes_at_once_with_the_data_before_it) {
  sim::SerialDevice& device = AddConverter({16, true});
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommMask(h, EV_RXCHAR | EV_DSR));
  device.Send(0x41);
  machine.RunUntil(5 * kMs);
  EXPECT_EQ(device.HostInputCount(), 0u);
  device.SetDSR(true);
  // Both at the instant of the change, long before the timer.
  EXPECT_EQ(device.HostInputCount(), 1u);
  DWORD status = 0;
  ASSERT_TRUE(serial.GetCommModemStatus(h, &status));
  EXPECT_TRUE(status & MS_DSR_ON);
  DWORD mask = 0;
  OVERLAPPED ov{};
  ov.hEvent = machine.kernel().CreateEventA(TRUE, FALSE);
  ASSERT_TRUE(serial.WaitCommEvent(h, &mask, &ov));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_DSR));
  // A change with nothing waiting sends a status packet too, which restarts the timer.
  machine.RunUntil(8 * kMs);
  device.SetDSR(false);
  device.Send(0x42);
  machine.RunUntil(8 * kMs + 16 * kMs - 1);
  EXPECT_EQ(device.HostInputCount(), 1u);
  machine.RunUntil(8 * kMs + 16 * kMs);
  EXPECT_EQ(device.HostInputCount(), 2u);
  machine.kernel().CloseEvent(ov.hEvent);
  serial.CloseHandle(h);
}

TEST_F(ConverterPort, purge_and_close_drop_what_waits_in_the_converter) {
  sim::SerialDevice& device = AddConverter({16, true});
  HANDLE h = Open();
  device.Send(0x41);
  machine.RunUntil(5 * kMs);
  ASSERT_TRUE(serial.PurgeComm(h, PURGE_RXCLEAR));
  machine.RunUntil(40 * kMs);
  EXPECT_EQ(device.HostInputCount(), 0u);
  device.Send(0x42);
  machine.RunUntil(45 * kMs);
  serial.CloseHandle(h);
  h = Open();
  machine.RunUntil(100 * kMs);
  EXPECT_EQ(device.HostInputCount(), 0u);
  serial.CloseHandle(h);
}

struct DriverCase {
  const char* what;
  bool honours;
  std::optional<DWORD> written;  // LatencyTimer written while the port is closed
  int inUse;
};

void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.what; }

class ConverterDriver : public ConverterPort, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(ConverterDriver, the_driver_programs_the_latency_at_open) {
  const DriverCase& c = GetParam();
  sim::SerialDevice& device = AddConverter({16, c.honours});
  EXPECT_EQ(machine.registry().Dword(kParameters, "LatencyTimer"), 16u);
  if (c.written) machine.registry().SetDword(kParameters, "LatencyTimer", *c.written);
  HANDLE h = Open();
  EXPECT_EQ(device.LatencyMs(), c.inUse);
  serial.CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConverterDriver,
    ::testing::Values(DriverCase{"default", true, std::nullopt, 16},
                      DriverCase{"request_honoured", true, 1, 1},
                      DriverCase{"request_ignored", false, 1, 16},
                      DriverCase{"other_value_honoured", true, 4, 4},
                      DriverCase{"out_of_range_is_no_latency", true, 300, 16}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ConverterPort, a_value_written_while_open_counts_from_the_next_open) {
  sim::SerialDevice& device = AddConverter({16, true});
  HANDLE h = Open();
  machine.registry().SetDword(kParameters, "LatencyTimer", 1);
  EXPECT_EQ(device.LatencyMs(), 16);
  serial.CloseHandle(h);
  h = Open();
  EXPECT_EQ(device.LatencyMs(), 1);
  serial.CloseHandle(h);
}

}  // namespace
