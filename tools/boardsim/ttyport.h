// The board on a real tty: a USB-serial converter wired back to back with the host's (TX to RX
// both ways, the host's DTR to this side's DSR, this side's DTR to the host's DSR), for the test
// on real hardware (scripts/test-hardware.sh).
//
// The port runs raw at 9600 8N1 without flow control and is held exclusively. Its converter is
// asked for low latency like the host's (platform/ttylatency.h), or every byte from the host
// would wait for this side's latency timer before the board sees it; the lines saying what was
// found and set are kept for the caller to print. The host's DTR is this side's DSR input:
// read once, then again whenever the driver's DSR change counter moves (a counter read costs
// no USB transfer; reading the line itself does). Answers take their real time on the wire.
//
// Faults a scenario may ask for cannot be made on a real line: a pulled cable or a framing
// error. Those are reported on standard error and otherwise ignored.
#pragma once

#include <string>
#include <vector>

#include "platform/ttylatency.h"
#include "tools/boardsim/boardport.h"

namespace boardsim {

class TtyPort : public BoardPort {
 public:
  // Opens and sets up path. Throws std::runtime_error when that fails.
  explicit TtyPort(const std::string& path);
  // Puts the converter's latency setting back and closes the port.
  ~TtyPort() override;
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  const std::string& HostPath() const override { return path_; }
  int Fd() const override { return fd_; }
  bool HostDtr() override;
  void SetDsr(bool on) override;
  std::int64_t FrameNs() const override { return 0; }
  void Unplug() override;
  void InjectLineError(board::LineError error) override;

  // What the latency request found and did (and, after the destructor, nothing more).
  const std::vector<std::string>& LatencyNotes() const { return latencyNotes_; }

 private:
  bool ReadDsr();

  std::string path_;
  int fd_ = -1;
  plat::TtyLatency latency_;
  std::vector<std::string> latencyNotes_;
  bool counters_ = true;  // the driver counts DSR changes (TIOCGICOUNT)
  int dsrChanges_ = -1;
  bool hostDtr_ = false;
};

}  // namespace boardsim
