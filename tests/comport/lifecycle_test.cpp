// Opening and closing, handle set-up and its failures, the event thread and the dispatch of
// device events, on the simulated machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comport/comport.h"
#include "tests/comport/io_harness.h"

namespace comport::porttest {
namespace {

class Lifecycle : public PortFixture {
 protected:
  // Leaves the event thread waiting in a synchronised dispatch of a DSR change, so that the
  // device events that follow collect for one later cycle.
  void HoldThreadInDispatch() {
    device.SetDSR(!device.DSR());
    machine.RunFor(sim::kNsPerMs);
  }
  Recorder r;
};

TEST_F(Lifecycle, open_sets_up_the_device_in_order_and_close_releases_everything) {
  Watch(r);
  port->SetLogFile(LogPath());
  port->Open();
  port->Open();
  EXPECT_EQ(spy.LiveEvents(), 3);
  EXPECT_EQ(spy.Calls(), (Lines{"CreateFileA \\\\.\\COM3 C0000000 0 3 40000080", "PurgeComm 0A",
                                "PurgeComm 05", "SetupComm 4096 2048", "GetCommState",
                                "SetCommState", "GetCommTimeouts", "SetCommTimeouts",
                                "SetCommMask 0000"}));
  port->Close();
  port->Close();
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(spy.LiveEvents(), 0);
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(LogLines(), (Lines{"Open \\\\.\\COM3", "Close \\\\.\\COM3"}));
}

TEST_F(Lifecycle, what_the_platform_did_to_the_device_follows_the_open_and_close_lines) {
  spy.SetDeviceNotes({"Latency COM3: found", "Latency COM3: set"}, {"Latency COM3: put back"});
  port->Open();
  port->Close();  // no log file: nothing written, nothing kept for later
  port->SetLogFile(LogPath());
  port->Open();
  port->Close();
  EXPECT_EQ(LogLines(), (Lines{"Open \\\\.\\COM3", "Latency COM3: found", "Latency COM3: set",
                                "Close \\\\.\\COM3", "Latency COM3: put back"}));
}

TEST_F(Lifecycle, settings_are_applied_at_open_and_at_once_while_open) {
  port->SetBaudRate(br19200);
  port->BufferSizes().SetInput(-1);
  EXPECT_TRUE(spy.Calls().empty());
  port->Open();
  EXPECT_TRUE(spy.Calls("SetupComm").empty());
  EXPECT_EQ(device.HostDcb().BaudRate, 19200u);
  const std::vector<std::pair<const char*, std::function<void()>>> rows = {
      {"SetCommState", [&] { port->Characters().SetEof('z'); }},
      {"SetCommState", [&] { port->SetCustomBaudRate(250000); }},
      {"SetupComm", [&] { port->BufferSizes().SetInput(8192); }},
      {"SetCommTimeouts", [&] { port->Timeouts().SetReadConstant(5); }},
  };
  for (const auto& [call, change] : rows) {
    spy.ClearCalls();
    change();
    EXPECT_EQ(spy.Calls(call).size(), 1u) << call;
  }
  EXPECT_EQ(device.HostDcb().BaudRate, 250000u);
  spy.FailNext("SetCommState", ERROR_GEN_FAILURE);
  EXPECT_THROW(port->SetParity(paEven), EComError);
  EXPECT_EQ(port->Parity(), paEven);  // stays stored
  try {
    port->SetDeviceName("COM4");
    ADD_FAILURE();
  } catch (const EComError& e) {
    EXPECT_EQ(e.Kind(), ekStillOpen);
  }
  EXPECT_EQ(port->DeviceName(), "\\\\.\\COM3");
  EXPECT_TRUE(port->Active());
}

TEST_F(Lifecycle, a_failed_open_leaves_nothing_behind) {
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
    DWORD classInHandler = 0;  // OnError comes before the clean-up
    rec.also = [&](const std::string&) { classInHandler = machine.SimSystem().GetPriorityClass(); };
    try {
      port->SetActive(true);
      ADD_FAILURE() << "opened";
    } catch (const EComError& e) {
      EXPECT_EQ(row.answer, caFail);
      EXPECT_EQ(e.Kind(), ekOpenFailed);
      EXPECT_EQ(e.ErrorCode(), row.code);
      EXPECT_EQ(e.Message(), machine.kernel().SysErrorMessage(row.code));
    } catch (const fw::EAbort&) {
      EXPECT_EQ(row.answer, caAbort);
    }
    EXPECT_EQ(rec.seen, (Lines{"BeforeOpen", "OnError open failed " + std::to_string(row.code)}));
    EXPECT_EQ(classInHandler, REALTIME_PRIORITY_CLASS);
    EXPECT_EQ(machine.SimSystem().GetPriorityClass(), NORMAL_PRIORITY_CLASS);
    EXPECT_FALSE(port->Active());
    EXPECT_EQ(spy.LiveEvents(), 0);
  }
}

TEST_F(Lifecycle, the_event_thread_runs_while_a_device_event_handler_is_assigned) {
  port->Open();
  port->SetLogFile(LogPath());
  EXPECT_FALSE(port->HasEventThread());
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  EXPECT_TRUE(port->HasEventThread());
  Recorder other;  // the same method on another object is no change
  spy.ClearCalls();
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&other));
  EXPECT_TRUE(spy.Calls("SetCommMask").empty());
  Pump(1);
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));  // ends the pending wait: no bits
  Pump(3);
  EXPECT_TRUE(r.seen.empty());
  device.Send(std::uint8_t{0x41});
  ASSERT_TRUE(PumpUntil([&] { return !r.seen.empty(); }));
  EXPECT_EQ(r.onMain, std::vector<bool>{true});
  port->SetOnRxChar(nullptr);
  port->SetOnCTSChange(nullptr);
  EXPECT_FALSE(port->HasEventThread());
  device.Send(std::uint8_t{0x42});
  Pump(5);
  EXPECT_EQ(r.seen, Lines{"RxChar"});
  EXPECT_EQ(LogLines(), Lines{"RxChar event"});
}

