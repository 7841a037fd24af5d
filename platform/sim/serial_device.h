// A simulated serial device: the host side that the serial API drives (queues, DCB, time-outs,
// modem lines, device events, overlapped transfers) and the far end of its line, where the
// board's firmware or a test sits.
//
// Bytes travel one frame at a time, back to back from a queue, in both directions: a byte the
// host writes reaches the far end (FarEnd::OnReceive) when its frame has fully arrived, and a
// byte the far end sends enters the host's input queue when its frame has arrived. The frame is
// the host DCB's (see frame_timing.h). Every byte and every line change is written to the wire
// log with its instants.
//
// Far-end callbacks run in scheduler context (virtual clock: on whichever thread moves time on;
// real time: on the scheduler thread) without the machine's lock, and may call any method of
// this class or schedule further events on the machine. The far-end methods of this class may
// be called from any thread; they take the machine's lock themselves.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/converter.h"
#include "platform/sim/frame_timing.h"
#include "platform/sim/objects.h"
#include "platform/sim/scheduler.h"
#include "platform/win32rules/transfers.h"
#include "platform/wintypes.h"

namespace sim {

class Kernel;

// The far end of a line. Not owned by the device; it must outlive its attachment.
class FarEnd {
 public:
  virtual ~FarEnd() = default;
  // A byte from the host has fully arrived.
  virtual void OnReceive(std::uint8_t /*byte*/) {}
  // The host's DTR or RTS output changed (both current levels are given).
  virtual void OnHostLines(bool /*dtr*/, bool /*rts*/) {}
  // The host started or ended a break.
  virtual void OnHostBreak(bool /*on*/) {}
};

enum class Direction { HostToFar, FarToHost };
// Host outputs (DTR, RTS, Break) and far-end outputs (DSR, CTS, Ring, DCD, FarBreak).
enum class Line { DTR, RTS, Break, DSR, CTS, Ring, DCD, FarBreak };

struct WireRecord {
  enum class Kind { Byte, Line };
  Kind kind = Kind::Byte;
  // Byte: who sent it. Line: HostToFar for host outputs, FarToHost for far-end outputs.
  Direction direction = Direction::HostToFar;
  std::uint8_t byte = 0;
  // Byte: the instant its frame started and the instant it had fully arrived.
  // Line: both are the instant of the change.
  std::int64_t startNs = 0;
  std::int64_t endNs = 0;
  Line line = Line::DTR;
  bool on = false;
};

class SerialDevice;

// The object behind an open device handle.
struct HostHandle : KernelObject {
  SerialDevice* device = nullptr;
  DWORD access = 0;
  bool overlapped = false;
  // The device vanished while open: every call but CloseHandle fails with access denied.
  bool dead = false;
};

// How an overlapped operation's state is kept in OVERLAPPED::Internal, as Win32 does: pending,
// success (0), or a failure carrying its Win32 error code.
using plat::win32rules::kStatusPending;
constexpr ULONG_PTR StatusOf(DWORD error) { return error == 0 ? 0 : 0xC0000000u | error; }
constexpr DWORD ErrorOfStatus(ULONG_PTR status) {
  return status == 0 ? 0 : static_cast<DWORD>(status & 0x0FFFFFFFu);
}

class SerialDevice {
 public:
  SerialDevice(std::string name, Scheduler& scheduler, Kernel& kernel);
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // The port name, as given to the machine ("COM3").
  const std::string& Name() const { return name_; }

