// The simulated serial device's own behaviour: wire timing, far-end callbacks, flow control,
// exact instants. What every backend does alike is in the serial behaviour table
// (tests/platform/serial_behaviour.cpp).
#include <cmath>

#include "platform/sim/echo_far_end.h"
#include "sim_test_support.h"

namespace {

using simtest::kFrame9600;
using simtest::kMs;
using simtest::PortTest;


class SerialDeviceTest : public PortTest {};

TEST_F(SerialDeviceTest, bytes_written_back_to_back_arrive_one_frame_apart) {
  HANDLE h = Open();
  OVERLAPPED ov = NewOverlapped();
  const std::uint8_t data[3] = {0xBA, 0x01, 0x02};
  DWORD written = 0;
  const std::int64_t t0 = machine.NowNs();
  // The driver takes the bytes at once.
  ASSERT_TRUE(serial.WriteFile(h, data, 3, &written, &ov));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(kernel.WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(port.HostOutputCount(), 3u);
  machine.RunFor(10 * kMs);

  const auto bytes = ByteRecords(sim::Direction::HostToFar);
  ASSERT_EQ(bytes.size(), 3u);
  std::int64_t previous = t0;
  for (const sim::WireRecord& r : bytes) {
    EXPECT_EQ(r.startNs, previous);
    EXPECT_NEAR(static_cast<double>(r.endNs - previous), kFrame9600, 1.0);
    previous = r.endNs;
  }
  EXPECT_EQ(port.WireBytes(sim::Direction::HostToFar), std::vector<std::uint8_t>(data, data + 3));
  EXPECT_EQ(port.HostOutputCount(), 0u);
}

TEST_F(SerialDeviceTest, a_long_run_does_not_drift) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetupComm(h, 4096, 16384));
  const std::vector<std::uint8_t> data(9600, 0x55);
  OVERLAPPED ov = NewOverlapped();
  DWORD written = 0;
  const std::int64_t t0 = machine.NowNs();
  ASSERT_TRUE(serial.WriteFile(h, data.data(), 9600, &written, &ov));
  machine.RunFor(11000 * kMs);
  const auto bytes = ByteRecords(sim::Direction::HostToFar);
  ASSERT_EQ(bytes.size(), 9600u);
  // 9600 frames of 10 bits at 9600 baud: exactly ten seconds.
  EXPECT_EQ(bytes.back().endNs - t0, 10000 * kMs);
}

struct FrameCase {
  DWORD baud;
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  std::int64_t frameNs;
};

class FrameTimeTest : public PortTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTimeTest, the_dcb_decides_the_frame_time) {
  const FrameCase& c = GetParam();
  HANDLE h = Open();
  DCB dcb{};
  ASSERT_TRUE(serial.GetCommState(h, &dcb));
  dcb.BaudRate = c.baud;
  dcb.ByteSize = c.byteSize;
  dcb.Parity = c.parity;
  dcb.StopBits = c.stopBits;
  ASSERT_TRUE(serial.SetCommState(h, &dcb));
  OVERLAPPED ov = NewOverlapped();
  const std::uint8_t byte = 0x41;
  ASSERT_TRUE(serial.WriteFile(h, &byte, 1, nullptr, &ov));
  machine.RunFor(100 * kMs);
  const auto bytes = ByteRecords(sim::Direction::HostToFar);
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_EQ(bytes[0].endNs - bytes[0].startNs, c.frameNs);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FrameTimeTest,
    ::testing::Values(FrameCase{9600, 8, NOPARITY, ONESTOPBIT, 1041667},
                      FrameCase{9600, 7, EVENPARITY, ONESTOPBIT, 1041667},
                      FrameCase{115200, 8, NOPARITY, TWOSTOPBITS, 95486},
                      FrameCase{300, 8, NOPARITY, ONE5STOPBITS, 35000000},
                      FrameCase{250000, 8, ODDPARITY, ONESTOPBIT, 44000}));

