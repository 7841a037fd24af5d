// The serial port component against raw system calls and a peer library, on a pty whose master
// side runs an echo thread: a one-byte round trip (write, wait for the echo, read) and a 1 MiB
// bulk transfer echoed back. After the runs it prints each case's ratio to the raw calls and to
// the peer, and whether the targets hold: round trip at most 1.3x raw and at most 1.0x the peer,
// bulk at least 0.8x raw throughput.
//
// Why the set-up is unusual: the peer library opens only ports it finds in sysfs and reads the
// modem lines at open, which a pty has neither of. So the program runs itself again with the
// modem-line test shim preloaded (as the component's pty tests do), and, in a mount namespace
// of its own, binds the pty slave over a tty node that sysfs knows. Without the privileges for
// that the peer cases are skipped.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libserialport.h>
#include <poll.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "tools/ptymodem/modemstate.h"

namespace {

constexpr std::size_t kBulk = 1 << 20;

// A pty with an echo thread on its master: every byte that arrives is sent straight back.
class EchoPty {
 public:
  // withLines: the shim gives the slave modem lines and line-error counters, as a converter
  // has; without, it is a plain pty.
  explicit EchoPty(bool withLines = true) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[64] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      std::fprintf(stderr, "no pty\n");
      std::exit(1);
    }
    slave_ = name;
    const char* state = getenv(ptymodem::kModemStateEnv);
    if (withLines && state != nullptr) {
      modem_ = ptymodem::ModemState::Create(state, slave_);
    }
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    echo_ = std::thread([this] { Echo(); });
  }
  ~EchoPty() {
    stop_ = true;
    echo_.join();
    close(master_);
  }
  const std::string& Slave() const { return slave_; }

 private:
  void Echo() {
    std::vector<char> buffer(1 << 16);
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = read(master_, buffer.data(), buffer.size());
      for (ssize_t done = 0; n > 0 && done < n && !stop_;) {
        const ssize_t w = write(master_, buffer.data() + done, static_cast<std::size_t>(n - done));
        if (w > 0) {
          done += w;
        } else if (errno == EAGAIN) {
          pollfd o{master_, POLLOUT, 0};
          poll(&o, 1, 50);
        }
      }
    }
  }

  int master_ = -1;
  std::string slave_;
  std::unique_ptr<ptymodem::ModemState> modem_;
  std::thread echo_;
  std::atomic<bool> stop_{false};
};

EchoPty& Pty() {
  static EchoPty pty;
  return pty;
}

EchoPty& PlainPty() {
  static EchoPty pty(false);
  return pty;
}

std::vector<std::uint8_t> Pattern() {
  std::vector<std::uint8_t> data(kBulk);
  for (std::size_t i = 0; i < kBulk; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  return data;
}

// ---- the component ----

struct ComPortSide {
  fw::TApplication app{plat::NativePlatform()};
  comport::TComPort port{nullptr, plat::NativePlatform()};
  explicit ComPortSide(EchoPty& pty = Pty()) {
    port.SetDeviceName("\\\\.\\" + pty.Slave().substr(5));
    port.SetBaudRate(comport::br9600);
    port.SetDataBits(comport::db8);
    port.SetParity(comport::paNone);
    port.SetStopBits(comport::sb1);
    port.BufferSizes().SetInput(64000);
    port.Open();
  }
};

void RoundTrip(benchmark::State& state, EchoPty& pty) {
  ComPortSide side(pty);
  std::uint8_t b = 0;
  for (auto _ : state) {
    side.port.WriteByte(b);
    if (side.port.ReadByte() != b) state.SkipWithError("wrong echo");
    ++b;
  }
}

void BM_RoundTrip_TComPort(benchmark::State& state) { RoundTrip(state, Pty()); }

// The same on a pty without line-error counters: each completion wait's line-error check then
// costs no system call. The difference to the case above is that check's price.
void BM_RoundTrip_TComPort_NoCounters(benchmark::State& state) { RoundTrip(state, PlainPty()); }

void BM_Bulk_TComPort(benchmark::State& state) {
  ComPortSide side;
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  for (auto _ : state) {
    side.port.Write(out.data(), kBulk, false);  // goes out while the read below runs
    side.port.Read(in.data(), kBulk, true);
    side.port.WaitForWriteCompletion();
    if (in != out) state.SkipWithError("wrong echo");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBulk));
}

