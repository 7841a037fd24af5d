// A form text, read into a form of the window's kind on a simulated machine: controls, timers,
// serial ports (which open at Loaded when Active) and their indicators, with a few methods for
// the events. A text is either refused with the framework's exception or read; a text that was
// read is written back, and that text reads again into the same form text.
#include <cstdint>
#include <string>

#include "comport/comport.h"
#include "comport/comsignal.h"
#include "framework/application.h"
#include "framework/controls.h"
#include "framework/streaming.h"
#include "platform/sim/machine.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

class TFuzzForm : public fw::TForm {
 public:
  TFuzzForm() : fw::TForm(nullptr) {
    fw::RegisterControlClasses();
    comport::RegisterComPortClasses();
    comport::RegisterComSignalClass();
    fw::RegisterBaseClass<TFuzzForm>("TFuzzForm", "TForm");
    fw::TMethodTable& m = MethodTable();
    m.Add("Click", fw::Method<&TFuzzForm::Click>(this));
    m.Add("CloseQuery", fw::Method<&TFuzzForm::CloseQuery>(this));
    m.Add("PortOpened", fw::Method<&TFuzzForm::PortOpened>(this));
    m.Add("PortError", fw::Method<&TFuzzForm::PortError>(this));
    m.Add("LineError", fw::Method<&TFuzzForm::LineError>(this));
  }
  const char* ClassName() const override { return "TFuzzForm"; }

  void Click(fw::TObject*) {}
  void CloseQuery(fw::TObject*, bool&) {}
  void PortOpened(comport::TCustomComPort*) {}
  void PortError(comport::TCustomComPort*, comport::EComError&, comport::TComAction& action) {
    action = comport::caAbort;
  }
  void LineError(fw::TObject*, comport::TLineErrors) {}
};

// Reads text into a new form; the written form text, or "" when the text was refused.
std::string ReadAndWrite(const std::string& text) {
  TFuzzForm form;
  try {
    fw::ReadComponentText(text, form);
  } catch (const fw::Exception&) {
    return "";
  }
  return fw::WriteComponentText(form);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::Machine machine;
  machine.AddPort("COM1");
  machine.AddPort("COM3");
  plat::SetCurrentPlatform(&machine);
  {
    fw::TApplication application(machine);
    const std::string written =
        ReadAndWrite(std::string(reinterpret_cast<const char*>(data), size));
    if (!written.empty()) {
      // What the writer wrote, the reader reads: to the same text.
      FUZZ_CHECK(ReadAndWrite(written) == written);
    }
  }
  plat::SetCurrentPlatform(nullptr);
  return 0;
}
