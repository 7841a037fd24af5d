// Two runs of the same script on the virtual clock, with a framework thread waiting for device
// events while the main thread sleeps and the far end answers, give the same instants.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "framework/thread.h"
#include "platform/sim/echo_far_end.h"
#include "platform/sim/machine.h"

namespace {

constexpr std::int64_t kMs = sim::kNsPerMs;

// Waits for device events in a loop, as a serial port's event thread does, and records them.
class EventRecorder : public fw::TThread {
 public:
  EventRecorder(sim::Machine& machine, HANDLE device)
      : fw::TThread(true, machine), machine_(machine), device_(device) {}
  ~EventRecorder() override { WaitFor(); }
  std::vector<std::pair<DWORD, std::int64_t>> events;

 protected:
  void Execute() override {
    plat::SerialApi& serial = machine_.serial();
    plat::KernelApi& kernel = machine_.kernel();
    OVERLAPPED ov{};
    ov.hEvent = kernel.CreateEventA(FALSE, FALSE);
    while (!Terminated()) {
      DWORD mask = 0;
      if (!serial.WaitCommEvent(device_, &mask, &ov)) {
        if (kernel.GetLastError() != ERROR_IO_PENDING) break;
        kernel.WaitForSingleObject(ov.hEvent, INFINITE);
      }
      if (!Terminated() && mask != 0) events.emplace_back(mask, machine_.NowNs());
    }
    kernel.CloseEvent(ov.hEvent);
  }

 private:
  sim::Machine& machine_;
  HANDLE device_;
};

struct RunResult {
  std::vector<std::pair<DWORD, std::int64_t>> events;
  std::vector<std::int64_t> wireInstants;
};

RunResult RunScript() {
  sim::Machine machine;
  sim::SerialDevice& port = machine.AddPort("COM3");
  sim::EchoFarEnd echo(port);
  plat::SerialApi& serial = machine.serial();
  plat::KernelApi& kernel = machine.kernel();
  HANDLE h = serial.CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED);
  EXPECT_TRUE(serial.SetCommMask(h, EV_RXCHAR | EV_DSR | EV_TXEMPTY));
  RunResult result;
  {
    EventRecorder recorder(machine, h);
    recorder.Start();
    OVERLAPPED ov{};
    ov.hEvent = kernel.CreateEventA(TRUE, FALSE);
    EXPECT_TRUE(serial.WriteFile(h, "hello", 5, nullptr, &ov));
    kernel.Sleep(3);
    machine.ScheduleAfter(1 * kMs, [&] { port.SetDSR(true); });
    machine.ScheduleAfter(9 * kMs, [&] { port.SetDSR(false); });
    port.Send("xy");
    kernel.Sleep(20);
    recorder.Terminate();
    serial.SetCommMask(h, 0);
    recorder.WaitFor();
    result.events = recorder.events;
  }
  serial.CloseHandle(h);
  for (const sim::WireRecord& r : port.WireLog()) result.wireInstants.push_back(r.endNs);
  return result;
}

TEST(Determinism, two_runs_of_one_script_give_identical_instants) {
  const RunResult first = RunScript();
  const RunResult second = RunScript();
  EXPECT_EQ(first.events, second.events);
  EXPECT_EQ(first.wireInstants, second.wireInstants);

  // And the run is the one intended: DSR up and down, echoes and the far end's bytes, and the
  // transmitter running empty.
  int dsr = 0, rx = 0, txEmpty = 0;
  for (const auto& [mask, at] : first.events) {
    dsr += (mask & EV_DSR) != 0;
    rx += (mask & EV_RXCHAR) != 0;
    txEmpty += (mask & EV_TXEMPTY) != 0;
  }
  EXPECT_EQ(dsr, 2);
  EXPECT_GE(rx, 2);
  EXPECT_GE(txEmpty, 1);
  // The first event is the echo of 'h', two frames after the write.
  ASSERT_FALSE(first.events.empty());
  EXPECT_EQ(first.events.front().first, EV_RXCHAR);
  EXPECT_NEAR(static_cast<double>(first.events.front().second), 2e9 * 10 / 9600, 1.0);
}

}  // namespace
