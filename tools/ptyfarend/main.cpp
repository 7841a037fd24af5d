// ptyfarend: the far end of a pty for a program that runs under Wine and drives it over a
// socket. The serial behaviour table of the Win32 backend runs this way: the pty's slave is a
// COM port of the Wine prefix, its modem lines come from the preload shim (tools/ptymodem),
// and the test asks this program to send, receive, move the far end's lines, count line
// errors and vanish.
//
//   ptyfarend --prefix WINEPREFIX --state FILE [--port COM40] [--preload SHIM] -- PROGRAM ARGS...
//
// It listens on a loopback TCP port, runs PROGRAM with LCDWRITE_FAREND=127.0.0.1:PORT and
// LCDWRITE_FAREND_COM=COM40 in its environment (and LD_PRELOAD=SHIM with the modem state file,
// for that program only), serves it until it ends and exits with its status.
//
// The protocol is one line per request, one line per answer ("ok ..." or "error TEXT"):
//   new                   a fresh pty as the COM port (the old one closed), lines low
//   send HEX              the far end sends these bytes
//   recv COUNT            what the host sent, once COUNT bytes came or none came for 5 s: "ok HEX"
//   set cts|dsr|ring|dcd 0|1
//   lines                 the host's lines: "ok DTR RTS" (0 or 1 each)
//   fault frame|overrun|parity|break   counted as the driver would, with the NUL it came with
//   vanish                the converter is pulled out: the pty's master side closes
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/ptyfarend/hexbytes.h"
#include "tools/ptymodem/modemstate.h"

namespace {

constexpr int kQuietMs = 5000;  // a receive gives up after this long without a byte

struct Options {
  std::string prefix, state, port = "COM40", preload;
  std::vector<std::string> program;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--prefix") {
      options.prefix = value;
    } else if (arg == "--state") {
      options.state = value;
    } else if (arg == "--port") {
      options.port = value;
    } else if (arg == "--preload") {
      options.preload = value;
    } else {
      return false;
    }
  }
  for (++i; i < argc; ++i) options.program.push_back(argv[i]);
  return !options.prefix.empty() && !options.state.empty() && !options.program.empty();
}

using ptyfarend::Hex;
using ptyfarend::Unhex;

// The line: a pty whose slave the Wine prefix knows as the COM port.
class Line {
 public:
  explicit Line(const Options& options) : options_(options) {}
  ~Line() { Close(); }

  std::string Renew() {
    Close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[64] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      return "error cannot open a pty";
    }
    // Held open so the master does not hang up between the host's opens.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Wine's server opens the tty as its controlling terminal: no byte the far end sends may
    // signal it (^C would end it), whatever else the line discipline does before SetCommState.
    termios settings{};
    if (slave_ >= 0 && tcgetattr(slave_, &settings) == 0) {
      settings.c_lflag &= ~static_cast<tcflag_t>(ISIG);
      tcsetattr(slave_, TCSANOW, &settings);
    }
    modem_ = ptymodem::ModemState::Create(options_.state, name);
    if (slave_ < 0 || !modem_) return "error cannot create the modem state file";
    // A link in the prefix's device folder makes the port openable by its name at once.
    std::string port = options_.port;
    for (char& c : port) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::filesystem::path link = std::filesystem::path(options_.prefix) / "dosdevices" / port;
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::error_code error;
    std::filesystem::create_symlink(name, link, error);
    if (error) return "error cannot link " + link.string();
    return "ok";
  }

  std::string Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{master_, POLLOUT, 0};
        if (poll(&p, 1, kQuietMs) <= 0) return "error the host takes nothing";
      } else if (!(n < 0 && errno == EINTR)) {
        return "error write: " + std::string(std::strerror(errno));
      }
    }
    return "ok";
  }

  std::string Receive(std::size_t count) {
    std::string received;
    while (received.size() < count && master_ >= 0) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, kQuietMs) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - received.size()));
      if (n > 0) {
        received.append(buffer, static_cast<std::size_t>(n));
      } else if (!(n < 0 && (errno == EAGAIN || errno == EINTR))) {
        break;
      }
    }
    return "ok " + Hex(received);
  }

  std::string SetLine(const std::string& line, bool on) {
    if (!modem_) return "error no line";
    if (line == "cts") {
      modem_->SetCts(on);
    } else if (line == "dsr") {
      modem_->SetDsr(on);
    } else if (line == "ring") {
      modem_->SetRing(on);
    } else if (line == "dcd") {
      modem_->SetDcd(on);
    } else {
      return "error unknown line " + line;
    }
    return "ok";
  }

  std::string Lines() {
    if (!modem_) return "error no line";
    return std::string("ok ") + (modem_->Dtr() ? "1" : "0") + " " + (modem_->Rts() ? "1" : "0");
  }

  std::string Fault(const std::string& kind) {
    if (!modem_) return "error no line";
    if (kind == "frame") {
      modem_->CountLineError(ptymodem::kCountFrame);
    } else if (kind == "overrun") {
      modem_->CountLineError(ptymodem::kCountOverrun);
    } else if (kind == "parity") {
      modem_->CountLineError(ptymodem::kCountParity);
    } else if (kind == "break") {
      modem_->CountLineError(ptymodem::kCountBreak);
    } else {
      return "error unknown fault " + kind;
    }
    return Send(std::string(1, '\0'));
  }

  std::string Vanish() {
    Close();
    return "ok";
  }

 private:
  void Close() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
  }

  const Options& options_;
  int master_ = -1;
  int slave_ = -1;
  std::unique_ptr<ptymodem::ModemState> modem_;
};

