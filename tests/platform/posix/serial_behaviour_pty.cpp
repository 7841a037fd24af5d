// The serial behaviour table on the Linux backend: a real pty whose master side the test plays,
// with the modem-line shim giving the slave its modem lines. Each row runs in a child process
// that has the shim preloaded (preload.h); the row in this process reports the child's outcome.
#include <unistd.h>

#include "platform/posix/kernel.h"
#include "platform/posix/serial.h"
#include "tests/platform/posix/preload.h"
#include "tools/ptymodem/pty.h"
#include "tests/platform/serial_bench.h"
#include "tools/ptymodem/modemstate.h"

namespace serialtable {
namespace {

class PtyBench : public SerialBench {
 public:
  PtyBench() {
    const char* state = std::getenv(ptymodem::kModemStateEnv);
    EXPECT_TRUE(pty_.ok());
    EXPECT_NE(state, nullptr);
    // Before the port is opened: the backend learns at open which line ioctls the tty has.
    if (pty_.ok() && state) modem_ = ptymodem::ModemState::Create(state, pty_.SlavePath());
    EXPECT_NE(modem_, nullptr);
  }
  ~PtyBench() override { actions_.reset(); }

  Backend Kind() const override { return Backend::Pty; }
  plat::SerialApi& Serial() override { return serial_; }
  plat::KernelApi& Kernel() override { return kernel_; }
  std::string PortName() override { return pty_.DeviceName(); }

  void Send(const std::string& bytes) override { EXPECT_TRUE(pty_.Send(bytes)); }
  std::string Receive(std::size_t count) override { return pty_.Receive(count); }
  void SetLine(FarLine line, bool on) override {
    if (!modem_) return;
    switch (line) {
      case FarLine::Cts: modem_->SetCts(on); break;
      case FarLine::Dsr: modem_->SetDsr(on); break;
      case FarLine::Ring: modem_->SetRing(on); break;
      case FarLine::Dcd: modem_->SetDcd(on); break;
    }
  }
  bool Dtr() override { return modem_ && modem_->Dtr(); }
  bool Rts() override { return modem_ && modem_->Rts(); }
  // As a tty driver does: the error is counted, then the byte it came with (a break reads as a
  // NUL) enters the input, which is what wakes the backend to look at the counters.
  void Fault(LineFault fault) override {
    if (!modem_) return;
    switch (fault) {
      case LineFault::Frame: modem_->CountLineError(ptymodem::kCountFrame); break;
      case LineFault::Overrun: modem_->CountLineError(ptymodem::kCountOverrun); break;
      case LineFault::Parity: modem_->CountLineError(ptymodem::kCountParity); break;
      case LineFault::Break: modem_->CountLineError(ptymodem::kCountBreak); break;
    }
    Send(std::string(1, '\0'));
  }
  void Vanish() override { pty_.CloseMaster(); }
  void After(DWORD ms, std::function<void()> action) override {
    actions_->After(ms, std::move(action));
  }

  double FrameNs() const override { return 0; }
  // More than the pty's buffers hold while the far end reads nothing.
  std::size_t BlockingWriteSize() const override { return std::size_t{1} << 20; }

 private:
  ptymodem::Pty pty_;
  std::unique_ptr<ptymodem::ModemState> modem_;
  plat::posix::Kernel kernel_;
  plat::posix::Serial serial_{kernel_};
  // Ended first: no far-end action runs once the bench is going.
  std::unique_ptr<DelayedActions> actions_ = std::make_unique<DelayedActions>();
};

}  // namespace

std::unique_ptr<SerialBench> MakeSerialBench() { return std::make_unique<PtyBench>(); }

bool RanInChildProcess() {
  if (lcdtest::InPreloadedChild()) return false;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  EXPECT_EQ(access(LCDWRITE_MODEMSHIM_PATH, R_OK), 0) << LCDWRITE_MODEMSHIM_PATH;
  const lcdtest::PreloadedRun run = lcdtest::RunPreloaded(name);
  EXPECT_TRUE(run.ended) << "the row did not end within a minute";
  EXPECT_TRUE(run.Passed()) << "the row failed with the shim preloaded (its output is above)";
  EXPECT_TRUE(run.RanAll()) << run.report;
  return true;
}

INSTANTIATE_TEST_SUITE_P(Pty, SerialBehaviour, ::testing::ValuesIn(SerialBehaviourRows()), RowName);

}  // namespace serialtable