TEST_F(SerialDeviceTest, echo_round_trip_takes_two_frames) {
  sim::EchoFarEnd echo(port);
  HANDLE h = Open();
  OVERLAPPED wov = NewOverlapped();
  OVERLAPPED rov = NewOverlapped();
  const std::uint8_t out = 0xBA;
  std::uint8_t in = 0;
  DWORD n = 0;
  ASSERT_TRUE(serial.WriteFile(h, &out, 1, &n, &wov));
  EXPECT_FALSE(serial.ReadFile(h, &in, 1, &n, &rov));
  EXPECT_EQ(kernel.GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(serial.GetOverlappedResult(h, &rov, &n, FALSE));
  EXPECT_EQ(kernel.GetLastError(), ERROR_IO_INCOMPLETE);
  ASSERT_TRUE(serial.GetOverlappedResult(h, &rov, &n, TRUE));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(in, 0xBA);
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), 2 * kFrame9600, 1.0);
  EXPECT_EQ(echo.Received(), std::vector<std::uint8_t>{0xBA});
}

struct OpenCase {
  const char* what;
  const char* name;
  void (*setUp)(sim::Machine&, PortTest&);
  DWORD error;  // 0: opens
};

class OpenTest : public PortTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTest, open_result) {
  const OpenCase& c = GetParam();
  if (c.setUp != nullptr) c.setUp(machine, *this);
  kernel.SetLastError(0);
  HANDLE h = serial.CreateFileA(c.name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED);
  if (c.error == 0) {
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
  } else {
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.GetLastError(), c.error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenTest,
    ::testing::Values(
        OpenCase{"prefixed", "\\\\.\\COM3", nullptr, 0},
        OpenCase{"plain_lower_case", "com3", nullptr, 0},
        OpenCase{"absent", "\\\\.\\COM9", nullptr, ERROR_FILE_NOT_FOUND},
        OpenCase{"open_already", "COM3",
                 [](sim::Machine&, PortTest& t) {
                   t.serial.CreateFileA("COM3", GENERIC_READ, 0, OPEN_EXISTING, 0);
                 },
                 ERROR_ACCESS_DENIED},
        OpenCase{"held_by_another_program", "COM3",
                 [](sim::Machine& m, PortTest&) { m.SetBusy("COM3", true); },
                 ERROR_ACCESS_DENIED},
        OpenCase{"unplugged", "COM3", [](sim::Machine&, PortTest& t) { t.port.Unplug(); },
                 ERROR_FILE_NOT_FOUND},
        OpenCase{"replugged", "COM3",
                 [](sim::Machine&, PortTest& t) {
                   t.port.Unplug();
                   t.port.Replug();
                 },
                 0}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SerialDeviceTest, trial_open_for_reading_only_cannot_write) {
  HANDLE h = Open(GENERIC_READ, 0);
  const std::uint8_t byte = 1;
  DWORD n = 7;
  EXPECT_FALSE(serial.WriteFile(h, &byte, 1, &n, nullptr));
  EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(serial.CloseHandle(h));
  EXPECT_FALSE(serial.CloseHandle(h));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_HANDLE);
  // Closed: the port can be opened again.
  EXPECT_NE(serial.CreateFileA("COM3", GENERIC_READ, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
}

TEST_F(SerialDeviceTest, synchronous_read_blocks_on_the_machine_clock) {
  HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0);
  machine.ScheduleAfter(5 * kMs, [&] { port.Send("AB"); });
  char in[2] = {};
  DWORD n = 0;
  ASSERT_TRUE(serial.ReadFile(h, in, 2, &n, nullptr));
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(std::string(in, 2), "AB");
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), 5 * kMs + 2 * kFrame9600, 1.0);
}

