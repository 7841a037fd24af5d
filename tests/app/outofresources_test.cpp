// Whole runs on the simulated machine whose platform refuses what a loaded system refuses: a
// thread at each place the run asks for one, and, from the middle of the write on, the waits
// of the port's event thread (out of memory, or another port error). Every run must end: with
// status 70 and one line naming the cause when the system gave no thread or memory, with the
// port error's status otherwise, never as written; the port closed, the cause in the log, no
// thread left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/mainform.h"
#include "platform/sim/machine.h"
#include "app/exitstatus.h"
#include "simfront/simulation.h"
#include "tests/app/wholerun.h"
#include "tests/support/forwarding_api.h"
#include "tests/support/process_threads.h"

namespace {

using apptest::Outcome;

// The machine's platform with a kernel that refuses the Nth thread and a serial API whose
// event waits fail from a chosen instant on.
class RefusingPlatform : public plat::Platform {
 public:
  explicit RefusingPlatform(plat::Platform& inner)
      : inner_(inner), kernel_(inner.kernel(), *this), serial_(inner.serial(), *this) {}

  plat::KernelApi& kernel() override { return kernel_; }
  plat::SerialApi& serial() override { return serial_; }
  plat::SystemApi& system() override { return inner_.system(); }

  int refuseThread = 0;  // the number of the thread creation that fails; 0: none
  int threadsAsked = 0;
  std::int64_t waitsFailFromUs = -1;  // the machine time from which event waits fail
  DWORD waitError = 0;

 private:
  class Kernel : public plat::ForwardingKernel {
   public:
    Kernel(plat::KernelApi& inner, RefusingPlatform& owner)
        : plat::ForwardingKernel(inner), owner_(owner) {}
    BOOL CreateThread(std::function<void()> body, std::thread* thread) override {
      if (++owner_.threadsAsked == owner_.refuseThread) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
      }
      return Inner().CreateThread(std::move(body), thread);
    }

   private:
    RefusingPlatform& owner_;
  };
  class Serial : public testsupport::ForwardingSerial {
   public:
    Serial(plat::SerialApi& inner, RefusingPlatform& owner)
        : testsupport::ForwardingSerial(inner), owner_(owner) {}
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override {
      if (owner_.waitsFailFromUs >= 0 &&
          owner_.kernel().NowMicroseconds() >= owner_.waitsFailFromUs) {
        owner_.kernel().SetLastError(owner_.waitError);
        return FALSE;
      }
      return testsupport::ForwardingSerial::WaitCommEvent(device, mask, overlapped);
    }

   private:
    RefusingPlatform& owner_;
  };

  plat::Platform& inner_;
  Kernel kernel_;
  Serial serial_;
};

const std::string kNoResources =
    "Fehler: Abgebrochen: Das System gibt keinen Thread, Zeitgeber oder Speicher mehr her";
const std::string kSuccess = "Information: Schreiben erfolgreich beendet!";

class Refused : public apptest::WholeRun {
 protected:
  // One run with the platform set up by refuse; also checks what every such run must show.
  Outcome RunRefused(const std::function<void(RefusingPlatform&)>& refuse) {
    std::unique_ptr<RefusingPlatform> platform;
    app::RunHooks hooks;
    hooks.platform = [&](plat::Platform& machine) -> plat::Platform& {
      platform = std::make_unique<RefusingPlatform>(machine);
      refuse(*platform);
      return *platform;
    };
    std::size_t handles = 0;
    int threads = 0;
    hooks.onEnd = [&](app::SimulatedTarget* target) {
      sim::Machine* machine = simfront::MachineOf(target);
      machine->RunFor(1000 * sim::kNsPerMs);
      threads = machine->OtherThreads();
      handles = machine->OpenHandles();
    };
    app::Options options;
    options.logFile = (dir_ / "port.log").string();
    const int processThreads = testsupport::ProcessThreads();
    Outcome o = Run("", apptest::SampleConfig(), false, options, hooks);
    EXPECT_EQ(testsupport::ProcessThreadsAtMost(processThreads), processThreads);
    EXPECT_EQ(threads, 0) << "machine threads left";
    EXPECT_EQ(handles, 0u) << "handles left open";
    threadsAsked_ = platform != nullptr ? platform->threadsAsked : 0;
    const auto texts = o.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kSuccess) != 0, o.status == 0);
    return o;
  }
  static int Count(const std::vector<std::string>& texts, const std::string& start) {
    return static_cast<int>(std::count_if(texts.begin(), texts.end(), [&](const std::string& t) {
      return t.rfind(start, 0) == 0;
    }));
  }
  // The port log without the run's first and last line.
  std::string Log() { return apptest::ReadLog(dir_ / "port.log"); }

  int threadsAsked_ = 0;
};

TEST_F(Refused, a_thread_at_each_place_ends_the_run_with_status_70) {
  const Outcome healthy = RunRefused([](RefusingPlatform&) {});
  ASSERT_EQ(healthy.status, app::kExitWritten);
  const int places = threadsAsked_;
  ASSERT_GT(places, 0);
  std::printf("a healthy run asks for %d thread(s)\n", places);
  for (int place = 1; place <= places; ++place) {
    SCOPED_TRACE("thread " + std::to_string(place) + " of " + std::to_string(places));
    const Outcome o = RunRefused([place](RefusingPlatform& p) { p.refuseThread = place; });
    EXPECT_EQ(o.status, app::kExitInternalError);
    const auto texts = o.Texts();
    EXPECT_EQ(Count(texts, kNoResources), 1) << ::testing::PrintToString(texts);
    EXPECT_EQ(Count(texts, "Fehler: ComPortError"), 0) << ::testing::PrintToString(texts);
    EXPECT_NE(Log().find("Error: Can't create thread"), std::string::npos) << Log();
    EXPECT_FALSE(apptest::WrittenToTheEnd(o.report)) << o.report;
  }
}

struct WaitRow {
  const char* name;
  DWORD error;
  int status;
  std::string dialog;  // the one error dialog of the run
};

void PrintTo(const WaitRow& row, std::ostream* os) { *os << row.name; }

class RefusedWait : public Refused, public ::testing::WithParamInterface<WaitRow> {};

// The event thread's wait fails in the second operation: the main thread learns of it only
// from the handler the event thread has it run, and must not go on to report the board
// written.
TEST_P(RefusedWait, in_the_write_stops_it) {
  const WaitRow& row = GetParam();
  const Outcome o = RunRefused([&row](RefusingPlatform& p) {
    p.waitsFailFromUs = 12000LL * 1000;
    p.waitError = row.error;
  });
  EXPECT_EQ(o.status, row.status);
  const auto texts = o.Texts();
  EXPECT_EQ(Count(texts, "Fehler: "), 1) << ::testing::PrintToString(texts);
  EXPECT_EQ(Count(texts, row.dialog), 1) << ::testing::PrintToString(texts);
  EXPECT_FALSE(apptest::WrittenToTheEnd(o.report)) << o.report;
  EXPECT_FALSE(apptest::Untouched(o.report)) << o.report;
  EXPECT_NE(apptest::LastLine(Log()).find("Close"), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedWait,
    ::testing::Values(
        WaitRow{"out_of_memory", ERROR_NOT_ENOUGH_MEMORY, app::kExitInternalError,
                kNoResources + " (Not enough memory"},
        WaitRow{"device_error", ERROR_GEN_FAILURE, app::kExitPortError,
                "Fehler: ComPortError:  COM3 !"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
