// The signal indicator on a simulated port: level and pulse values, colours, removal.
#include <gtest/gtest.h>

#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Log;
using testing::Recorder;

TEST_F(IndicatorTest, dsr_indicator_follows_the_line_through_open_change_and_close) {
  fw::TPanel panel(&owner);
  device.SetDSR(true);
  AddIndicator("DSR", siDSR, &panel);  // closed port: off, no modem status read (it would raise)
  port->Open();
  device.SetDSR(false);
  Pump(5);
  device.SetDSR(true);
  port->OnDSRChange()(port);
  port->OnDSRChange()(port);  // a second event finding DSR high changes nothing
  port->Close();
  // Each change notified once, after the colour.
  EXPECT_EQ(recorder.Take(), (Log{"DSR on (lit)", "DSR off", "DSR on (lit)", "DSR off"}));
  EXPECT_EQ(panel.Color(), fw::clGreen);
}

TEST_F(IndicatorTest, two_indicators_follow_their_lines_and_after_open_runs_the_latest_first) {
  port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  AddIndicator("DSR", siDSR);
  AddIndicator("CTS", siCTS);
  device.SetDSR(true);
  device.SetCTS(true);
  port->Open();
  device.SetCTS(false);
  Pump(5);
  device.SetDSR(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), (Log{"CTS on", "DSR on", "owner AfterOpen", "CTS off", "DSR off"}));
}

TEST_F(IndicatorTest, pulses_stay_lit_while_events_come_closer_than_delay) {
  TComSignal* rx = AddIndicator("Rx", siRxChar);
  port->Open();
  for (int i = 0; i < 6; ++i) {
    device.Send(std::uint8_t{0x41});
    Pump(50);
  }
  rx->SetComPort(port);  // the same port again: the pulse timer keeps running
  Pump(40);
  EXPECT_EQ(recorder.Take(), Log{"Rx on"});
  Pump(20);  // Delay (100) after the last character
  EXPECT_EQ(recorder.Take(), Log{"Rx off"});
  rx->SetDelay(0);  // the timer never fires: only opening or closing puts the pulse out
  device.Send(std::uint8_t{0x41});
  Pump(1000);
  port->Close();
  EXPECT_EQ(recorder.Take(), (Log{"Rx on", "Rx off"}));
}

TEST_F(IndicatorTest, removing_the_port_detaches_first_and_switches_the_value_off) {
  TComSignal* dsr = AddIndicator("DSR", siDSR);
  device.SetDSR(true);
  port->Open();
  fw::TComponent::Free(port);
  EXPECT_EQ(dsr->ComPort(), nullptr);
  EXPECT_EQ(recorder.Take(), (Log{"DSR on", "DSR off"}));
}

TEST_F(IndicatorTest, a_port_whose_device_has_gone) {
  const TNotifyEvent ownerHandler = fw::Method<&Recorder::Notify>(&recorder);
  port->SetOnDSRChange(ownerHandler);
  TComSignal* first = AddIndicator("first", siDSR);
  TComSignal* second = AddIndicator("second", siDSR);
  port->Open();
  device.Unplug();
  EXPECT_THROW(port->OnDSRChange()(port), EComError);  // and the chain stops there
  EXPECT_TRUE(recorder.Take().empty());
  // Detaching puts every handler back; the port's failure to re-apply its event mask reaches
  // whoever detached, but never escapes a destructor.
  EXPECT_THROW(second->SetComPort(nullptr), EComError);
  EXPECT_NO_THROW(fw::TComponent::Free(first));
  EXPECT_EQ(port->OnDSRChange(), ownerHandler);
  EXPECT_FALSE(port->AfterOpen());
}

}  // namespace
}  // namespace comport
