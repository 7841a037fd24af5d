// Reading and writing through the port on the simulated machine: the core operations, the
// completion waits and their time-outs, the queue operations and the typed wrappers.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "tests/comport/io_harness.h"

namespace comport::porttest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

class PortIo : public PortFixture {
 protected:
  PortIo() {
    port->SetBeforeRead(fw::Method<&Recorder::BeforeRead>(&r));
    port->SetAfterRead(fw::Method<&Recorder::AfterRead>(&r));
    port->SetBeforeWrite(fw::Method<&Recorder::BeforeWrite>(&r));
    port->SetAfterWrite(fw::Method<&Recorder::AfterWrite>(&r));
  }
  void OpenAndReceive(const Bytes& bytes) {
    port->Open();
    device.Send(bytes);
    machine.RunFor(static_cast<std::int64_t>(bytes.size() + 1) * device.FrameNs());
    spy.ClearCalls();
  }
  // Log lines without their date-time prefix.
  Lines LogText() {
    std::ifstream in(logPath);
    Lines lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(20));
    return lines;
  }
  void StartLog() {
    logPath = ::testing::TempDir() + "comport_io_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    std::remove(logPath.c_str());
    port->SetLogFile(logPath);
  }
  ~PortIo() override {
    if (!logPath.empty()) std::remove(logPath.c_str());
  }

  Recorder r;
  std::string logPath;
};

TEST_F(PortIo, a_byte_written_without_waiting_returns_at_once_and_goes_out) {
  port->Open();
  const std::int64_t before = machine.NowNs();
  port->WriteByte(0xBA);
  EXPECT_EQ(machine.NowNs(), before);
  port->WriteByte(0x01);
  EXPECT_EQ(r.seen, (Lines{"BeforeWrite 1", "AfterWrite 1", "BeforeWrite 1", "AfterWrite 1"}));
  ASSERT_TRUE(PumpUntil([&] { return SentBytes().size() == 2; }));
  EXPECT_EQ(SentBytes(), (Bytes{0xBA, 0x01}));
  EXPECT_FALSE(port->WritePending());
  EXPECT_EQ(port->OutputCount(), 0);
}

TEST_F(PortIo, a_write_waits_for_the_write_before_it) {
  port->BufferSizes().SetOutput(1);
  port->Open();
  port->WriteString("ab");  // more than the driver takes at once
  EXPECT_TRUE(port->WritePending());
  const std::int64_t before = machine.NowNs();
  port->WriteByte('c');
  EXPECT_GE(machine.NowNs() - before, device.FrameNs());  // it waited for room
  port->WaitForWriteCompletion();
  EXPECT_FALSE(port->WritePending());
  ASSERT_TRUE(PumpUntil([&] { return SentBytes().size() == 3; }));
  EXPECT_EQ(SentBytes(), (Bytes{'a', 'b', 'c'}));
}

TEST_F(PortIo, read_byte_waits_for_the_byte_without_time_outs) {
  port->Open();
  machine.ScheduleAfter(50 * sim::kNsPerMs, [&] { device.Send(std::uint8_t{0x41}); });
  const std::int64_t before = machine.NowNs();
  EXPECT_EQ(port->ReadByte(), 0x41);
  EXPECT_GE(machine.NowNs() - before, 50 * sim::kNsPerMs + device.FrameNs());
  EXPECT_EQ(r.seen, (Lines{"BeforeRead 1 wait", "AfterRead 1 wait"}));
}

TEST_F(PortIo, read_byte_with_a_read_time_out_raises_timeout) {
  port->Timeouts().SetReadConstant(100);
  port->Open();
  const std::int64_t before = machine.NowNs();
  try {
    port->ReadByte();
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Message(), texts::kTimeout);
  }
  const std::int64_t waited = machine.NowNs() - before;
  EXPECT_GE(waited, 100 * sim::kNsPerMs);
  EXPECT_LT(waited, 102 * sim::kNsPerMs);
  EXPECT_FALSE(port->ReadPending());
  // The port stays usable.
  device.Send(std::uint8_t{0x42});
  EXPECT_EQ(port->ReadByte(), 0x42);
}

