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
  // About, ModemStatus and everything at its default stay out; so does CustomBaudRate with a
  // rate member.
  EXPECT_EQ(fw::WriteComponentText(host), expected);
  p.SetBaudRate(br9600);
  EXPECT_EQ(fw::WriteComponentText(host).find("CustomBaudRate"), std::string::npos);
}

TEST_F(PortStreaming, reads_back_what_it_wrote_and_opens_at_loaded) {
  Host written(spy);
  TComPort& w = *written.port;
  w.SetCustomBaudRate(250000);
  w.SetParity(paEven);
  w.SetDeviceName("\\\\.\\COM3");
  w.FlowControl().SetXOnXOffControl(xcInputOutput);
  w.Characters().SetEvent('\n');
  w.BufferSizes().SetOutput(-1);
  w.SetOnRxChar(fw::Method<&Host::PortRxChar>(&written));
  const std::string text = fw::WriteComponentText(written);
  // Active comes before DeviceName: opening at once would try COM1, which does not exist.
  std::string active = text;
  active.replace(active.find("Active = False"), 14, "Active = True");

  Host read(spy);
  delete read.port;  // the text brings its own
  fw::ReadComponentText(active, read);
  auto* r = dynamic_cast<TComPort*>(read.FindComponent("ComPort"));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(device.IsOpen());
  EXPECT_EQ(device.HostDcb().BaudRate, 250000u);
  EXPECT_TRUE(r->HasEventThread());
  r->Close();
  EXPECT_EQ(fw::WriteComponentText(read), text);
}

}  // namespace
}  // namespace comport::porttest
