// The line engine of a simulated serial device and its far end's side: frames in both
// directions, the input queue, device events, line signals and the wire log. The host-side
// operations that Serial calls live in serial_host.cpp.
#include "platform/sim/serial_device.h"

#include "platform/sim/kernel.h"

namespace sim {

namespace {

// A new device: 9600 8N1, DTR and RTS control enabled.
DCB InitialDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

}  // namespace

SerialDevice::SerialDevice(std::string name, Scheduler& scheduler, Kernel& kernel)
    : name_(std::move(name)), scheduler_(scheduler), kernel_(kernel) {
  dcb_ = InitialDcb();
  defaultDcb_ = dcb_;
}

// --- the far end's side ---

void SerialDevice::Attach(FarEnd* farEnd) {
  Scheduler::Lock lock(scheduler_.Mutex());
  far_ = farEnd;
  if (!Scheduler::InCallback()) farIdle_.wait(lock, [&] { return farCalls_ == 0; });
}

template <class Call>
void SerialDevice::CallFar(Call call) {
  FarEnd* farEnd = nullptr;
  {
    Scheduler::Lock lock(scheduler_.Mutex());
    if (far_ == nullptr) return;
    farEnd = far_;
    ++farCalls_;
  }
  call(*farEnd);
  Scheduler::Lock lock(scheduler_.Mutex());
  if (--farCalls_ == 0) farIdle_.notify_all();
}

void SerialDevice::Send(std::uint8_t byte) { Send(std::vector<std::uint8_t>{byte}); }

void SerialDevice::Send(std::string_view bytes) {
  Send(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void SerialDevice::Send(const std::vector<std::uint8_t>& bytes) {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (!present_) return;
  farQueue_.insert(farQueue_.end(), bytes.begin(), bytes.end());
  StartFarTx(lock);
  scheduler_.Changed(lock);
}

void SerialDevice::SetDSR(bool on) { SetFarLine(Line::DSR, on); }
void SerialDevice::SetCTS(bool on) { SetFarLine(Line::CTS, on); }
void SerialDevice::SetRing(bool on) { SetFarLine(Line::Ring, on); }
void SerialDevice::SetDCD(bool on) { SetFarLine(Line::DCD, on); }

void SerialDevice::SetFarLine(Line line, bool on) {
  Scheduler::Lock lock(scheduler_.Mutex());
  bool* level = nullptr;
  DWORD event = 0;
  switch (line) {
    case Line::DSR: level = &dsr_; event = EV_DSR; break;
    case Line::CTS: level = &cts_; event = EV_CTS; break;
    case Line::Ring: level = &ring_; event = EV_RING; break;
    case Line::DCD: level = &dcd_; event = EV_RLSD; break;
    default: return;
  }
  if (*level == on) return;
  // The converter reports the change in a packet of its own, with what was waiting before it.
  if (converter_ && open_ != nullptr) SendPacket(lock);
  *level = on;
  LogLine(line, on);
  if (open_ != nullptr) Raise(event);
  // CTS or DSR output flow control may hold or release the transmitter.
  StartTx(lock);
  scheduler_.Changed(lock);
}

void SerialDevice::InjectLineError(DWORD ceFlags) {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (open_ == nullptr || ceFlags == 0) return;
  RaiseLineErrors(ceFlags);
  AfterErrorLocked(lock);
  scheduler_.Changed(lock);
}

void SerialDevice::InjectBreak() {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (!present_) return;
  LogLine(Line::FarBreak, true);
  if (open_ != nullptr) {
    RaiseLineErrors(CE_BREAK);
    AfterErrorLocked(lock);
  }
  scheduler_.Changed(lock);
}

void SerialDevice::Unplug() {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (!present_) return;
  present_ = false;
  Detach(lock, ERROR_ACCESS_DENIED);
  // Whatever was on the line or queued in the converter is gone.
  if (txBusy_) scheduler_.CancelLocked(txEvent_);
  txBusy_ = false;
  txClock_.Reset();
  outQueue_.clear();
  immediate_.reset();
  if (farBusy_) scheduler_.CancelLocked(farEvent_);
  farBusy_ = false;
  farClock_.Reset();
  farQueue_.clear();
  DropChipBuffer();
  inQueue_.clear();
  errors_ = 0;
  SetHostLine(lock, Line::DTR, false);
  SetHostLine(lock, Line::RTS, false);
  SetHostLine(lock, Line::Break, false);
  scheduler_.Changed(lock);
}

void SerialDevice::Replug() {
  Scheduler::Lock lock(scheduler_.Mutex());
  if (present_) return;
  present_ = true;
  dcb_ = defaultDcb_;
  scheduler_.Changed(lock);
}

// --- what the far end and tests can see ---

bool SerialDevice::DTR() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return dtr_;
}
bool SerialDevice::RTS() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return rts_;
}
bool SerialDevice::Break() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return break_;
}
bool SerialDevice::DSR() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return dsr_;
}
bool SerialDevice::CTS() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return cts_;
}
DCB SerialDevice::HostDcb() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return dcb_;
}
bool SerialDevice::IsOpen() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return open_ != nullptr;
}
bool SerialDevice::IsPresent() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return present_;
}
DWORD SerialDevice::HostInputCount() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return static_cast<DWORD>(inQueue_.size());
}
DWORD SerialDevice::HostOutputCount() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return static_cast<DWORD>(outQueue_.size() + (txBusy_ ? 1 : 0) + (immediate_ ? 1 : 0));
}
std::int64_t SerialDevice::FrameNs() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return RunOffsetNs(1, FrameOf(dcb_));
}
std::vector<WireRecord> SerialDevice::WireLog() const {
  Scheduler::Lock lock(scheduler_.Mutex());
  return log_;
}
std::vector<std::uint8_t> SerialDevice::WireBytes(Direction direction) const {
  Scheduler::Lock lock(scheduler_.Mutex());
  std::vector<std::uint8_t> bytes;
  for (const WireRecord& record : log_) {
    if (record.kind == WireRecord::Kind::Byte && record.direction == direction) {
      bytes.push_back(record.byte);
    }
  }
  return bytes;
}
void SerialDevice::ClearWireLog() {
  Scheduler::Lock lock(scheduler_.Mutex());
  log_.clear();
}