TEST_F(SerialDeviceTest, events_are_remembered_until_the_next_wait_only_if_in_the_mask) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommMask(h, EV_DSR | EV_RXCHAR));
  port.SetDSR(true);
  port.SetCTS(true);  // not in the mask: forgotten
  OVERLAPPED ov = NewOverlapped();
  DWORD mask = 0;
  ASSERT_TRUE(serial.WaitCommEvent(h, &mask, &ov));
  EXPECT_EQ(mask, EV_DSR);
  // Nothing is left over for the next wait, which completes when a byte arrives. (Starting
  // the wait resets the event the first one left signalled.)
  EXPECT_FALSE(serial.WaitCommEvent(h, &mask, &ov));
  EXPECT_EQ(kernel.WaitForSingleObject(ov.hEvent, 0), WAIT_TIMEOUT);
  port.Send(0x33);
  ASSERT_EQ(kernel.WaitForSingleObject(ov.hEvent, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), kFrame9600, 1.0);
  DWORD status = 0;
  ASSERT_TRUE(serial.GetCommModemStatus(h, &status));
  EXPECT_EQ(status, MS_DSR_ON | MS_CTS_ON);
}

TEST_F(SerialDeviceTest, tx_empty_when_the_last_byte_has_left) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommMask(h, EV_TXEMPTY));
  OVERLAPPED wait = NewOverlapped();
  OVERLAPPED write = NewOverlapped();
  DWORD mask = 0;
  EXPECT_FALSE(serial.WaitCommEvent(h, &mask, &wait));
  const std::uint8_t data[2] = {1, 2};
  ASSERT_TRUE(serial.WriteFile(h, data, 2, nullptr, &write));
  ASSERT_EQ(kernel.WaitForSingleObject(wait.hEvent, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(mask, EV_TXEMPTY);
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), 2 * kFrame9600, 1.0);
}

