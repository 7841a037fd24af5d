// The whole write sequence against the simulated board, measured three ways:
//   1. on the virtual clock: the sum of every wait the tool makes (no real time passes);
//   2. on the real clock, console front-end: wall time, CPU time, peak memory;
//   3. on the virtual clock with the Qt front-end (offscreen): peak memory.
// Targets: real wall time at most 1.03 x the virtual sum; CPU time at most 2 % of wall time;
// peak memory at most 15 MB in the console and 80 MB with Qt. Each measurement runs in a child
// process of its own, so peak memory is that run's alone.
//
//   bench_sequence [--scenario FILE] [--skip-real]
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/run.h"
#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "ui/recording/recording_frontend.h"
#include "ui/frontends.h"

// Closes every modal dialog of the window front-end soon after it opens (qt_dialog_closer.cpp;
// a no-op without Qt).
void StartClosingDialogs();

namespace {

struct Measure {
  double simulatedSeconds = 0;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMegabytes = 0;
  int status = -1;
};

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// Runs body in a child; it writes simulated seconds and status through a pipe.
Measure InChild(const std::function<void(Measure&)>& body) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Measure m;
    body(m);
    const std::string line = std::to_string(m.simulatedSeconds) + " " + std::to_string(m.status);
    if (write(fds[1], line.data(), line.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  char buffer[128] = {};
  ssize_t n = 0;
  size_t used = 0;
  while ((n = read(fds[0], buffer + used, sizeof buffer - 1 - used)) > 0) used += n;
  close(fds[0]);
  int wstatus = 0;
  rusage usage{};
  wait4(pid, &wstatus, 0, &usage);
  Measure m;
  std::istringstream(buffer) >> m.simulatedSeconds >> m.status;
  m.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  m.peakMegabytes = usage.ru_maxrss / 1024.0;
  return m;
}

int Run(const std::string& scenario, bool fast, ui::FrontEndKind kind, Measure& m) {
  app::Options options;
  options.simulate = true;
  options.fast = fast;
  options.scenario = scenario;
  int argc = 1;
  char name[] = "bench_sequence";
  char* argv[] = {name, nullptr};
  std::unique_ptr<fw::FrontEnd> frontEnd;
  if (kind == ui::FrontEndKind::Window) {
    frontEnd = ui::CreateFrontEnd(kind, argc, argv);
    // Nobody is there to close the success dialog.
    StartClosingDialogs();
  } else {
    frontEnd = std::make_unique<ui::RecordingFrontEnd>(false);
  }
  std::ostringstream out, err;
  app::RunHooks hooks;
  hooks.onEnd = [&m](app::SimulatedTarget* target) {
    sim::Machine* machine = simfront::MachineOf(target);
    if (machine != nullptr) m.simulatedSeconds = machine->NowNs() / 1e9;
  };
  return app::RunTool(options, *frontEnd, out, err, simfront::MakeSimulatedRun, hooks);
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenario;
  bool skipReal = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--scenario" && i + 1 < argc) {
      scenario = std::filesystem::absolute(argv[++i]).string();
    } else if (arg == "--skip-real") {
      skipReal = true;
    } else {
      std::fprintf(stderr, "usage: bench_sequence [--scenario FILE] [--skip-real]\n");
      return 64;
    }
  }
  // The sample configuration, in a directory of its own.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("lcdwrite-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(LCDWRITE_SOURCE_DIR "/app/examples/Quorix.lcd", dir / "Quorix.lcd",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::current_path(dir);

  const Measure virt = InChild([&](Measure& m) {
    m.status = Run(scenario, true, ui::FrontEndKind::Console, m);
  });
  std::printf("virtual clock:   status %d, sum of waits %.3f s (took %.3f s, peak %.1f MB)\n",
              virt.status, virt.simulatedSeconds, virt.wallSeconds, virt.peakMegabytes);
  bool ok = virt.status == 0;
  if (!skipReal) {
    const Measure real = InChild([&](Measure& m) {
      m.status = Run(scenario, false, ui::FrontEndKind::Console, m);
    });
    const double ratio = real.wallSeconds / virt.simulatedSeconds;
    const double cpuShare = 100.0 * real.cpuSeconds / real.wallSeconds;
    std::printf("real clock:      status %d, wall %.3f s, CPU %.3f s\n", real.status,
                real.wallSeconds, real.cpuSeconds);
    std::printf("  wall / virtual sum: %.4f (target <= 1.03)\n", ratio);
    std::printf("  CPU / wall:         %.2f %% (target <= 2 %%)\n", cpuShare);
    std::printf("  peak memory:        %.1f MB (target <= 15 MB, console)\n", real.peakMegabytes);
    ok = ok && real.status == 0 && ratio <= 1.03 && cpuShare <= 2.0 && real.peakMegabytes <= 15;
  }
  if (ui::HasWindowFrontEnd()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const Measure qt = InChild([&](Measure& m) {
      m.status = Run(scenario, true, ui::FrontEndKind::Window, m);
    });
    std::printf("Qt (offscreen):  status %d, peak memory %.1f MB (target <= 80 MB)\n", qt.status,
                qt.peakMegabytes);
    ok = ok && qt.status == 0 && qt.peakMegabytes <= 80;
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(dir);
  std::printf("%s\n", ok ? "all targets met" : "TARGETS MISSED");
  return ok ? 0 : 1;
}
