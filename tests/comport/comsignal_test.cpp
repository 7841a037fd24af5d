// The signal indicator on a simulated port: level and pulse values, colours, the chain of
// taken-over port handlers and how it comes apart again.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Recorder;
using Log = std::vector<std::string>;

// ---- Level indicators ----

TEST_F(IndicatorTest, dsr_indicator_follows_the_line_through_open_change_and_close) {
  fw::TPanel panel(&owner);
  panel.SetColor(fw::clBtnFace);
  device.SetDSR(true);
  // Closed port: off, and the modem status is not asked for (that would raise).
  TComSignal* dsr = AddIndicator("DSR", siDSR, &panel);
  EXPECT_FALSE(dsr->SignalValue());
  EXPECT_TRUE(recorder.Take().empty());

  OpenPort();
  EXPECT_EQ(recorder.Take(), Log{"DSR on (lit)"});
  EXPECT_EQ(panel.Color(), fw::clLime);

  device.SetDSR(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), Log{"DSR off (dark)"});
  EXPECT_EQ(panel.Color(), fw::clGreen);

  // Two change events that both find DSR high: one notification.
  device.SetDSR(true);
  port->OnDSRChange()(port);
  port->OnDSRChange()(port);
  EXPECT_EQ(recorder.Take(), Log{"DSR on (lit)"});

  port->Close();
  EXPECT_EQ(recorder.Take(), Log{"DSR off (dark)"});
}

TEST_F(IndicatorTest, two_indicators_follow_their_lines_and_after_open_runs_the_latest_first) {
  port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  TComSignal* dsr = AddIndicator("DSR", siDSR);
  TComSignal* cts = AddIndicator("CTS", siCTS);
  device.SetDSR(true);
  device.SetCTS(true);

  OpenPort();
  EXPECT_EQ(recorder.Take(), (Log{"CTS on", "DSR on", "owner AfterOpen"}));
  EXPECT_EQ(recorder.senders, std::vector<fw::TObject*>{port});

  device.SetCTS(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), Log{"CTS off"});
  device.SetDSR(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), Log{"DSR off"});
  EXPECT_FALSE(dsr->SignalValue());
  EXPECT_FALSE(cts->SignalValue());
}

TEST_F(IndicatorTest, two_indicators_on_the_same_line_both_follow_it) {
  TComSignal* first = AddIndicator("first", siDSR);
  TComSignal* second = AddIndicator("second", siDSR);
  OpenPort();
  device.SetDSR(true);
  Pump(5);
  EXPECT_EQ(recorder.Take(), (Log{"second on", "first on"}));

  fw::TComponent::Free(second);
  Pump(0);  // the port re-applied its event mask: let the event thread wait again
  device.SetDSR(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), Log{"first off"});

  // The last one gone, nothing waits for DSR any more.
  fw::TComponent::Free(first);
  EXPECT_FALSE(port->OnDSRChange());
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(IndicatorTest, a_port_whose_device_has_gone) {
  const TNotifyEvent ownerHandler = fw::Method<&Recorder::Notify>(&recorder);
  port->SetOnDSRChange(ownerHandler);
  TComSignal* first = AddIndicator("first", siDSR);
  TComSignal* second = AddIndicator("second", siDSR);
  OpenPort();
  recorder.Take();
  device.Unplug();
  // A failing modem status read stops the chain.
  EXPECT_THROW(port->OnDSRChange()(port), EComError);
  EXPECT_TRUE(recorder.Take().empty());

  // Detaching still puts every handler back; the port's failure to re-apply its event mask
  // reaches whoever detached, but never escapes a destructor.
  EXPECT_THROW(second->SetComPort(nullptr), EComError);
  EXPECT_FALSE(second->Attached());
  EXPECT_NO_THROW(fw::TComponent::Free(first));
  EXPECT_EQ(port->OnDSRChange(), ownerHandler);
  EXPECT_FALSE(port->AfterOpen());
}

// ---- Pulse indicators ----

TEST_F(IndicatorTest, received_characters_keep_a_pulse_lit_until_delay_after_the_last) {
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  rx->SetDelay(100);
  OpenPort();
  for (int i = 0; i < 6; ++i) {
    device.Send(std::uint8_t{0x41});
    Pump(50);
  }
  // The last character arrived about 50 ms ago; no flicker so far.
  EXPECT_EQ(recorder.Take(), Log{"Rx on"});
  Pump(40);
  EXPECT_TRUE(rx->SignalValue());
  Pump(20);
  EXPECT_EQ(recorder.Take(), Log{"Rx off"});
}

TEST_F(IndicatorTest, delay_zero_keeps_a_pulse_lit_until_the_port_opens_or_closes) {
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  rx->SetDelay(0);
  OpenPort();
  device.Send(std::uint8_t{0x41});
  Pump(1000);
  EXPECT_EQ(recorder.Take(), Log{"Rx on"});
  port->Close();
  EXPECT_EQ(recorder.Take(), Log{"Rx off"});
}