TEST_F(SerialDeviceTest, unplug_fails_pending_transfers_and_every_later_call) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommMask(h, EV_RXCHAR));
  OVERLAPPED rov = NewOverlapped();
  OVERLAPPED wov = NewOverlapped();
  std::uint8_t buffer[4];
  DWORD mask = 0xFF;
  DWORD n = 0;
  EXPECT_FALSE(serial.ReadFile(h, buffer, 4, &n, &rov));
  EXPECT_FALSE(serial.WaitCommEvent(h, &mask, &wov));
  machine.ScheduleAfter(5 * kMs, [&] { port.Unplug(); });

  EXPECT_FALSE(serial.GetOverlappedResult(h, &rov, &n, TRUE));
  EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine.NowNs(), 5 * kMs);
  EXPECT_EQ(kernel.WaitForSingleObject(wov.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(mask, 0u);

  DWORD errors = 0;
  EXPECT_FALSE(serial.ClearCommError(h, &errors, nullptr));
  EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(serial.WaitCommEvent(h, &mask, &wov));
  EXPECT_EQ(kernel.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(serial.CloseHandle(h));
  EXPECT_EQ(serial.CreateFileA("COM3", GENERIC_READ, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(kernel.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(SerialDeviceTest, closing_aborts_pending_reads_and_drops_the_control_lines) {
  HANDLE h = Open();
  EXPECT_TRUE(port.DTR());
  OVERLAPPED ov = NewOverlapped();
  std::uint8_t buffer[2];
  DWORD n = 0;
  port.Send(0x11);
  machine.RunFor(2 * kMs);
  EXPECT_FALSE(serial.ReadFile(h, buffer, 2, &n, &ov));
  ASSERT_TRUE(serial.CloseHandle(h));
  EXPECT_FALSE(serial.GetOverlappedResult(h, &ov, &n, TRUE));
  EXPECT_EQ(kernel.GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(n, 1u);
  EXPECT_FALSE(port.DTR());
  EXPECT_FALSE(port.RTS());
}

TEST_F(SerialDeviceTest, purge_clears_input_and_aborts_the_read_with_what_it_has) {
  HANDLE h = Open();
  port.Send("xyz");
  machine.RunFor(5 * kMs);
  COMSTAT stat{};
  ASSERT_TRUE(serial.ClearCommError(h, nullptr, &stat));
  EXPECT_EQ(stat.cbInQue, 3u);
  ASSERT_TRUE(serial.PurgeComm(h, PURGE_RXCLEAR));
  ASSERT_TRUE(serial.ClearCommError(h, nullptr, &stat));
  EXPECT_EQ(stat.cbInQue, 0u);

  OVERLAPPED ov = NewOverlapped();
  std::uint8_t buffer[4];
  DWORD n = 0;
  EXPECT_FALSE(serial.ReadFile(h, buffer, 4, &n, &ov));
  port.Send(0x01);
  machine.RunFor(2 * kMs);
  ASSERT_TRUE(serial.PurgeComm(h, PURGE_RXABORT));
  EXPECT_FALSE(serial.GetOverlappedResult(h, &ov, &n, FALSE));
  EXPECT_EQ(kernel.GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(n, 1u);
  EXPECT_FALSE(serial.PurgeComm(h, 0));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SerialDeviceTest, input_queue_overflow_drops_bytes_and_sets_rxover) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetupComm(h, 16, 16));
  ASSERT_TRUE(serial.SetCommMask(h, EV_ERR));
  port.Send(std::vector<std::uint8_t>(20, 0x7E));
  machine.RunFor(30 * kMs);
  DWORD errors = 0;
  COMSTAT stat{};
  ASSERT_TRUE(serial.ClearCommError(h, &errors, &stat));
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_EQ(stat.cbInQue, 16u);
  // Read and cleared.
  ASSERT_TRUE(serial.ClearCommError(h, &errors, &stat));
  EXPECT_EQ(errors, 0u);
  COMMPROP prop{};
  ASSERT_TRUE(serial.GetCommProperties(h, &prop));
  EXPECT_EQ(prop.dwCurrentRxQueue, 16u);
}

TEST_F(SerialDeviceTest, injected_line_errors_raise_ev_err_and_collect) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommMask(h, EV_ERR | EV_BREAK));
  OVERLAPPED ov = NewOverlapped();
  DWORD mask = 0;
  EXPECT_FALSE(serial.WaitCommEvent(h, &mask, &ov));
  machine.ScheduleAfter(kMs, [&] { port.InjectLineError(CE_FRAME | CE_OVERRUN); });
  ASSERT_EQ(kernel.WaitForSingleObject(ov.hEvent, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(mask, EV_ERR);
  port.InjectBreak();
  DWORD errors = 0;
  ASSERT_TRUE(serial.ClearCommError(h, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME | CE_OVERRUN | CE_BREAK);
}

TEST_F(SerialDeviceTest, control_lines_follow_the_dcb_and_escape_functions) {
  struct Seen : sim::FarEnd {
    std::vector<std::pair<bool, bool>> lines;
    void OnHostLines(bool dtr, bool rts) override { lines.emplace_back(dtr, rts); }
  } seen;
  port.Attach(&seen);
  HANDLE h = Open();
  DCB dcb{};
  ASSERT_TRUE(serial.GetCommState(h, &dcb));
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  ASSERT_TRUE(serial.SetCommState(h, &dcb));
  ASSERT_TRUE(serial.EscapeCommFunction(h, CLRRTS));
  ASSERT_TRUE(serial.EscapeCommFunction(h, SETDTR));
  // An unchanged control mode leaves the line as the escape function set it.
  ASSERT_TRUE(serial.SetCommState(h, &dcb));
  EXPECT_TRUE(port.DTR());
  machine.RunFor(kMs);
  const std::vector<std::pair<bool, bool>> expected{
      {true, false}, {true, true}, {false, true}, {false, false}, {true, false}};
  EXPECT_EQ(seen.lines, expected);
  EXPECT_FALSE(serial.EscapeCommFunction(h, RESETDEV));
  EXPECT_EQ(kernel.GetLastError(), ERROR_NOT_SUPPORTED);
  port.Attach(nullptr);
}

TEST_F(SerialDeviceTest, transmit_char_goes_ahead_of_the_queue) {
  HANDLE h = Open();
  OVERLAPPED ov = NewOverlapped();
  const std::uint8_t data[3] = {'a', 'b', 'c'};
  ASSERT_TRUE(serial.WriteFile(h, data, 3, nullptr, &ov));
  ASSERT_TRUE(serial.TransmitCommChar(h, 'X'));
  ASSERT_TRUE(serial.FlushFileBuffers(h));
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), 4 * kFrame9600, 1.0);
  const std::vector<std::uint8_t> expected{'a', 'X', 'b', 'c'};
  EXPECT_EQ(port.WireBytes(sim::Direction::HostToFar), expected);
}

TEST_F(SerialDeviceTest, break_holds_the_output_until_cleared) {
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetCommBreak(h));
  OVERLAPPED ov = NewOverlapped();
  const std::uint8_t byte = 0x42;
  ASSERT_TRUE(serial.WriteFile(h, &byte, 1, nullptr, &ov));
  machine.RunFor(10 * kMs);
  EXPECT_TRUE(port.WireBytes(sim::Direction::HostToFar).empty());
  ASSERT_TRUE(serial.ClearCommBreak(h));
  machine.RunFor(2 * kMs);
  EXPECT_EQ(port.WireBytes(sim::Direction::HostToFar), std::vector<std::uint8_t>{0x42});
}

TEST_F(SerialDeviceTest, default_configuration_is_the_initial_dcb_and_can_be_changed) {
  COMMCONFIG config{};
  DWORD size = 10;
  EXPECT_FALSE(serial.GetDefaultCommConfigA("COM3", &config, &size));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 52u);
  ASSERT_TRUE(serial.GetDefaultCommConfigA("COM3", &config, &size));
  EXPECT_EQ(config.dwSize, 52u);
  EXPECT_EQ(config.dcb.BaudRate, 9600u);
  EXPECT_EQ(config.dcb.XonLim, 2048);
  EXPECT_EQ(config.dcb.XoffLim, 512);
  EXPECT_EQ(config.dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(config.dcb.fBinary, 1u);
  config.dcb.BaudRate = 19200;
  ASSERT_TRUE(serial.SetDefaultCommConfigA("COM3", &config, size));
  EXPECT_FALSE(serial.CommConfigDialogA("COM3", nullptr, &config));
  EXPECT_EQ(kernel.GetLastError(), ERROR_CANCELLED);
  // A device plugged in again starts from its default configuration.
  port.Unplug();
  port.Replug();
  EXPECT_EQ(port.HostDcb().BaudRate, 19200u);
}

}  // namespace

namespace {

struct HoldCase {
  const char* what;
  void (*hold)(PortTest&, HANDLE);
  void (*release)(PortTest&, HANDLE);
};

class OutputHoldTest : public PortTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(OutputHoldTest, held_output_leaves_when_released) {
  const HoldCase& c = GetParam();
  HANDLE h = Open();
  c.hold(*this, h);
  machine.RunFor(5 * kMs);
  OVERLAPPED ov = NewOverlapped();
  const std::uint8_t byte = 0x42;
  ASSERT_TRUE(serial.WriteFile(h, &byte, 1, nullptr, &ov));
  machine.RunFor(10 * kMs);
  EXPECT_TRUE(port.WireBytes(sim::Direction::HostToFar).empty());
  EXPECT_EQ(port.HostOutputCount(), 1u);
  c.release(*this, h);
  machine.RunFor(5 * kMs);
  EXPECT_EQ(port.WireBytes(sim::Direction::HostToFar), std::vector<std::uint8_t>{0x42});
}

void SetDcb(PortTest& t, HANDLE h, void (*change)(DCB&)) {
  DCB dcb{};
  ASSERT_TRUE(t.serial.GetCommState(h, &dcb));
  change(dcb);
  ASSERT_TRUE(t.serial.SetCommState(h, &dcb));
}

INSTANTIATE_TEST_SUITE_P(
    Holds, OutputHoldTest,
    ::testing::Values(
        HoldCase{"cts_flow", [](PortTest& t, HANDLE h) {
                   SetDcb(t, h, [](DCB& d) { d.fOutxCtsFlow = 1; });
                 },
                 [](PortTest& t, HANDLE) { t.port.SetCTS(true); }},
        HoldCase{"dsr_flow", [](PortTest& t, HANDLE h) {
                   SetDcb(t, h, [](DCB& d) { d.fOutxDsrFlow = 1; });
                 },
                 [](PortTest& t, HANDLE) { t.port.SetDSR(true); }},
        HoldCase{"escape_xoff", [](PortTest& t, HANDLE h) { t.serial.EscapeCommFunction(h, SETXOFF); },
                 [](PortTest& t, HANDLE h) { t.serial.EscapeCommFunction(h, SETXON); }},
        HoldCase{"xoff_from_the_far_end",
                 [](PortTest& t, HANDLE h) {
                   SetDcb(t, h, [](DCB& d) { d.fOutX = 1; });
                   t.port.Send(19);
                 },
                 [](PortTest& t, HANDLE) { t.port.Send(17); }}),
    [](const auto& info) { return std::string(info.param.what); });

struct WriteTimeoutCase {
  const char* what;
  DWORD constantMs;
  DWORD transferred;
  double doneAtNs;
};

class WriteTimeoutTest : public PortTest,
                         public ::testing::WithParamInterface<WriteTimeoutCase> {};

TEST_P(WriteTimeoutTest, a_write_waits_for_room_in_the_output_queue) {
  const WriteTimeoutCase& c = GetParam();
  HANDLE h = Open();
  ASSERT_TRUE(serial.SetupComm(h, 4096, 4));
  COMMTIMEOUTS timeouts{0, 0, 0, 0, c.constantMs};
  ASSERT_TRUE(serial.SetCommTimeouts(h, &timeouts));
  const std::vector<std::uint8_t> data(10, 0x61);
  OVERLAPPED ov = NewOverlapped();
  DWORD n = 0;
  EXPECT_FALSE(serial.WriteFile(h, data.data(), 10, &n, &ov));
  EXPECT_EQ(kernel.GetLastError(), ERROR_IO_PENDING);
  ASSERT_TRUE(serial.GetOverlappedResult(h, &ov, &n, TRUE));
  EXPECT_EQ(n, c.transferred);
  EXPECT_NEAR(static_cast<double>(machine.NowNs()), c.doneAtNs, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Room, WriteTimeoutTest,
    // Four bytes fit at once and one more each time a frame has left.
    ::testing::Values(WriteTimeoutCase{"no_time_out", 0, 10, 5 * kFrame9600},
                      WriteTimeoutCase{"time_out_first", 2, 6, 2 * kMs}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SerialDeviceTest, rts_toggle_is_on_while_sending) {
  HANDLE h = Open();
  SetDcb(*this, h, [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; });
  EXPECT_FALSE(port.RTS());
  EXPECT_FALSE(serial.EscapeCommFunction(h, SETRTS));
  EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_PARAMETER);
  machine.RunFor(kMs);
  port.ClearWireLog();
  OVERLAPPED ov = NewOverlapped();
  ASSERT_TRUE(serial.WriteFile(h, "ab", 2, nullptr, &ov));
  EXPECT_TRUE(port.RTS());
  machine.RunFor(5 * kMs);
  EXPECT_FALSE(port.RTS());
  std::vector<std::pair<bool, std::int64_t>> rts;
  for (const sim::WireRecord& r : port.WireLog()) {
    if (r.kind == sim::WireRecord::Kind::Line && r.line == sim::Line::RTS) {
      rts.emplace_back(r.on, r.startNs);
    }
  }
  ASSERT_EQ(rts.size(), 2u);
  EXPECT_EQ(rts[0], std::make_pair(true, kMs));
  EXPECT_FALSE(rts[1].first);
  EXPECT_NEAR(static_cast<double>(rts[1].second - kMs), 2 * kFrame9600, 1.0);
}

}  // namespace
