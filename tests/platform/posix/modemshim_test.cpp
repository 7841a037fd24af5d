// The modem-line shim: its ioctls called directly (the library loaded with dlopen), and the
// serial backend running with the shim preloaded. For the latter the test program runs itself
// again with LD_PRELOAD set and only the PreloadedBackend tests selected; those tests skip in
// a run without the shim.
#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/posix/serial.h"
#include "tests/platform/posix/preload.h"
#include "tools/ptymodem/pty.h"
#include "tools/ptymodem/modemstate.h"
#include "tools/ptymodem/preload.h"

namespace lcdtest {
namespace {

using namespace ptymodem;

// Runs body on a thread and waits for it, poking it with nudge every millisecond meanwhile
// (at most five seconds). True when body finished.
bool RunWhileNudging(const std::function<void()>& body, const std::function<void(std::thread&)>& nudge) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread worker([&] {
    body();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  for (int i = 0; i < 5000 && !done; ++i) {
    lock.unlock();
    nudge(worker);
    lock.lock();
    finished.wait_for(lock, std::chrono::milliseconds(1), [&] { return done; });
  }
  const bool ok = done;
  lock.unlock();
  if (!ok) std::abort();  // a worker stuck in the shim cannot be joined
  worker.join();
  return ok;
}

// ------------------------------------------------------------------ the shim called directly

using IoctlFunction = int (*)(int, unsigned long, ...);

class ShimDirect : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The shim maps its state files once per process: the same files for every test of this
    // suite, the second for a second pty served beside the first (one a line in the variable).
    // They are removed when the process ends, never earlier.
    static char path[] = "/tmp/lcdwrite-modemshim-XXXXXX";
    static char second[] = "/tmp/lcdwrite-modemshim-XXXXXX";
    static const bool created = [] {
      const int fd = mkstemp(path);
      const int fd2 = mkstemp(second);
      if (fd >= 0) close(fd);
      if (fd2 >= 0) close(fd2);
      std::atexit([] {
        unlink(path);
        unlink(second);
      });
      return fd >= 0 && fd2 >= 0;
    }();
    (void)created;
    setenv(kModemStateEnv, (std::string(path) + "\n" + second).c_str(), 1);
    statePath_ = path;
    secondStatePath_ = second;
    void* library = dlopen(LCDWRITE_MODEMSHIM_PATH, RTLD_NOW | RTLD_LOCAL);
    shim_ = library ? reinterpret_cast<IoctlFunction>(dlsym(library, "ioctl")) : nullptr;
  }

  void SetUp() override {
    ASSERT_NE(shim_, nullptr) << dlerror();
    ASSERT_TRUE(pty_.ok());
    modem_ = ModemState::Create(statePath_, pty_.SlavePath());
    ASSERT_NE(modem_, nullptr);
    slave_ = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave_, 0);
  }
  void TearDown() override {
    if (slave_ >= 0) close(slave_);
  }
  int Lines() {
    int lines = -1;
    EXPECT_EQ(shim_(slave_, TIOCMGET, &lines), 0);
    return lines;
  }
  int Set(unsigned long request, int lines) { return shim_(slave_, request, &lines); }

  static inline std::string statePath_;
  static inline std::string secondStatePath_;
  static inline IoctlFunction shim_ = nullptr;
  ptymodem::Pty pty_;
  std::unique_ptr<ModemState> modem_;
  int slave_ = -1;
};

