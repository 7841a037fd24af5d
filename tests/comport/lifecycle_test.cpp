// Opening and closing, handle set-up and its failures, the event thread and the dispatch of
// device events, on the simulated machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "tests/comport/io_harness.h"

namespace comport::porttest {
namespace {

using Lines = std::vector<std::string>;

// The log file's lines without their date-time prefix (which must have the expected form).
Lines LogLines(const std::string& path) {
  std::ifstream in(path);
  Lines lines;
  const std::regex prefix(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d (.*)$)");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, prefix)) << line;
    lines.push_back(m.size() > 1 ? m[1].str() : line);
  }
  return lines;
}

class LogFile {
 public:
  LogFile() : path_(::testing::TempDir() + "comport_lifecycle_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log") {
    std::remove(path_.c_str());
  }
  ~LogFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class Lifecycle : public PortFixture {
 protected:
  // Leaves the event thread blocked in a synchronised dispatch of a DSR change, so that the
  // device events that follow collect for one later cycle.
  void HoldThreadInDispatch() {
    device.SetDSR(!device.DSR());
    machine.RunFor(sim::kNsPerMs);
  }
  Recorder r;
};

TEST_F(Lifecycle, open_sets_up_the_device_in_order_and_close_releases_everything) {
  Watch(r);
  LogFile log;
  port->SetLogFile(log.Path());
  port->Open();
  port->Open();
  EXPECT_TRUE(port->Active());
  EXPECT_EQ(spy.LiveEvents(), 3);
  EXPECT_EQ(spy.Calls(), (Lines{"CreateFileA \\\\.\\COM3 C0000000 0 3 40000080",
                                "PurgeComm 0A", "PurgeComm 05", "SetupComm 4096 2048",
                                "GetCommState", "SetCommState", "GetCommTimeouts",
                                "SetCommTimeouts", "SetCommMask 0000"}));
  port->Close();
  port->Close();
  EXPECT_FALSE(port->Active());
  EXPECT_EQ(spy.LiveEvents(), 0);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(LogLines(log.Path()), (Lines{"Open \\\\.\\COM3", "Close \\\\.\\COM3"}));
}

TEST_F(Lifecycle, settings_reach_the_device_at_open_and_at_once_while_open) {
  port->SetBaudRate(br19200);
  port->BufferSizes().SetInput(-1);
  port->Timeouts().SetReadConstant(100);
  EXPECT_TRUE(spy.Calls().empty());  // closed: only stored
  port->Open();
  EXPECT_TRUE(spy.Calls("SetupComm").empty());
  EXPECT_EQ(device.HostDcb().BaudRate, 19200u);
  EXPECT_EQ(device.HostTimeouts().ReadTotalTimeoutConstant, 100u);

  struct Row {
    const char* call;
    std::function<void()> change;
  };
  const std::vector<Row> rows = {
      {"SetCommState", [&] { port->SetStopBits(sb2); }},
      {"SetCommState", [&] { port->FlowControl().SetXOnLimit(10); }},
      {"SetCommState", [&] { port->Characters().SetEof('z'); }},
      {"SetCommState", [&] { port->SetCustomBaudRate(250000); }},
      {"SetupComm", [&] { port->BufferSizes().SetInput(8192); }},
      {"SetCommTimeouts", [&] { port->Timeouts().SetWriteConstant(5); }},
  };
  for (const Row& row : rows) {
    spy.ClearCalls();
    row.change();
    EXPECT_EQ(spy.Calls(row.call).size(), 1u) << row.call;
  }
  EXPECT_EQ(device.HostDcb().BaudRate, 250000u);
  EXPECT_EQ(device.HostDcb().StopBits, TWOSTOPBITS);

  // A failing re-apply raises, and the new value stays stored.
  spy.FailNext("SetCommState", ERROR_GEN_FAILURE);
  try {
    port->SetParity(paEven);
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 31);
  }
  EXPECT_EQ(port->Parity(), paEven);
}

TEST_F(Lifecycle, failed_open_leaves_nothing_behind_and_restores_the_priority_class) {
  struct Row {
    bool busy;  // held by another program, else missing
    TComAction answer;
    int code;
  };
  for (const Row& row : {Row{false, caFail, 2}, Row{true, caFail, 5}, Row{false, caAbort, 2}}) {
    Recorder rec;
    Watch(rec);
    port->SetPriorityClass(pcRealTime);
    port->SetDeviceName(row.busy ? "COM3" : "COM9");
    machine.SetBusy("COM3", row.busy);
    rec.answer = row.answer;
    // OnError runs before the clean-up: the raised priority class is still in force.
    DWORD classInHandler = 0;
    rec.also = [&](const std::string& what) {
      if (what.rfind("OnError", 0) == 0) classInHandler = machine.SimSystem().GetPriorityClass();
    };
    const std::size_t changesBefore = machine.SimSystem().PriorityClassChanges().size();
    bool aborted = false;
    try {
      port->SetActive(true);
      ADD_FAILURE() << "opened";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), row.code);
      EXPECT_EQ(e.Message(), machine.kernel().SysErrorMessage(row.code));
    } catch (const fw::EAbort&) {
      aborted = true;
    }
    EXPECT_EQ(aborted, row.answer == caAbort);
    EXPECT_EQ(rec.seen, (Lines{"BeforeOpen", "OnError " + std::to_string(row.code)}));
    EXPECT_EQ(classInHandler, REALTIME_PRIORITY_CLASS);
    EXPECT_FALSE(port->Active());
    EXPECT_EQ(spy.LiveEvents(), 0);
    EXPECT_EQ(machine.SimSystem().GetPriorityClass(), NORMAL_PRIORITY_CLASS);
    const auto changes = machine.SimSystem().PriorityClassChanges();
    ASSERT_EQ(changes.size(), changesBefore + 2);
    EXPECT_EQ(changes[changesBefore].priorityClass, REALTIME_PRIORITY_CLASS);
  }
  machine.SetBusy("COM3", false);
}