TEST_F(PortIo, typed_readers_decode_what_arrives) {
  struct Row {
    const char* what;
    Bytes incoming;
    std::function<std::string(TCustomComPort&)> read;
    std::string expected;
    int left;  // bytes still queued afterwards
  };
  const std::vector<Row> rows = {
      {"ReadLine", {0x41, 0x42, 0x0D, 0x43}, [](TCustomComPort& p) { return p.ReadLine(); }, "AB\r", 1},
      {"ReadUntil", {'x', 'y', ';', 'z'}, [](TCustomComPort& p) { return p.ReadUntil(';'); }, "xy;", 1},
      {"ReadUntilBytes", {1, 2, 0, 3}, [](TCustomComPort& p) { auto b = p.ReadUntilBytes(0); return std::string(b.begin(), b.end()); }, std::string("\x01\x02\x00", 3), 1},
      {"ReadLineBytes", {7, 13}, [](TCustomComPort& p) { auto b = p.ReadLineBytes(); return std::string(b.begin(), b.end()); }, "\x07\r", 0},
      {"ReadWord", {0x34, 0x12, 9}, [](TCustomComPort& p) { return std::to_string(p.ReadWord()); }, "4660", 1},
      {"ReadDWord", {0, 1, 0, 0}, [](TCustomComPort& p) { return std::to_string(p.ReadDWord()); }, "256", 0},
      {"ReadChar", {'q', 'r'}, [](TCustomComPort& p) { return std::string(1, p.ReadChar()); }, "q", 1},
      {"ReadString", {'h', 'i', 0}, [](TCustomComPort& p) { return p.ReadString(); }, std::string("hi\0", 3), 0},
      {"ReadBytes", {5, 6}, [](TCustomComPort& p) { auto b = p.ReadBytes(); return std::string(b.begin(), b.end()); }, "\x05\x06", 0},
      {"ReadLineUtf8", {0xC3, 0x84, 0xE2, 0x82, 0xAC, 0x0D}, [](TCustomComPort& p) { return fw::Utf8Encode(p.ReadLineUtf8()); }, "\xC3\x84\xE2\x82\xAC\r", 0},
      {"ReadUtf8", {0xC3, 0xA9}, [](TCustomComPort& p) { return fw::Utf8Encode(p.ReadUtf8()); }, "\xC3\xA9", 0},
  };
  for (const Row& row : rows) {
    OpenAndReceive(row.incoming);
    EXPECT_EQ(row.read(*port), row.expected) << row.what;
    EXPECT_EQ(port->InputCount(), row.left) << row.what;
    port->Close();
  }
}

TEST_F(PortIo, typed_writers_send_least_significant_byte_first_and_lines_as_two_writes) {
  struct Row {
    const char* what;
    std::function<void(TCustomComPort&)> write;
    Bytes wire;
    Lines writes;
  };
  const std::vector<Row> rows = {
      {"WriteWord", [](TCustomComPort& p) { p.WriteWord(258); }, {2, 1}, {"WriteFile 2"}},
      {"WriteDWord", [](TCustomComPort& p) { p.WriteDWord(0x01020304); }, {4, 3, 2, 1}, {"WriteFile 4"}},
      {"WriteLine", [](TCustomComPort& p) { p.WriteLine("AB"); }, {0x41, 0x42, 0x0D}, {"WriteFile 2", "WriteFile 1"}},
      {"WriteLineBytes", [](TCustomComPort& p) { p.WriteLineBytes({9}); }, {9, 0x0D}, {"WriteFile 1", "WriteFile 1"}},
      {"WriteLineUtf8", [](TCustomComPort& p) { p.WriteLineUtf8(u"\u00C4\u20AC"); }, {0xC3, 0x84, 0xE2, 0x82, 0xAC, 0x0D}, {"WriteFile 5", "WriteFile 1"}},
      {"WriteString empty", [](TCustomComPort& p) { p.WriteString(""); }, {}, {}},
      {"WriteChar", [](TCustomComPort& p) { p.WriteAnsiChar('z'); }, {'z'}, {"WriteFile 1"}},
  };
  for (const Row& row : rows) {
    device.ClearWireLog();
    port->Open();
    spy.ClearCalls();
    row.write(*port);
    EXPECT_EQ(spy.Calls("WriteFile"), row.writes) << row.what;
    Pump(10);
    EXPECT_EQ(SentBytes(), row.wire) << row.what;
    port->Close();
  }
}