// Line traffic and counters through the backend are covered by PreloadedBackend below.
TEST_F(ShimDirect, serves_its_slave_only_and_only_the_modem_requests) {
  ASSERT_EQ(Set(TIOCMSET, TIOCM_DTR | TIOCM_DSR), 0);
  modem_->SetCts(true);
  EXPECT_EQ(Lines(), TIOCM_DTR | TIOCM_CTS) << "the host drives DTR and RTS only";
  EXPECT_TRUE(modem_->Dtr());

  ptymodem::Pty other;
  const int otherSlave = open(other.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(otherSlave, 0);
  int lines = 0;
  errno = 0;
  EXPECT_EQ(shim_(otherSlave, TIOCMGET, &lines), -1);
  EXPECT_EQ(errno, ENOTTY);
  close(otherSlave);
  int queued = -1;
  EXPECT_EQ(shim_(slave_, FIONREAD, &queued), 0);
  EXPECT_EQ(queued, 0);
}

// Two ptys in one process (a virtual machine with a converter per board), each served from the
// state file that names it: what one side's host or far end does stays on that side.
TEST_F(ShimDirect, serves_each_slave_from_its_own_state_file) {
  ptymodem::Pty other;
  ASSERT_TRUE(other.ok());
  auto otherModem = ModemState::Create(secondStatePath_, other.SlavePath());
  ASSERT_NE(otherModem, nullptr);
  const int otherSlave = open(other.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(otherSlave, 0);
  auto otherLines = [&] {
    int lines = -1;
    EXPECT_EQ(shim_(otherSlave, TIOCMGET, &lines), 0);
    return lines;
  };
  int rts = TIOCM_RTS, dtr = TIOCM_DTR;
  const struct {
    const char* step;
    std::function<void()> act;
    int first, second;  // TIOCMGET on each slave afterwards
  } rows[] = {
      {"first host raises DTR", [&] { Set(TIOCMBIS, TIOCM_DTR); }, TIOCM_DTR, 0},
      {"second host raises RTS", [&] { shim_(otherSlave, TIOCMBIS, &rts); }, TIOCM_DTR, TIOCM_RTS},
      {"second far end raises DSR", [&] { otherModem->SetDsr(true); }, TIOCM_DTR, TIOCM_RTS | TIOCM_DSR},
      {"first far end raises CTS", [&] { modem_->SetCts(true); }, TIOCM_DTR | TIOCM_CTS,
       TIOCM_RTS | TIOCM_DSR},
      {"second host sets DTR alone", [&] { shim_(otherSlave, TIOCMSET, &dtr); }, TIOCM_DTR | TIOCM_CTS,
       TIOCM_DTR | TIOCM_DSR},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.step);
    row.act();
    EXPECT_EQ(Lines(), row.first);
    EXPECT_EQ(otherLines(), row.second);
  }
  EXPECT_FALSE(otherModem->Rts()) << "the far end sees its own host's lines";
  EXPECT_TRUE(otherModem->Dtr());
  close(otherSlave);
  // The pty's number may come back for another test's pty: this file serves nothing any more.
  std::atomic_ref<std::uint32_t>(otherModem->Record().magic).store(0, std::memory_order_release);
}

TEST_F(ShimDirect, miwait_returns_on_a_change_of_an_asked_line) {
  int result = -1;
  bool dsr = false;
  EXPECT_TRUE(RunWhileNudging(
      [&] { result = shim_(slave_, TIOCMIWAIT, static_cast<unsigned long>(TIOCM_DSR)); },
      [&](std::thread&) { modem_->SetDsr(dsr = !dsr); }));
  EXPECT_EQ(result, 0);
}

void NoRestartHandler(int) {}

TEST_F(ShimDirect, a_signal_without_restart_ends_a_stuck_miwait) {
  const int signal = SIGRTMIN + 9;
  struct sigaction action {}, previous{};
  action.sa_handler = NoRestartHandler;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(signal, &action, &previous), 0);
  int result = 0, err = 0;
  EXPECT_TRUE(RunWhileNudging(
      [&] {
        result = shim_(slave_, TIOCMIWAIT, static_cast<unsigned long>(TIOCM_RNG));
        err = errno;
      },
      [&](std::thread& worker) { pthread_kill(worker.native_handle(), signal); }));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(err, EINTR);
  sigaction(signal, &previous, nullptr);
}

