// The fixture of the tests that open a port on the fake host: a real pty poses as the port's
// tty, the serial API runs with the fake host's system calls and a fake sysfs and /proc below
// a temporary folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/posix/kernel.h"
#include "platform/posix/serial.h"
#include "tests/platform/posix/fake_host.h"

namespace plat::posix::testing {

class FakeHostPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    g_host.Reset(tree_.Root().native());
    struct stat node {};
    ASSERT_EQ(::stat(pty_.SlavePath().c_str(), &node), 0);
    rdev_ = node.st_rdev;
  }
  HANDLE Open() {
    return serial_.CreateFileA(pty_.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  }
  // The running test's name, fit for a folder name.
  static std::string TestName() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    return name;
  }

  Kernel kernel_;
  ptymodem::Pty pty_;
  FakeTree tree_{TestName()};
  Serial serial_{kernel_, FakeHostCalls(), "/dev", tree_.Paths()};
  dev_t rdev_ = 0;
};

}  // namespace plat::posix::testing