std::string Serve(Line& line, const std::string& request) {
  std::istringstream in(request);
  std::string verb, a, b;
  in >> verb >> a >> b;
  if (verb == "new") return line.Renew();
  if (verb == "send") {
    std::string bytes;
    if (!Unhex(a, bytes)) return "error bad hex";
    return line.Send(bytes);
  }
  if (verb == "recv") return line.Receive(std::strtoul(a.c_str(), nullptr, 10));
  if (verb == "set") return line.SetLine(a, b == "1");
  if (verb == "lines") return line.Lines();
  if (verb == "fault") return line.Fault(a);
  if (verb == "vanish") return line.Vanish();
  return "error unknown request " + verb;
}

// Answers a connected client's requests until it closes the connection.
void ServeClient(int client, Line& line) {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const std::size_t newline = pending.find('\n');
    if (newline != std::string::npos) {
      const std::string request = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      const std::string answer = Serve(line, request) + "\n";
      std::size_t sent = 0;
      while (sent < answer.size()) {
        const ssize_t n = write(client, answer.data() + sent, answer.size() - sent);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) sent += static_cast<std::size_t>(n);
      }
      continue;
    }
    const ssize_t n = read(client, buffer, sizeof buffer);
    if (n == 0) return;
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: ptyfarend --prefix WINEPREFIX --state FILE [--port COM40] "
                 "[--preload SHIM] -- PROGRAM ARGS...\n");
    return 64;
  }
  signal(SIGPIPE, SIG_IGN);

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("ptyfarend: socket");
    return 1;
  }
  Line line(options);
  if (const std::string first = line.Renew(); first != "ok") {
    std::fprintf(stderr, "ptyfarend: %s\n", first.c_str());
    return 1;
  }

  const pid_t child = fork();
  if (child == 0) {
    setenv("LCDWRITE_FAREND", ("127.0.0.1:" + std::to_string(ntohs(address.sin_port))).c_str(), 1);
    setenv("LCDWRITE_FAREND_COM", options.port.c_str(), 1);
    if (!options.preload.empty()) {
      setenv("LD_PRELOAD", options.preload.c_str(), 1);
      setenv(ptymodem::kModemStateEnv, options.state.c_str(), 1);
    }
    std::vector<char*> args;
    for (std::string& arg : options.program) args.push_back(arg.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::perror("ptyfarend: exec");
    _exit(127);
  }
  if (child < 0) {
    std::perror("ptyfarend: fork");
    return 1;
  }

  int status = 0;
  for (;;) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ServeClient(client, line);
    close(client);
  }
  close(listener);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