TEST_F(Lifecycle, settings_that_need_a_closed_port_are_refused_while_open) {
  port->Open();
  const std::vector<std::function<void()>> changes = {
      [&] { port->SetDeviceName("COM4"); },
      [&] { port->SetSynchronizeEvents(false); },
      [&] { port->SetPriorityClass(pcHigh); },
  };
  for (const auto& change : changes) {
    try {
      change();
      ADD_FAILURE() << "accepted";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode(), 0);
      EXPECT_EQ(e.Message(), texts::kOpenPort);
    }
  }
  EXPECT_TRUE(port->Active());
  EXPECT_EQ(port->DeviceName(), "\\\\.\\COM3");
  EXPECT_TRUE(port->SynchronizeEvents());
  EXPECT_EQ(port->PriorityClass(), pcDefault);
}

TEST_F(Lifecycle, active_read_from_a_form_opens_only_at_loaded) {
  port->BeginLoading();
  port->SetActive(true);
  EXPECT_FALSE(device.IsOpen());
  port->Loaded();
  EXPECT_TRUE(device.IsOpen());
  EXPECT_TRUE(port->Active());
}

TEST_F(Lifecycle, event_thread_runs_exactly_while_a_device_event_handler_is_assigned) {
  port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  port->Open();
  EXPECT_FALSE(port->HasEventThread());

  spy.ClearCalls();
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  EXPECT_TRUE(port->HasEventThread());
  EXPECT_EQ(spy.Calls("SetCommMask"), (Lines{"SetCommMask 0001"}));

  // The same method on another object is no change at all.
  Recorder other;
  spy.ClearCalls();
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&other));
  EXPECT_TRUE(spy.Calls("SetCommMask").empty());

  device.Send(std::uint8_t{0x41});
  ASSERT_TRUE(PumpUntil([&] { return !r.seen.empty(); }));
  EXPECT_EQ(r.seen, (Lines{"RxChar"}));
  EXPECT_TRUE(r.onMainThread);

  port->SetOnRxChar(nullptr);
  EXPECT_FALSE(port->HasEventThread());
  device.Send(std::uint8_t{0x42});
  Pump(5);
  EXPECT_EQ(r.seen, (Lines{"RxChar"}));
}

