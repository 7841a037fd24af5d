// nullmodem: two ptys wired back to back like two serial ports with a null-modem cable, for
// running the hardware test's flow (scripts/test-hardware.sh --twin) on a machine without
// converters.
//
//   nullmodem STATE_A STATE_B
//
// Prints the two slaves ("/dev/pts/N", one a line), then relays until SIGTERM or SIGINT: the
// bytes written to one slave can be read from the other, and each side's DTR and RTS reach the
// other side as DSR and CTS. The modem lines live in two state files of the modem-line shim
// (tools/ptymodem/modemstate.h); each program on a slave runs with the shim preloaded and
// LCDWRITE_MODEM_STATE naming its side's file. The bytes cross at once: neither wire time nor
// a converter's latency is modelled.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "tools/ptymodem/modemstate.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) { g_stop.store(true); }

struct Side {
  int master = -1;
  int slave = -1;  // held open so the master does not hang up between the opens of its program
  std::string path;
  std::unique_ptr<ptymodem::ModemState> modem;
};

bool OpenSide(Side& side, const char* stateFile) {
  side.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[64] = {};
  if (side.master < 0 || grantpt(side.master) != 0 || unlockpt(side.master) != 0 ||
      ptsname_r(side.master, name, sizeof name) != 0) {
    return false;
  }
  side.path = name;
  side.slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  side.modem = ptymodem::ModemState::Create(stateFile, side.path);
  return side.slave >= 0 && side.modem != nullptr;
}

// Moves what one side's program wrote to the other side; false when the relay cannot go on.
bool Relay(const Side& from, const Side& to) {
  char buffer[4096];
  const ssize_t n = read(from.master, buffer, sizeof buffer);
  if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO;  // EIO: no opener now
  ssize_t done = 0;
  while (done < n) {
    const ssize_t w = write(to.master, buffer + done, static_cast<std::size_t>(n - done));
    if (w > 0) {
      done += w;
    } else if (w < 0 && errno == EAGAIN) {
      pollfd p{to.master, POLLOUT, 0};
      if (poll(&p, 1, 100) <= 0) return true;  // nobody reads that side: the bytes are lost
    } else if (!(w < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

// One side's DTR and RTS as the other side's DSR and CTS.
void CrossLines(const Side& from, const Side& to) {
  const std::uint32_t lines = from.modem->Lines();
  const std::uint32_t seen = to.modem->Lines();
  if (((lines & TIOCM_DTR) != 0) != ((seen & TIOCM_DSR) != 0)) to.modem->SetDsr(lines & TIOCM_DTR);
  if (((lines & TIOCM_RTS) != 0) != ((seen & TIOCM_CTS) != 0)) to.modem->SetCts(lines & TIOCM_RTS);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: nullmodem STATE_A STATE_B\n");
    return 64;
  }
  Side a, b;
  if (!OpenSide(a, argv[1]) || !OpenSide(b, argv[2])) {
    std::fprintf(stderr, "nullmodem: cannot open the ptys or their state files\n");
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::printf("%s\n%s\n", a.path.c_str(), b.path.c_str());
  std::fflush(stdout);

  // One thread per side waits for its program's lines to change; this one moves the bytes.
  // Every wait ends at least every 100 ms to see a stop request.
  auto lines = [](const Side& from, const Side& to) {
    std::uint32_t seen = from.modem->Lines();
    CrossLines(from, to);
    while (!g_stop.load()) {
      if (from.modem->WaitHostLines(seen, 100)) CrossLines(from, to);
    }
  };
  std::thread aLines(lines, std::cref(a), std::cref(b));
  std::thread bLines(lines, std::cref(b), std::cref(a));
  int status = 0;
  while (!g_stop.load()) {
    pollfd p[2] = {{a.master, POLLIN, 0}, {b.master, POLLIN, 0}};
    if (poll(p, 2, 100) <= 0) continue;
    if (((p[0].revents & POLLIN) && !Relay(a, b)) || ((p[1].revents & POLLIN) && !Relay(b, a))) {
      status = 1;
      g_stop.store(true);
    }
  }
  aLines.join();
  bLines.join();
  return status;
}
