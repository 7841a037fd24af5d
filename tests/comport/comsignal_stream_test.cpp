// The signal indicator in a form text: read before its port, attached once the form is read,
// and written back with Delay and Signal always present.
#include <gtest/gtest.h>

#include <string>

#include "framework/streaming.h"
#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Log;
using testing::Recorder;

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

TEST_F(IndicatorTest, form_text_round_trip) {
  plat::SetCurrentPlatform(&machine);
  fw::RegisterControlClasses();
  // The reader creates the classes it meets: register them even when this test runs alone.
  comport::RegisterComPortClasses();
  comport::RegisterComSignalClass();
  const std::string indicator =
      "  object Indicator: TComSignal\n    ColorOn = clRed\n    ComPort = ComPort\n"
      "    Control = Panel\n    Delay = 10\n    Signal = siDSR\n    OnSignal = SignalChanged\n"
      "  end\n";
  Host host(recorder);
  fw::ReadComponentText("object Form: TIndicatorHost\n" + indicator +
                            "  object ComPort: TComPort\n    DeviceName = 'COM3'\n  end\n"
                            "  object Panel: TPanel\n  end\nend\n",
                        host);
  auto* read = static_cast<TComSignal*>(host.FindComponent("Indicator"));
  EXPECT_TRUE(read->Attached());
  EXPECT_EQ(static_cast<fw::TPanel*>(host.FindComponent("Panel"))->Color(), fw::clGreen);
  read->BeginLoading();
  read->Loaded();  // again: must not attach twice (the chain would call itself)
  device.SetDSR(true);
  static_cast<TComPort*>(host.FindComponent("ComPort"))->Open();
  EXPECT_EQ(recorder.Take(), Log{"Indicator on (lit)"});

  (new TComSignal(&host))->SetName("Plain");
  const std::string written = fw::WriteComponentText(host);
  EXPECT_NE(written.find(indicator), std::string::npos) << written;
  EXPECT_NE(written.find("  object Plain: TComSignal\n    Delay = 100\n    Signal = siNone\n"
                         "  end\n"),
            std::string::npos)
      << written;
  plat::SetCurrentPlatform(nullptr);
}

}  // namespace
}  // namespace comport
