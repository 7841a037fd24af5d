// The settings model on its own: the DCB mapping in both directions, the custom rate, the
// sub-objects, the line-error mapping and the error path. Nothing here opens a device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comport/comport.h"

namespace comport {
namespace {

// A DCB as a device might hold it, with every field the mapping may touch set to a value no
// setting produces by default, so any change shows.
DCB DeviceDcb() {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 4321;
  dcb.ByteSize = 7;
  dcb.Parity = MARKPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonChar = 'a';
  dcb.XoffChar = 'b';
  dcb.ErrorChar = 'c';
  dcb.EofChar = 'd';
  dcb.EvtChar = 'e';
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fInX = 1;
  dcb.fOutX = 1;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fErrorChar = 1;
  dcb.fNull = 1;
  dcb.fAbortOnError = 1;
  dcb.fBinary = 0;
  dcb.wReserved1 = 0x5a5a;
  return dcb;
}

TEST(SettingsMapping, default_port_changes_only_characters_limits_options_and_binary) {
  TCustomComPort port(nullptr);
  DCB dcb = DeviceDcb();
  port.CopyDCB(dcb, true);

  DCB expected = DeviceDcb();
  expected.XonChar = 17;
  expected.XoffChar = 19;
  expected.ErrorChar = 0;
  expected.EofChar = 0;
  expected.EvtChar = 0;
  expected.XonLim = 0;
  expected.XoffLim = 0;
  expected.fParity = 0;
  expected.fOutxCtsFlow = 0;
  expected.fOutxDsrFlow = 0;
  expected.fDsrSensitivity = 0;
  expected.fTXContinueOnXoff = 0;
  expected.fErrorChar = 0;
  expected.fNull = 0;
  expected.fAbortOnError = 0;
  expected.fBinary = 1;
  EXPECT_EQ(0, std::memcmp(&dcb, &expected, sizeof dcb));
}

TEST(SettingsMapping, port_9600_8n1_without_flow_control) {
  TCustomComPort port(nullptr);
  port.SetBaudRate(br9600);
  port.SetDataBits(db8);
  port.SetParity(paNone);
  port.SetStopBits(sb1);
  port.FlowControl().SetDTRControl(dcDisable);
  port.FlowControl().SetRTSControl(rcDisable);
  port.FlowControl().SetXOnXOffControl(xcDisable);
  DCB dcb = DeviceDcb();
  port.CopyDCB(dcb, true);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fParity + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fDsrSensitivity +
                dcb.fTXContinueOnXoff + dcb.fErrorChar + dcb.fNull + dcb.fAbortOnError,
            0u);
}

TEST(SettingsMapping, every_rate_member_reaches_the_device) {
  const std::vector<std::pair<TBaudRate, DWORD>> rows = {
      {br50, 50},       {br75, 75},         {br110, 110},       {br134_5, 134},
      {br150, 150},     {br300, 300},       {br600, 600},       {br1200, 1200},
      {br1800, 1800},   {br2000, 2000},     {br2400, 2400},     {br3600, 3600},
      {br4800, 4800},   {br7200, 7200},     {br9600, 9600},     {br10400, 10400},
      {br14400, 14400}, {br15625, 15625},   {br19200, 19200},   {br28800, 28800},
      {br38400, 38400}, {br56000, 56000},   {br57600, 57600},   {br115200, 115200},
      {br128000, 128000}, {br256000, 256000}, {brDefault, 4321},
  };
  for (const auto& [member, rate] : rows) {
    TCustomComPort port(nullptr);
    port.SetBaudRate(member);
    DCB dcb = DeviceDcb();
    port.CopyDCB(dcb, true);
    EXPECT_EQ(dcb.BaudRate, rate) << "member " << int(member);
    if (member != brDefault) {
      EXPECT_EQ(port.GetCustomBaudRate(), static_cast<int>(rate));
    }
  }
}

TEST(SettingsMapping, frame_and_flow_members_reach_the_device) {
  struct Row {
    const char* what;
    void (*apply)(TCustomComPort&);
    bool (*check)(const DCB&);
  };
  const std::vector<Row> rows = {
      {"db4", [](TCustomComPort& p) { p.SetDataBits(db4); }, [](const DCB& d) { return d.ByteSize == 4; }},
      {"db5", [](TCustomComPort& p) { p.SetDataBits(db5); }, [](const DCB& d) { return d.ByteSize == 5; }},
      {"db6", [](TCustomComPort& p) { p.SetDataBits(db6); }, [](const DCB& d) { return d.ByteSize == 6; }},
      {"db9", [](TCustomComPort& p) { p.SetDataBits(db9); }, [](const DCB& d) { return d.ByteSize == 9; }},
      {"db16", [](TCustomComPort& p) { p.SetDataBits(db16); }, [](const DCB& d) { return d.ByteSize == 16; }},
      {"db16x", [](TCustomComPort& p) { p.SetDataBits(db16x); }, [](const DCB& d) { return d.ByteSize == 16; }},
      {"paOdd", [](TCustomComPort& p) { p.SetParity(paOdd); }, [](const DCB& d) { return d.Parity == ODDPARITY; }},
      {"paEven", [](TCustomComPort& p) { p.SetParity(paEven); }, [](const DCB& d) { return d.Parity == EVENPARITY; }},
      {"paSpace", [](TCustomComPort& p) { p.SetParity(paSpace); }, [](const DCB& d) { return d.Parity == SPACEPARITY; }},
      {"sb1_5", [](TCustomComPort& p) { p.SetStopBits(sb1_5); }, [](const DCB& d) { return d.StopBits == ONE5STOPBITS; }},
      {"dcEnable", [](TCustomComPort& p) { p.FlowControl().SetDTRControl(dcEnable); }, [](const DCB& d) { return d.fDtrControl == DTR_CONTROL_ENABLE; }},
      {"rcHandshake", [](TCustomComPort& p) { p.FlowControl().SetRTSControl(rcHandshake); }, [](const DCB& d) { return d.fRtsControl == RTS_CONTROL_HANDSHAKE; }},
      {"rcEnable", [](TCustomComPort& p) { p.FlowControl().SetRTSControl(rcEnable); }, [](const DCB& d) { return d.fRtsControl == RTS_CONTROL_ENABLE; }},
      {"xcInput", [](TCustomComPort& p) { p.FlowControl().SetXOnXOffControl(xcInput); }, [](const DCB& d) { return d.fInX == 1 && d.fOutX == 0; }},
      {"xcOutput", [](TCustomComPort& p) { p.FlowControl().SetXOnXOffControl(xcOutput); }, [](const DCB& d) { return d.fInX == 0 && d.fOutX == 1; }},
      {"limits", [](TCustomComPort& p) { p.FlowControl().SetXOnLimit(100); p.FlowControl().SetXOffLimit(200); }, [](const DCB& d) { return d.XonLim == 100 && d.XoffLim == 200; }},
      {"opCheckParity", [](TCustomComPort& p) { p.SetOptions({opCheckParity}); }, [](const DCB& d) { return d.fParity == 1 && d.fAbortOnError == 0; }},
      {"opOutputCTSFlow", [](TCustomComPort& p) { p.SetOptions({opOutputCTSFlow}); }, [](const DCB& d) { return d.fOutxCtsFlow == 1 && d.fParity == 0; }},
      {"opOutputDSRFlow", [](TCustomComPort& p) { p.SetOptions({opOutputDSRFlow}); }, [](const DCB& d) { return d.fOutxDsrFlow == 1; }},
      {"opDSRSensitivity", [](TCustomComPort& p) { p.SetOptions({opDSRSensitivity}); }, [](const DCB& d) { return d.fDsrSensitivity == 1; }},
      {"opTXContinueOnXOff", [](TCustomComPort& p) { p.SetOptions({opTXContinueOnXOff}); }, [](const DCB& d) { return d.fTXContinueOnXoff == 1; }},
      {"opUseErrorChar", [](TCustomComPort& p) { p.SetOptions({opUseErrorChar}); }, [](const DCB& d) { return d.fErrorChar == 1; }},
      {"opDiscardNullBytes", [](TCustomComPort& p) { p.SetOptions({opDiscardNullBytes}); }, [](const DCB& d) { return d.fNull == 1; }},
      {"opAbortOnError", [](TCustomComPort& p) { p.SetOptions({opAbortOnError}); }, [](const DCB& d) { return d.fAbortOnError == 1 && d.fNull == 0; }},
      {"characters", [](TCustomComPort& p) { p.Characters().SetXOn('x'); p.Characters().SetEvent('\n'); }, [](const DCB& d) { return d.XonChar == 'x' && d.EvtChar == '\n' && d.XoffChar == 19; }},
  };
  for (const Row& row : rows) {
    TCustomComPort port(nullptr);
    row.apply(port);
    DCB dcb = DeviceDcb();
    port.CopyDCB(dcb, true);
    EXPECT_TRUE(row.check(dcb)) << row.what;
  }
}

TEST(SettingsMapping, reading_back_maps_values_to_the_first_matching_member) {
  struct Row {
    const char* what;
    void (*edit)(DCB&);
    bool (*check)(TCustomComPort&);
  };
  const std::vector<Row> rows = {
      {"NOPARITY is paDefault", [](DCB& d) { d.Parity = NOPARITY; }, [](TCustomComPort& p) { return p.Parity() == paDefault; }},
      {"EVENPARITY is paEven", [](DCB& d) { d.Parity = EVENPARITY; }, [](TCustomComPort& p) { return p.Parity() == paEven; }},
      {"unknown parity keeps paOdd", [](DCB& d) { d.Parity = 9; }, [](TCustomComPort& p) { return p.Parity() == paOdd; }},
      {"ONESTOPBIT is sbDefault", [](DCB& d) { d.StopBits = ONESTOPBIT; }, [](TCustomComPort& p) { return p.StopBits() == sbDefault; }},
      {"TWOSTOPBITS is sb2", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, [](TCustomComPort& p) { return p.StopBits() == sb2; }},
      {"ByteSize 16 is db16", [](DCB& d) { d.ByteSize = 16; }, [](TCustomComPort& p) { return p.DataBits() == db16; }},
      {"ByteSize 8 is db8", [](DCB& d) { d.ByteSize = 8; }, [](TCustomComPort& p) { return p.DataBits() == db8; }},
      {"unknown size keeps db6", [](DCB& d) { d.ByteSize = 3; }, [](TCustomComPort& p) { return p.DataBits() == db6; }},
      {"DTR disabled is dcDefault", [](DCB& d) { d.fDtrControl = DTR_CONTROL_DISABLE; }, [](TCustomComPort& p) { return p.FlowControl().DTR() == dcDefault; }},
      {"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, [](TCustomComPort& p) { return p.FlowControl().DTR() == dcHandshake; }},
      {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, [](TCustomComPort& p) { return p.FlowControl().RTS() == rcToggle; }},
      {"RTS disabled is rcDefault", [](DCB& d) { d.fRtsControl = RTS_CONTROL_DISABLE; }, [](TCustomComPort& p) { return p.FlowControl().RTS() == rcDefault; }},
      {"no XON/XOFF is xcDefault", [](DCB& d) { d.fInX = 0; d.fOutX = 0; }, [](TCustomComPort& p) { return p.FlowControl().XOnXOff() == xcDefault; }},
      {"output XON/XOFF", [](DCB& d) { d.fInX = 0; d.fOutX = 1; }, [](TCustomComPort& p) { return p.FlowControl().XOnXOff() == xcOutput; }},
      {"both XON/XOFF", [](DCB& d) { d.fInX = 1; d.fOutX = 1; }, [](TCustomComPort& p) { return p.FlowControl().XOnXOff() == xcInputOutput; }},
  };
  for (const Row& row : rows) {
    TCustomComPort port(nullptr);
    port.SetParity(paOdd);
    port.SetDataBits(db6);
    DCB dcb = DeviceDcb();
    row.edit(dcb);
    port.CopyDCB(dcb, false);
    EXPECT_TRUE(row.check(port)) << row.what;
  }
}

TEST(SettingsMapping, reading_back_takes_characters_limits_and_options) {
  TCustomComPort port(nullptr);
  DCB dcb = DeviceDcb();
  dcb.fNull = 0;
  port.CopyDCB(dcb, false);
  EXPECT_EQ(port.Characters().XOn(), 'a');
  EXPECT_EQ(port.Characters().XOff(), 'b');
  EXPECT_EQ(port.Characters().Error(), 'c');
  EXPECT_EQ(port.Characters().Eof(), 'd');
  EXPECT_EQ(port.Characters().Event(), 'e');
  EXPECT_EQ(port.FlowControl().XOnLimit(), 2048);
  EXPECT_EQ(port.FlowControl().XOffLimit(), 512);
  const TOptions all = {opCheckParity,      opOutputCTSFlow, opOutputDSRFlow,
                        opDSRSensitivity,   opTXContinueOnXOff, opUseErrorChar,
                        opAbortOnError};
  EXPECT_EQ(port.Options(), all);

  // And what went in comes out again.
  DCB again = DeviceDcb();
  std::memset(&again.XonLim, 0, sizeof again.XonLim);
  port.CopyDCB(again, true);
  dcb.fBinary = 1;
  EXPECT_EQ(0, std::memcmp(&again, &dcb, sizeof dcb));
}

TEST(SettingsMapping, a_rate_read_back_is_custom_unless_it_equals_the_stored_custom_rate) {
  TCustomComPort port(nullptr);
  port.SetBaudRate(br9600);
  DCB dcb = DeviceDcb();
  dcb.BaudRate = 9600;
  port.CopyDCB(dcb, false);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.GetCustomBaudRate(), 9600);

  port.SetBaudRate(br19200);
  port.CopyDCB(dcb, false);  // 9600 is the stored custom rate: the member stays
  EXPECT_EQ(port.BaudRate(), br19200);
  EXPECT_EQ(port.GetCustomBaudRate(), 19200);
}

TEST(SettingsMapping, custom_rate) {
  TCustomComPort port(nullptr);
  EXPECT_EQ(port.GetCustomBaudRate(), 0);
  EXPECT_FALSE(port.StoreCustomBaudRate());
  port.SetCustomBaudRate(250000);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_TRUE(port.StoreCustomBaudRate());
  EXPECT_EQ(port.GetCustomBaudRate(), 250000);
  DCB dcb = DeviceDcb();
  port.CopyDCB(dcb, true);
  EXPECT_EQ(dcb.BaudRate, 250000u);

  port.SetBaudRate(br9600);
  EXPECT_EQ(port.GetCustomBaudRate(), 9600);
  port.SetCustomBaudRate(250000);  // the value it already stores: nothing changes
  EXPECT_EQ(port.BaudRate(), br9600);
}

TEST(SettingsMapping, line_error_flags_map_to_members) {
  const std::vector<std::pair<DWORD, TLineError>> rows = {
      {CE_BREAK, leBreak},   {CE_DNS, leDeviceNotSelected}, {CE_FRAME, leFrame},
      {CE_IOE, leIO},        {CE_MODE, leMode},             {CE_OOP, leOutOfPaper},
      {CE_OVERRUN, leOverrun}, {CE_PTO, leDeviceTimeOut},   {CE_RXOVER, leRxOverflow},
      {CE_RXPARITY, leParity}, {CE_TXFULL, leTxFull},
  };
  DWORD all = 0;
  for (const auto& [flag, member] : rows) {
    EXPECT_EQ(TCustomComPort::GetLineErrors(flag), TLineErrors({member})) << flag;
    all |= flag;
  }
  EXPECT_EQ(TCustomComPort::GetLineErrors(all).ToBits(), 0x7FF);
  EXPECT_TRUE(TCustomComPort::GetLineErrors(0x20 | 0x40 | 0x80 | 0x2000).Empty());
  EXPECT_EQ(TCustomComPort::GetLineErrors(CE_FRAME | CE_OVERRUN), TLineErrors({leFrame, leOverrun}));
}

TEST(SettingsMapping, sub_object_defaults_and_whole_object_assignment) {
  TCustomComPort port(nullptr), other(nullptr);
  EXPECT_EQ(port.Characters().XOn(), 17);
  EXPECT_EQ(port.Characters().XOff(), 19);
  EXPECT_EQ(port.BufferSizes().Input(), 4096);
  EXPECT_EQ(port.BufferSizes().Output(), 2048);
  EXPECT_EQ(port.DeviceName(), "COM1");
  EXPECT_TRUE(port.SynchronizeEvents());
  EXPECT_EQ(port.ThreadPriority(), tpTimeCritical);

  other.FlowControl().SetDTRControl(dcHandshake);
  other.FlowControl().SetXOffLimit(7);
  other.Characters().SetEof('z');
  other.BufferSizes().SetInput(-1);
  other.Timeouts().SetReadConstant(100);
  other.Timeouts().SetWriteMultiplier(3);
  port.SetFlowControl(other.FlowControl());
  port.SetCharacters(other.Characters());
  port.SetBufferSizes(other.BufferSizes());
  port.SetTimeouts(other.Timeouts());
  EXPECT_EQ(port.FlowControl().DTR(), dcHandshake);
  EXPECT_EQ(port.FlowControl().XOffLimit(), 7);
  EXPECT_EQ(port.Characters().Eof(), 'z');
  EXPECT_EQ(port.Characters().XOn(), 17);
  EXPECT_EQ(port.BufferSizes().Input(), -1);
  EXPECT_EQ(port.Timeouts().ReadConstant(), 100);
  EXPECT_EQ(port.Timeouts().WriteMultiplier(), 3);

  EXPECT_THROW(port.FlowControl().Assign(other.Timeouts()), fw::EConvertError);
}

// ---- The error path ----

struct ErrorSpy : fw::TObject {
  TComAction answer = caFail;
  std::vector<std::pair<int, std::string>> seen;
  void OnError(TCustomComPort*, EComError& e, TComAction& action) {
    seen.emplace_back(e.ErrorCode(), e.Message());
    EXPECT_EQ(action, caFail);
    action = answer;
  }
};

TEST(SettingsErrors, raise_error_passes_on_error_then_raises_or_aborts) {
  for (TComAction answer : {caFail, caAbort}) {
    TCustomComPort port(nullptr);
    ErrorSpy spy;
    spy.answer = answer;
    port.SetOnError(fw::Method<&ErrorSpy::OnError>(&spy));
    try {
      port.RaiseError(7, "seven");
      FAIL();
    } catch (const EComError& e) {
      EXPECT_EQ(answer, caFail);
      EXPECT_EQ(e.ErrorCode(), 7);
      EXPECT_EQ(e.Message(), "seven");
    } catch (const fw::EAbort&) {
      EXPECT_EQ(answer, caAbort);
    }
    EXPECT_EQ(spy.seen, (std::vector<std::pair<int, std::string>>{{7, "seven"}}));
  }
}

TEST(SettingsErrors, check_lets_success_and_pending_pass_and_raises_the_rest) {
  TCustomComPort port(nullptr);
  plat::KernelApi& kernel = port.PlatformRef().kernel();
  for (DWORD code : {ERROR_SUCCESS, ERROR_IO_PENDING}) {
    kernel.SetLastError(code);
    EXPECT_NO_THROW(port.Check(false));
  }
  kernel.SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_NO_THROW(port.Check(true));
  try {
    port.Check(false);
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 5);
    EXPECT_EQ(e.Message(), kernel.SysErrorMessage(5));
  }
  EXPECT_EQ(kernel.GetLastError(), 0u);
}

TEST(SettingsErrors, closed_port_guards) {
  TCustomComPort port(nullptr);
  try {
    port.CheckActive();
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Message(), texts::kClosedPort);
  }
  EXPECT_NO_THROW(port.CheckInactive());
  port.SetDesigning(true);
  port.SetActive(true);  // design time: only recorded
  EXPECT_TRUE(port.Active());
  EXPECT_NO_THROW(port.CheckInactive());
  EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace comport