TEST_F(Lifecycle, events_of_one_cycle_are_dispatched_in_table_order) {
  LogFile log;
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&r));
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->SetOnRing(fw::Method<&Recorder::OnRing>(&r));
  port->Open();
  port->SetLogFile(log.Path());
  HoldThreadInDispatch();
  // While the thread waits for the main thread: a character, then a ring, then CTS.
  device.Send(std::uint8_t{0x41});
  machine.RunFor(2 * sim::kNsPerMs);
  device.SetRing(true);
  device.SetCTS(true);
  Pump(3);
  EXPECT_EQ(r.seen, (Lines{"DSR", "CTS", "Ring", "RxChar"}));
  EXPECT_EQ(LogLines(log.Path()),
            (Lines{"DSRChange event", "CTSChange event", "Ring event", "RxChar event"}));
}

TEST_F(Lifecycle, a_raising_handler_skips_the_rest_of_its_cycle_only) {
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&r));
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  r.also = [](const std::string& what) {
    if (what == "CTS") throw fw::Exception("boom");
  };
  port->Open();
  HoldThreadInDispatch();
  device.Send(std::uint8_t{0x41});
  machine.RunFor(2 * sim::kNsPerMs);
  device.SetCTS(true);
  Pump(3);
  EXPECT_EQ(r.seen, (Lines{"DSR", "CTS"}));
  EXPECT_EQ(shown, (Lines{"boom"}));
  // The thread goes on waiting.
  device.Send(std::uint8_t{0x42});
  ASSERT_TRUE(PumpUntil([&] { return r.seen.size() == 3; }));
  EXPECT_EQ(r.seen.back(), "RxChar");
}

TEST_F(Lifecycle, unplugging_reports_code_5_and_closes_the_port_on_the_main_thread) {
  Watch(r);
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  Pump(1);
  device.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "OnError 5", "BeforeClose", "AfterClose"}));
  EXPECT_TRUE(r.onMainThread);
  EXPECT_FALSE(port->HasEventThread());
  EXPECT_EQ(spy.LiveEvents(), 0);
  EXPECT_TRUE(shown.empty());  // the error reached OnError only
}

TEST_F(Lifecycle, a_thread_ended_by_another_wait_error_is_forgotten_and_can_be_replaced) {
  port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  spy.FailNext("WaitCommEvent", ERROR_GEN_FAILURE);
  port->Open();
  ASSERT_TRUE(PumpUntil([&] { return !port->HasEventThread(); }));
  EXPECT_EQ(r.seen, (Lines{"OnError 31"}));
  EXPECT_TRUE(port->Active());

  // A mask change starts a new thread, which works.
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));
  EXPECT_TRUE(port->HasEventThread());
  device.SetCTS(true);
  ASSERT_TRUE(PumpUntil([&] { return r.seen.size() == 2; }));
  EXPECT_EQ(r.seen.back(), "CTS");
  port->Close();
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(Lifecycle, line_errors_reach_on_line_error_once) {
  port->SetOnLineError(fw::Method<&Recorder::OnLineError>(&r));
  port->Open();
  Pump(1);
  device.InjectLineError(CE_FRAME | CE_OVERRUN);
  ASSERT_TRUE(PumpUntil([&] { return !r.seen.empty(); }));
  const TLineErrors expected = {leFrame, leOverrun};
  EXPECT_EQ(r.seen, (Lines{"LineError " + std::to_string(expected.ToBits())}));
  port->CheckLineErrors();
  Pump(2);
  EXPECT_EQ(r.seen.size(), 1u);
}

