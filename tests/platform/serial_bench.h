// One serial backend with a far end on its line, as the serial behaviour table drives it.
//
// The table (serial_behaviour.cpp) states what the serial API does, in Win32's terms, once for
// every backend: the simulated machine (virtual clock), the Linux backend on a pty with the
// modem-line shim, and the Win32 backend under Wine on a COM port mapped to a pty. A bench
// gives the table the backend's serial API and kernel, and plays the far end of the line:
// bytes, the far end's modem lines, line errors, and the converter vanishing.
//
// Time: on the virtual clock every wait moves time exactly, so the table checks instants; on
// the real backends it checks order and generous bounds only (the machine may be loaded).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace serialtable {

enum class Backend { Sim, Pty, Wine };

// The far end's outputs, seen by the host as its modem-status inputs.
enum class FarLine { Cts, Dsr, Ring, Dcd };
// What the far end's line can do wrong, as the host's receiver would see it.
enum class LineFault { Frame, Overrun, Parity, Break };

class SerialBench {
 public:
  virtual ~SerialBench() = default;

  virtual Backend Kind() const = 0;
  virtual plat::SerialApi& Serial() = 0;
  virtual plat::KernelApi& Kernel() = 0;
  // The name CreateFileA opens the port by (a fresh line for every bench).
  virtual std::string PortName() = 0;

  // --- the far end ---
  virtual void Send(const std::string& bytes) = 0;
  // What the host sent, once count bytes have come (or nothing came for a while: then fewer).
  virtual std::string Receive(std::size_t count) = 0;
  virtual void SetLine(FarLine line, bool on) = 0;
  // The host's DTR and RTS as the far end sees them.
  virtual bool Dtr() = 0;
  virtual bool Rts() = 0;
  virtual void Fault(LineFault fault) = 0;
  // The converter is pulled out: the host's handle stays, the device is gone.
  virtual void Vanish() = 0;
  // Runs a far-end action ms milliseconds from now (the table's thread goes on meanwhile).
  virtual void After(DWORD ms, std::function<void()> action) = 0;

  // --- time ---
  // The time a byte takes on the wire at 9600 8N1: the simulated line's frame; a pty has none.
  virtual double FrameNs() const = 0;
  bool VirtualClock() { return Kernel().IsVirtual(); }
  std::int64_t NowUs() { return Kernel().NowMicroseconds(); }

  // A write that cannot complete while the far end takes nothing: larger than every queue
  // between the host and the far end.
  virtual std::size_t BlockingWriteSize() const = 0;
};

// Far-end actions due at instants of the real clock, run one after another in the order they
// are due on a thread of their own (for the benches on real time). Destroying it waits for
// the actions already due and drops the others.
class DelayedActions {
 public:
  DelayedActions() : worker_([this] { Run(); }) {}
  ~DelayedActions() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
  DelayedActions(const DelayedActions&) = delete;
  DelayedActions& operator=(const DelayedActions&) = delete;

  void After(DWORD ms, std::function<void()> action) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      due_.emplace(std::make_pair(Clock::now() + std::chrono::milliseconds(ms), next_++),
                   std::move(action));
    }
    changed_.notify_all();
  }

 private:
  using Clock = std::chrono::steady_clock;
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (due_.empty()) {
        changed_.wait(lock);
        continue;
      }
      const auto first = due_.begin();
      if (Clock::now() < first->first.first) {
        changed_.wait_until(lock, first->first.first);
        continue;
      }
      std::function<void()> action = std::move(first->second);
      due_.erase(first);
      lock.unlock();
      action();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> due_;
  std::uint64_t next_ = 0;
  bool stop_ = false;
  std::thread worker_;
};

// Each test program defines these for its backend (one backend per program):
// a bench with a fresh line,
std::unique_ptr<SerialBench> MakeSerialBench();
// and whether the current row ran in another process instead (the Linux backend's rows run in a
// child with the modem-line shim preloaded); the outcome is then already reported here.
bool RanInChildProcess();

// A table row: what the serial API does, checked by run through gtest assertions.
struct Deviation {
  Backend backend;
  const char* why;  // what the backend does instead, and why that stays
};
struct Row {
  const char* name;
  void (*run)(SerialBench& bench);
  std::vector<Deviation> deviations;
};

const std::vector<Row>& SerialBehaviourRows();
std::string RowName(const ::testing::TestParamInfo<Row>& info);
void PrintTo(const Row& row, std::ostream* os);

class SerialBehaviour : public ::testing::TestWithParam<Row> {};

}  // namespace serialtable
