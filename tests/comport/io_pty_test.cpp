// The port on a real pty through the Linux backend, with the modem-line shim preloaded: bytes
// both ways, DTR out, DSR in, the event thread woken by EV_DSR and EV_RXCHAR, and a far side
// that vanishes. In a run without the shim the PortOnPty tests skip.
// Linux only (ptys and the preload shim); the Windows build meets real ports end to end under
// Wine instead (scripts/e2e-wine.sh).
#ifndef _WIN32

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "tests/comport/io_harness.h"
#include "tools/ptymodem/pty.h"
#include "tools/ptymodem/modemstate.h"
#include "tools/ptymodem/preload.h"

extern char** environ;

namespace comport::porttest {
namespace {

constexpr const char* kChildEnv = "LCDWRITE_COMPORT_PTY_CHILD";

// Runs this program again with the shim preloaded and only the PortOnPty tests selected.
TEST(PortOnPtyRun, component_tests_pass_on_a_pty_with_the_shim_preloaded) {
  if (getenv(kChildEnv)) GTEST_SKIP() << "this is the preloaded run";
  char state[] = "/tmp/lcdwrite-comport-modem-XXXXXX";
  char report[] = "/tmp/lcdwrite-comport-pty-XXXXXX";
  for (char* name : {state, report}) {
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (!ptymodem::SetByPreload(*e)) env.push_back(*e);
  }
  for (std::string& entry : ptymodem::PreloadEnvironment(LCDWRITE_MODEMSHIM_PATH, std::getenv("LD_LIBRARY_PATH")))
    env.push_back(entry);
  env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  env.push_back(std::string(ptymodem::kModemStateEnv) + "=" + state);
  env.push_back(std::string(kChildEnv) + "=1");
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=PortOnPty.*";
  std::string output = std::string("--gtest_output=json:") + report;
  char* argv[] = {self.data(), filter.data(), output.data(), nullptr};
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execve(self.c_str(), argv, envp.data());
    _exit(127);
  }
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  pollfd ended{pidFd, POLLIN, 0};
  const bool done = pidFd >= 0 && poll(&ended, 1, 60000) > 0;
  if (!done) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  std::stringstream json;
  json << std::ifstream(report).rdbuf();
  unlink(state);
  unlink(report);
  ASSERT_TRUE(done) << "the preloaded run did not end within a minute";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_NE(json.str().find("\"result\": \"COMPLETED\""), std::string::npos) << "no test ran";
  EXPECT_EQ(json.str().find("\"result\": \"SKIPPED\""), std::string::npos) << json.str();
}

class PortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* state = getenv(ptymodem::kModemStateEnv);
    if (!getenv(kChildEnv) || !state) GTEST_SKIP() << "runs with the shim preloaded only";
    ASSERT_TRUE(pty.ok());
    modem = ptymodem::ModemState::Create(state, pty.SlavePath());
    ASSERT_NE(modem, nullptr);
    port = std::make_unique<TComPort>(nullptr, plat::NativePlatform());
    port->SetDeviceName(pty.DeviceName());
    port->SetBaudRate(br9600);
    port->FlowControl().SetDTRControl(dcDisable);
  }
  void TearDown() override { port.reset(); }

  // Processes the main thread's messages until done() holds; at most five seconds.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      app.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    app.ProcessMessages();
    return done();
  }

  fw::TApplication app{plat::NativePlatform()};
  ptymodem::Pty pty;
  std::unique_ptr<ptymodem::ModemState> modem;
  std::unique_ptr<TComPort> port;
  Recorder seen;
};

TEST_F(PortOnPty, bytes_both_ways) {
  port->Open();
  port->WriteString("hello");
  port->WaitForWriteCompletion();
  EXPECT_EQ(pty.Receive(5), "hello");
  ASSERT_TRUE(pty.Send("AB\rC"));
  EXPECT_EQ(port->ReadLine(), "AB\r");
  EXPECT_EQ(port->ReadByte(), 'C');
  EXPECT_EQ(port->InputCount(), 0);
}

TEST_F(PortOnPty, dtr_goes_out_and_dsr_comes_in) {
  port->Open();
  EXPECT_FALSE(modem->Dtr());
  port->SetDTR();
  EXPECT_TRUE(modem->Dtr());
  port->ClearDTR();
  EXPECT_FALSE(modem->Dtr());
  EXPECT_FALSE(port->GetModemStatus().Contains(msDSR));
  modem->SetDsr(true);
  EXPECT_TRUE(port->GetModemStatus().Contains(msDSR));
}

TEST_F(PortOnPty, the_event_thread_wakes_for_dsr_and_received_characters) {
  port->SetOnDSRChange(fw::Method<&Recorder::OnDSR>(&seen));
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&seen));
  port->SetOnError(fw::Method<&Recorder::OnError>(&seen));
  port->Open();
  modem->SetDsr(true);
  // While the thread waits for the main thread, a second change: the next wait completes at
  // once, and the wait after it must still wait for the character.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  modem->SetDsr(false);
  ASSERT_TRUE(PumpUntil([&] { return seen.seen.size() == 2; }));
  ASSERT_TRUE(pty.Send("x"));
  ASSERT_TRUE(PumpUntil([&] { return seen.seen.size() == 3; }));
  EXPECT_EQ(seen.seen, (Lines{"DSR", "DSR", "RxChar"}));
  port->Close();
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(PortOnPty, a_vanished_far_side_closes_the_port_through_the_event_thread) {
  port->SetOnRxChar(fw::Method<&Recorder::OnRxChar>(&seen));
  port->SetOnError(fw::Method<&Recorder::OnError>(&seen));
  port->SetAfterClose(fw::Method<&Recorder::AfterClose>(&seen));
  port->Open();
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(seen.seen, (Lines{"OnError thread 5", "AfterClose"}));
  EXPECT_FALSE(port->HasEventThread());
}

}  // namespace
}  // namespace comport::porttest

#endif  // _WIN32