TEST_F(ShimDirect, far_end_waits_for_host_lines_with_a_time_out) {
  std::uint32_t seen = modem_->Lines();
  EXPECT_FALSE(modem_->WaitHostLines(seen, 10));
  std::thread host([&] { Set(TIOCMBIS, TIOCM_DTR); });
  EXPECT_TRUE(modem_->WaitHostLines(seen, 5000));
  host.join();
  EXPECT_EQ(seen, static_cast<std::uint32_t>(TIOCM_DTR));
}

// ----------------------------------------------------- the backend with the shim preloaded

TEST(ModemShimPreload, backend_tests_pass_with_the_shim_preloaded) {
  if (InPreloadedChild()) GTEST_SKIP() << "this is the preloaded run";
  ASSERT_EQ(access(LCDWRITE_MODEMSHIM_PATH, R_OK), 0) << LCDWRITE_MODEMSHIM_PATH;
  const PreloadedRun run = RunPreloaded("PreloadedBackend.*");
  ASSERT_TRUE(run.ended) << "the preloaded run did not end within a minute";
  EXPECT_TRUE(run.Passed()) << "status " << run.status;
  EXPECT_TRUE(run.RanAll()) << run.report;
}

// ld.so splits LD_PRELOAD at spaces and colons: the shim of a checkout in any folder (a space,
// an umlaut, the caller's own LD_LIBRARY_PATH) must still reach the child it is preloaded into.
TEST(ModemShimPreload, reaches_the_child_from_any_folder) {
  if (InPreloadedChild()) GTEST_SKIP() << "this is the preloaded run";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the child is a program without the sanitizer's runtime, which the shim needs here";
#endif
  char base[] = "/tmp/lcdwrite-preload-folder-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const struct {
    const char* folder;
    const char* libraryPath;
  } rows[] = {
      {"plain", nullptr},
      {"Pr\xC3\xBC" "fstand 2", nullptr},
      {"two  spaces/and more", "/usr/lib:/nonexistent"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.folder);
    const std::string folder = std::string(base) + "/" + row.folder;
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    const std::string shim = folder + "/liblcd_modemshim.so";
    {
      std::ifstream from(LCDWRITE_MODEMSHIM_PATH, std::ios::binary);
      std::ofstream to(shim, std::ios::binary);
      to << from.rdbuf();
    }
    std::vector<std::string> env = PreloadEnvironment(shim, row.libraryPath);
    for (const std::string& entry : env) {
      if (entry.rfind("LD_PRELOAD=", 0) == 0) {
        EXPECT_EQ(entry.find_first_of(" :", 11), std::string::npos) << entry;
      }
    }
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      char cat[] = "/bin/cat", maps[] = "/proc/self/maps";
      char* argv[] = {cat, maps, nullptr};
      execve(argv[0], argv, envp.data());
      _exit(127);
    }
    close(out[1]);
    std::string maps;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) maps.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_NE(maps.find(shim), std::string::npos) << "the child's libraries:\n" << maps;
  }
  EXPECT_EQ(system(("rm -rf '" + std::string(base) + "'").c_str()), 0);
}

class PreloadedBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* state = getenv(kModemStateEnv);
    if (!InPreloadedChild() || !state) GTEST_SKIP() << "runs with the shim preloaded only";
    ASSERT_TRUE(pty_.ok());
    modem_ = ModemState::Create(state, pty_.SlavePath());
    ASSERT_NE(modem_, nullptr);
    port_ = serial_.CreateFileA(pty_.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    wait_.hEvent = kernel_.CreateEventA(TRUE, FALSE);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) serial_.CloseHandle(port_);
    if (wait_.hEvent) kernel_.CloseEvent(wait_.hEvent);
  }
  // Starts a wait for mask and returns the event bits it ends with.
  DWORD WaitFor(DWORD mask, const std::function<void()>& cause) {
    EXPECT_TRUE(serial_.SetCommMask(port_, mask));
    kernel_.ResetEvent(wait_.hEvent);
    events_ = 0xDEAD;
    if (serial_.WaitCommEvent(port_, &events_, &wait_)) return events_;
    EXPECT_EQ(kernel_.GetLastError(), ERROR_IO_PENDING);
    cause();
    EXPECT_EQ(kernel_.WaitForSingleObject(wait_.hEvent, 5000), WAIT_OBJECT_0);
    return events_;
  }

  plat::posix::Kernel kernel_;
  ptymodem::Pty pty_;
  std::unique_ptr<ModemState> modem_;
  plat::posix::Serial serial_{kernel_};
  HANDLE port_ = INVALID_HANDLE_VALUE;
  OVERLAPPED wait_{};
  DWORD events_ = 0;
};