TEST_F(PortIo, written_data_is_copied_so_the_callers_buffer_is_free_at_once) {
  port->BufferSizes().SetOutput(1);  // the driver takes the data only byte by byte
  port->Open();
  {
    auto data = std::make_unique<Bytes>(Bytes{1, 2, 3, 4});
    port->WriteBytes(*data);
    std::fill(data->begin(), data->end(), 0xEE);
  }
  port->WaitForWriteCompletion();
  ASSERT_TRUE(PumpUntil([&] { return SentBytes().size() == 4; }));
  EXPECT_EQ(SentBytes(), (Bytes{1, 2, 3, 4}));
}

TEST_F(PortIo, empty_reads_run_handlers_and_the_wait_but_no_transfer) {
  StartLog();
  port->Open();
  spy.ClearCalls();
  EXPECT_EQ(port->ReadString(), "");
  port->Read(nullptr, 0, false);
  EXPECT_EQ(r.seen, (Lines{"BeforeRead 0 wait", "AfterRead 0 wait", "BeforeRead 0", "AfterRead 0"}));
  EXPECT_TRUE(spy.Calls("ReadFile").empty());
  EXPECT_EQ(LogText(), (Lines{"Open \\\\.\\COM3"}));
}

TEST_F(PortIo, a_negative_length_transfers_nothing) {
  port->Open();
  spy.ClearCalls();
  char buffer[4] = {};
  const std::vector<std::function<void()>> calls = {
      [&] { port->Read(buffer, -1, true); },
      [&] { port->Write(buffer, -5, false); },
  };
  for (const auto& call : calls) {
    try {
      call();
      ADD_FAILURE() << "accepted";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), 0);
      EXPECT_EQ(e.Message(), texts::kNegativeLength);
    }
  }
  EXPECT_TRUE(spy.Calls().empty());
  EXPECT_TRUE(r.seen.empty());
}

TEST_F(PortIo, closed_port) {
  const std::vector<std::pair<const char*, std::function<void()>>> refused = {
      {"Read", [&] { char b; port->Read(&b, 1, true); }},
      {"Write", [&] { port->Write("x", 1, false); }},
      {"WaitForReadCompletion", [&] { port->WaitForReadCompletion(); }},
      {"WaitForWriteCompletion", [&] { port->WaitForWriteCompletion(); }},
      {"ReadByte", [&] { port->ReadByte(); }},
      {"WriteByte", [&] { port->WriteByte(1); }},
      {"ReadString", [&] { port->ReadString(); }},
      {"ReadLine", [&] { port->ReadLine(); }},
      {"WriteLine", [&] { port->WriteLine("a"); }},
  };
  for (const auto& [what, call] : refused) {
    try {
      call();
      ADD_FAILURE() << what;
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), 0) << what;
      EXPECT_EQ(e.Message(), texts::kClosedPort) << what;
    }
  }
  for (auto count : {&TCustomComPort::InputCount, &TCustomComPort::OutputCount}) {
    try {
      (port.get()->*count)();
      ADD_FAILURE() << "counted";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), static_cast<int>(ERROR_INVALID_HANDLE));
    }
  }
  port->PurgeInput();
  port->PurgeOutput();
  port->ClearInput();
  port->ClearOutput();
  port->AbortInput();
  port->AbortOutput();
  port->Flush();
  EXPECT_FALSE(port->ReadPending());
  EXPECT_FALSE(port->WritePending());
  EXPECT_TRUE(spy.Calls().empty());
}

