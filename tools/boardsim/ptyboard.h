// The board's firmware on the master side of a real pty, for end-to-end runs of the real
// program on Linux (and of the Windows build under Wine, which maps a COM port to the slave).
//
// A pty has no modem lines; the modem-line shim (tools/ptymodem/modemstate.h) supplies them:
// the host's DTR is read from the shim's state file and the board's DSR written to it. The
// host's program must run with the shim preloaded and LCDWRITE_MODEM_STATE naming the file.
//
// One thread runs the firmware: it reads the host's bytes from the master, watches DTR, and
// runs the firmware's timed calls on the real clock. Answers leave after a byte's wire time at
// 9600 8N1 (a pty itself takes none). Converter faults: unplugging closes the master (the host
// then sees its port fail as a vanished USB port does); line errors are counted in the state
// file, where the host's line-error counters find them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "board/firmware.h"
#include "tools/ptymodem/modemstate.h"

namespace boardsim {

class PtyBoard : private board::Line {
 public:
  // Opens the pty and creates the modem state file for its slave. Throws std::runtime_error
  // when either fails.
  PtyBoard(board::BoardSettings settings, const std::string& stateFile);
  ~PtyBoard() override;
  PtyBoard(const PtyBoard&) = delete;
  PtyBoard& operator=(const PtyBoard&) = delete;

  // "/dev/pts/N"
  const std::string& SlavePath() const { return slavePath_; }

  // Runs the firmware until Stop (any thread, or a signal handler through the flag).
  void Run();
  void Stop() { stop_.store(true); }
  std::atomic<bool>& StopFlag() { return stop_; }

  board::Memory Stored() const { return board_.Stored(); }

 private:
  // board::Line, on the firmware's thread.
  std::int64_t NowNs() override;
  void Send(std::uint8_t byte) override;
  void SetDsr(bool on) override;
  void After(std::int64_t delayNs, std::function<void()> fn) override;
  void Unplug() override;
  void InjectLineError(board::LineError error) override;

  void WriteToHost(std::uint8_t byte);

  int master_ = -1;
  int slave_ = -1;  // held open so the master does not hang up between the host's opens
  std::string slavePath_;
  std::unique_ptr<ptymodem::ModemState> modem_;
  std::uint32_t lines_ = 0;  // the modem lines as the board last saw them
  std::atomic<bool> stop_{false};
  std::int64_t origin_ = 0;
  std::int64_t lineFreeAt_ = 0;  // when the last queued answer has fully arrived
  std::uint64_t sequence_ = 0;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> timers_;
  board::Board board_;
};

}  // namespace boardsim
