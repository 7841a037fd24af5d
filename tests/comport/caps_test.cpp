// The driver's status and capability words as sets: which bits give which members.
#include <gtest/gtest.h>

#include "comport/comport.h"
#include "platform/sim/machine.h"

namespace comport {
namespace {

TEST(CapabilityBits, each_named_bit_gives_its_member_and_nothing_else_counts) {
  EXPECT_EQ(ModemStatusFromBits(MS_CTS_ON | MS_DSR_ON), (TModemStatus{msCTS, msDSR}));
  EXPECT_EQ(ModemStatusFromBits(0xFFFFFFCF), (TModemStatus{msRing, msRLSD}));
  EXPECT_EQ(MaxBaudRateFromBits(BAUD_115200), br115200);
  EXPECT_EQ(MaxBaudRateFromBits(BAUD_USER), brCustom);
  for (DWORD notOneListedBit : {DWORD{0}, BAUD_9600 | BAUD_19200, DWORD{0x80000}}) {
    EXPECT_EQ(MaxBaudRateFromBits(notOneListedBit), brDefault) << notOneListedBit;
  }
  EXPECT_EQ(BaudRatesFromBits(BAUD_9600 | BAUD_USER), (TBaudRates{br9600, brCustom}));
  // Every bit: the twenty members that have one; never brDefault, br50, br2000, br3600,
  // br10400, br15625, br28800, br256000.
  EXPECT_EQ(BaudRatesFromBits(0xFFFFFFFF),
            (TBaudRates{br75,    br110,   br134_5,  br150,    br300,   br600,   br1200,
                        br1800,  br2400,  br4800,   br7200,   br9600,  br14400, br19200,
                        br38400, br56000, br128000, br115200, br57600, brCustom}));
  EXPECT_EQ(DataBitsFromBits(0x000F), (TSettableDataBits{db5, db6, db7, db8}));
  EXPECT_EQ(DataBitsFromBits(0xFFFF), (TSettableDataBits{db5, db6, db7, db8, db16, db16x}));
  // Stop bits in the low byte and parity in the high byte of one word.
  EXPECT_EQ(StopBitsFromBits(STOPBITS_15 | PARITY_ODD), TSettableStopBits{sb1_5});
  EXPECT_EQ(ParityFromBits(STOPBITS_15 | PARITY_ODD | PARITY_SPACE),
            (TSettableParity{paOdd, paSpace}));
  EXPECT_EQ(StopBitsFromBits(0xFFFF), (TSettableStopBits{sb1, sb1_5, sb2}));
  EXPECT_EQ(ParityFromBits(0xFFFF), (TSettableParity{paNone, paOdd, paEven, paMark, paSpace}));
  // The SP_ bits are not in member order.
  EXPECT_EQ(SettableParametersFromBits(SP_BAUD | SP_PARITY_CHECK),
            (TSettableParameters{spBaudRate, spParityCheck}));
  EXPECT_EQ(SettableParametersFromBits(0xFF80), TSettableParameters{});
  EXPECT_EQ(CapabilitiesFromBits(PCF_DTRDSR | PCF_SETXCHAR | PCF_16BITMODE | 0xFC00),
            (TCapabilities{caDtrDsr, caSettableXChar, ca16BitMode}));
}

TEST(CapabilityBits, the_queries_need_an_open_port_and_read_its_driver) {
  sim::Machine machine;
  machine.AddPort("COM3");
  TComPort port(nullptr, machine);
  port.SetDeviceName("COM3");
  EXPECT_THROW(port.GetCapabilities(), EComError);
  port.Open();
  COMMPROP driver{};
  port.GetCommProp(driver);
  EXPECT_EQ(port.GetSettableParity(), ParityFromBits(driver.wSettableStopParity));
  EXPECT_EQ(port.GetCapabilities(), CapabilitiesFromBits(driver.dwProvCapabilities));
}

}  // namespace
}  // namespace comport