// --- the engine ---

bool SerialDevice::TxHeld() const {
  return xoffHeld_ || (dcb_.fOutxCtsFlow && !cts_) || (dcb_.fOutxDsrFlow && !dsr_);
}

void SerialDevice::StartTx(Scheduler::Lock& lock) {
  if (txBusy_ || break_ || !present_) return;
  std::uint8_t byte = 0;
  if (immediate_) {
    // A character sent with TransmitCommChar goes first, flow control or not.
    byte = *immediate_;
    immediate_.reset();
  } else if (!outQueue_.empty() && !TxHeld()) {
    byte = outQueue_.front();
    outQueue_.pop_front();
  } else {
    return;
  }
  const auto [start, end] = txClock_.Next(scheduler_.NowNs(), FrameOf(dcb_));
  txBusy_ = true;
  txByte_ = byte;
  txStart_ = start;
  if (dcb_.fRtsControl == RTS_CONTROL_TOGGLE) SetHostLine(lock, Line::RTS, true);
  txEvent_ = scheduler_.ScheduleLocked(lock, end, [this] { TxFrameDone(); });
}

void SerialDevice::TxFrameDone() {
  Scheduler::Lock lock(scheduler_.Mutex());
  txBusy_ = false;
  txEvent_ = 0;
  const std::uint8_t byte = txByte_;
  log_.push_back(WireRecord{WireRecord::Kind::Byte, Direction::HostToFar, byte, txStart_,
                            scheduler_.NowNs(), Line::DTR, false});
  StartTx(lock);
  PumpWrites(lock);
  if (!txBusy_ && outQueue_.empty() && !immediate_) {
    Raise(EV_TXEMPTY);
    if (dcb_.fRtsControl == RTS_CONTROL_TOGGLE) SetHostLine(lock, Line::RTS, false);
  }
  scheduler_.Changed(lock);
  lock.unlock();
  CallFar([byte](FarEnd& end) { end.OnReceive(byte); });
}

void SerialDevice::StartFarTx(Scheduler::Lock& lock) {
  if (farBusy_ || farQueue_.empty() || !present_) return;
  farByte_ = farQueue_.front();
  farQueue_.pop_front();
  const auto [start, end] = farClock_.Next(scheduler_.NowNs(), FrameOf(dcb_));
  farBusy_ = true;
  farStart_ = start;
  farEvent_ = scheduler_.ScheduleLocked(lock, end, [this] { FarFrameDone(); });
}

void SerialDevice::FarFrameDone() {
  Scheduler::Lock lock(scheduler_.Mutex());
  farBusy_ = false;
  farEvent_ = 0;
  log_.push_back(WireRecord{WireRecord::Kind::Byte, Direction::FarToHost, farByte_, farStart_,
                            scheduler_.NowNs(), Line::DTR, false});
  if (open_ != nullptr) {
    if (converter_) {
      ChipReceive(lock, farByte_);
    } else {
      ReceiveByte(lock, farByte_);
    }
  }
  StartFarTx(lock);
  scheduler_.Changed(lock);
}

