// A board::Line for firmware tests: a manual clock, a queue of timed calls, and a record of
// everything the board sent and did.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "board/line.h"

namespace board::testing {

class FakeLine : public Line {
 public:
  struct Sent {
    std::int64_t atNs;
    std::uint8_t byte;
    bool operator==(const Sent&) const = default;
  };

  std::int64_t NowNs() override { return now_; }
  void Send(std::uint8_t byte) override { sent.push_back({now_, byte}); }
  void SetDsr(bool on) override { dsr.emplace_back(now_, on); }
  void After(std::int64_t delayNs, std::function<void()> fn) override {
    queue_.emplace(std::make_pair(now_ + delayNs, next_++), std::move(fn));
  }
  void Unplug() override { unplugged = true; }
  void InjectLineError(LineError error) override { lineErrors.push_back(error); }

  // Runs every call due up to atNs, in time order, and leaves the clock there.
  void RunUntil(std::int64_t atNs) {
    while (!queue_.empty() && queue_.begin()->first.first <= atNs) {
      auto node = queue_.extract(queue_.begin());
      now_ = node.key().first;
      node.mapped()();
    }
    now_ = atNs;
  }
  void RunFor(std::int64_t ns) { RunUntil(now_ + ns); }
  // Runs everything that is queued.
  void RunAll() {
    while (!queue_.empty()) RunUntil(queue_.begin()->first.first);
  }

  std::vector<std::uint8_t> SentBytes() const {
    std::vector<std::uint8_t> bytes;
    for (const Sent& s : sent) bytes.push_back(s.byte);
    return bytes;
  }

  std::vector<Sent> sent;
  std::vector<std::pair<std::int64_t, bool>> dsr;
  std::vector<LineError> lineErrors;
  bool unplugged = false;

 private:
  std::int64_t now_ = 0;
  std::uint64_t next_ = 0;
  std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> queue_;
};

constexpr std::int64_t kMs = 1000000;

}  // namespace board::testing
