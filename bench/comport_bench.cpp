// The serial port component against raw system calls and a peer library, on a pty whose master
// side runs an echo thread: a one-byte round trip (write, wait for the echo, read) and a 1 MiB
// bulk transfer echoed back. It prints each case's ratio to the raw calls and to the peer, and
// whether the targets hold: round trip at most 1.3x raw and at most 1.0x the peer, bulk at least
// 0.8x raw throughput.
//
// How the figures are made to decide on a shared machine: the contenders run in rounds, one
// run of each per round in a rotating order, so a disturbance that lasts a second or so hits
// them all alike. Each round gives a ratio (component time over raw time, over peer time); the
// figure is the median of those per-round ratios, printed with its interquartile range. Run
// with --rounds=N for more or fewer rounds (default 301).
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
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "tools/ptymodem/modemstate.h"

namespace {

constexpr std::size_t kBulk = 1 << 20;
constexpr int kRoundTrips = 200;  // per timed run

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

// One timed run of a case: its duration in seconds, or nothing when it cannot run here.
using Timed = std::optional<double>;

class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// ---- the component ----

struct ComPortSide {
  fw::TApplication app{plat::NativePlatform()};
  comport::TComPort port{nullptr, plat::NativePlatform()};
  explicit ComPortSide(EchoPty& pty) {
    port.SetDeviceName("\\\\.\\" + pty.Slave().substr(5));
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
  }
  return watch.Seconds();
}

Timed BulkTComPort() {
  ComPortSide side(Pty());
  const std::vector<std::uint8_t> out = Pattern();
  std::vector<std::uint8_t> in(kBulk);
  Stopwatch watch;
  side.port.Write(out.data(), kBulk, false);  // goes out while the read below runs
  side.port.Read(in.data(), kBulk, true);
  side.port.WaitForWriteCompletion();
  const double seconds = watch.Seconds();
  return in == out ? Timed(seconds) : std::nullopt;
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
    if (i + 1 == kRoundTrips) result = watch.Seconds();
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
  const double seconds = watch.Seconds();
  close(fd);
  return in == out ? Timed(seconds) : std::nullopt;
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
  }
  return watch.Seconds();
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
  const double seconds = watch.Seconds();
  sp_free_event_set(events);
  return in == out ? Timed(seconds) : std::nullopt;
}

// ---- rounds and ratios ----

// A ratio's per-round values: the figure is their median; the quartiles show how much the
// rounds disagreed.
struct Ratios {
  std::vector<double> values;
  void Add(const Timed& a, const Timed& b) {
    if (a && b && *b > 0) values.push_back(*a / *b);
  }
  double Quantile(double q) const {
    if (values.empty()) return 0;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const double at = q * static_cast<double>(v.size() - 1);
    const auto lo = static_cast<std::size_t>(at);
    const std::size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (at - static_cast<double>(lo));
  }
  std::string Text(bool inverse = false) const {
    if (values.empty()) return "n/a";
    auto f = [&](double q) { return inverse ? 1 / Quantile(1 - q) : Quantile(q); };
    char text[80];
    std::snprintf(text, sizeof text, "%.2fx (quartiles %.2f-%.2f, %zu rounds)", f(0.5), f(0.25),
                  f(0.75), values.size());
    return text;
  }
};

// Runs the contenders once each per round, starting with a different one each round, and
// returns their times in the contenders' order.
std::vector<std::vector<Timed>> Rounds(const std::vector<std::function<Timed()>>& contenders,
                                       int rounds) {
  std::vector<std::vector<Timed>> times(static_cast<std::size_t>(rounds));
  for (int r = 0; r < rounds; ++r) {
    auto& row = times[static_cast<std::size_t>(r)];
    row.resize(contenders.size());
    for (std::size_t k = 0; k < contenders.size(); ++k) {
      const std::size_t c = (k + static_cast<std::size_t>(r)) % contenders.size();
      row[c] = contenders[c]();
    }
  }
  return times;
}

// Each contender's median time of one run, in milliseconds, in the contenders' order.
void PrintTimes(const char* what, const std::vector<std::vector<Timed>>& times,
                const std::vector<const char*>& names) {
  std::printf("%s, median ms per run:", what);
  for (std::size_t c = 0; c < names.size(); ++c) {
    Ratios ms;
    for (const auto& row : times) ms.Add(row[c], Timed(1e-3));
    if (ms.values.empty()) {
      std::printf(" %s n/a", names[c]);
    } else {
      std::printf(" %s %.2f", names[c], ms.Quantile(0.5));
    }
  }
  std::printf("\n");
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

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
  int rounds = 301;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
  }

  // Round trip: the component with and without line-error counters, raw calls, the peer.
  const auto rt = Rounds({[] { return RoundTripTComPort(Pty()); },
                          [] { return RoundTripTComPort(PlainPty()); }, RoundTripRaw,
                          RoundTripPeer},
                         rounds);
  Ratios rtRaw, rtPeer, plainRaw, plainPeer;
  for (const auto& t : rt) {
    rtRaw.Add(t[0], t[2]);
    rtPeer.Add(t[0], t[3]);
    plainRaw.Add(t[1], t[2]);
    plainPeer.Add(t[1], t[3]);
  }
  const auto bulk = Rounds({BulkTComPort, BulkRaw, BulkPeer}, rounds);
  Ratios bulkRaw, bulkPeer;  // time ratios; throughput is their inverse
  for (const auto& t : bulk) {
    bulkRaw.Add(t[0], t[1]);
    bulkPeer.Add(t[0], t[2]);
  }

  PrintTimes("round trip", rt, {"component", "component-no-counters", "raw", "peer"});
  PrintTimes("bulk", bulk, {"component", "raw", "peer"});
  std::printf("round trip (%d per run): %s raw (target <= 1.30: %s), %s peer (target <= 1.00: %s)\n",
              kRoundTrips, rtRaw.Text().c_str(),
              Verdict(!rtRaw.values.empty() && rtRaw.Quantile(0.5) <= 1.3), rtPeer.Text().c_str(),
              Verdict(!rtPeer.values.empty() && rtPeer.Quantile(0.5) <= 1.0));
  std::printf("round trip without line-error counters: %s raw, %s peer\n", plainRaw.Text().c_str(),
              plainPeer.Text().c_str());
  std::printf("bulk 1 MiB: %s raw throughput (target >= 0.80: %s), %s peer throughput\n",
              bulkRaw.Text(true).c_str(),
              Verdict(!bulkRaw.values.empty() && 1 / bulkRaw.Quantile(0.5) >= 0.8),
              bulkPeer.Text(true).c_str());
  unlink(getenv(ptymodem::kModemStateEnv));
  return 0;
}