TEST_F(Lifecycle, a_line_error_handler_that_closes_the_port) {
  Watch(r);
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&r));
  port->SetOnLineError(fw::Method<&Recorder::OnLineError>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  r.also = [this](const std::string& what) {
    if (what.rfind("LineError", 0) == 0) port->Close();
  };
  port->Open();
  HoldThreadInDispatch();
  device.Send(std::uint8_t{0x41});
  machine.RunFor(2 * sim::kNsPerMs);
  device.InjectLineError(CE_RXPARITY);
  Pump(3);
  const std::string parity = std::to_string(TLineErrors({leParity}).ToBits());
  // The close runs inside the cycle; the rest of the cycle is still examined.
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "DSR", "LineError " + parity,
                           "BeforeClose", "AfterClose", "RxChar"}));
  EXPECT_FALSE(port->HasEventThread());
  device.SetDSR(!device.DSR());
  Pump(3);
  EXPECT_EQ(r.seen.size(), 7u);
}

TEST_F(Lifecycle, a_wait_that_completed_at_once_does_not_upset_the_next_one) {
  spy.signalImmediateWaits = true;
  port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  device.SetDSR(true);  // before the thread's first wait: that wait completes at once
  Pump(2);
  device.Send(std::uint8_t{0x41});
  Pump(3);
  device.SetDSR(false);
  Pump(3);
  EXPECT_EQ(r.seen, (Lines{"DSR", "RxChar", "DSR"}));
  EXPECT_TRUE(port->HasEventThread());
}

TEST_F(Lifecycle, a_new_mask_ends_the_pending_wait_without_dispatching) {
  LogFile log;
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  port->SetLogFile(log.Path());
  Pump(1);
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));
  Pump(3);
  EXPECT_TRUE(r.seen.empty());
  EXPECT_TRUE(LogLines(log.Path()).empty());
  device.SetCTS(true);
  ASSERT_TRUE(PumpUntil([&] { return !r.seen.empty(); }));
  EXPECT_EQ(r.seen, (Lines{"CTS"}));
  EXPECT_EQ(LogLines(log.Path()), (Lines{"CTSChange event"}));
}

TEST_F(Lifecycle, a_port_destroyed_while_its_thread_waits_for_the_main_thread) {
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  device.Send(std::uint8_t{0x41});
  machine.RunFor(3 * sim::kNsPerMs);  // the thread now waits in a synchronised dispatch
  port.reset();
  Pump(3);
  EXPECT_TRUE(r.seen.empty());
}

TEST_F(Lifecycle, unsynchronised_handlers_run_on_the_event_thread_and_hand_close_over) {
  Watch(r);
  port->SetSynchronizeEvents(false);
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  std::vector<bool> onMain;
  r.also = [&](const std::string& what) {
    onMain.push_back(fw::Application->IsMainThread());
    if (what == "RxChar") port->Close();
  };
  port->Open();
  device.Send(std::uint8_t{0x41});
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "RxChar", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(onMain, (std::vector<bool>{true, true, false, true, true}));
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(Lifecycle, thread_priority_applies_at_start_and_while_running) {
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  port->SetThreadPriority(tpLower);
  const auto changes = machine.SimSystem().ThreadPriorityChanges();
  ASSERT_GE(changes.size(), 2u);
  EXPECT_EQ(changes[changes.size() - 2].priority, THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(changes.back().priority, THREAD_PRIORITY_BELOW_NORMAL);
}

TEST_F(Lifecycle, an_event_object_that_cannot_be_created_fails_the_open) {
  spy.FailNext("CreateEventA", ERROR_NOT_ENOUGH_MEMORY);
  try {
    port->Open();
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 8);
  }
  EXPECT_EQ(spy.LiveEvents(), 0);
  EXPECT_TRUE(spy.Calls("CreateFileA").empty());
}

}  // namespace
}  // namespace comport::porttest