TEST_F(Lifecycle, one_cycle_dispatches_in_table_order_and_a_raising_handler_ends_it) {
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&r));
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));
  port->SetOnRing(fw::Method<&Recorder::OnRing>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  for (bool raise : {false, true}) {
    r.also = [raise](const std::string& what) {
      if (raise && what == "Ring") throw fw::Exception("boom");
    };
    HoldThreadInDispatch();
    device.Send(std::uint8_t{0x41});  // a character, then a ring and CTS
    machine.RunFor(2 * sim::kNsPerMs);
    device.SetRing(!raise);
    device.SetCTS(!raise);
    Pump(3);
  }
  EXPECT_EQ(r.seen, (Lines{"DSR", "CTS", "Ring", "RxChar", "DSR", "CTS", "Ring"}));
  EXPECT_EQ(shown, Lines{"boom"});
  device.Send(std::uint8_t{0x42});  // the thread goes on waiting
  ASSERT_TRUE(PumpUntil([&] { return r.seen.back() == "RxChar"; }));
}

TEST_F(Lifecycle, unplugging_reports_code_5_and_closes_on_the_main_thread) {
  Watch(r);
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  Pump(1);
  device.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "OnError thread 5", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(r.onMain, std::vector<bool>(5, true));
  EXPECT_FALSE(port->HasEventThread());
  EXPECT_EQ(spy.LiveEvents(), 0);
}

TEST_F(Lifecycle, a_thread_ended_by_another_wait_error_is_forgotten_and_replaced) {
  port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  spy.FailNext("WaitCommEvent", ERROR_GEN_FAILURE);
  port->Open();
  ASSERT_TRUE(PumpUntil([&] { return !port->HasEventThread(); }));
  EXPECT_TRUE(port->Active());
  port->SetOnCTSChange(fw::Method<&Recorder::OnCTS>(&r));  // a new thread
  device.SetCTS(true);
  ASSERT_TRUE(PumpUntil([&] { return r.seen.size() == 2; }));
  EXPECT_EQ(r.seen, (Lines{"OnError thread 31", "CTS"}));
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
  device.InjectLineError(CE_FRAME | CE_OVERRUN);
  Pump(3);
  const TLineErrors errors = {leFrame, leOverrun};
  // The close runs inside the cycle; the rest of the cycle is still examined.
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "DSR", "LineError " + std::to_string(errors.ToBits()),
                           "BeforeClose", "AfterClose", "RxChar"}));
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(Lifecycle, a_port_destroyed_while_its_thread_waits_for_the_main_thread) {
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  port->Open();
  device.Send(std::uint8_t{0x41});
  machine.RunFor(3 * sim::kNsPerMs);  // the thread waits in a synchronised dispatch
  port.reset();
  Pump(3);
  EXPECT_TRUE(r.seen.empty());
}

TEST_F(Lifecycle, unsynchronised_handlers_run_on_the_event_thread_and_hand_close_over) {
  Watch(r);
  port->SetSynchronizeEvents(false);
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&r));
  r.also = [this](const std::string& what) {
    if (what == "RxChar") port->Close();
  };
  port->Open();
  device.Send(std::uint8_t{0x41});
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(r.seen, (Lines{"BeforeOpen", "AfterOpen", "RxChar", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(r.onMain, (std::vector<bool>{true, true, false, true, true}));
}

}  // namespace
}  // namespace comport::porttest