// ---- raw system calls ----

int OpenRaw() {
  const int fd = open(Pty().Slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

void BM_RoundTrip_Raw(benchmark::State& state) {
  const int fd = OpenRaw();
  std::uint8_t b = 0, got = 0;
  for (auto _ : state) {
    if (write(fd, &b, 1) != 1) state.SkipWithError("write");
    pollfd p{fd, POLLIN, 0};
    while (read(fd, &got, 1) != 1) poll(&p, 1, -1);
    if (got != b) state.SkipWithError("wrong echo");
    ++b;
  }
  close(fd);
}

void BM_Bulk_Raw(benchmark::State& state) {
  const int fd = OpenRaw();
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  for (auto _ : state) {
    std::size_t sent = 0, received = 0;
    while (received < kBulk) {
      pollfd p{fd, static_cast<short>(POLLIN | (sent < kBulk ? POLLOUT : 0)), 0};
      poll(&p, 1, -1);
      if (sent < kBulk && (p.revents & POLLOUT)) {
        const ssize_t n = write(fd, out.data() + sent, kBulk - sent);
        if (n > 0) sent += static_cast<std::size_t>(n);
      }
      if (p.revents & POLLIN) {
        const ssize_t n = read(fd, in.data() + received, kBulk - received);
        if (n > 0) received += static_cast<std::size_t>(n);
      }
    }
    if (in != out) state.SkipWithError("wrong echo");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBulk));
  close(fd);
}

// ---- the peer library ----

bool g_privateMounts = false;  // this process has a mount namespace of its own
constexpr const char* kPeerNode = "/dev/ttyS0";

// The pty slave under a name the peer library accepts; empty when that cannot be arranged.
std::string PeerName() {
  static const std::string name = [] {
    if (!g_privateMounts || access("/sys/class/tty/ttyS0", F_OK) != 0) return std::string();
    return mount(Pty().Slave().c_str(), kPeerNode, nullptr, MS_BIND, nullptr) == 0
               ? std::string(kPeerNode)
               : std::string();
  }();
  return name;
}

struct PeerSide {
  sp_port* port = nullptr;
  bool ok = false;
  explicit PeerSide(benchmark::State& state) {
    const std::string name = PeerName();
    ok = !name.empty() && sp_get_port_by_name(name.c_str(), &port) == SP_OK &&
         sp_open(port, SP_MODE_READ_WRITE) == SP_OK;
    if (!ok) {
      state.SkipWithError("the peer cannot open the pty here");
      return;
    }
    sp_set_baudrate(port, 9600);
    sp_set_bits(port, 8);
    sp_set_parity(port, SP_PARITY_NONE);
    sp_set_stopbits(port, 1);
    sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
  }
  ~PeerSide() {
    if (ok) sp_close(port);
    if (port) sp_free_port(port);
  }
};

void BM_RoundTrip_Peer(benchmark::State& state) {
  PeerSide side(state);
  if (!side.ok) return;
  std::uint8_t b = 0, got = 0;
  for (auto _ : state) {
    sp_blocking_write(side.port, &b, 1, 0);
    sp_blocking_read(side.port, &got, 1, 0);
    if (got != b) state.SkipWithError("wrong echo");
    ++b;
  }
}

void BM_Bulk_Peer(benchmark::State& state) {
  PeerSide side(state);
  if (!side.ok) return;
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  sp_event_set* events = nullptr;
  sp_new_event_set(&events);
  sp_add_port_events(events, side.port, static_cast<sp_event>(SP_EVENT_RX_READY | SP_EVENT_TX_READY));
  for (auto _ : state) {
    std::size_t sent = 0, received = 0;
    while (received < kBulk) {
      sp_wait(events, 0);
      if (sent < kBulk) {
        const int n = sp_nonblocking_write(side.port, out.data() + sent, kBulk - sent);
        if (n > 0) sent += static_cast<std::size_t>(n);
      }
      const int n = sp_nonblocking_read(side.port, in.data() + received, kBulk - received);
      if (n > 0) received += static_cast<std::size_t>(n);
    }
    if (in != out) state.SkipWithError("wrong echo");
  }
  sp_free_event_set(events);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBulk));
}

