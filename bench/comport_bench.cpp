// The serial port component against raw system calls and a peer library, on a pty whose master
// side runs an echo thread: a one-byte round trip (write, wait for the echo, read) and a 1 MiB
// bulk transfer echoed back. It prints each case's ratio to the raw calls and to the peer, and
// whether the targets hold: round trip at most 1.3x raw and at most 1.0x the peer, bulk at least
// 0.8x raw throughput.
//
// How the figures are made to decide on a shared machine. On a pty every byte's way is a chain
// of thread wake-ups (writer, the kernel's flush worker, the echo thread, and back); a hand-over
// on the same CPU costs a context switch, one to the other CPU several times that. So one round
// trip took about 17 or about 70 us, and a 1 MiB transfer 8 or 30 ms and more, depending on
// where the scheduler had put the threads at that moment and on the other work of the machine;
// the median of whole-run times followed that mix, and so did the figures. Now:
// - disturbances only ever add time, so a contender's time in a round is the 5th percentile of
//   its units (round trips timed one by one over three runs; seven whole bulk transfers): the
//   undisturbed case, which the load does not move;
// - the round trips run with every thread on one CPU, so each hand-over of ours is a context
//   switch there; the bulk transfers use all CPUs, as writer, echo and reader work at once;
// - the process takes the highest ordinary priority (when it may), so other work delays its
//   wake-ups less;
// - the contenders run interleaved in a rotating order, each on an empty pty, so a longer
//   disturbance hits them alike; each round gives a ratio, and the figure is the median of the
//   per-round ratios, printed with its quartiles;
// - after a warm-up round the rounds come in three independent batches; a figure counts as
//   decided when each batch's median lies within +-0.05 of it, else its target is undecided.
// The load average before and after is printed with the figures. Run with --rounds=N for more
// or fewer rounds per batch.
//
// Why the set-up is unusual: the peer library opens only ports it finds in sysfs and reads the
// modem lines at open, which a pty has neither of. So the program runs itself again with the
// modem-line test shim preloaded (as the component's pty tests do), and, in a mount namespace
// of its own, binds the pty slave over a tty node that sysfs knows. Without the privileges for
// that the peer cases are skipped.
#include <fcntl.h>
#include <libserialport.h>
#include <poll.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "platform/portname.h"
#include "tools/ptymodem/modemstate.h"
#include "tools/ptymodem/preload.h"