TEST_F(PortIo, purge_family_flags) {
  const std::vector<std::pair<void (TCustomComPort::*)(), std::string>> rows = {
      {&TCustomComPort::PurgeInput, "PurgeComm 0A"}, {&TCustomComPort::PurgeOutput, "PurgeComm 05"},
      {&TCustomComPort::ClearInput, "PurgeComm 08"}, {&TCustomComPort::ClearOutput, "PurgeComm 04"},
      {&TCustomComPort::AbortInput, "PurgeComm 02"}, {&TCustomComPort::AbortOutput, "PurgeComm 01"},
      {&TCustomComPort::Flush, "FlushFileBuffers"},
  };
  port->Open();
  for (const auto& [op, call] : rows) {
    spy.ClearCalls();
    (port.get()->*op)();
    EXPECT_EQ(spy.Calls(), (Lines{call}));
  }
  device.Send(std::string_view("abc"));
  Pump(5);
  EXPECT_EQ(port->InputCount(), 3);
  port->PurgeInput();
  EXPECT_EQ(port->InputCount(), 0);
}

TEST_F(PortIo, log_lines_of_reads_and_writes) {
  port->SetDeviceName("COM3");
  StartLog();
  port->Open();
  device.Send(Bytes{0x01, 0x02});
  std::uint8_t data[2];
  port->Read(data, 2, true);
  port->WriteByte(0xBA);
  port->WaitForWriteCompletion();
  port->WaitForWriteCompletion();  // each completion is logged once
  EXPECT_EQ(LogText(), (Lines{"Open COM3", "Read request 2 byte(s)", "Read complete $01, $02",
                              "Write request $BA", "Write complete $BA"}));
}

TEST_F(PortIo, a_read_seen_finished_is_not_logged_from_its_released_buffer) {
  StartLog();
  port->Open();
  auto* buffer = new std::uint8_t[2];
  port->Read(buffer, 2, false);
  EXPECT_TRUE(port->ReadPending());
  device.Send(Bytes{0x11, 0x22});
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  EXPECT_EQ(buffer[0], 0x11);
  delete[] buffer;
  port->WaitForReadCompletion();
  EXPECT_EQ(LogText(), (Lines{"Open \\\\.\\COM3", "Read request 2 byte(s)"}));
}

TEST_F(PortIo, a_refused_transfer_leaves_its_direction_idle) {
  port->Open();
  spy.FailNext("WriteFile", ERROR_GEN_FAILURE);
  EXPECT_THROW(port->WriteByte(1), EComError);
  EXPECT_FALSE(port->WritePending());
  port->WriteByte(2);  // no wait for a write that never started
  spy.FailNext("ReadFile", ERROR_GEN_FAILURE);
  EXPECT_THROW(port->ReadByte(), EComError);
  EXPECT_FALSE(port->ReadPending());
  device.Send(std::uint8_t{3});
  EXPECT_EQ(port->ReadByte(), 3);
  ASSERT_TRUE(PumpUntil([&] { return SentBytes().size() == 1; }));
  EXPECT_EQ(SentBytes(), (Bytes{2}));
}

TEST_F(PortIo, unplugging_in_the_middle_of_a_read) {
  port->Open();
  machine.ScheduleAfter(10 * sim::kNsPerMs, [&] { device.Unplug(); });
  try {
    port->ReadByte();
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<int>(ERROR_ACCESS_DENIED));
  }
  EXPECT_FALSE(port->ReadPending());
  EXPECT_THROW(port->ReadByte(), EComError);  // fails again at once, does not hang
  port->Close();
  EXPECT_FALSE(port->Active());
}

TEST_F(PortIo, counts_report_line_errors_through_on_line_error) {
  port->SetOnLineError(fw::Method<&Recorder::OnLineError>(&r));
  port->Open();
  device.Send(std::string_view("xy"));
  Pump(5);
  device.InjectLineError(CE_RXPARITY);
  EXPECT_EQ(port->InputCount(), 2);
  Pump(3);  // the event thread finds the flags already cleared
  EXPECT_EQ(r.seen, (Lines{"LineError " + std::to_string(TLineErrors({leParity}).ToBits())}));
}

}  // namespace
}  // namespace comport::porttest
