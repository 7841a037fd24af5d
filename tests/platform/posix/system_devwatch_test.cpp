// Device arrival and removal: device nodes created and deleted in a temporary dev root become
// port broadcasts for the registered sinks. Every wait is bounded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "system_testing.h"

namespace plat::posix {
namespace {

using testing::TreePath;
namespace fs = std::filesystem;

constexpr auto kPatience = std::chrono::seconds(5);

struct Broadcast {
  WPARAM event;
  std::vector<std::uint8_t> bytes;
  std::string Name() const { return reinterpret_cast<const char*>(bytes.data() + 12); }
};

class RecordingSink : public MessageSink {
 public:
  void PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) override {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back({wParam, std::move(broadcast)});
    changed_.notify_all();
  }
  // The next broadcast, waiting at most kPatience.
  std::optional<Broadcast> Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kPatience, [&] { return !received_.empty(); })) return std::nullopt;
    Broadcast b = std::move(received_.front());
    received_.pop_front();
    return b;
  }
  std::size_t Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Broadcast> received_;
};

DWORD DwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  DWORD value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

class SystemDevWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    dev_ = fs::temp_directory_path() / ("lcdwrite-dev-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dev_);
    fs::create_directories(dev_);
  }
  void TearDown() override { fs::remove_all(dev_); }
  void Create(const std::string& name) { std::ofstream(dev_ / name).put('\0'); }
  void Remove(const std::string& name) { fs::remove(dev_ / name); }

  fs::path dev_;
  testing::RecordingKernel kernel_;
};

TEST_F(SystemDevWatch, arrival_and_removal_become_port_broadcasts) {
  System system(kernel_, TreePath("mixed"), dev_.native());
  RecordingSink sink;
  const DEV_BROADCAST_DEVICEINTERFACE_A filter{32, DBT_DEVTYP_DEVICEINTERFACE, 0, {}, {0}};
  HANDLE registration = system.RegisterDeviceNotificationA(&sink, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(registration, nullptr);

  // Not ports: a virtual tty, a UART slot without hardware (type 0 in the tree), other nodes.
  for (const char* name : {"tty5", "ttyS1", "null", "ttyUSB"}) Create(name);
  Create("ttyUSB7");
  auto arrival = sink.Next();
  ASSERT_TRUE(arrival);
  EXPECT_EQ(arrival->event, DBT_DEVICEARRIVAL);
  ASSERT_EQ(arrival->bytes.size(), 12u + 8u);
  EXPECT_EQ(DwordAt(arrival->bytes, 0), 20u);               // size
  EXPECT_EQ(DwordAt(arrival->bytes, 4), DBT_DEVTYP_PORT);   // 3
  EXPECT_EQ(DwordAt(arrival->bytes, 8), 0u);                // reserved
  EXPECT_EQ(arrival->Name(), "ttyUSB7");
  EXPECT_EQ(arrival->bytes.back(), 0);

  Remove("ttyS1");  // never reported, so not reported leaving either
  Remove("ttyUSB7");
  auto removal = sink.Next();
  ASSERT_TRUE(removal);
  EXPECT_EQ(removal->event, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(removal->Name(), "ttyUSB7");

  Create("ttyS0");  // a real UART in the tree
  auto uart = sink.Next();
  ASSERT_TRUE(uart);
  EXPECT_EQ(uart->Name(), "ttyS0");
  EXPECT_EQ(system.UnregisterDeviceNotification(registration), TRUE);
}

TEST_F(SystemDevWatch, ports_present_at_start_are_reported_only_leaving) {
  Create("ttyACM0");
  System system(kernel_, TreePath("mixed"), dev_.native());
  RecordingSink sink;
  ASSERT_NE(system.RegisterDeviceNotificationA(&sink, nullptr, 0), nullptr);
  Remove("ttyACM0");
  auto first = sink.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->event, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(first->Name(), "ttyACM0");
  // The System ends with the registration still in place: its destructor joins the watch.
}

TEST_F(SystemDevWatch, an_unregistered_sink_hears_nothing_more) {
  System system(kernel_, TreePath("mixed"), dev_.native());
  RecordingSink gone;
  RecordingSink staying;
  HANDLE goneRegistration = system.RegisterDeviceNotificationA(&gone, nullptr, 0);
  HANDLE stayingRegistration = system.RegisterDeviceNotificationA(&staying, nullptr, 0);
  ASSERT_NE(goneRegistration, nullptr);
  ASSERT_NE(stayingRegistration, nullptr);
  EXPECT_NE(goneRegistration, stayingRegistration);

  EXPECT_EQ(system.UnregisterDeviceNotification(goneRegistration), TRUE);
  Create("ttyACM1");
  auto heard = staying.Next();
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->Name(), "ttyACM1");
  // Both sinks are served in one pass, so by now gone would have it.
  EXPECT_EQ(gone.Pending(), 0u);

  EXPECT_EQ(system.UnregisterDeviceNotification(goneRegistration), FALSE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(system.UnregisterDeviceNotification(stayingRegistration), TRUE);

  // The last one stopped the watch; a new registration starts another.
  HANDLE again = system.RegisterDeviceNotificationA(&staying, nullptr, 0);
  ASSERT_NE(again, nullptr);
  Remove("ttyACM1");
  auto left = staying.Next();
  ASSERT_TRUE(left);
  EXPECT_EQ(left->event, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(system.UnregisterDeviceNotification(again), TRUE);
}

TEST_F(SystemDevWatch, registration_fails_without_a_dev_root_or_a_sink) {
  System system(kernel_, TreePath("mixed"), (dev_ / "missing").native());
  RecordingSink sink;
  EXPECT_EQ(system.RegisterDeviceNotificationA(&sink, nullptr, 0), nullptr);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(system.RegisterDeviceNotificationA(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace plat::posix