namespace {

constexpr std::size_t kBulk = 1 << 20;
constexpr int kRoundTrips = 200;   // per timed run
constexpr int kRoundTripRuns = 3;  // per contender and round
constexpr int kBulkRuns = 7;
constexpr int kBatches = 3;
constexpr double kAgreement = 0.05;  // largest distance of a batch's median from the figure
constexpr double kFastest = 0.05;    // a round's time: this quantile of a contender's units

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

// One run of a case: the durations of its units in seconds (each round trip, or the whole
// transfer), or nothing when it cannot run here.
using Timed = std::optional<std::vector<double>>;

// Times consecutive units: Lap() ends one and starts the next.
class Stopwatch {
 public:
  void Lap() {
    const auto now = std::chrono::steady_clock::now();
    laps_.push_back(std::chrono::duration<double>(now - start_).count());
    start_ = now;
  }
  const std::vector<double>& Laps() const { return laps_; }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::vector<double> laps_;
};

// ---- the component ----

struct ComPortSide {
  fw::TApplication app{plat::NativePlatform()};
  comport::TComPort port{nullptr, plat::NativePlatform()};
  explicit ComPortSide(EchoPty& pty) {
    port.SetDeviceName(plat::DevicePathOf(pty.Slave().substr(5)));
    port.SetBaudRate(comport::br9600);
    port.SetDataBits(comport::db8);
    port.SetParity(comport::paNone);
    port.SetStopBits(comport::sb1);
    port.BufferSizes().SetInput(64000);
    port.Open();
  }
};

Timed RoundTripTComPort(EchoPty& pty) {
  ComPortSide side(pty);
  Stopwatch watch;
  for (int i = 0; i < kRoundTrips; ++i) {
    const auto b = static_cast<std::uint8_t>(i);
    side.port.WriteByte(b);
    if (side.port.ReadByte() != b) return std::nullopt;
    watch.Lap();
  }
  return watch.Laps();
}

Timed BulkTComPort() {
  ComPortSide side(Pty());
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  Stopwatch watch;
  side.port.Write(out.data(), kBulk, false);  // goes out while the read below runs
  side.port.Read(in.data(), kBulk, true);
  side.port.WaitForWriteCompletion();
  watch.Lap();
  return in == out ? Timed(watch.Laps()) : std::nullopt;
}

// ---- raw system calls ----

int OpenRaw() {
  const int fd = open(Pty().Slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);  // as the component and the peer purge at open
  return fd;
}

Timed RoundTripRaw() {
  const int fd = OpenRaw();
  Timed result;
  Stopwatch watch;
  for (int i = 0; i < kRoundTrips; ++i) {
    const auto b = static_cast<std::uint8_t>(i);
    std::uint8_t got = 0;
    if (write(fd, &b, 1) != 1) break;
    pollfd p{fd, POLLIN, 0};
    while (read(fd, &got, 1) != 1) poll(&p, 1, -1);
    if (got != b) break;
    watch.Lap();
    if (i + 1 == kRoundTrips) result = watch.Laps();
  }
  close(fd);
  return result;
}

Timed BulkRaw() {
  const int fd = OpenRaw();
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  std::size_t sent = 0, received = 0;
  Stopwatch watch;
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
  watch.Lap();
  close(fd);
  return in == out ? Timed(watch.Laps()) : std::nullopt;
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
  PeerSide() {
    const std::string name = PeerName();
    ok = !name.empty() && sp_get_port_by_name(name.c_str(), &port) == SP_OK &&
         sp_open(port, SP_MODE_READ_WRITE) == SP_OK;
    if (!ok) return;
    sp_set_baudrate(port, 9600);
    sp_set_bits(port, 8);
    sp_set_parity(port, SP_PARITY_NONE);
    sp_set_stopbits(port, 1);
    sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
    sp_flush(port, SP_BUF_BOTH);
  }
  ~PeerSide() {
    if (ok) sp_close(port);
    if (port) sp_free_port(port);
  }
};

Timed RoundTripPeer() {
  PeerSide side;
  if (!side.ok) return std::nullopt;
  Stopwatch watch;
  for (int i = 0; i < kRoundTrips; ++i) {
    const auto b = static_cast<std::uint8_t>(i);
    std::uint8_t got = 0;
    sp_blocking_write(side.port, &b, 1, 0);
    sp_blocking_read(side.port, &got, 1, 0);
    if (got != b) return std::nullopt;
    watch.Lap();
  }
  return watch.Laps();
}

Timed BulkPeer() {
  PeerSide side;
  if (!side.ok) return std::nullopt;
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  sp_event_set* events = nullptr;
  sp_new_event_set(&events);
  sp_add_port_events(events, side.port, static_cast<sp_event>(SP_EVENT_RX_READY | SP_EVENT_TX_READY));
  std::size_t sent = 0, received = 0;
  Stopwatch watch;
  while (received < kBulk) {
    sp_wait(events, 0);
    if (sent < kBulk) {
      const int n = sp_nonblocking_write(side.port, out.data() + sent, kBulk - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
    }
    const int n = sp_nonblocking_read(side.port, in.data() + received, kBulk - received);
    if (n > 0) received += static_cast<std::size_t>(n);
  }
  watch.Lap();
  sp_free_event_set(events);
  return in == out ? Timed(watch.Laps()) : std::nullopt;
}

// ---- rounds, batches and figures ----

// Puts every thread of this process on the given CPUs; threads made later inherit the caller's.
void RunAllOn(const cpu_set_t& cpus) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    sched_setaffinity(std::atoi(task.path().filename().c_str()), sizeof cpus, &cpus);
  }
}

double Quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  const double at = q * static_cast<double>(v.size() - 1);
  const auto lo = static_cast<std::size_t>(at);
  const std::size_t hi = std::min(lo + 1, v.size() - 1);
  return v[lo] + (v[hi] - v[lo]) * (at - static_cast<double>(lo));
}

// A contender's time in one round, or nothing when one of its runs failed.
using Time = std::optional<double>;
// Per batch, per round, per contender.
using Batches = std::vector<std::vector<std::vector<Time>>>;

// One round: each contender runs `runs` times, interleaved in an order that rotates with
// `shift` and with each repeat; a contender's time is the kFastest quantile of its units.
std::vector<Time> Round(const std::vector<std::function<Timed()>>& contenders, int runs,
                        std::size_t shift) {
  const std::size_t n = contenders.size();
  std::vector<std::vector<double>> units(n);
  std::vector<bool> failed(n, false);
  for (int j = 0; j < runs; ++j) {
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t c = (k + shift + static_cast<std::size_t>(j)) % n;
      const Timed t = contenders[c]();
      failed[c] = failed[c] || !t;
      if (t) units[c].insert(units[c].end(), t->begin(), t->end());
    }
  }
  std::vector<Time> times(n);
  for (std::size_t c = 0; c < n; ++c) {
    if (!failed[c]) times[c] = Quantile(units[c], kFastest);
  }
  return times;
}

// A warm-up round whose times are dropped, then kBatches independent batches of rounds.
Batches Measure(const std::vector<std::function<Timed()>>& contenders, int runs, int rounds) {
  Round(contenders, runs, 0);
  Batches batches(kBatches);
  std::size_t shift = 0;
  for (auto& batch : batches) {
    for (int r = 0; r < rounds; ++r) batch.push_back(Round(contenders, runs, ++shift));
  }
  return batches;
}

// Each contender's median time over all rounds, in the given unit.
void PrintTimes(const char* what, const Batches& batches, const std::vector<const char*>& names,
                double unit) {
  std::printf("%s:", what);
  for (std::size_t c = 0; c < names.size(); ++c) {
    std::vector<double> v;
    for (const auto& batch : batches) {
      for (const auto& row : batch) {
        if (row[c]) v.push_back(*row[c] / unit);
      }
    }
    if (v.empty()) {
      std::printf(" %s n/a", names[c]);
    } else {
      std::printf(" %s %.2f", names[c], Quantile(v, 0.5));
    }
  }
  std::printf("\n");
}

