// The settings model on its own: the DCB mapping both ways, the custom rate, line-error flags
// and whole-object assignment of the sub-objects. Nothing here opens a device.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "comport/comport.h"

namespace comport {
namespace {

// A device DCB whose every field the mapping may touch holds a value no default produces.
DCB DeviceDcb() {
  DCB d;
  std::memset(&d, 0, sizeof d);
  d.DCBlength = sizeof d;
  d.BaudRate = 4321;
  d.ByteSize = 7;
  d.Parity = MARKPARITY;
  d.StopBits = TWOSTOPBITS;
  d.XonChar = 'a', d.XoffChar = 'b', d.ErrorChar = 'c', d.EofChar = 'd', d.EvtChar = 'e';
  d.fDtrControl = DTR_CONTROL_HANDSHAKE;
  d.fRtsControl = RTS_CONTROL_TOGGLE;
  d.fInX = d.fOutX = 1;
  d.XonLim = 2048, d.XoffLim = 512;
  d.fParity = d.fOutxCtsFlow = d.fOutxDsrFlow = d.fDsrSensitivity = 1;
  d.fTXContinueOnXoff = d.fErrorChar = d.fNull = d.fAbortOnError = 1;
  return d;
}

// The eight option flags of a DCB in TOption order.
unsigned OptionFlags(const DCB& d) {
  return d.fParity | d.fOutxCtsFlow << 1 | d.fOutxDsrFlow << 2 | d.fDsrSensitivity << 3 |
         d.fTXContinueOnXoff << 4 | d.fErrorChar << 5 | d.fNull << 6 | d.fAbortOnError << 7;
}

DCB ToDevice(const std::function<void(TCustomComPort&)>& setUp) {
  TCustomComPort port(nullptr);
  setUp(port);
  DCB d = DeviceDcb();
  port.CopyDCB(d, true);
  return d;
}

TEST(SettingsMapping, a_default_port_changes_only_characters_limits_options_and_binary) {
  DCB expected = DeviceDcb();
  expected.XonChar = 17, expected.XoffChar = 19;
  expected.ErrorChar = expected.EofChar = expected.EvtChar = 0;
  expected.XonLim = expected.XoffLim = 0;
  expected.fParity = expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = 0;
  expected.fTXContinueOnXoff = expected.fErrorChar = expected.fNull = expected.fAbortOnError = 0;
  expected.fBinary = 1;
  const DCB d = ToDevice([](TCustomComPort&) {});
  EXPECT_EQ(0, std::memcmp(&d, &expected, sizeof d));
}

TEST(SettingsMapping, settings_reach_their_dcb_fields) {
  struct Row {
    const char* what;
    std::function<void(TCustomComPort&)> set;
    std::function<bool(const DCB&)> check;
  };
  const std::vector<Row> rows = {
      {"9600 8N1, no flow control",
       [](TCustomComPort& p) {
         p.SetBaudRate(br9600), p.SetDataBits(db8), p.SetParity(paNone), p.SetStopBits(sb1);
         p.FlowControl().SetDTRControl(dcDisable), p.FlowControl().SetRTSControl(rcDisable);
         p.FlowControl().SetXOnXOffControl(xcDisable);
       },
       [](const DCB& d) {
         return d.BaudRate == 9600 && d.ByteSize == 8 && d.Parity == NOPARITY &&
                d.StopBits == ONESTOPBIT && d.fDtrControl == DTR_CONTROL_DISABLE &&
                d.fRtsControl == RTS_CONTROL_DISABLE && !d.fInX && !d.fOutX && !OptionFlags(d);
       }},
      {"custom 250000", [](TCustomComPort& p) { p.SetCustomBaudRate(250000); }, [](const DCB& d) { return d.BaudRate == 250000; }},
      {"br134_5", [](TCustomComPort& p) { p.SetBaudRate(br134_5); }, [](const DCB& d) { return d.BaudRate == 134; }},
      {"br256000", [](TCustomComPort& p) { p.SetBaudRate(br256000); }, [](const DCB& d) { return d.BaudRate == 256000; }},
      {"db16x", [](TCustomComPort& p) { p.SetDataBits(db16x); }, [](const DCB& d) { return d.ByteSize == 16; }},
      {"paSpace sb1_5", [](TCustomComPort& p) { p.SetParity(paSpace), p.SetStopBits(sb1_5); }, [](const DCB& d) { return d.Parity == SPACEPARITY && d.StopBits == ONE5STOPBITS; }},
      {"dcEnable rcHandshake", [](TCustomComPort& p) { p.FlowControl().SetDTRControl(dcEnable), p.FlowControl().SetRTSControl(rcHandshake); }, [](const DCB& d) { return d.fDtrControl == DTR_CONTROL_ENABLE && d.fRtsControl == RTS_CONTROL_HANDSHAKE; }},
      {"xcInput", [](TCustomComPort& p) { p.FlowControl().SetXOnXOffControl(xcInput); }, [](const DCB& d) { return d.fInX && !d.fOutX; }},
      {"xcOutput", [](TCustomComPort& p) { p.FlowControl().SetXOnXOffControl(xcOutput); }, [](const DCB& d) { return !d.fInX && d.fOutX; }},
      {"limits and characters", [](TCustomComPort& p) { p.FlowControl().SetXOffLimit(7), p.Characters().SetEvent('\n'); }, [](const DCB& d) { return d.XoffLim == 7 && d.XonLim == 0 && d.EvtChar == '\n'; }},
  };
  for (const Row& row : rows) EXPECT_TRUE(row.check(ToDevice(row.set))) << row.what;
  for (int option = opCheckParity; option <= opAbortOnError; ++option) {
    const DCB d = ToDevice([&](TCustomComPort& p) { p.SetOptions({TOption(option)}); });
    EXPECT_EQ(OptionFlags(d), 1u << option) << option;
  }
}

TEST(SettingsMapping, a_dcb_reads_back_to_the_first_member_with_that_value) {
  struct Row {
    const char* what;
    std::function<void(DCB&)> edit;
    std::function<bool(TCustomComPort&)> check;
  };
  const std::vector<Row> rows = {
      {"NOPARITY, ONESTOPBIT", [](DCB& d) { d.Parity = NOPARITY, d.StopBits = ONESTOPBIT; }, [](TCustomComPort& p) { return p.Parity() == paDefault && p.StopBits() == sbDefault; }},
      {"EVENPARITY, ByteSize 16", [](DCB& d) { d.Parity = EVENPARITY, d.ByteSize = 16; }, [](TCustomComPort& p) { return p.Parity() == paEven && p.DataBits() == db16; }},
      {"unknown values keep paOdd, db6", [](DCB& d) { d.Parity = 9, d.ByteSize = 3; }, [](TCustomComPort& p) { return p.Parity() == paOdd && p.DataBits() == db6; }},
      {"disabled lines are ...Default", [](DCB& d) { d.fDtrControl = d.fRtsControl = 0, d.fInX = d.fOutX = 0; }, [](TCustomComPort& p) { return p.FlowControl().DTR() == dcDefault && p.FlowControl().RTS() == rcDefault && p.FlowControl().XOnXOff() == xcDefault; }},
      {"handshake, toggle, both", [](DCB&) {}, [](TCustomComPort& p) { return p.FlowControl().DTR() == dcHandshake && p.FlowControl().RTS() == rcToggle && p.FlowControl().XOnXOff() == xcInputOutput; }},
      {"a rate is custom", [](DCB& d) { d.BaudRate = 9600; }, [](TCustomComPort& p) { return p.BaudRate() == brCustom && p.GetCustomBaudRate() == 9600; }},
      {"the stored custom rate keeps the member", [](DCB& d) { d.BaudRate = 1234; }, [](TCustomComPort& p) { return p.BaudRate() == br19200; }},
  };
  for (const Row& row : rows) {
    TCustomComPort port(nullptr);
    port.SetParity(paOdd), port.SetDataBits(db6);
    port.SetCustomBaudRate(1234), port.SetBaudRate(br19200);
    DCB d = DeviceDcb();
    row.edit(d);
    port.CopyDCB(d, false);
    EXPECT_TRUE(row.check(port)) << row.what;
  }
  // Characters, limits and options come back as they went out.
  TCustomComPort port(nullptr);
  DCB d = DeviceDcb();
  d.fNull = 0;
  port.CopyDCB(d, false);
  DCB again = DeviceDcb();
  port.CopyDCB(again, true);
  d.fBinary = 1;
  EXPECT_EQ(0, std::memcmp(&again, &d, sizeof d));
}

TEST(SettingsMapping, custom_rate_reads_the_member_rate_and_ignores_its_own_value) {
  TCustomComPort port(nullptr);
  port.SetCustomBaudRate(250000);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.GetCustomBaudRate(), 250000);
  port.SetBaudRate(br9600);
  EXPECT_EQ(port.GetCustomBaudRate(), 9600);
  port.SetCustomBaudRate(250000);  // the value it already stores: no change
  EXPECT_EQ(port.BaudRate(), br9600);
}

TEST(SettingsMapping, line_error_flags) {
  const DWORD flags[] = {CE_BREAK, CE_DNS,  CE_FRAME, CE_IOE,      CE_MODE,  CE_OOP,
                         CE_OVERRUN, CE_PTO, CE_RXOVER, CE_RXPARITY, CE_TXFULL};
  for (int member = leBreak; member <= leTxFull; ++member) {
    EXPECT_EQ(TCustomComPort::GetLineErrors(flags[member]), TLineErrors({TLineError(member)}));
  }
  EXPECT_TRUE(TCustomComPort::GetLineErrors(0x20 | 0x40 | 0x80 | 0x2000 | 0x4000).Empty());
}

TEST(SettingsMapping, assigning_a_whole_sub_object_copies_its_fields) {
  TCustomComPort port(nullptr), other(nullptr);
  other.FlowControl().SetRTSControl(rcToggle);
  other.Characters().SetEof('z');
  other.BufferSizes().SetInput(-1);
  other.Timeouts().SetReadConstant(100);
  port.SetFlowControl(other.FlowControl());
  port.SetCharacters(other.Characters());
  port.SetBufferSizes(other.BufferSizes());
  port.SetTimeouts(other.Timeouts());
  EXPECT_EQ(port.FlowControl().RTS(), rcToggle);
  EXPECT_EQ(port.Characters().Eof(), 'z');
  EXPECT_EQ(port.BufferSizes().Input(), -1);
  EXPECT_EQ(port.Timeouts().ReadConstant(), 100);
  EXPECT_THROW(port.FlowControl().Assign(other.Timeouts()), fw::EConvertError);
}

}  // namespace
}  // namespace comport
