// Names that are no serial port, refused by the open before anything of the device changes:
// terminals someone works in (told apart by /proc, here a fake one, and by device number) and
// nodes that are no tty at all. A pty nobody has as a terminal stays a port.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "platform/posix/serial.h"
#include "tests/platform/posix/fake_host_port.h"

namespace plat::posix {
namespace {

using testing::g_host;
using Terminal = OpenFailure::Terminal;

// A process in the fake /proc whose controlling terminal is rdev (0: none).
void Process(const std::filesystem::path& proc, int pid, const std::string& program, dev_t rdev) {
  const unsigned long maj = major(rdev), min = minor(rdev);
  const unsigned long tty = (min & 0xff) | (maj << 8) | ((min & ~0xffUL) << 12);
  const std::filesystem::path dir = proc / std::to_string(pid);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "comm") << program << "\n";
  // The name in brackets may hold spaces and brackets itself.
  std::ofstream(dir / "stat") << pid << " (" << program << ") S 1 " << pid << " " << pid << " "
                              << tty << " -1 4194560 0 0 0 0\n";
}

struct TerminalRow {
  const char* name;
  // Fills the fake /proc; the pty's device number is given.
  std::function<void(const std::filesystem::path& proc, dev_t pty)> arrange;
  bool opens;
  Terminal terminal = Terminal::None;
  OpenFailure::Holder session = {};
};

void PrintTo(const TerminalRow& row, std::ostream* os) { *os << row.name; }

class SerialTerminal : public testing::FakeHostPort,
                       public ::testing::WithParamInterface<TerminalRow> {};

TEST_P(SerialTerminal, is_refused_before_its_settings_change) {
  const TerminalRow& row = GetParam();
  const std::filesystem::path proc = tree_.Paths().proc;
  Process(proc, 1, "init", 0);
  row.arrange(proc, rdev_);
  termios2 before{};
  ASSERT_EQ(ioctl(pty_.master(), TCGETS2, &before), 0);
  const HANDLE h = Open();
  if (row.opens) {
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << kernel_.GetLastError();
    if (h != INVALID_HANDLE_VALUE) serial_.CloseHandle(h);
    return;
  }
  ASSERT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(kernel_.GetLastError(), ERROR_FILE_NOT_FOUND);
  const OpenFailure failure = serial_.LastOpenFailure();
  EXPECT_EQ(failure.cause, OpenFailure::Cause::NotSerialPort);
  EXPECT_EQ(failure.terminal, row.terminal);
  EXPECT_EQ(failure.session.program, row.session.program);
  EXPECT_EQ(failure.session.pid, row.session.pid);
  EXPECT_EQ(failure.path, pty_.SlavePath());
  termios2 after{};
  ASSERT_EQ(ioctl(pty_.master(), TCGETS2, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_ospeed, before.c_ospeed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialTerminal,
    ::testing::Values(
        TerminalRow{"nobodys_terminal_is_a_port",
                    [](const std::filesystem::path& proc, dev_t) {
                      Process(proc, 200, "boardsim", 0);
                    },
                    true},
        TerminalRow{"this_programs_own_terminal",
                    [](const std::filesystem::path& proc, dev_t pty) {
                      Process(proc, g_host.pid, "lcdwrite", pty);
                    },
                    false, Terminal::Own},
        TerminalRow{"another_shells_terminal",
                    [](const std::filesystem::path& proc, dev_t pty) {
                      Process(proc, 4711, "ba) sh", pty);
                    },
                    false, Terminal::OtherSession, {"ba) sh", 4711}}),
    [](const auto& info) { return std::string(info.param.name); });

// Nodes of this machine that are no serial port at all; the real system calls.
TEST(SerialNotTty, device_nodes_that_are_no_port_are_refused_as_such) {
  Kernel kernel;
  Serial serial(kernel);
  const struct {
    const char* name;
    Terminal terminal;
  } rows[] = {{"null", Terminal::None}, {"pts", Terminal::None}, {"tty", Terminal::Own}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(serial.CreateFileA(row.name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    const OpenFailure failure = serial.LastOpenFailure();
    EXPECT_EQ(failure.cause, OpenFailure::Cause::NotSerialPort);
    EXPECT_EQ(failure.terminal, row.terminal);
  }
}

}  // namespace
}  // namespace plat::posix
