// A pseudo-terminal for serial backend tests and benchmarks: the caller holds the master side
// and plays the far end; the backend opens the slave by its device name ("\\.\pts/N").
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "platform/portname.h"

namespace ptymodem {

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[64] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      CloseMaster();
      return;
    }
    slavePath_ = name;
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  // "/dev/pts/N"
  const std::string& SlavePath() const { return slavePath_; }
  // "\\.\pts/N": the name the serial API opens.
  std::string DeviceName() const { return plat::DevicePathOf(slavePath_.substr(5)); }

  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Writes every byte to the master; false if that fails within timeoutMs.
  bool Send(std::string_view bytes, int timeoutMs = 5000) {
    while (!bytes.empty()) {
      const ssize_t n = write(master_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{master_, POLLOUT, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
      } else if (!(n < 0 && errno == EINTR)) {
        return false;
      }
    }
    return true;
  }

  // Reads from the master until count bytes have come or timeoutMs passes without a byte.
  std::string Receive(std::size_t count, int timeoutMs = 5000) {
    std::string received;
    while (received.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) break;
      char buffer[4096];
      const std::size_t want = std::min(sizeof buffer, count - received.size());
      const ssize_t n = read(master_, buffer, want);
      if (n > 0) {
        received.append(buffer, static_cast<std::size_t>(n));
      } else if (!(n < 0 && (errno == EAGAIN || errno == EINTR))) {
        break;
      }
    }
    return received;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace ptymodem
