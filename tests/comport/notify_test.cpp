// Device arrival and removal: decoding raw device-change broadcasts, and the registration that
// the two event setters keep in step with the handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "platform/sim/machine.h"

namespace comport {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

class Notification : public ::testing::Test {
 public:
  void Arrival(fw::TObject* sender, const std::string& name) {
    EXPECT_EQ(sender, &port);
    arrivals.push_back(name);
  }
  void Removed(fw::TObject* sender, const std::string& name) {
    EXPECT_EQ(sender, &port);
    removals.push_back(name);
  }

 protected:
  void Listen(TCustomComPort& p) {
    p.SetOnDeviceArrival(fw::Method<&Notification::Arrival>(this));
    p.SetOnDeviceRemoved(fw::Method<&Notification::Removed>(this));
  }
  sim::Machine machine;
  fw::TApplication app{machine};
  TComPort port{nullptr, machine};
  Names arrivals, removals;
};

TEST_F(Notification, window_hook_decodes_raw_broadcasts_and_never_consumes_them) {
  const std::string path = "\\\\?\\USB#VID_0403&PID_6001#A1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  Bytes volume = sim::PortBroadcast("X");
  volume[4] = 2;  // another device type
  Bytes filled = sim::PortBroadcast("COM12");
  filled.pop_back();  // no NUL: the name ends where the broadcast's declared size does
  filled[0] = static_cast<std::uint8_t>(filled.size());
  struct Row {
    UINT msg;
    WPARAM wParam;
    Bytes broadcast;
    Names arrivals, removals;
  };
  const Row rows[] = {
      {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, sim::PortBroadcast("COM1"), {"COM1"}, {}},
      {WM_DEVICECHANGE,
       DBT_DEVICEREMOVECOMPLETE,
       sim::InterfaceBroadcast(sim::kUsbDeviceInterface, path),
       {},
       {path}},
      {WM_DEVICECHANGE, 0x8001, sim::PortBroadcast("COM1"), {}, {}},
      {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, volume, {}, {}},
      {0x0010, DBT_DEVICEARRIVAL, sim::PortBroadcast("COM1"), {}, {}},
      {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, filled, {"COM12"}, {}},
  };
  Listen(port);
  for (const Row& row : rows) {
    arrivals.clear();
    removals.clear();
    Bytes bytes = row.broadcast;
    fw::TMessage message{row.msg, row.wParam, reinterpret_cast<LPARAM>(bytes.data()), 0};
    EXPECT_FALSE(port.WindowHook(message));
    EXPECT_EQ(arrivals, row.arrivals);
    EXPECT_EQ(removals, row.removals);
  }
}

TEST_F(Notification, a_posted_broadcast_is_read_within_its_bytes) {
  Bytes unterminated = sim::PortBroadcast("COM12");
  unterminated.pop_back();
  unterminated[0] = 0xFF;  // declares more than it holds, and the name has no NUL
  unterminated[1] = 0x0F;
  Bytes headerOnly = sim::PortBroadcast("COM1");
  headerOnly.resize(8);
  struct Row {
    const char* name;
    Bytes broadcast;
    Names removals;
  };
  const Row rows[] = {
      {"shorter than a header", {0x00, 0x66, 0x00}, {}},
      {"header cut after the type", headerOnly, {}},
      {"declared size beyond the bytes", unterminated, {"COM12"}},
      {"well formed", sim::PortBroadcast("COM3"), {"COM3"}},
  };
  Listen(port);
  for (const Row& row : rows) {
    removals.clear();
    app.PostDeviceChange(DBT_DEVICEREMOVECOMPLETE, row.broadcast);
    app.ProcessMessages();
    EXPECT_EQ(removals, row.removals) << row.name;
  }
}

TEST_F(Notification, a_converter_is_reported_while_either_handler_is_set) {
  Listen(port);
  machine.AddConverter("A5XK3RJT", "COM3");
  app.ProcessMessages();
  // Registered once: the USB device's interface first, then its port.
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(arrivals[0].rfind("\\\\?\\USB#VID_0403&PID_6001#A5XK3RJT#", 0), 0u);
  EXPECT_EQ(arrivals[1], "COM3");
  port.SetOnDeviceArrival(nullptr);  // the other handler keeps the registration
  machine.RemoveConverter("A5XK3RJT");
  app.ProcessMessages();
  EXPECT_EQ(removals, (Names{"COM3", arrivals[0]}));
  port.SetOnDeviceRemoved(nullptr);
  EXPECT_TRUE(port.StopNotification());  // nothing left to unregister
}

TEST_F(Notification, nothing_is_reported_at_design_time_or_after_the_port_is_gone) {
  port.SetDesigning(true);
  Listen(port);
  auto* gone = new TComPort(nullptr, machine);
  Listen(*gone);
  delete gone;
  machine.AddConverter("A5XK3RJT", "COM3");
  app.ProcessMessages();  // must not reach the deleted port's hook
  EXPECT_TRUE(arrivals.empty());
}

}  // namespace
}  // namespace comport
