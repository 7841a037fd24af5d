// The signal indicator in a form text: what is written, and an indicator read from a form
// attaching to its port once the form is complete.
#include <string>

#include <gtest/gtest.h>

#include "framework/streaming.h"
#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Recorder;

// A form offering one handler by name.
class Host : public fw::TComponent, public fw::TMethodOwner {
 public:
  explicit Host(Recorder& recorder) : fw::TComponent(nullptr) {
    SetName("Form");
    methods_.Add("SignalChanged", fw::Method<&Recorder::Signal>(&recorder));
    fw::RegisterBaseClass<Host>("TIndicatorHost", "TComponent");
  }
  const char* ClassName() const override { return "TIndicatorHost"; }
  const fw::TMethodTable& Methods() const override { return methods_; }

 private:
  fw::TMethodTable methods_;
};

TEST_F(IndicatorTest, writes_delay_and_signal_always_and_other_values_when_changed) {
  Host host(recorder);
  auto* indicator = new TComSignal(&host);
  indicator->SetName("Indicator");
  std::string text = fw::WriteComponentText(host);
  EXPECT_NE(text.find("  object Indicator: TComSignal\n"
                      "    Delay = 100\n"
                      "    Signal = siNone\n"
                      "  end\n"),
            std::string::npos)
      << text;

  auto* own = new TComPort(&host, machine);
  own->SetName("ComPort");
  indicator->SetColorOn(fw::clRed);
  indicator->SetComPort(own);
  indicator->SetDelay(10);
  indicator->SetSignal(siDSR);
  indicator->SetOnSignal(fw::Method<&Recorder::Signal>(&recorder));
  text = fw::WriteComponentText(host);
  EXPECT_NE(text.find("  object Indicator: TComSignal\n"
                      "    ColorOn = clRed\n"
                      "    ComPort = ComPort\n"
                      "    Delay = 10\n"
                      "    Signal = siDSR\n"
                      "    OnSignal = SignalChanged\n"
                      "  end\n"),
            std::string::npos)
      << text;
}

TEST_F(IndicatorTest, an_indicator_read_before_its_port_attaches_when_the_form_is_loaded) {
  plat::SetCurrentPlatform(&machine);
  fw::RegisterControlClasses();
  Host host(recorder);
  fw::ReadComponentText(
      "object Form: TIndicatorHost\n"
      "  object Indicator: TComSignal\n"
      "    ComPort = ComPort\n"
      "    Control = Panel\n"
      "    Delay = 10\n"
      "    Signal = siDSR\n"
      "    OnSignal = SignalChanged\n"
      "  end\n"
      "  object ComPort: TComPort\n"
      "    DeviceName = '\\\\.\\COM3'\n"
      "  end\n"
      "  object Panel: TPanel\n"
      "    Color = clBtnFace\n"
      "  end\n"
      "end\n",
      host);
  auto* indicator = static_cast<TComSignal*>(host.FindComponent("Indicator"));
  auto* readPort = static_cast<TComPort*>(host.FindComponent("ComPort"));
  auto* panel = static_cast<fw::TPanel*>(host.FindComponent("Panel"));
  ASSERT_NE(indicator, nullptr);
  EXPECT_TRUE(indicator->Attached());
  EXPECT_EQ(indicator->Delay(), 10);
  EXPECT_EQ(panel->Color(), fw::clGreen);  // painted by Loaded although the value is unchanged

  device.SetDSR(true);
  readPort->Open();
  EXPECT_EQ(recorder.Take(), std::vector<std::string>{"Indicator on (lit)"});
  readPort->Close();
  plat::SetCurrentPlatform(nullptr);
}

}  // namespace
}  // namespace comport