TEST_F(PreloadedBackend, dtr_and_rts_reach_the_far_end) {
  struct Step {
    DWORD function;
    bool dtr, rts;
  } steps[] = {{SETDTR, true, false}, {SETRTS, true, true}, {CLRDTR, false, true}, {CLRRTS, false, false}};
  ASSERT_TRUE(serial_.EscapeCommFunction(port_, CLRRTS));
  for (const Step& step : steps) {
    ASSERT_TRUE(serial_.EscapeCommFunction(port_, step.function)) << step.function;
    EXPECT_EQ(modem_->Dtr(), step.dtr) << step.function;
    EXPECT_EQ(modem_->Rts(), step.rts) << step.function;
  }
  DCB dcb{};
  ASSERT_TRUE(serial_.GetCommState(port_, &dcb));
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  ASSERT_TRUE(serial_.SetCommState(port_, &dcb));
  EXPECT_TRUE(modem_->Dtr());
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  ASSERT_TRUE(serial_.SetCommState(port_, &dcb));
  EXPECT_FALSE(modem_->Dtr());
}

TEST_F(PreloadedBackend, far_end_lines_in_the_modem_status) {
  modem_->SetDsr(true);
  modem_->SetDcd(true);
  DWORD status = 0;
  ASSERT_TRUE(serial_.GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, MS_DSR_ON | MS_RLSD_ON);
  modem_->SetDsr(false);
  modem_->SetCts(true);
  modem_->SetRing(true);
  ASSERT_TRUE(serial_.GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_RING_ON | MS_RLSD_ON);
}

TEST_F(PreloadedBackend, modem_events_from_the_far_end) {
  EXPECT_EQ(WaitFor(EV_DSR | EV_CTS, [&] { modem_->SetDsr(true); }), EV_DSR);
  EXPECT_EQ(WaitFor(EV_DSR | EV_CTS | EV_RLSD, [&] { modem_->SetDcd(true); }), EV_RLSD);
  // A change while no wait is pending is reported by the next wait, at once.
  modem_->SetCts(true);
  events_ = 0;
  ASSERT_TRUE(serial_.WaitCommEvent(port_, &events_, &wait_));
  EXPECT_EQ(events_, EV_CTS);
}

TEST_F(PreloadedBackend, line_errors_come_with_the_data) {
  EXPECT_EQ(WaitFor(EV_ERR | EV_BREAK, [&] {
              modem_->CountLineError(kCountFrame);
              pty_.Send(std::string(1, '\0'));
            }),
            EV_ERR);
  DWORD errors = 0;
  ASSERT_TRUE(serial_.ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME);
  ASSERT_TRUE(serial_.ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(WaitFor(EV_ERR | EV_BREAK, [&] {
              modem_->CountLineError(kCountBreak);
              pty_.Send(std::string(1, '\0'));
            }),
            EV_BREAK);
  ASSERT_TRUE(serial_.ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_BREAK);
}

TEST_F(PreloadedBackend, close_ends_a_wait_blocked_on_the_modem_lines) {
  ASSERT_TRUE(serial_.SetCommMask(port_, EV_RING));
  events_ = 0xDEAD;
  ASSERT_FALSE(serial_.WaitCommEvent(port_, &events_, &wait_));
  ASSERT_TRUE(serial_.CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
  EXPECT_EQ(kernel_.WaitForSingleObject(wait_.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(events_, 0u);
}

}  // namespace
}  // namespace lcdtest
