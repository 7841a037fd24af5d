// Modem lines for a pty, shared between the program under test and the far end.
//
// Its own folder under tools/: the board simulator (tools/boardsim) plays the far end through
// it, and the preload shim of the tests serves the host side from it.
//
// Linux ptys have no modem lines: every modem ioctl fails with ENOTTY. For tests, the preload
// library lcd_modemshim (tests/support/modemshim) answers TIOCMGET, TIOCMBIS, TIOCMBIC,
// TIOCMSET, TIOCMIWAIT and TIOCGICOUNT for one pty slave, keeping the line state in a small
// state file mapped by both sides. The shim finds the file through the environment variable
// LCDWRITE_MODEM_STATE and serves the slave whose device number the file names; a process with
// several ptys (QEMU with one emulated converter per board) names one file a line, one per pty.
//
// This header is the file's layout and the far end's API (tests, the board simulator):
//
//   auto modem = ptymodem::ModemState::Create(stateFile, "/dev/pts/7");  // before the host opens
//   modem->SetDsr(true);                      // the host sees DSR, gets EV_DSR / TIOCMIWAIT
//   std::uint32_t seen = modem->Lines();
//   if (modem->WaitHostLines(seen, 1000)) ... // DTR or RTS changed within a second
//
// Lines are TIOCM_ bits. The host owns DTR and RTS; the far end owns CTS, DSR, RI and CD. Each
// change of a line counts in a counter (as the kernel's icount does), and every change bumps a
// sequence word that both sides wait on with a futex, so a waiter never misses a change made
// after it took its snapshot. Line errors (framing, overrun, parity, break, buffer overrun) are
// counters only; CountLineError makes the host's TIOCGICOUNT see one.
//
// Create resets an existing file in place rather than replacing it, so a process that has the
// file mapped keeps a valid mapping across tests. The host should open the pty after Create: a
// serial backend learns at open which line ioctls the tty has.
#pragma once

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace ptymodem {

inline constexpr const char* kModemStateEnv = "LCDWRITE_MODEM_STATE";
inline constexpr std::uint32_t kModemStateMagic = 0x4D444C43u;
inline constexpr std::uint32_t kModemStateVersion = 1;

inline constexpr std::uint32_t kHostLines = TIOCM_DTR | TIOCM_RTS;
inline constexpr std::uint32_t kFarEndLines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;

enum ModemCounter : unsigned {
  kCountCts,
  kCountDsr,
  kCountRng,
  kCountDcd,
  kCountDtr,
  kCountRts,
  kCountFrame,
  kCountOverrun,
  kCountParity,
  kCountBreak,
  kCountBufOverrun,
  kCounterCount
};

// The state file. Every field is accessed atomically; magic is written last on creation.
struct ModemStateRecord {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint64_t rdev;  // st_rdev of the pty slave served
  std::uint32_t lines;
  std::uint32_t seq;  // futex word, bumped after every change
  std::uint32_t counts[kCounterCount];
};

inline std::uint32_t LoadWord(std::uint32_t& word) {
  return std::atomic_ref<std::uint32_t>(word).load(std::memory_order_acquire);
}

// Bumps the sequence word and wakes every waiter, in this process or another.
inline void PublishChange(ModemStateRecord& record) {
  std::atomic_ref<std::uint32_t>(record.seq).fetch_add(1, std::memory_order_acq_rel);
  syscall(SYS_futex, &record.seq, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Waits while the sequence word still holds expected (relative time-out; null: none).
// Returns 0 when woken or the word had moved, else -1 with errno (EINTR, ETIMEDOUT).
inline int WaitForChange(ModemStateRecord& record, std::uint32_t expected,
                         const timespec* timeout) {
  const long result = syscall(SYS_futex, &record.seq, FUTEX_WAIT, expected, timeout, nullptr, 0);
  if (result == 0 || errno == EAGAIN) return 0;
  return -1;
}

// Sets the lines of mask to the bits of values; counts each line that changed; wakes waiters.
inline void ChangeLines(ModemStateRecord& record, std::uint32_t mask, std::uint32_t values) {
  std::atomic_ref<std::uint32_t> lines(record.lines);
  std::uint32_t before = lines.load(std::memory_order_acquire);
  std::uint32_t after;
  do {
    after = (before & ~mask) | (values & mask);
  } while (!lines.compare_exchange_weak(before, after, std::memory_order_acq_rel));
  const std::uint32_t changed = before ^ after;
  if (changed == 0) return;
  static constexpr struct {
    std::uint32_t line;
    ModemCounter counter;
  } kCounted[] = {{TIOCM_CTS, kCountCts}, {TIOCM_DSR, kCountDsr}, {TIOCM_RNG, kCountRng},
                  {TIOCM_CD, kCountDcd},  {TIOCM_DTR, kCountDtr}, {TIOCM_RTS, kCountRts}};
  for (const auto& entry : kCounted) {
    if (changed & entry.line)
      std::atomic_ref<std::uint32_t>(record.counts[entry.counter]).fetch_add(1, std::memory_order_acq_rel);
  }
  PublishChange(record);
}

class ModemState {
 public:
  // Creates the state file for the pty slave at slavePath (or resets it in place): all lines
  // low, all counters 0. Null when the slave or the file cannot be used.
  static std::unique_ptr<ModemState> Create(const std::string& file, const std::string& slavePath) {
    struct stat slave {};
    if (stat(slavePath.c_str(), &slave) != 0 || !S_ISCHR(slave.st_mode)) return nullptr;
    std::unique_ptr<ModemState> state = Map(file, true);
    if (!state) return nullptr;
    ModemStateRecord& r = *state->record_;
    std::atomic_ref<std::uint32_t>(r.magic).store(0, std::memory_order_release);
    r.version = kModemStateVersion;
    r.rdev = slave.st_rdev;
    std::atomic_ref<std::uint32_t>(r.lines).store(0, std::memory_order_release);
    for (std::uint32_t& count : r.counts)
      std::atomic_ref<std::uint32_t>(count).store(0, std::memory_order_release);
    std::atomic_ref<std::uint32_t>(r.magic).store(kModemStateMagic, std::memory_order_release);
    PublishChange(r);
    return state;
  }

  // Maps an existing state file; null when it is missing or holds no state.
  static std::unique_ptr<ModemState> Open(const std::string& file) {
    std::unique_ptr<ModemState> state = Map(file, false);
    if (state && LoadWord(state->record_->magic) != kModemStateMagic) return nullptr;
    return state;
  }

  ~ModemState() { munmap(record_, sizeof(ModemStateRecord)); }
  ModemState(const ModemState&) = delete;
  ModemState& operator=(const ModemState&) = delete;

  std::uint32_t Lines() const { return LoadWord(record_->lines); }
  bool Dtr() const { return Lines() & TIOCM_DTR; }
  bool Rts() const { return Lines() & TIOCM_RTS; }
  std::uint32_t Count(ModemCounter counter) const { return LoadWord(record_->counts[counter]); }

  void SetCts(bool on) { ChangeLines(*record_, TIOCM_CTS, on ? TIOCM_CTS : 0); }
  void SetDsr(bool on) { ChangeLines(*record_, TIOCM_DSR, on ? TIOCM_DSR : 0); }
  void SetRing(bool on) { ChangeLines(*record_, TIOCM_RNG, on ? TIOCM_RNG : 0); }
  void SetDcd(bool on) { ChangeLines(*record_, TIOCM_CD, on ? TIOCM_CD : 0); }

  // Counts one line error: kCountFrame, kCountOverrun, kCountParity, kCountBreak or
  // kCountBufOverrun.
  void CountLineError(ModemCounter counter) {
    std::atomic_ref<std::uint32_t>(record_->counts[counter]).fetch_add(1, std::memory_order_acq_rel);
    PublishChange(*record_);
  }

  // Waits until the host's DTR or RTS differs from those bits of seen, at most timeoutMs.
  // True on a change (seen then holds the host lines now); false on time-out.
  bool WaitHostLines(std::uint32_t& seen, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const std::uint32_t sequence = LoadWord(record_->seq);
      const std::uint32_t host = Lines() & kHostLines;
      if (host != (seen & kHostLines)) {
        seen = host;
        return true;
      }
      const auto left = deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::nanoseconds::zero()) return false;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      WaitForChange(*record_, sequence, &timeout);
    }
  }

  ModemStateRecord& Record() { return *record_; }

 private:
  explicit ModemState(ModemStateRecord* record) : record_(record) {}

  static std::unique_ptr<ModemState> Map(const std::string& file, bool create) {
    const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return nullptr;
    struct stat status {};
    bool ok = fstat(fd, &status) == 0;
    if (ok && status.st_size < static_cast<off_t>(sizeof(ModemStateRecord)))
      ok = create && ftruncate(fd, sizeof(ModemStateRecord)) == 0;
    void* mapping = ok ? mmap(nullptr, sizeof(ModemStateRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    close(fd);
    if (mapping == MAP_FAILED) return nullptr;
    return std::unique_ptr<ModemState>(new ModemState(static_cast<ModemStateRecord*>(mapping)));
  }

  ModemStateRecord* record_;
};

}  // namespace ptymodem
