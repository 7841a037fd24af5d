#include "tools/boardsim/ptyboard.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace boardsim {

namespace {

// One frame at 9600 baud, 8N1: ten bits.
constexpr std::int64_t kFrameNs = 1041667;
// The longest the loop sleeps before it looks at DTR again.
constexpr std::int64_t kLinePollNs = 1000000;

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

PtyBoard::PtyBoard(board::BoardSettings settings, const std::string& stateFile)
    : origin_(SteadyNs()), board_(*this, std::move(settings)) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[64] = {};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    if (master_ >= 0) close(master_);
    throw std::runtime_error("cannot open a pty");
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  modem_ = ptymodem::ModemState::Create(stateFile, slavePath_);
  if (slave_ < 0 || !modem_) {
    if (slave_ >= 0) close(slave_);
    close(master_);
    throw std::runtime_error("cannot create the modem state file " + stateFile);
  }
  lines_ = modem_->Lines();
  board_.Start((lines_ & TIOCM_DTR) != 0);
}

PtyBoard::~PtyBoard() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void PtyBoard::Run() {
  while (!stop_.load()) {
    // Timed calls that are due.
    while (!timers_.empty() && timers_.begin()->first.first <= NowNs()) {
      auto node = timers_.extract(timers_.begin());
      node.mapped()();
    }
    // DTR, compared with what the board last saw (a change before Run counts too).
    const std::uint32_t now = modem_->Lines();
    if ((now ^ lines_) & TIOCM_DTR) board_.OnDtr((now & TIOCM_DTR) != 0);
    lines_ = now;
    // The host's bytes, waiting at most until the next timed call.
    std::int64_t waitNs = kLinePollNs;
    if (!timers_.empty()) waitNs = std::clamp(timers_.begin()->first.first - NowNs(), std::int64_t{0}, waitNs);
    if (master_ < 0) {
      const timespec pause{0, static_cast<long>(waitNs)};
      nanosleep(&pause, nullptr);
      continue;
    }
    pollfd p{master_, POLLIN, 0};
    const timespec timeout{0, static_cast<long>(waitNs)};
    if (ppoll(&p, 1, &timeout, nullptr) <= 0 || !(p.revents & POLLIN)) continue;
    std::uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    for (ssize_t i = 0; i < n && master_ >= 0; ++i) board_.OnReceive(buffer[i]);
  }
}

std::int64_t PtyBoard::NowNs() { return SteadyNs() - origin_; }

void PtyBoard::Send(std::uint8_t byte) {
  // The byte arrives one frame after the line is free.
  lineFreeAt_ = std::max(lineFreeAt_, NowNs()) + kFrameNs;
  timers_.emplace(std::make_pair(lineFreeAt_, sequence_++), [this, byte] { WriteToHost(byte); });
}

void PtyBoard::WriteToHost(std::uint8_t byte) {
  if (master_ < 0) return;
  for (;;) {
    if (write(master_, &byte, 1) == 1) return;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 100) > 0) continue;
    }
    return;  // the host is not reading: the byte is lost, as on a real line
  }
}

void PtyBoard::SetDsr(bool on) { modem_->SetDsr(on); }

void PtyBoard::After(std::int64_t delayNs, std::function<void()> fn) {
  timers_.emplace(std::make_pair(NowNs() + delayNs, sequence_++), std::move(fn));
}

void PtyBoard::Unplug() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void PtyBoard::InjectLineError(board::LineError error) {
  switch (error) {
    case board::LineError::kFrame: modem_->CountLineError(ptymodem::kCountFrame); break;
    case board::LineError::kOverrun: modem_->CountLineError(ptymodem::kCountOverrun); break;
    case board::LineError::kParity: modem_->CountLineError(ptymodem::kCountParity); break;
    case board::LineError::kBreak: modem_->CountLineError(ptymodem::kCountBreak); break;
  }
}

}  // namespace boardsim