  // --- the far end's side ---
  // Attaches the far end that receives the host's bytes and line changes (null detaches).
  // Returns when no callback into the previous far end is running any more (unless called from
  // such a callback), so a far end may be destroyed right after detaching.
  void Attach(FarEnd* farEnd);
  // Queues bytes on the far end's transmitter. Dropped while the device is unplugged; bytes
  // that arrive while the host has the port closed are lost (they still appear on the wire).
  void Send(std::uint8_t byte);
  void Send(const std::vector<std::uint8_t>& bytes);
  void Send(std::string_view bytes);
  // The far end's outputs, seen by the host as its modem-status inputs. A change raises
  // EV_DSR, EV_CTS, EV_RING or EV_RLSD.
  void SetDSR(bool on);
  void SetCTS(bool on);
  void SetRing(bool on);
  void SetDCD(bool on);
  // Line errors (CE_ flags) as if the receiver had detected them: they collect in the flags
  // ClearCommError returns; CE_BREAK raises EV_BREAK, any other flag EV_ERR. Ignored while the
  // host has the port closed.
  void InjectLineError(DWORD ceFlags);
  // A break from the far end: CE_BREAK and EV_BREAK.
  void InjectBreak();
  // The device vanishes (a USB converter pulled out): pending waits complete with no event
  // bits, pending transfers fail with ERROR_ACCESS_DENIED, every later call on the open handle
  // fails with ERROR_ACCESS_DENIED (CloseHandle excepted), bytes on the line are lost and
  // CreateFileA of the name fails with ERROR_FILE_NOT_FOUND until Replug.
  void Unplug();
  // Plugs it in again, with the default configuration's DCB.
  void Replug();

  // --- the converter (converter.h) ---
  // Puts a USB-serial converter between the far end and the host. requestedLatency reads the
  // latency the driver keeps for it (the registry's LatencyTimer; nullopt when there is none),
  // which the driver reads at every open. Without a converter a byte from the far end enters
  // the host's input queue the moment its frame has arrived (an ideal converter).
  void SetConverter(const ConverterSettings& settings,
                    std::function<std::optional<DWORD>()> requestedLatency);
  // The latency timer the driver programmed at the last open, in ms; 0 without a converter.
  int LatencyMs() const;
  // The same with the machine's lock held.
  int LatencyMsLocked() const;

  // --- what the far end and tests can see ---
  bool DTR() const;
  bool RTS() const;
  bool Break() const;
  bool DSR() const;
  bool CTS() const;
  DCB HostDcb() const;
  bool IsOpen() const;
  bool IsPresent() const;
  // Bytes in the host's input queue, and bytes written but not fully sent.
  DWORD HostInputCount() const;
  DWORD HostOutputCount() const;
  // The frame time of the host's DCB, rounded to whole nanoseconds (the line itself keeps
  // exact time).
  std::int64_t FrameNs() const;
  std::vector<WireRecord> WireLog() const;
  // The bytes on the wire in one direction, in the order they arrived.
  std::vector<std::uint8_t> WireBytes(Direction direction) const;
  void ClearWireLog();

 private:
  friend class Serial;
  friend class Machine;

  // A read or write in progress.
  struct Transfer {
    std::uint64_t id = 0;
    OVERLAPPED* overlapped = nullptr;
    std::uint8_t* readBuffer = nullptr;
    const std::uint8_t* writeBuffer = nullptr;
    DWORD length = 0;
    DWORD done = 0;
    bool started = false;
    // Read time-out modes: complete with the first byte; the gap allowed between bytes.
    bool firstByte = false;
    std::int64_t intervalNs = 0;
    EventId totalTimer = 0;
    EventId intervalTimer = 0;
  };
  // A pending WaitCommEvent.
  struct Wait {
    DWORD* mask = nullptr;
    OVERLAPPED* overlapped = nullptr;
  };

  // --- the host side, called by Serial with the machine's lock held ---
  // Results are Win32 error codes: 0, ERROR_IO_PENDING, or the failure.
  DWORD OpenLocked(Scheduler::Lock& lock, HostHandle* handle);
  void CloseLocked(Scheduler::Lock& lock);
  DWORD SetStateLocked(Scheduler::Lock& lock, const DCB& dcb);
  DWORD SetupLocked(DWORD inQueue, DWORD outQueue);
  DWORD SetMaskLocked(Scheduler::Lock& lock, DWORD mask);
  DWORD WaitEventLocked(Scheduler::Lock& lock, DWORD* mask, OVERLAPPED* overlapped);
  DWORD ReadLocked(Scheduler::Lock& lock, void* buffer, DWORD length, OVERLAPPED* overlapped);
  DWORD WriteLocked(Scheduler::Lock& lock, const void* buffer, DWORD length,
                    OVERLAPPED* overlapped);
  void ClearErrorLocked(DWORD* errors, COMSTAT* stat);
  DWORD PurgeLocked(Scheduler::Lock& lock, DWORD flags);
  bool OutputDrainedLocked() const;
  DWORD EscapeLocked(Scheduler::Lock& lock, DWORD function);
  DWORD TransmitCharLocked(Scheduler::Lock& lock, char c);
  DWORD ModemStatusLocked() const;
  void PropertiesLocked(COMMPROP* properties) const;

