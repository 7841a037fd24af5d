// The port's line operations and modem status on a simulated port.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "comport/comport.h"
#include "platform/sim/machine.h"

namespace comport {
namespace {

class Lines : public ::testing::Test {
 public:
  void OnError(TCustomComPort*, EComError& e, TComAction&) { errors.push_back(e.ErrorCode()); }

 protected:
  // Every line operation fails with code, after OnError saw it.
  void ExpectAllFail(std::int32_t code) {
    const std::function<void()> ops[] = {
        [&] { port.SetDTR(); },          [&] { port.ClearDTR(); },      [&] { port.SetRTS(); },
        [&] { port.ClearRTS(); },        [&] { port.SetXOn(); },        [&] { port.SetXOff(); },
        [&] { port.ResetDevice(); },     [&] { port.SetBreak(); },      [&] { port.ClearBreak(); },
        [&] { port.TransmitChar('A'); }, [&] { port.GetModemStatus(); }};
    errors.clear();
    for (const auto& op : ops) EXPECT_THROW(op(), EComError);
    EXPECT_EQ(errors, std::vector<std::int32_t>(std::size(ops), code));
  }
  sim::Machine machine;
  sim::SerialDevice& device = machine.AddPort("COM3");
  TComPort port{nullptr, machine};
  std::vector<std::int32_t> errors;
};

TEST_F(Lines, fail_on_a_closed_port_and_on_a_device_that_has_gone) {
  port.SetDeviceName("COM3");
  port.SetOnError(fw::Method<&Lines::OnError>(this));
  ExpectAllFail(0);
  EXPECT_TRUE(device.WireLog().empty());
  port.Open();
  device.Unplug();
  ExpectAllFail(ERROR_ACCESS_DENIED);
}

TEST_F(Lines, outputs_break_character_and_modem_status_on_the_line) {
  port.SetDeviceName("COM3");
  port.Open();
  port.SetDTR();
  port.SetRTS();
  port.ClearDTR();
  port.SetBreak();
  EXPECT_TRUE(!device.DTR() && device.RTS() && device.Break());
  port.ClearRTS();
  port.ClearBreak();
  EXPECT_FALSE(device.RTS() || device.Break());
  port.TransmitChar('\xA5');
  machine.RunFor(5 * sim::kNsPerMs);
  EXPECT_EQ(device.WireBytes(sim::Direction::HostToFar), std::vector<std::uint8_t>{0xA5});
  device.SetDSR(true);
  device.SetRing(true);
  EXPECT_EQ(port.ModemStatus(), (TModemStatus{msDSR, msRing}));
  port.Close();
  port.SetDesigning(true);  // nothing is asked of a device at design time
  EXPECT_TRUE(port.GetModemStatus().Empty());
}

}  // namespace
}  // namespace comport
