// The hidden device window: what reaches it as WM_DEVICECHANGE reaches every registered sink,
// copied whole (the record dies with the call), and nothing reaches a sink after unregistering.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/system.h"

namespace {

// GUID_DEVINTERFACE_COMPORT, the interface class serial ports register.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class RecordingSink : public plat::MessageSink {
 public:
  struct Message {
    WPARAM wParam;
    std::vector<std::uint8_t> record;
  };
  void PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({wParam, std::move(broadcast)});
  }
  std::vector<Message> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::vector<Message> messages_;
};

DEV_BROADCAST_DEVICEINTERFACE_A InterfaceFilter() {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kComPortInterface;
  return filter;
}

// A port broadcast as the system builds it: header, then the NUL-terminated port name.
std::vector<std::uint8_t> PortRecord(const std::string& name) {
  std::vector<std::uint8_t> bytes(offsetof(DEV_BROADCAST_PORT_A, dbcp_name) + name.size() + 1);
  DEV_BROADCAST_PORT_A header{};
  header.dbcp_size = static_cast<DWORD>(bytes.size());
  header.dbcp_devicetype = DBT_DEVTYP_PORT;
  std::memcpy(bytes.data(), &header, offsetof(DEV_BROADCAST_PORT_A, dbcp_name));
  std::memcpy(bytes.data() + offsetof(DEV_BROADCAST_PORT_A, dbcp_name), name.c_str(),
              name.size() + 1);
  return bytes;
}

class Win32DeviceWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = system_.DeviceWindowHandle();
    ASSERT_NE(window_, nullptr) << ::GetLastError();
  }
  LRESULT Send(WPARAM wParam, std::vector<std::uint8_t>* record) {
    return ::SendMessageA(window_, WM_DEVICECHANGE, wParam,
                          record != nullptr ? reinterpret_cast<LPARAM>(record->data()) : 0);
  }

  plat::win32::System system_;
  HWND window_ = nullptr;
};

TEST_F(Win32DeviceWindowTest, is_a_hidden_top_level_window) {
  // Port broadcasts go to top-level windows only; a message-only window would miss them.
  EXPECT_EQ(::GetAncestor(window_, GA_PARENT), ::GetDesktopWindow());
  EXPECT_FALSE(::IsWindowVisible(window_));
  EXPECT_EQ(system_.DeviceWindowHandle(), window_);
}

TEST_F(Win32DeviceWindowTest, registered_sinks_get_a_copy_of_each_message) {
  RecordingSink first;
  RecordingSink second;
  RecordingSink unregistered;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = InterfaceFilter();
  HANDLE a = system_.RegisterDeviceNotificationA(&first, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(a, nullptr) << ::GetLastError();
  HANDLE b = system_.RegisterDeviceNotificationA(&second, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(b, nullptr) << ::GetLastError();
  // A second registration of the same sink does not double its messages.
  HANDLE c = system_.RegisterDeviceNotificationA(&first, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(c, nullptr) << ::GetLastError();

  std::vector<std::uint8_t> arrival = PortRecord("COM7");
  EXPECT_EQ(Send(DBT_DEVICEARRIVAL, &arrival), TRUE);
  // The sender's record is gone after the call; the sinks keep their own copies.
  std::vector<std::uint8_t> expected = arrival;
  std::fill(arrival.begin(), arrival.end(), 0xEE);
  std::vector<std::uint8_t> removal = PortRecord("COM12");
  Send(DBT_DEVICEREMOVECOMPLETE, &removal);

  for (RecordingSink* sink : {&first, &second}) {
    const auto messages = sink->Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].wParam, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(messages[0].record, expected);
    EXPECT_EQ(messages[1].wParam, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(messages[1].record, removal);
  }
  EXPECT_TRUE(unregistered.Messages().empty());

  EXPECT_TRUE(system_.UnregisterDeviceNotification(a));
  EXPECT_TRUE(system_.UnregisterDeviceNotification(b));
  EXPECT_TRUE(system_.UnregisterDeviceNotification(c));
  Send(DBT_DEVICEARRIVAL, &removal);
  EXPECT_EQ(first.Messages().size(), 2u);
  EXPECT_EQ(second.Messages().size(), 2u);
}

TEST_F(Win32DeviceWindowTest, message_without_record_arrives_empty) {
  RecordingSink sink;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = InterfaceFilter();
  HANDLE registration =
      system_.RegisterDeviceNotificationA(&sink, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(registration, nullptr);
  constexpr WPARAM kDevNodesChanged = 0x0007;
  Send(kDevNodesChanged, nullptr);
  const auto messages = sink.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, kDevNodesChanged);
  EXPECT_TRUE(messages[0].record.empty());
  system_.UnregisterDeviceNotification(registration);
}

TEST_F(Win32DeviceWindowTest, size_field_beyond_reason_is_not_believed) {
  RecordingSink sink;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = InterfaceFilter();
  HANDLE registration =
      system_.RegisterDeviceNotificationA(&sink, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(registration, nullptr);
  // A header that claims less than itself is copied as a header.
  std::vector<std::uint8_t> shortRecord = PortRecord("COM3");
  shortRecord[0] = 2;
  Send(DBT_DEVICEARRIVAL, &shortRecord);
  const auto messages = sink.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].record.size(), sizeof(DEV_BROADCAST_HDR));
  system_.UnregisterDeviceNotification(registration);
}

TEST_F(Win32DeviceWindowTest, bad_registrations_fail_with_their_codes) {
  RecordingSink sink;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = InterfaceFilter();
  EXPECT_EQ(system_.RegisterDeviceNotificationA(nullptr, &filter, 0), nullptr);
  EXPECT_EQ(::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(system_.RegisterDeviceNotificationA(&sink, nullptr, 0), nullptr);
  EXPECT_EQ(::GetLastError(), ERROR_INVALID_PARAMETER);
  int notARegistration = 0;
  EXPECT_FALSE(system_.UnregisterDeviceNotification(&notARegistration));
  EXPECT_EQ(::GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