  // --- the engine ---
  void StartRequest(OVERLAPPED* overlapped);
  void StartTx(Scheduler::Lock& lock);
  void TxFrameDone();
  void StartFarTx(Scheduler::Lock& lock);
  void FarFrameDone();
  void ReceiveByte(Scheduler::Lock& lock, std::uint8_t byte);
  void Raise(DWORD events);
  void RaiseLineErrors(DWORD ceFlags);
  bool TxHeld() const;
  void SetHostLine(Scheduler::Lock& lock, Line line, bool on);
  // Calls the attached far end, if any, without the lock; Attach waits for such calls.
  template <class Call>
  void CallFar(Call call);
  void SetFarLine(Line line, bool on);
  void LogLine(Line line, bool on);
  void StartFrontRead(Scheduler::Lock& lock);
  void PumpWrites(Scheduler::Lock& lock);
  void ArmIntervalTimer(Scheduler::Lock& lock);
  void TransferTimedOut(bool read, std::uint64_t id);
  void Finish(Transfer& transfer, DWORD error);
  void FinishReads(Scheduler::Lock& lock, DWORD error);
  void FinishWrites(Scheduler::Lock& lock, DWORD error);
  void FinishWait(DWORD mask);
  void Detach(Scheduler::Lock& lock, DWORD transferError);
  void AfterErrorLocked(Scheduler::Lock& lock);
  // The converter's side (serial_converter.cpp): a byte from the line into the chip's buffer,
  // the packet that takes the waiting bytes to the host, the timer's expiry, and what the
  // driver programs at open.
  void ChipReceive(Scheduler::Lock& lock, std::uint8_t byte);
  void SendPacket(Scheduler::Lock& lock);
  void ChipTimerExpired(std::uint64_t generation);
  void DropChipBuffer();
  void StartChipLocked();

  const std::string name_;
  Scheduler& scheduler_;
  Kernel& kernel_;
  FarEnd* far_ = nullptr;
  int farCalls_ = 0;
  std::condition_variable farIdle_;

  bool present_ = true;
  bool busy_ = false;
  HostHandle* open_ = nullptr;

  DCB dcb_{};
  DCB defaultDcb_{};
  COMMTIMEOUTS timeouts_{};
  DWORD inLimit_ = 4096;
  DWORD outLimit_ = 4096;

  bool dtr_ = false, rts_ = false, break_ = false;
  bool dsr_ = false, cts_ = false, ring_ = false, dcd_ = false;
  bool xoffHeld_ = false;
  // fAbortOnError: after a line error, transfers fail until ClearCommError.
  bool abortLatched_ = false;

  std::deque<std::uint8_t> inQueue_;
  DWORD errors_ = 0;
  DWORD mask_ = 0;
  DWORD history_ = 0;

  std::deque<std::uint8_t> outQueue_;
  std::optional<std::uint8_t> immediate_;
  FrameClock txClock_;
  bool txBusy_ = false;
  std::uint8_t txByte_ = 0;
  std::int64_t txStart_ = 0;
  EventId txEvent_ = 0;

  std::deque<std::uint8_t> farQueue_;
  FrameClock farClock_;
  bool farBusy_ = false;
  std::uint8_t farByte_ = 0;
  std::int64_t farStart_ = 0;
  EventId farEvent_ = 0;

  std::deque<Transfer> reads_;
  std::deque<Transfer> writes_;
  std::optional<Wait> wait_;
  std::uint64_t nextTransfer_ = 1;

  std::optional<ConverterSettings> converter_;
  std::function<std::optional<DWORD>()> requestedLatency_;
  ConverterBuffer chip_;
  EventId chipEvent_ = 0;
  // Counts the packets and drops, so that a timer expiry that lost a race with one does nothing.
  std::uint64_t chipGeneration_ = 0;

  std::vector<WireRecord> log_;
};

}  // namespace sim
