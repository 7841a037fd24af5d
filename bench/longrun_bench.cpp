// Long runs without growth: a tool kept busy all day, and a program that opens and closes the
// port component all day, must stay flat in memory, threads and open descriptors.
//   writes: whole writes of the tool in one process on the virtual clock (simulated board,
//           healthy default scenario), each one a complete run that must end with status 0;
//   cycles: TComPort opened on a pty through the Linux backend, one byte written and read back
//           by the far end, a received byte waking the event thread, closed again.
// The process's resident memory, threads and open descriptors are read after a first round
// (first use sets up lasting state: class registrations, the allocator's pools, the platform)
// and at the end. Bounds: resident memory may grow by at most 2 MiB, threads and descriptors
// not at all; beyond them the program ends with status 1.
//
//   bench_longrun [--writes N] [--cycles N]        (defaults 1000 and 10000)
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "app/run.h"
#include "comport/comport.h"
#include "framework/application.h"
#include "app/exitstatus.h"
#include "simfront/simulation.h"
#include "tools/ptymodem/pty.h"
#include "ui/recording/recording_frontend.h"

namespace {

namespace fs = std::filesystem;

constexpr long kResidentGrowthLimitKiB = 2048;

struct Usage {
  long residentKiB = 0;
  int threads = 0;
  int descriptors = 0;
};

int Entries(const char* folder) {
  int count = 0;
  if (DIR* dir = opendir(folder)) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

Usage Now() {
  Usage u;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) u.residentKiB = std::atol(line.c_str() + 6);
  }
  u.threads = Entries("/proc/self/task");
  // Less the one opendir holds while counting.
  u.descriptors = Entries("/proc/self/fd") - 1;
  return u;
}

// Runs body count times after one first round; prints and checks the usage. False on growth
// beyond the bounds or when body fails.
bool Measure(const char* what, long count, const std::function<bool(long)>& body) {
  if (!body(0)) {
    std::printf("%s: the first round failed\n", what);
    return false;
  }
  const Usage start = Now();
  const auto began = std::chrono::steady_clock::now();
  for (long i = 1; i <= count; ++i) {
    if (!body(i)) {
      std::printf("%s: round %ld failed\n", what, i);
      return false;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  // A thread joined a moment ago can still be in the system's list while it finishes leaving.
  Usage end = Now();
  for (int i = 0; i < 1000 && end.threads > start.threads; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    end = Now();
  }
  const long grown = end.residentKiB - start.residentKiB;
  const bool ok = grown <= kResidentGrowthLimitKiB && end.threads <= start.threads &&
                  end.descriptors <= start.descriptors;
  std::printf("%-7s %6ld rounds in %6.1f s   resident %6ld -> %6ld KiB (%+ld, limit +%ld)   "
              "threads %d -> %d   descriptors %d -> %d   %s\n",
              what, count, seconds, start.residentKiB, end.residentKiB, grown,
              kResidentGrowthLimitKiB, start.threads, end.threads, start.descriptors,
              end.descriptors, ok ? "flat" : "GROWS");
  return ok;
}

std::string ConfigText() {
  std::string text = "4\n";
  for (int i = 0; i < 120; ++i) text += std::to_string(1000 + i) + "\n";
  return text + "1234\n567\n3\n";
}

bool Writes(long count) {
  const fs::path dir = fs::temp_directory_path() / ("lcdwrite-longrun-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  std::ofstream("Quorix.lcd", std::ios::binary) << ConfigText();
  const bool ok = Measure("writes", count, [](long) {
    app::Options options;
    options.simulate = true;
    options.fast = true;
    ui::RecordingFrontEnd frontEnd(false);
    std::ostringstream out, err;
    return app::RunTool(options, frontEnd, out, err, simfront::MakeSimulatedRun) ==
           app::kExitWritten;
  });
  fs::current_path(previous);
  fs::remove_all(dir);
  return ok;
}

struct Receiver {
  int wakes = 0;
  void RxChar(fw::TObject*) { ++wakes; }
};

bool Cycles(long count) {
  ptymodem::Pty pty;
  if (!pty.ok()) {
    std::printf("cycles: no pty\n");
    return false;
  }
  fw::TApplication application(plat::NativePlatform());
  Receiver receiver;
  comport::TComPort port(nullptr, plat::NativePlatform());
  port.SetDeviceName(pty.DeviceName());
  // A pty has no modem lines to drive.
  port.FlowControl().SetDTRControl(comport::dcDisable);
  port.FlowControl().SetRTSControl(comport::rcDisable);
  port.SetOnRxChar(fw::Method<&Receiver::RxChar>(&receiver));
  return Measure("cycles", count, [&](long) {
    port.Open();
    port.WriteByte(0x5A);
    port.WaitForWriteCompletion();
    const bool echoed = pty.Receive(1) == "Z" && pty.Send("z");
    // The event thread reports the byte through the main thread's queue.
    const int before = receiver.wakes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (receiver.wakes == before && std::chrono::steady_clock::now() < deadline) {
      application.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const bool woke = receiver.wakes > before && port.ReadByte() == 'z';
    port.Close();
    application.ProcessMessages();
    return echoed && woke;
  });
}

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s [--writes N] [--cycles N]\n", program);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  long writes = 1000;
  long cycles = 10000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage(argv[0]);
    if (arg == "--writes") writes = std::atol(argv[++i]);
    else if (arg == "--cycles") cycles = std::atol(argv[++i]);
    else return Usage(argv[0]);
  }
  bool ok = true;
  if (writes > 0) ok = Writes(writes) && ok;
  if (cycles > 0) ok = Cycles(cycles) && ok;
  return ok ? 0 : 1;
}
