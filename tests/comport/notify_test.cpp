// Device arrival and removal: decoding the raw device-change broadcasts, and the registration
// that the two event setters keep in step with the handlers.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comport/comport.h"
#include "framework/application.h"
#include "platform/sim/machine.h"
#include "tests/comport/lines_fake_platform.h"

namespace comport {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

void PutDword(Bytes& b, std::size_t offset, DWORD value) {
  std::memcpy(b.data() + offset, &value, sizeof value);
}

// A broadcast as the system lays it out: header, then the name from nameOffset, NUL-terminated.
Bytes Broadcast(DWORD deviceType, std::size_t nameOffset, const std::string& name) {
  Bytes b(nameOffset + name.size() + 1, 0);
  PutDword(b, 0, static_cast<DWORD>(b.size()));
  PutDword(b, 4, deviceType);
  std::memcpy(b.data() + nameOffset, name.data(), name.size());
  return b;
}
Bytes PortBroadcast(const std::string& name) { return Broadcast(DBT_DEVTYP_PORT, 12, name); }
Bytes InterfaceBroadcast(const std::string& path) {
  Bytes b = Broadcast(DBT_DEVTYP_DEVICEINTERFACE, 28, path);
  b[12] = 0x10;  // some class identifier bytes; the decoder does not read them
  b[13] = 0xBF;
  return b;
}

struct DeviceEvents {
  void Arrival(fw::TObject* sender, const std::string& name) {
    senders.push_back(sender);
    arrivals.push_back(name);
  }
  void Removed(fw::TObject* sender, const std::string& name) {
    senders.push_back(sender);
    removals.push_back(name);
  }
  std::vector<fw::TObject*> senders;
  Names arrivals;
  Names removals;
};

class Notification : public ::testing::Test {
 protected:
  void Listen() {
    port.SetOnDeviceArrival(fw::Method<&DeviceEvents::Arrival>(&events));
    port.SetOnDeviceRemoved(fw::Method<&DeviceEvents::Removed>(&events));
  }
  // Delivers a broadcast the way the system does: posted to the application's main window.
  void Deliver(WPARAM wParam, const Bytes& broadcast) {
    app.PostDeviceChange(wParam, broadcast);
    app.ProcessMessages();
  }
  fakeplat::System& system() { return platform.systemApi; }
  fakeplat::Platform platform;
  fw::TApplication app{platform};
  DeviceEvents events;
  TComPort port{nullptr, platform};
};

TEST_F(Notification, window_hook_decodes_raw_broadcasts_and_never_consumes_them) {
  const std::string path =
      "\\\\?\\USB#VID_0403&PID_6001#A1B2C3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  Bytes unterminated = PortBroadcast("COM12");
  unterminated.pop_back();  // no NUL: the name ends with the broadcast's declared size
  PutDword(unterminated, 0, static_cast<DWORD>(unterminated.size()));
  struct Row {
    const char* name;
    UINT msg;
    WPARAM wParam;
    Bytes broadcast;
    Names arrivals;
    Names removals;
  };
  const Row rows[] = {
      {"port arrival", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, PortBroadcast("COM1"), {"COM1"}, {}},
      {"port removal", WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, PortBroadcast("COM1"), {},
       {"COM1"}},
      {"interface arrival", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, InterfaceBroadcast(path), {path},
       {}},
      {"interface removal", WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, InterfaceBroadcast(path),
       {}, {path}},
      {"other wParam", WM_DEVICECHANGE, 0x8001 /* query remove */, PortBroadcast("COM1"), {}, {}},
      {"nodes changed", WM_DEVICECHANGE, 0x0007, PortBroadcast("COM1"), {}, {}},
      {"volume", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, Broadcast(2, 12, "X"), {}, {}},
      {"another message", 0x0010, DBT_DEVICEARRIVAL, PortBroadcast("COM1"), {}, {}},
      {"name filling the broadcast", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, unterminated,
       {"COM12"}, {}},
  };
  Listen();
  for (const Row& row : rows) {
    events = DeviceEvents{};
    Bytes copy = row.broadcast;
    fw::TMessage message{row.msg, row.wParam, reinterpret_cast<LPARAM>(copy.data()), 0};
    EXPECT_FALSE(port.WindowHook(message)) << row.name;
    EXPECT_EQ(events.arrivals, row.arrivals) << row.name;
    EXPECT_EQ(events.removals, row.removals) << row.name;
    for (fw::TObject* sender : events.senders) EXPECT_EQ(sender, &port) << row.name;
  }
}

TEST_F(Notification, registers_once_for_usb_device_interfaces_on_the_main_window) {
  Listen();
  EXPECT_EQ(system().registrations, 1);
  EXPECT_EQ(system().sink, &app);
  EXPECT_EQ(system().notifyFlags, DEVICE_NOTIFY_WINDOW_HANDLE);
  const Bytes expectedFilter = {
      32,   0,    0,    0,    5,    0,    0,    0,    0,    0,    0,    0,    0x10, 0xBF,
      0xDC, 0xA5, 0x30, 0x65, 0xD2, 0x11, 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED,
      0,    0,    0,    0};
  EXPECT_EQ(system().filter, expectedFilter);

  Deliver(DBT_DEVICEARRIVAL, PortBroadcast("COM3"));
  EXPECT_EQ(events.arrivals, Names{"COM3"});
}

TEST_F(Notification, clearing_one_handler_keeps_the_registration_clearing_both_ends_it) {
  Listen();
  port.SetOnDeviceArrival(nullptr);
  EXPECT_EQ(system().unregistrations, 0);
  Deliver(DBT_DEVICEREMOVECOMPLETE, PortBroadcast("COM3"));
  EXPECT_EQ(events.removals, Names{"COM3"});

  port.SetOnDeviceRemoved(nullptr);
  EXPECT_EQ(system().unregistrations, 1);
  EXPECT_EQ(system().unregistered, fakeplat::System::kRegistration);
}

TEST_F(Notification, a_failed_registration_leaves_no_hook_and_is_tried_again) {
  system().registerSucceeds = false;
  port.SetOnDeviceArrival(fw::Method<&DeviceEvents::Arrival>(&events));
  EXPECT_FALSE(port.StartNotification());
  Deliver(DBT_DEVICEARRIVAL, PortBroadcast("COM3"));
  EXPECT_TRUE(events.arrivals.empty());

  system().registerSucceeds = true;
  port.SetOnDeviceRemoved(fw::Method<&DeviceEvents::Removed>(&events));
  Deliver(DBT_DEVICEARRIVAL, PortBroadcast("COM3"));
  EXPECT_EQ(events.arrivals, Names{"COM3"});
}

TEST_F(Notification, stopping_removes_the_hook_even_when_unregistering_fails) {
  Listen();
  system().unregisterSucceeds = false;
  EXPECT_FALSE(port.StopNotification());
  EXPECT_TRUE(port.StopNotification());  // nothing left to remove
  EXPECT_EQ(system().unregistrations, 1);
  Deliver(DBT_DEVICEARRIVAL, PortBroadcast("COM3"));
  EXPECT_TRUE(events.arrivals.empty());
  EXPECT_TRUE(port.StartNotification());
  EXPECT_EQ(system().registrations, 2);
}

TEST_F(Notification, nothing_is_registered_at_design_time) {
  port.SetDesigning(true);
  Listen();
  EXPECT_EQ(system().registrations, 0);
}

TEST_F(Notification, a_destroyed_port_unregisters_and_unhooks) {
  auto* other = new TComPort(nullptr, platform);
  other->SetOnDeviceArrival(fw::Method<&DeviceEvents::Arrival>(&events));
  delete other;
  EXPECT_EQ(system().unregistrations, 1);
  Deliver(DBT_DEVICEARRIVAL, PortBroadcast("COM3"));  // must not reach the deleted port
  EXPECT_TRUE(events.arrivals.empty());
}

// A converter plugged in and pulled out on the simulated machine: the USB device interface
// and the port each announce themselves, in the order the system delivers them.
TEST(NotificationOnMachine, a_converter_arrives_and_leaves) {
  sim::Machine machine;
  fw::TApplication app(machine);
  DeviceEvents events;
  TComPort port(nullptr, machine);
  port.SetOnDeviceArrival(fw::Method<&DeviceEvents::Arrival>(&events));
  port.SetOnDeviceRemoved(fw::Method<&DeviceEvents::Removed>(&events));
  machine.AddConverter("A5XK3RJT", "COM3");
  app.ProcessMessages();
  ASSERT_EQ(events.arrivals.size(), 2u);
  EXPECT_EQ(events.arrivals[0].rfind("\\\\?\\USB#VID_0403&PID_6001#A5XK3RJT#", 0), 0u)
      << events.arrivals[0];
  EXPECT_EQ(events.arrivals[1], "COM3");
  machine.RemoveConverter("A5XK3RJT");
  app.ProcessMessages();
  EXPECT_EQ(events.removals, (Names{"COM3", events.arrivals[0]}));
}

}  // namespace
}  // namespace comport
