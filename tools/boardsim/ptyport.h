// The board on the master side of a pty, with the modem lines in the modem-line shim's state
// file (tools/ptymodem/modemstate.h): the host's DTR is read from it and the board's DSR written
// to it. The host's program must run with the shim preloaded and LCDWRITE_MODEM_STATE naming
// the file.
//
// Unplugging closes the master (the host then sees its port fail as a vanished USB port does);
// line errors are counted in the state file, where the host's line-error counters find them.
#pragma once

#include <memory>
#include <string>

#include "tools/boardsim/boardport.h"
#include "tools/ptymodem/modemstate.h"

namespace boardsim {

class PtyPort : public BoardPort {
 public:
  // Opens the pty and creates the modem state file for its slave. Throws std::runtime_error
  // when either fails.
  explicit PtyPort(const std::string& stateFile);
  ~PtyPort() override;
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  const std::string& HostPath() const override { return slavePath_; }
  int Fd() const override { return master_; }
  bool HostDtr() override { return modem_->Dtr(); }
  void SetDsr(bool on) override { modem_->SetDsr(on); }
  std::int64_t FrameNs() const override;
  void Unplug() override;
  void InjectLineError(board::LineError error) override;

 private:
  int master_ = -1;
  int slave_ = -1;  // held open so the master does not hang up between the host's opens
  std::string slavePath_;
  std::unique_ptr<ptymodem::ModemState> modem_;
};

}  // namespace boardsim