void SerialDevice::ReceiveByte(Scheduler::Lock& lock, std::uint8_t byte) {
  if (dcb_.fOutX && (byte == static_cast<std::uint8_t>(dcb_.XonChar) ||
                     byte == static_cast<std::uint8_t>(dcb_.XoffChar))) {
    // Output flow control consumes XON and XOFF.
    xoffHeld_ = byte == static_cast<std::uint8_t>(dcb_.XoffChar);
    StartTx(lock);
    return;
  }
  if (dcb_.fNull && byte == 0) return;
  DWORD events = EV_RXCHAR;
  if (byte == static_cast<std::uint8_t>(dcb_.EvtChar)) events |= EV_RXFLAG;
  if (!reads_.empty()) {
    Transfer& read = reads_.front();
    read.readBuffer[read.done++] = byte;
    if (read.done == read.length || read.firstByte) {
      Finish(read, 0);
      reads_.pop_front();
      StartFrontRead(lock);
    } else {
      ArmIntervalTimer(lock);
    }
  } else if (inQueue_.size() < inLimit_) {
    inQueue_.push_back(byte);
    if (inQueue_.size() == inLimit_ * 8 / 10 && inLimit_ >= 10) events |= EV_RX80FULL;
  } else {
    // The byte is lost.
    errors_ |= CE_RXOVER;
    events |= EV_ERR;
  }
  Raise(events);
  if (events & EV_ERR) AfterErrorLocked(lock);
}

void SerialDevice::Raise(DWORD events) {
  history_ |= events & mask_;
  if (wait_ && history_ != 0) {
    const DWORD happened = history_;
    history_ = 0;
    FinishWait(happened);
  }
}

void SerialDevice::RaiseLineErrors(DWORD ceFlags) {
  errors_ |= ceFlags;
  DWORD events = 0;
  if (ceFlags & CE_BREAK) events |= EV_BREAK;
  if (ceFlags & ~CE_BREAK) events |= EV_ERR;
  Raise(events);
}

void SerialDevice::AfterErrorLocked(Scheduler::Lock& lock) {
  if (!dcb_.fAbortOnError) return;
  abortLatched_ = true;
  FinishReads(lock, ERROR_OPERATION_ABORTED);
  FinishWrites(lock, ERROR_OPERATION_ABORTED);
}

void SerialDevice::SetHostLine(Scheduler::Lock& lock, Line line, bool on) {
  bool& level = line == Line::DTR ? dtr_ : line == Line::RTS ? rts_ : break_;
  if (level == on) return;
  level = on;
  LogLine(line, on);
  // The far end hears of it at this instant, in scheduler context.
  if (line == Line::Break) {
    scheduler_.ScheduleLocked(lock, scheduler_.NowNs(), [this, on] {
      CallFar([on](FarEnd& end) { end.OnHostBreak(on); });
    });
  } else {
    scheduler_.ScheduleLocked(lock, scheduler_.NowNs(), [this, dtr = dtr_, rts = rts_] {
      CallFar([dtr, rts](FarEnd& end) { end.OnHostLines(dtr, rts); });
    });
  }
}

void SerialDevice::LogLine(Line line, bool on) {
  const bool hostOutput = line == Line::DTR || line == Line::RTS || line == Line::Break;
  const std::int64_t now = scheduler_.NowNs();
  log_.push_back(WireRecord{WireRecord::Kind::Line,
                            hostOutput ? Direction::HostToFar : Direction::FarToHost, 0, now, now,
                            line, on});
}

void SerialDevice::Finish(Transfer& transfer, DWORD error) {
  if (transfer.totalTimer != 0) scheduler_.CancelLocked(transfer.totalTimer);
  if (transfer.intervalTimer != 0) scheduler_.CancelLocked(transfer.intervalTimer);
  transfer.totalTimer = 0;
  transfer.intervalTimer = 0;
  transfer.overlapped->InternalHigh = transfer.done;
  transfer.overlapped->Internal = StatusOf(error);
  kernel_.SignalLocked(transfer.overlapped->hEvent);
}

void SerialDevice::FinishReads(Scheduler::Lock& /*lock*/, DWORD error) {
  for (Transfer& read : reads_) Finish(read, error);
  reads_.clear();
}

void SerialDevice::FinishWrites(Scheduler::Lock& /*lock*/, DWORD error) {
  for (Transfer& write : writes_) Finish(write, error);
  writes_.clear();
}

void SerialDevice::FinishWait(DWORD mask) {
  *wait_->mask = mask;
  wait_->overlapped->InternalHigh = sizeof(DWORD);  // the event mask is what a wait transfers
  wait_->overlapped->Internal = StatusOf(0);
  kernel_.SignalLocked(wait_->overlapped->hEvent);
  wait_.reset();
}

void SerialDevice::Detach(Scheduler::Lock& lock, DWORD transferError) {
  if (open_ == nullptr) return;
  if (transferError == ERROR_ACCESS_DENIED) open_->dead = true;
  FinishReads(lock, transferError);
  FinishWrites(lock, transferError);
  if (wait_) FinishWait(0);
  open_ = nullptr;
  mask_ = 0;
  history_ = 0;
}

}  // namespace sim
