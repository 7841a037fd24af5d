#include "tools/boardsim/ptyport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

namespace boardsim {

namespace {
// One frame at 9600 baud, 8N1: ten bits.
constexpr std::int64_t kFrameNs = 1041667;
}  // namespace

PtyPort::PtyPort(const std::string& stateFile) {
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
}

PtyPort::~PtyPort() { Unplug(); }

std::int64_t PtyPort::FrameNs() const { return kFrameNs; }

void PtyPort::Unplug() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void PtyPort::InjectLineError(board::LineError error) {
  switch (error) {
    case board::LineError::kFrame: modem_->CountLineError(ptymodem::kCountFrame); break;
    case board::LineError::kOverrun: modem_->CountLineError(ptymodem::kCountOverrun); break;
    case board::LineError::kParity: modem_->CountLineError(ptymodem::kCountParity); break;
    case board::LineError::kBreak: modem_->CountLineError(ptymodem::kCountBreak); break;
  }
}

}  // namespace boardsim
