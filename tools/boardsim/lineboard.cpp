#include "tools/boardsim/lineboard.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace boardsim {

namespace {

// The longest the loop sleeps before it looks at DTR again.
constexpr std::int64_t kLinePollNs = 1000000;

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LineBoard::LineBoard(BoardPort& port, board::BoardSettings settings)
    : port_(port), origin_(SteadyNs()), board_(*this, std::move(settings)) {
  dtr_ = port_.HostDtr();
  board_.Start(dtr_);
}

void LineBoard::Run() {
  while (!stop_.load()) {
    // Timed calls that are due.
    while (!timers_.empty() && timers_.begin()->first.first <= NowNs()) {
      auto node = timers_.extract(timers_.begin());
      node.mapped()();
    }
    // DTR, compared with what the board last saw (a change before Run counts too).
    const bool dtr = port_.HostDtr();
    if (dtr != dtr_) {
      board_.OnDtr(dtr);
      if (dtr) Count(HangUp::After::kDtrRaised);
    }
    dtr_ = dtr;
    // The host's bytes, waiting at most until the next timed call.
    std::int64_t waitNs = kLinePollNs;
    if (!timers_.empty()) waitNs = std::clamp(timers_.begin()->first.first - NowNs(), std::int64_t{0}, waitNs);
    if (port_.Fd() < 0) {
      const timespec pause{0, static_cast<long>(waitNs)};
      nanosleep(&pause, nullptr);
      continue;
    }
    pollfd p{port_.Fd(), POLLIN, 0};
    const timespec timeout{0, static_cast<long>(waitNs)};
    if (ppoll(&p, 1, &timeout, nullptr) <= 0 || !(p.revents & POLLIN)) continue;
    std::uint8_t buffer[256];
    const ssize_t n = read(port_.Fd(), buffer, sizeof buffer);
    for (ssize_t i = 0; i < n && port_.Fd() >= 0; ++i) {
      board_.OnReceive(buffer[i]);
      Count(HangUp::After::kHostBytes);
    }
  }
}

std::int64_t LineBoard::NowNs() { return SteadyNs() - origin_; }

void LineBoard::Send(std::uint8_t byte) {
  // The byte arrives its wire time after the line is free.
  lineFreeAt_ = std::max(lineFreeAt_, NowNs()) + port_.FrameNs();
  timers_.emplace(std::make_pair(lineFreeAt_, sequence_++), [this, byte] { WriteToHost(byte); });
}

void LineBoard::WriteToHost(std::uint8_t byte) {
  const int fd = port_.Fd();
  if (fd < 0) return;
  for (;;) {
    if (write(fd, &byte, 1) == 1) return;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 100) > 0) continue;
    }
    return;  // the host is not reading: the byte is lost, as on a real line
  }
}

void LineBoard::SetDsr(bool on) { port_.SetDsr(on); }

void LineBoard::After(std::int64_t delayNs, std::function<void()> fn) {
  timers_.emplace(std::make_pair(NowNs() + delayNs, sequence_++), std::move(fn));
}

void LineBoard::Unplug() {
  if (port_.Fd() >= 0) hungUpAt_ = SteadyNs();
  port_.Unplug();
}

void LineBoard::Count(HangUp::After kind) {
  long& counter = kind == HangUp::After::kDtrRaised ? dtrRaised_ : hostBytes_;
  ++counter;
  if (mark_.after == kind && counter == mark_.count) {
    if (mark_.delayMs <= 0) Mark();
    else After(std::int64_t{mark_.delayMs} * 1000000, [this] { Mark(); });
  }
  if (counter != hangUp_.count || hangUp_.after != kind) return;
  if (hangUp_.delayMs <= 0) {
    Unplug();
  } else {
    After(std::int64_t{hangUp_.delayMs} * 1000000, [this] { Unplug(); });
  }
}

void LineBoard::Mark() {
  if (markReached_) markReached_(SteadyNs());
}

void LineBoard::InjectLineError(board::LineError error) { port_.InjectLineError(error); }

}  // namespace boardsim