// The machine is shared: each case runs several times, interleaved with the others, and the
// ratios use each case's fastest repetition (the one least disturbed).
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void Configure(benchmark::internal::Benchmark* b) {
  b->UseRealTime()->Repetitions(15)->ComputeStatistics("min", Fastest)->DisplayAggregatesOnly();
}

BENCHMARK(BM_RoundTrip_TComPort)->Apply(Configure);
BENCHMARK(BM_RoundTrip_TComPort_NoCounters)->Apply(Configure);
BENCHMARK(BM_RoundTrip_Raw)->Apply(Configure);
BENCHMARK(BM_RoundTrip_Peer)->Apply(Configure);
BENCHMARK(BM_Bulk_TComPort)->Apply(Configure)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bulk_Raw)->Apply(Configure)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bulk_Peer)->Apply(Configure)->Unit(benchmark::kMillisecond);

// Keeps each case's fastest real time per iteration (nanoseconds) for the ratios.
class Recording : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
        times[run.run_name.function_name] = run.GetAdjustedRealTime() *
                                            TimeUnitFactor(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  static double TimeUnitFactor(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kSecond: return 1e9;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kMicrosecond: return 1e3;
      default: return 1;
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* kPreloaded = "LCDWRITE_BENCH_PRELOADED";
  if (getenv(kPreloaded) == nullptr) {
    char state[] = "/tmp/lcdwrite-bench-modem-XXXXXX";
    const int fd = mkstemp(state);
    if (fd >= 0) close(fd);
    setenv("LD_PRELOAD", LCDWRITE_MODEMSHIM_PATH, 1);
    setenv(ptymodem::kModemStateEnv, state, 1);
    setenv(kPreloaded, "1", 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    return 1;
  }
  // Before any thread exists: a mount namespace of our own for the peer's tty node.
  g_privateMounts = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.push_back(interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  Recording reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.times;
  auto ratio = [&](const std::string& a, const std::string& b) {
    return t.count(a) && t.count(b) ? t[a] / t[b] : 0.0;
  };
  const double rtRaw = ratio("BM_RoundTrip_TComPort", "BM_RoundTrip_Raw");
  const double rtPeer = ratio("BM_RoundTrip_TComPort", "BM_RoundTrip_Peer");
  const double plainRaw = ratio("BM_RoundTrip_TComPort_NoCounters", "BM_RoundTrip_Raw");
  const double plainPeer = ratio("BM_RoundTrip_TComPort_NoCounters", "BM_RoundTrip_Peer");
  const double bulkRaw = ratio("BM_Bulk_TComPort", "BM_Bulk_Raw");
  const double bulkPeer = ratio("BM_Bulk_TComPort", "BM_Bulk_Peer");
  std::printf("\nround trip: %.2fx raw (target <= 1.30: %s), %.2fx peer (target <= 1.00: %s)\n",
              rtRaw, rtRaw <= 1.3 ? "met" : "MISSED", rtPeer, rtPeer <= 1.0 ? "met" : "MISSED");
  std::printf("round trip without line-error counters: %.2fx raw, %.2fx peer\n", plainRaw,
              plainPeer);
  std::printf("bulk 1 MiB: %.2fx raw throughput (target >= 0.80: %s), %.2fx peer throughput\n",
              bulkRaw > 0 ? 1 / bulkRaw : 0.0, bulkRaw > 0 && 1 / bulkRaw >= 0.8 ? "met" : "MISSED",
              bulkPeer > 0 ? 1 / bulkPeer : 0.0);
  benchmark::Shutdown();
  unlink(getenv(ptymodem::kModemStateEnv));
  return 0;
}
