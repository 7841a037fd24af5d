// Why a port did not open, as the serial API reports it through LastOpenFailure: the device
// node's group against the user's, the programs /proc shows holding the device, a vanished
// device. A real pty stands for the port; the node's owner and mode, the user, chosen
// failures and /proc are fakes.
#include <gtest/gtest.h>

#include <functional>

#include "platform/posix/serial.h"
#include "tests/platform/posix/fake_host_port.h"

namespace plat::posix {
namespace {

using testing::FakeTree;
using testing::g_host;
using Cause = OpenFailure::Cause;
using Holders = std::vector<std::pair<std::string, int>>;

Holders HoldersOf(const OpenFailure& failure) {
  Holders holders;
  for (const OpenFailure::Holder& holder : failure.holders) holders.emplace_back(holder.program, holder.pid);
  return holders;
}

// The device node as a converter's: owner, group, mode.
void Node(uid_t owner, gid_t group, mode_t mode) {
  g_host.fakeNode = true;
  g_host.node.st_uid = owner;
  g_host.node.st_gid = group;
  g_host.node.st_mode = mode;
}

// What a row arranges its failure with.
struct Scene {
  FakeTree& tree;
  std::string slave;  // the pty slave's path
  dev_t rdev;
};

class SerialOpenFailure : public testing::FakeHostPort {
 protected:
  void SetUp() override {
    FakeHostPort::SetUp();
    g_host.devicePath = pty_.SlavePath();
  }
};

struct FailureRow {
  const char* name;
  std::function<void(const Scene&)> arrange;
  DWORD code;
  Cause cause;
  const char* user = "";
  const char* group = "";
  const char* owner = "";
  const char* mode = "";
  Holders holders = {};
  std::vector<std::string> suspects = {};
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class SerialOpenFailureTable : public SerialOpenFailure,
                               public ::testing::WithParamInterface<FailureRow> {};

TEST_P(SerialOpenFailureTable, explains_the_failure) {
  const FailureRow& row = GetParam();
  row.arrange(Scene{tree_, pty_.SlavePath(), rdev_});
  kernel_.SetLastError(0);
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(kernel_.GetLastError(), row.code);
  const OpenFailure failure = serial_.LastOpenFailure();
  EXPECT_EQ(failure.code, row.code);
  EXPECT_EQ(failure.cause, row.cause);
  EXPECT_EQ(failure.path, pty_.SlavePath());
  EXPECT_EQ(failure.user, row.user);
  EXPECT_EQ(failure.group, row.group);
  EXPECT_EQ(failure.owner, row.owner);
  EXPECT_EQ(failure.mode, row.mode);
  EXPECT_EQ(HoldersOf(failure), row.holders);
  EXPECT_EQ(failure.suspects, row.suspects);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SerialOpenFailureTable,
    ::testing::Values(
        FailureRow{"not_in_the_dialout_group",
                   [](const Scene&) {
                     Node(0, 20, 0660);
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::NotInGroup, "anna", "dialout"},
        FailureRow{"added_to_the_group_but_not_logged_in_again",
                   [](const Scene&) {
                     Node(0, 20, 0660);
                     g_host.groupTable[1].members = {"lp", "anna"};
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::GroupNotActive, "anna", "dialout"},
        FailureRow{"the_group_is_the_users_primary_one_but_not_in_this_login",
                   [](const Scene&) {
                     Node(0, 20, 0660);
                     g_host.users[1].second.second = 20;
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::GroupNotActive, "anna", "dialout"},
        FailureRow{"in_the_group_and_still_refused",
                   [](const Scene&) {
                     Node(0, 20, 0660);
                     g_host.groups = {1000, 20};
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::NoAccess, "anna", "dialout", "root", "0660"},
        FailureRow{"no_group_may_use_it",
                   [](const Scene&) {
                     Node(0, 0, 0600);
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::NoAccess, "anna", "root", "root", "0600"},
        FailureRow{"an_unknown_group_is_named_by_its_number",
                   [](const Scene&) {
                     Node(0, 4242, 0660);
                     g_host.openErrno = EACCES;
                   },
                   ERROR_ACCESS_DENIED, Cause::NotInGroup, "anna", "4242"},
        FailureRow{"no_device_node", [](const Scene&) { g_host.statErrno = ENOENT; },
                   ERROR_FILE_NOT_FOUND, Cause::Gone},
        FailureRow{"a_node_without_hardware", [](const Scene&) { g_host.openErrno = ENXIO; },
                   ERROR_FILE_NOT_FOUND, Cause::Gone},
        FailureRow{"exclusive_holder_that_proc_shows",
                   [](const Scene& t) {
                     t.tree.AddProcess(612, "ModemManager", t.slave);
                     g_host.openErrno = EBUSY;
                   },
                   ERROR_ACCESS_DENIED, Cause::Held, "", "", "", "", Holders{{"ModemManager", 612}}},
        FailureRow{"exclusive_holder_hidden_while_a_known_grabber_runs",
                   [](const Scene& t) {
                     t.tree.AddProcess(1, "systemd", "/dev/null");
                     t.tree.AddProcess(613, "ModemManager", t.slave, false);
                     g_host.openErrno = EBUSY;
                   },
                   ERROR_ACCESS_DENIED, Cause::Held, "", "", "", "", Holders{},
                   std::vector<std::string>{"ModemManager"}},
        FailureRow{"exclusive_holder_hidden_and_nothing_known_runs",
                   [](const Scene& t) {
                     t.tree.AddProcess(1, "systemd", "/dev/null");
                     g_host.openErrno = EBUSY;
                   },
                   ERROR_ACCESS_DENIED, Cause::Held},
        FailureRow{"locking_holder",
                   [](const Scene& t) {
                     t.tree.AddProcess(700, "picocom", t.slave);
                     g_host.flockErrno = EWOULDBLOCK;
                   },
                   ERROR_ACCESS_DENIED, Cause::Held, "", "", "", "", Holders{{"picocom", 700}}},
        FailureRow{"plain_holder_of_a_tty_with_hardware",
                   [](const Scene& t) {
                     t.tree.AddTty(t.rdev, "ttyUSB0", true, "ftdi_sio", 16);
                     t.tree.AddProcess(800, "cat", t.slave);
                     t.tree.AddProcess(801, "bash", "/dev/null");
                   },
                   ERROR_ACCESS_DENIED, Cause::Held, "", "", "", "", Holders{{"cat", 800}}}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(SerialOpenFailure, a_pty_is_not_refused_for_its_other_users) {
  // A pty's far end and terminals keep the slave open by design.
  tree_.AddProcess(900, "boardsim", pty_.SlavePath());
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
  EXPECT_TRUE(serial_.CloseHandle(h));
}

TEST_F(SerialOpenFailure, this_program_is_no_other_holder_and_a_later_open_clears_the_failure) {
  tree_.AddTty(rdev_, "ttyUSB0", false, "");
  tree_.AddProcess(g_host.pid, "lcdwrite", pty_.SlavePath());
  g_host.openErrno = EACCES;
  ASSERT_EQ(Open(), INVALID_HANDLE_VALUE);
  ASSERT_NE(serial_.LastOpenFailure().code, 0u);
  g_host.openErrno = 0;
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
  EXPECT_EQ(serial_.LastOpenFailure().code, 0u);
  EXPECT_EQ(serial_.LastOpenFailure().cause, Cause::Unknown);

  // Opened twice in this process: held by this very program.
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  const OpenFailure twice = serial_.LastOpenFailure();
  EXPECT_EQ(twice.cause, Cause::Held);
  EXPECT_EQ(HoldersOf(twice), (Holders{{"lcdwrite", g_host.pid}}));
  EXPECT_TRUE(serial_.CloseHandle(h));
}

TEST_F(SerialOpenFailure, a_refused_holder_check_leaves_the_tty_untouched) {
  tree_.AddTty(rdev_, "ttyUSB0", true, "ftdi_sio", 16);
  tree_.AddProcess(800, "cat", pty_.SlavePath());
  ASSERT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(g_host.ioctls.empty()) << "refused before the tty was opened";
  EXPECT_TRUE(serial_.LastDeviceNotes().empty());
  // The holder leaves: the port opens.
  std::filesystem::remove_all(tree_.Root() / "proc/800");
  HANDLE h = Open();
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
  EXPECT_TRUE(serial_.CloseHandle(h));
}

}  // namespace
}  // namespace plat::posix