TEST_F(IndicatorTest, opening_switches_a_lit_pulse_off_at_once) {
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  port->OnRxChar()(port);
  EXPECT_TRUE(rx->SignalValue());
  OpenPort();
  EXPECT_EQ(recorder.Take(), (Log{"Rx on", "Rx off"}));
}

TEST_F(IndicatorTest, write_activity_lasts_the_whole_write_and_ends_at_the_next_tick) {
  TComSignal* tx = AddIndicator("Tx", siTxChar);
  tx->SetDelay(50);
  OpenPort();
  const char data[] = "abc";
  // A write that lasts longer than Delay, as the port reports it.
  port->BeforeWrite()(port, data, 3, true);
  Pump(200);
  EXPECT_TRUE(tx->SignalValue());
  port->AfterWrite()(port, data, 3, true);
  Pump(49);
  EXPECT_TRUE(tx->SignalValue());
  Pump(2);
  EXPECT_EQ(recorder.Take(), (Log{"Tx on", "Tx off"}));

  // A real write through the port does the same.
  port->Write(data, 3, true);
  EXPECT_TRUE(tx->SignalValue());
  Pump(60);
  EXPECT_EQ(recorder.Take(), (Log{"Tx on", "Tx off"}));
}

TEST_F(IndicatorTest, the_same_port_again_leaves_the_pulse_timer_running) {
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  port->OnRxChar()(port);
  rx->SetComPort(port);
  Pump(101);
  EXPECT_FALSE(rx->SignalValue());
}

TEST_F(IndicatorTest, no_signal_is_never_on_but_passes_open_and_close_on) {
  port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  port->SetAfterClose(fw::Method<&Recorder::AfterClose>(&recorder));
  TComSignal* none = AddIndicator("None", siNone);
  device.SetDSR(true);
  device.SetCTS(true);
  OpenPort();
  port->Close();
  EXPECT_EQ(recorder.Take(), (Log{"owner AfterOpen", "owner AfterClose"}));
  EXPECT_FALSE(none->SignalValue());
}

// ---- Colours and the bound control ----

TEST_F(IndicatorTest, colours_and_controls) {
  fw::TPanel first(&owner), second(&owner);
  first.SetColor(fw::clBtnFace);
  second.SetColor(fw::clBtnFace);
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  rx->SetDelay(0);

  rx->SetControl(&first);  // painted at once in the current colour
  EXPECT_EQ(first.Color(), fw::clGreen);
  rx->SetColorOff(fw::clRed);  // repaints at once
  EXPECT_EQ(first.Color(), fw::clRed);
  rx->SetColorOn(fw::clWhite);  // visible only at the next change
  EXPECT_EQ(first.Color(), fw::clRed);
  port->OnRxChar()(port);
  EXPECT_EQ(first.Color(), fw::clWhite);

  rx->SetControl(&second);
  EXPECT_EQ(second.Color(), fw::clWhite);
  EXPECT_EQ(first.Color(), fw::clWhite);  // the old control keeps its last colour
  OpenPort();
  EXPECT_EQ(second.Color(), fw::clRed);
  EXPECT_EQ(first.Color(), fw::clWhite);
}

TEST_F(IndicatorTest, loading_attaches_only_when_loaded_and_then_paints) {
  fw::TPanel panel(&owner);
  panel.SetColor(fw::clBtnFace);
  auto* dsr = new TComSignal(&owner);
  dsr->BeginLoading();
  dsr->SetSignal(siDSR);
  dsr->SetControl(&panel);
  panel.SetColor(fw::clBtnFace);
  dsr->SetComPort(port);
  EXPECT_FALSE(dsr->Attached());
  EXPECT_FALSE(port->AfterOpen());
  dsr->Loaded();
  EXPECT_TRUE(dsr->Attached());
  EXPECT_EQ(panel.Color(), fw::clGreen);
  // Loaded again (a form read once more) must not attach twice: the chain would call itself.
  dsr->BeginLoading();
  dsr->Loaded();
  device.SetDSR(true);
  OpenPort();
  EXPECT_TRUE(dsr->SignalValue());
}

// ---- Removal ----

TEST_F(IndicatorTest, removing_the_port_detaches_first_and_switches_the_value_off) {
  fw::TPanel panel(&owner);
  TComSignal* dsr = AddIndicator("DSR", siDSR, &panel);
  device.SetDSR(true);
  OpenPort();
  recorder.Take();
  fw::TComponent::Free(port);
  port = nullptr;
  EXPECT_EQ(dsr->ComPort(), nullptr);
  EXPECT_FALSE(dsr->Attached());
  EXPECT_EQ(recorder.Take(), Log{"DSR off (dark)"});

  // The control leaving the owner is dropped too.
  owner.RemoveComponent(&panel);
  EXPECT_EQ(dsr->Control(), nullptr);
}

}  // namespace
}  // namespace comport
