// Reading and writing on the simulated machine: the core operations and their completion waits,
// time-outs, the queue operations and the typed wrappers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "tests/comport/io_harness.h"

namespace comport::porttest {
namespace {

using Bytes = std::vector<std::uint8_t>;

class PortIo : public PortFixture {
 protected:
  PortIo() {
    for (auto set : {&TCustomComPort::SetBeforeRead, &TCustomComPort::SetAfterRead,
                     &TCustomComPort::SetBeforeWrite, &TCustomComPort::SetAfterWrite}) {
      (port.get()->*set)(fw::Method<&Recorder::Transfer>(&r));
    }
  }
  Recorder r;
};

TEST_F(PortIo, writers_return_at_once_and_a_write_waits_for_the_one_before) {
  port->BufferSizes().SetOutput(1);  // the driver takes one byte at a time
  port->Open();
  const std::int64_t start = machine.NowNs();
  port->WriteString("ab");
  EXPECT_EQ(machine.NowNs(), start);
  EXPECT_TRUE(port->WritePending());
  port->WriteByte('c');
  EXPECT_GE(machine.NowNs() - start, device.FrameNs());
  port->WaitForWriteCompletion();
  EXPECT_FALSE(port->WritePending());
  ASSERT_TRUE(PumpUntil([&] { return Sent().size() == 3; }));
  EXPECT_EQ(Sent(), (Bytes{'a', 'b', 'c'}));
}

TEST_F(PortIo, reads_wait_for_their_bytes_or_end_with_timeout) {
  port->Open();
  machine.ScheduleAfter(50 * sim::kNsPerMs, [&] { device.Send(std::uint8_t{0x41}); });
  EXPECT_EQ(port->ReadByte(), 0x41);
  EXPECT_GE(machine.NowNs(), 50 * sim::kNsPerMs);
  port->Timeouts().SetReadConstant(100);
  const std::int64_t start = machine.NowNs();
  try {
    port->ReadByte();
    ADD_FAILURE();
  } catch (const EComError& e) {
    EXPECT_EQ(e.Kind(), ekTimeout);
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Message(), "Timeout");  // the text people see stays
  }
  EXPECT_NEAR(double(machine.NowNs() - start), 100.0 * sim::kNsPerMs, 2.0 * sim::kNsPerMs);
  EXPECT_FALSE(port->ReadPending());
  EXPECT_EQ(r.seen, (Lines{"transfer 1 wait", "transfer 1 wait", "transfer 1 wait"}));
}

TEST_F(PortIo, typed_readers) {
  struct Row {
    Bytes incoming;
    std::function<std::string(TCustomComPort&)> read;
    std::string expected;
    int left;
  };
  auto text = [](const TBytes& b) { return std::string(b.begin(), b.end()); };
  const std::vector<Row> rows = {
      {{0x41, 0x42, 0x0D, 0x43}, [](TCustomComPort& p) { return p.ReadLine(); }, "AB\r", 1},
      {{1, 0, 3}, [&](TCustomComPort& p) { return text(p.ReadUntilBytes(0)); }, std::string("\1\0", 2), 1},
      {{0x34, 0x12}, [](TCustomComPort& p) { return std::to_string(p.ReadWord()); }, "4660", 0},
      {{0, 1, 0, 0}, [](TCustomComPort& p) { return std::to_string(p.ReadDWord()); }, "256", 0},
      {{'h', 0, 'i'}, [](TCustomComPort& p) { return p.ReadString(); }, std::string("h\0i", 3), 0},
      {{5, 6}, [&](TCustomComPort& p) { return text(p.ReadBytes()); }, "\5\6", 0},
      {{0xC3, 0x84, 0xE2, 0x82, 0xAC, 0x0D}, [](TCustomComPort& p) { return fw::Utf8Encode(p.ReadLineUtf8()); }, "\xC3\x84\xE2\x82\xAC\r", 0},
  };
  for (const Row& row : rows) {
    port->Open();
    device.Send(row.incoming);
    machine.RunFor(static_cast<std::int64_t>(row.incoming.size() + 1) * device.FrameNs());
    EXPECT_EQ(row.read(*port), row.expected) << row.expected;
    EXPECT_EQ(port->InputCount(), row.left) << row.expected;
    port->Close();
  }
}

TEST_F(PortIo, typed_writers) {
  const std::vector<std::tuple<std::function<void(TCustomComPort&)>, Bytes, Lines>> rows = {
      {[](TCustomComPort& p) { p.WriteWord(258); }, {2, 1}, {"WriteFile 2"}},
      {[](TCustomComPort& p) { p.WriteDWord(0x01020304); }, {4, 3, 2, 1}, {"WriteFile 4"}},
      {[](TCustomComPort& p) { p.WriteLine("AB"); }, {0x41, 0x42, 0x0D}, {"WriteFile 2", "WriteFile 1"}},
      {[](TCustomComPort& p) { p.WriteLineUtf8(u"\u00C4\u20AC"); }, {0xC3, 0x84, 0xE2, 0x82, 0xAC, 0x0D}, {"WriteFile 5", "WriteFile 1"}},
      {[](TCustomComPort& p) { p.WriteString(""); }, {}, {}},
  };
  for (const auto& [write, wire, calls] : rows) {
    device.ClearWireLog();
    port->Open();
    spy.ClearCalls();
    write(*port);
    EXPECT_EQ(spy.Calls("WriteFile"), calls);
    Pump(10);
    EXPECT_EQ(Sent(), wire);
    port->Close();
  }
}

TEST_F(PortIo, zero_and_negative_lengths) {
  port->SetLogFile(LogPath());
  port->Open();
  spy.ClearCalls();
  EXPECT_EQ(port->ReadString(), "");  // handlers and the completion wait, but no transfer
  char buffer[4] = {};
  for (std::int32_t length : {-1, -5}) {
    try {
      port->Write(buffer, length, false);
      ADD_FAILURE();
    } catch (const EComError& e) {
      EXPECT_EQ(e.Kind(), ekNegativeLength);
      EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_THROW(port->Read(buffer, length, true), EComError);
  }
  EXPECT_TRUE(spy.Calls().empty());
  EXPECT_EQ(r.seen, (Lines{"transfer 0 wait", "transfer 0 wait"}));
  EXPECT_EQ(LogLines(), Lines{"Open \\\\.\\COM3"});
}

TEST_F(PortIo, on_a_closed_port) {
  const std::vector<std::function<void()>> refused = {
      [&] { port->ReadByte(); },        [&] { port->WriteByte(1); },
      [&] { port->ReadString(); },      [&] { port->WriteLine("a"); },
      [&] { port->WaitForReadCompletion(); },
  };
  for (const auto& call : refused) {
    try {
      call();
      ADD_FAILURE();
    } catch (const EComError& e) {
      EXPECT_EQ(e.Kind(), ekNotOpen);
      EXPECT_EQ(e.ErrorCode(), 0);
    }
  }
  try {
    port->InputCount();
    ADD_FAILURE();
  } catch (const EComError& e) {
    EXPECT_EQ(e.Kind(), ekSystemCall);
    EXPECT_EQ(e.ErrorCode(), int(ERROR_INVALID_HANDLE));
  }
  port->PurgeInput();
  port->Flush();
  EXPECT_TRUE(spy.Calls().empty());
}

TEST_F(PortIo, log_lines_and_no_log_from_a_buffer_the_caller_has_released) {
  port->SetDeviceName("COM3");
  port->SetLogFile(LogPath());
  port->Open();
  device.Send(Bytes{0x01, 0x02});
  std::uint8_t data[2];
  port->Read(data, 2, true);
  port->WriteByte(0xBA);
  port->WaitForWriteCompletion();
  port->WaitForWriteCompletion();  // each completion is logged once
  auto* buffer = new std::uint8_t[1];
  port->Read(buffer, 1, false);
  device.Send(std::uint8_t{0x11});
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  delete[] buffer;
  port->WaitForReadCompletion();
  EXPECT_EQ(LogLines(), (Lines{"Open COM3", "Read request 2 byte(s)", "Read complete $01, $02",
                               "Write request $BA", "Write complete $BA", "Read request 1 byte(s)"}));
}

TEST_F(PortIo, a_refused_transfer_leaves_its_direction_idle) {
  port->Open();
  spy.FailNext("WriteFile", ERROR_GEN_FAILURE);
  EXPECT_THROW(port->WriteByte(1), EComError);
  EXPECT_FALSE(port->WritePending());
  port->WriteByte(2);
  spy.FailNext("ReadFile", ERROR_GEN_FAILURE);
  EXPECT_THROW(port->ReadByte(), EComError);
  device.Send(std::uint8_t{3});
  EXPECT_EQ(port->ReadByte(), 3);
}

TEST_F(PortIo, unplugging_in_the_middle_of_a_read) {
  port->Open();
  machine.ScheduleAfter(10 * sim::kNsPerMs, [&] { device.Unplug(); });
  try {
    port->ReadByte();
    ADD_FAILURE();
  } catch (const EComError& e) {
    EXPECT_EQ(e.Kind(), ekSystemCall);
    EXPECT_EQ(e.ErrorCode(), int(ERROR_ACCESS_DENIED));
  }
  EXPECT_FALSE(port->ReadPending());
  EXPECT_THROW(port->ReadByte(), EComError);  // at once, no hang
}

}  // namespace
}  // namespace comport::porttest
