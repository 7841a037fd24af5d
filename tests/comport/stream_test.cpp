// TComPort in a form text: published order, defaults and stored rules, and reading it back.
#include <gtest/gtest.h>

#include <string>

#include "comport/comport.h"
#include "framework/streaming.h"
#include "tests/comport/io_harness.h"

namespace comport::porttest {
namespace {

// A form that owns a port and offers two handlers by name.
class Host : public fw::TComponent, public fw::TMethodOwner {
 public:
  explicit Host(plat::Platform& platform) : fw::TComponent(nullptr) {
    SetName("Form");
    port = new TComPort(this, platform);
    port->SetName("ComPort");
    methods_.Add("PortError", fw::Method<&Host::PortError>(this));
    methods_.Add("PortRxChar", fw::Method<&Host::PortRxChar>(this));
    fw::RegisterBaseClass<Host>("THost", "TComponent");
  }
  const char* ClassName() const override { return "THost"; }
  const fw::TMethodTable& Methods() const override { return methods_; }
  void PortError(TCustomComPort*, EComError&, TComAction&) {}
  void PortRxChar(fw::TObject*) {}

  TComPort* port;

 private:
  fw::TMethodTable methods_;
};

class PortStreaming : public PortFixture {};

TEST_F(PortStreaming, writes_changed_properties_in_published_order) {
  Host host(spy);
  TComPort& p = *host.port;
  p.SetCustomBaudRate(250000);
  p.SetDataBits(db8);
  p.SetDeviceName("COM3");
  p.FlowControl().SetDTRControl(dcDisable);
  p.Characters().SetXOn(1);
  p.BufferSizes().SetInput(64000);
  p.Timeouts().SetReadConstant(100);
  p.SetOptions({opCheckParity, opAbortOnError});
  p.SetPriorityClass(pcRealTime);
  p.SetSynchronizeEvents(false);
  p.SetThreadPriority(tpNormal);
  p.SetLogFile("port.log");
  p.SetOnError(fw::Method<&Host::PortError>(&host));
  p.SetOnRxChar(fw::Method<&Host::PortRxChar>(&host));
  const std::string expected =
      "object Form: THost\n"
      "  object ComPort: TComPort\n"
      "    Active = False\n"
      "    BaudRate = brCustom\n"
      "    BufferSizes.Input = 64000\n"
      "    Characters.XOn = #1\n"
      "    CustomBaudRate = 250000\n"
      "    DataBits = db8\n"
      "    DeviceName = 'COM3'\n"
      "    FlowControl.DTR = dcDisable\n"
      "    LogFile = 'port.log'\n"
      "    Options = [opCheckParity, opAbortOnError]\n"
      "    PriorityClass = pcRealTime\n"
      "    SynchronizeEvents = False\n"
      "    ThreadPriority = tpNormal\n"
      "    Timeouts.ReadConstant = 100\n"
      "    OnError = PortError\n"
      "    OnRxChar = PortRxChar\n"
      "  end\n"
      "end\n";
  EXPECT_EQ(fw::WriteComponentText(host), expected);
}

TEST_F(PortStreaming, a_default_port_writes_only_what_has_no_default) {
  Host host(spy);
  const std::string text = fw::WriteComponentText(host);
  EXPECT_EQ(text,
            "object Form: THost\n"
            "  object ComPort: TComPort\n"
            "    Active = False\n"
            "    DeviceName = 'COM1'\n"
            "    Options = []\n"
            "  end\n"
            "end\n");
  // A rate member stores no custom rate.
  host.port->SetBaudRate(br9600);
  const std::string withRate = fw::WriteComponentText(host);
  EXPECT_NE(withRate.find("BaudRate = br9600"), std::string::npos);
  EXPECT_EQ(withRate.find("CustomBaudRate"), std::string::npos);
}

TEST_F(PortStreaming, reads_back_what_it_wrote_and_opens_at_loaded) {
  Host written(spy);
  TComPort& w = *written.port;
  w.SetCustomBaudRate(250000);
  w.SetParity(paEven);
  w.SetStopBits(sb2);
  w.SetDeviceName("\\\\.\\COM3");
  w.FlowControl().SetXOnXOffControl(xcInputOutput);
  w.FlowControl().SetXOffLimit(77);
  w.Characters().SetEvent('\n');
  w.BufferSizes().SetOutput(-1);
  w.Timeouts().SetWriteMultiplier(3);
  w.SetOnRxChar(fw::Method<&Host::PortRxChar>(&written));
  std::string text = fw::WriteComponentText(written);
  // Active is written before DeviceName: opening at once would try COM1, which does not exist.
  const std::string inactive = "Active = False";
  text.replace(text.find(inactive), inactive.size(), "Active = True");

  Host read(spy);
  delete read.port;  // the text brings its own
  fw::ReadComponentText(text, read);
  auto* r = dynamic_cast<TComPort*>(read.FindComponent("ComPort"));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->Active());
  EXPECT_TRUE(device.IsOpen());
  EXPECT_EQ(r->BaudRate(), brCustom);
  EXPECT_EQ(r->GetCustomBaudRate(), 250000);
  EXPECT_EQ(device.HostDcb().BaudRate, 250000u);
  EXPECT_EQ(r->Parity(), paEven);
  EXPECT_EQ(r->StopBits(), sb2);
  EXPECT_EQ(r->FlowControl().XOnXOff(), xcInputOutput);
  EXPECT_EQ(r->FlowControl().XOffLimit(), 77);
  EXPECT_EQ(r->Characters().Event(), '\n');
  EXPECT_EQ(r->BufferSizes().Output(), -1);
  EXPECT_EQ(r->Timeouts().WriteMultiplier(), 3);
  EXPECT_TRUE(r->OnRxChar() == fw::Method<&Host::PortRxChar>(&read));
  EXPECT_TRUE(r->HasEventThread());
  r->Close();
}

TEST_F(PortStreaming, about_and_modem_status_are_read_only_and_never_written) {
  Host host(spy);
  host.port->SetDeviceName("COM3");
  host.port->Open();
  const std::string text = fw::WriteComponentText(host);
  EXPECT_EQ(text.find("About"), std::string::npos);
  EXPECT_EQ(text.find("ModemStatus"), std::string::npos);
  EXPECT_NE(text.find("Active = True"), std::string::npos);
  host.port->Close();
  EXPECT_STREQ(TComPort::About(), "TComPort 1.0");
}

}  // namespace
}  // namespace comport::porttest
