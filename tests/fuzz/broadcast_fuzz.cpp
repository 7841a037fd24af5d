// A device-change broadcast as the main message window receives it: the event (first byte:
// arrival, removal or another one) and the record's bytes (the rest). It goes the way the
// system's broadcasts go - posted to the application, handed to its window hooks - to a port
// listening for arrivals and removals. A name it reports lies within the record.
#include <cstdint>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "platform/sim/machine.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Listener {
  std::size_t recordSize = 0;
  int calls = 0;
  void Heard(fw::TObject*, const std::string& name) {
    ++calls;
    FUZZ_CHECK(name.size() < recordSize);
    FUZZ_CHECK(name.find('\0') == std::string::npos);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr WPARAM kEvents[] = {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, 0x8001, 7};
  const WPARAM event = kEvents[data[0] % 4];
  const std::vector<std::uint8_t> record(data + 1, data + size);

  sim::Machine machine;
  plat::SetCurrentPlatform(&machine);
  {
    fw::TApplication application(machine);
    Listener listener;
    listener.recordSize = record.size();
    comport::TComPort port(nullptr);
    port.SetOnDeviceArrival(fw::Method<&Listener::Heard>(&listener));
    port.SetOnDeviceRemoved(fw::Method<&Listener::Heard>(&listener));
    application.PostDeviceChange(event, record);
    application.ProcessMessages();
    FUZZ_CHECK(listener.calls <= 1);
  }
  plat::SetCurrentPlatform(nullptr);
  return 0;
}
