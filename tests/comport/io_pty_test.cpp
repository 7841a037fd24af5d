// The port on a real pty through the Linux backend, with the modem-line shim: bytes both ways,
// DTR out, DSR in, and the event thread woken by EV_DSR and EV_RXCHAR. The test program runs
// itself again with the shim preloaded and only the PortOnPty tests selected; in a run without
// the shim those tests skip.
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
#include "tests/platform/posix/pty.h"
#include "tests/support/modemstate.h"

extern char** environ;

namespace comport::porttest {
namespace {

constexpr const char* kChildEnv = "LCDWRITE_COMPORT_PTY_CHILD";

struct Seen : fw::TObject {
  std::vector<std::string> events;
  void OnDSR(fw::TObject*) { events.push_back("DSR"); }
  void OnRxChar(fw::TObject*) { events.push_back("RxChar"); }
  void OnError(TCustomComPort*, EComError& e, TComAction&) {
    events.push_back("OnError " + std::to_string(e.ErrorCode()));
  }
  void AfterClose(TCustomComPort*) { events.push_back("AfterClose"); }
};

TEST(PortOnPtyRun, component_tests_pass_on_a_pty_with_the_shim_preloaded) {
  if (getenv(kChildEnv)) GTEST_SKIP() << "this is the preloaded run";
  const std::string shim = LCDWRITE_MODEMSHIM_PATH;
  ASSERT_EQ(access(shim.c_str(), R_OK), 0) << shim;
  char state[] = "/tmp/lcdwrite-comport-modem-XXXXXX";
  char report[] = "/tmp/lcdwrite-comport-pty-XXXXXX";
  const int stateFd = mkstemp(state), reportFd = mkstemp(report);
  ASSERT_GE(stateFd, 0);
  ASSERT_GE(reportFd, 0);
  close(stateFd);
  close(reportFd);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("LD_PRELOAD=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
      env.push_back(entry);
    }
  }
  const char* asan = getenv("ASAN_OPTIONS");
  env.push_back("LD_PRELOAD=" + shim);
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                "verify_asan_link_order=0");
  env.push_back(std::string(lcdtest::kModemStateEnv) + "=" + state);
  env.push_back(std::string(kChildEnv) + "=1");
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=PortOnPty.*";
  std::string output = std::string("--gtest_output=json:") + report;
  std::string self = "/proc/self/exe";
  char* argv[] = {self.data(), filter.data(), output.data(), nullptr};

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execve("/proc/self/exe", argv, envp.data());
    _exit(127);
  }
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  pollfd ended{pidFd, POLLIN, 0};
  const int ready = pidFd >= 0 ? poll(&ended, 1, 60000) : 1;
  if (ready <= 0) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (pidFd >= 0) close(pidFd);
  std::stringstream json;
  json << std::ifstream(report).rdbuf();
  unlink(state);
  unlink(report);
  ASSERT_GT(ready, 0) << "the preloaded run did not end within a minute";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_NE(json.str().find("\"result\": \"COMPLETED\""), std::string::npos) << "no test ran";
  EXPECT_EQ(json.str().find("\"result\": \"SKIPPED\""), std::string::npos) << json.str();
}

class PortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* state = getenv(lcdtest::kModemStateEnv);
    if (!getenv(kChildEnv) || !state) GTEST_SKIP() << "runs with the shim preloaded only";
    ASSERT_TRUE(pty.ok());
    modem = lcdtest::ModemState::Create(state, pty.SlavePath());
    ASSERT_NE(modem, nullptr);
    port = std::make_unique<TComPort>(nullptr, plat::NativePlatform());
    port->SetDeviceName(pty.DeviceName());
    port->SetBaudRate(br9600);
    port->SetDataBits(db8);
    port->SetParity(paNone);
    port->SetStopBits(sb1);
    port->FlowControl().SetDTRControl(dcDisable);
    port->FlowControl().SetRTSControl(rcDisable);
    port->FlowControl().SetXOnXOffControl(xcDisable);
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
  lcdtest::Pty pty;
  std::unique_ptr<lcdtest::ModemState> modem;
  std::unique_ptr<TComPort> port;
  Seen seen;
};

TEST_F(PortOnPty, bytes_both_ways) {
  port->Open();
  port->WriteString("hello");
  port->WaitForWriteCompletion();
  EXPECT_EQ(pty.Receive(5), "hello");
  ASSERT_TRUE(pty.Send("AB\rC"));
  EXPECT_EQ(port->ReadLine(), "AB\r");
  EXPECT_EQ(port->ReadByte(), 'C');
  port->Timeouts().SetReadConstant(20);
  try {
    port->ReadByte();
    ADD_FAILURE() << "read a byte that was never sent";
  } catch (const EComError& e) {
    EXPECT_EQ(e.Message(), texts::kTimeout);
  }
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
  port->SetOnDSRChange(fw::Method<&Seen::OnDSR>(&seen));
  port->SetOnRxChar(fw::Method<&Seen::OnRxChar>(&seen));
  port->Open();
  ASSERT_TRUE(port->HasEventThread());
  modem->SetDsr(true);
  ASSERT_TRUE(PumpUntil([&] { return seen.events.size() == 1; }));
  ASSERT_TRUE(pty.Send("x"));
  ASSERT_TRUE(PumpUntil([&] { return seen.events.size() == 2; }));
  EXPECT_EQ(seen.events, (std::vector<std::string>{"DSR", "RxChar"}));
  EXPECT_EQ(port->ReadByte(), 'x');
  port->Close();
  EXPECT_FALSE(port->HasEventThread());
}

TEST_F(PortOnPty, a_vanished_far_side_closes_the_port_through_the_event_thread) {
  port->SetOnRxChar(fw::Method<&Seen::OnRxChar>(&seen));
  port->SetOnError(fw::Method<&Seen::OnError>(&seen));
  port->SetAfterClose(fw::Method<&Seen::AfterClose>(&seen));
  port->Open();
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !port->Active(); }));
  EXPECT_EQ(seen.events, (std::vector<std::string>{"OnError 5", "AfterClose"}));
  EXPECT_FALSE(port->HasEventThread());
}

}  // namespace
}  // namespace comport::porttest