// A figure: the median over all rounds of the per-round ratio time[over] / time[under], with
// its quartiles and each batch's median; decided when every batch's median lies within
// kAgreement of the figure. A target holds when the figure is at most (or at least) the limit.
struct Figure {
  std::vector<double> all;
  std::vector<double> batchMedians;
  Figure(const Batches& batches, std::size_t over, std::size_t under) {
    for (const auto& batch : batches) {
      std::vector<double> ratios;
      for (const auto& row : batch) {
        if (row[over] && row[under] && *row[under] > 0) ratios.push_back(*row[over] / *row[under]);
      }
      if (ratios.empty()) {
        all.clear();
        return;
      }
      batchMedians.push_back(Quantile(ratios, 0.5));
      all.insert(all.end(), ratios.begin(), ratios.end());
    }
  }
  bool Decided() const {
    if (all.empty()) return false;
    const double median = Quantile(all, 0.5);
    return std::all_of(batchMedians.begin(), batchMedians.end(),
                       [&](double m) { return std::abs(m - median) <= kAgreement; });
  }
  void Print(const char* what, const char* target = nullptr, double limit = 0,
             bool atMost = true) const {
    std::printf("%s: ", what);
    if (all.empty()) {
      std::printf("n/a\n");
      return;
    }
    const double median = Quantile(all, 0.5);
    const auto [lo, hi] = std::minmax_element(batchMedians.begin(), batchMedians.end());
    std::printf("%.2fx (quartiles %.2f-%.2f, %zu rounds; batches", median, Quantile(all, 0.25),
                Quantile(all, 0.75), all.size());
    for (const double m : batchMedians) std::printf(" %.2f", m);
    std::printf(", spread %.2f, %s)", *hi - *lo, Decided() ? "agree" : "DISAGREE");
    if (target != nullptr) {
      const bool met = atMost ? median <= limit : median >= limit;
      std::printf(" target %s %.2f: %s", target, limit,
                  !Decided() ? "UNDECIDED" : met ? "met" : "MISSED");
    }
    std::printf("\n");
  }
};

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* kPreloaded = "LCDWRITE_BENCH_PRELOADED";
  if (getenv(kPreloaded) == nullptr) {
    char state[] = "/tmp/lcdwrite-bench-modem-XXXXXX";
    const int fd = mkstemp(state);
    if (fd >= 0) close(fd);
    for (const std::string& entry :
         ptymodem::PreloadEnvironment(LCDWRITE_MODEMSHIM_PATH, getenv("LD_LIBRARY_PATH"))) {
      const std::string::size_type equals = entry.find('=');
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    setenv(ptymodem::kModemStateEnv, state, 1);
    setenv(kPreloaded, "1", 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    return 1;
  }
  // Before any thread exists: a mount namespace of our own for the peer's tty node.
  g_privateMounts = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  // The highest priority among ordinary processes, inherited by every thread made from here on
  // (the echo threads, the component's): other work on the machine delays our wake-ups less.
  const bool favoured = setpriority(PRIO_PROCESS, 0, -20) == 0;
  int rounds = 25;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
  }
  double loadBefore = 0, loadAfter = 0;
  getloadavg(&loadBefore, 1);

  // Round trip: the component with and without line-error counters, raw calls, the peer; all
  // on one CPU, so that every hand-over is a context switch there and not a wake-up across.
  cpu_set_t all{}, one{};
  sched_getaffinity(0, sizeof all, &all);
  CPU_SET(sched_getcpu(), &one);
  RunAllOn(one);
  const Batches rt = Measure({[] { return RoundTripTComPort(Pty()); },
                              [] { return RoundTripTComPort(PlainPty()); }, RoundTripRaw,
                              RoundTripPeer},
                             kRoundTripRuns, rounds);
  // Bulk on all CPUs: writer, echo and reader run at once, as a transfer needs them to.
  RunAllOn(all);
  const Batches bulk = Measure({BulkTComPort, BulkRaw, BulkPeer}, kBulkRuns, rounds);
  getloadavg(&loadAfter, 1);

  std::printf("load average %.2f before, %.2f after; priority %s; %d batches of %d rounds after "
              "a warm-up round\n",
              loadBefore, loadAfter, favoured ? "raised" : "normal (no permission)", kBatches,
              rounds);
  std::printf("a round's time: the %.0fth percentile of %d runs of %d round trips (on one CPU), or "
              "of %d bulk runs; a figure is decided when each batch's median is within +-%.2f of "
              "it\n",
              kFastest * 100, kRoundTripRuns, kRoundTrips, kBulkRuns, kAgreement);
  PrintTimes("round trip, median us", rt, {"component", "component-no-counters", "raw", "peer"},
             1e-6);
  PrintTimes("bulk 1 MiB, median ms", bulk, {"component", "raw", "peer"}, 1e-3);
  Figure(rt, 0, 2).Print("round trip / raw", "<=", 1.3);
  Figure(rt, 0, 3).Print("round trip / peer", "<=", 1.0);
  Figure(rt, 1, 2).Print("round trip without line-error counters / raw");
  Figure(rt, 1, 3).Print("round trip without line-error counters / peer");
  // Throughput ratios: the other's time over the component's.
  Figure(bulk, 1, 0).Print("bulk throughput / raw", ">=", 0.8, false);
  Figure(bulk, 2, 0).Print("bulk throughput / peer");
  unlink(getenv(ptymodem::kModemStateEnv));
  return 0;
}
