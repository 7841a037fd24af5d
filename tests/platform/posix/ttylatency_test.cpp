// The latency request for a tty opened outside the serial API: a tty that is no converter's is
// left alone, named after its path when sysfs knows no name for it (a pty's slave).
#include "platform/ttylatency.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct NameCase {
  const char* what;
  bool devPath;  // the slave's own /dev path, else the given path
  const char* path;
  const char* name;  // the name in the note; empty: the slave's path without /dev/
};

class TtyLatencyName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TtyLatencyName, a_tty_without_converter_is_left_alone) {
  const NameCase& c = GetParam();
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slavePath = ptsname(master);
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  struct stat node {};
  ASSERT_EQ(fstat(slave, &node), 0);

  plat::TtyLatency latency;
  std::vector<std::string> notes;
  latency.Request(slave, c.devPath ? slavePath : c.path, node, notes);
  const std::string name = *c.name != '\0' ? c.name : slavePath.substr(5);
  EXPECT_EQ(notes, std::vector<std::string>{"Latency " + name +
                                            ": not a USB-serial converter; nothing requested"});
  std::vector<std::string> restored;
  latency.Restore(slave, restored);
  EXPECT_TRUE(restored.empty());
  close(slave);
  close(master);
}

INSTANTIATE_TEST_SUITE_P(Table, TtyLatencyName,
                         ::testing::Values(NameCase{"dev_path", true, "", ""},
                                           NameCase{"outside_dev", false, "ttyBench", "ttyBench"},
                                           NameCase{"dev_prefix_dropped", false, "/dev/ttyBench",
                                                    "ttyBench"}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
