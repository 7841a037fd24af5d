#include "tools/boardsim/ttyport.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>


namespace boardsim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

TtyPort::TtyPort(const std::string& path) : path_(path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) Fail("cannot open " + path);
  try {
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) Fail(path + " is in use");
    ioctl(fd_, TIOCEXCL);
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) Fail(path + " is no tty");
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) Fail("cannot set up " + path);
    tcflush(fd_, TCIOFLUSH);
    // Opening raised DTR; the board's DSR starts low until the firmware says otherwise.
    SetDsr(false);

    struct stat node {};
    if (fstat(fd_, &node) != 0) Fail("cannot stat " + path);
    latency_.Request(fd_, path, node, latencyNotes_);
    hostDtr_ = ReadDsr();
  } catch (...) {
    close(fd_);
    fd_ = -1;
    throw;
  }
}

TtyPort::~TtyPort() {
  if (fd_ < 0) return;
  std::vector<std::string> notes;
  latency_.Restore(fd_, notes);
  for (const std::string& note : notes) std::fprintf(stderr, "boardsim: %s\n", note.c_str());
  close(fd_);
}

bool TtyPort::ReadDsr() {
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) return hostDtr_;
  return (lines & TIOCM_DSR) != 0;
}

bool TtyPort::HostDtr() {
  if (fd_ < 0) return hostDtr_;
  if (counters_) {
    serial_icounter_struct counts{};
    if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) {
      counters_ = false;
    } else if (counts.dsr == dsrChanges_) {
      return hostDtr_;
    } else {
      dsrChanges_ = counts.dsr;
    }
  }
  hostDtr_ = ReadDsr();
  return hostDtr_;
}

void TtyPort::SetDsr(bool on) {
  if (fd_ < 0) return;
  int dtr = TIOCM_DTR;
  ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &dtr);
}

void TtyPort::Unplug() {
  std::fprintf(stderr, "boardsim: a real line cannot be unplugged by the simulator; fault ignored\n");
}

void TtyPort::InjectLineError(board::LineError) {
  std::fprintf(stderr, "boardsim: a real line cannot be given line errors; fault ignored\n");
}

}  // namespace boardsim
