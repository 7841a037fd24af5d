// Modem-line shim for pty tests: a preload library (LD_PRELOAD) that gives pty slaves the
// modem lines Linux ptys lack.
//
// It wraps ioctl (and __ioctl_time64, which a 32-bit process built with 64-bit time calls) and
// answers TIOCMGET, TIOCMBIS, TIOCMBIC, TIOCMSET, TIOCMIWAIT and TIOCGICOUNT for the character
// device whose number a state file names (see tools/ptymodem/modemstate.h); everything else
// goes to the C library. LCDWRITE_MODEM_STATE names the state file, or several, one a line (a
// process that holds several ptys, as the virtual machine with one emulated converter per
// board); each serves its own slave. A file is looked for when a modem ioctl arrives until it
// has been found, so it may be created after the program started.
//
// TIOCMIWAIT takes a snapshot of the line counters on entry and returns when one of the asked
// lines has changed since; it waits on the state's futex, so a signal whose handler lacks
// SA_RESTART ends it with EINTR, as the kernel's does. A test tool only: nothing in the product
// links it.
#include <dlfcn.h>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/ptymodem/modemstate.h"

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

// The state files the variable names, in its order; more are ignored.
constexpr int kMaxStateFiles = 16;
std::atomic<ptymodem::ModemStateRecord*> g_records[kMaxStateFiles];
std::atomic<bool> g_allMapped{false};
pthread_mutex_t g_mapLock = PTHREAD_MUTEX_INITIALIZER;

ptymodem::ModemStateRecord* MapStateFile(const std::string& file) {
  ptymodem::ModemStateRecord* record = nullptr;
  const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  struct stat status {};
  if (fd >= 0 && fstat(fd, &status) == 0 &&
      status.st_size >= static_cast<off_t>(sizeof(ptymodem::ModemStateRecord))) {
    void* mapping = mmap(nullptr, sizeof(ptymodem::ModemStateRecord), PROT_READ | PROT_WRITE,
                         MAP_SHARED, fd, 0);
    if (mapping != MAP_FAILED) record = static_cast<ptymodem::ModemStateRecord*>(mapping);
  }
  if (fd >= 0) close(fd);
  return record;
}

// Maps the named state files not mapped yet; once all are, never looks again.
void MapStateFiles() {
  if (g_allMapped.load(std::memory_order_acquire)) return;
  pthread_mutex_lock(&g_mapLock);
  const char* value = std::getenv(ptymodem::kModemStateEnv);
  if (value && !g_allMapped.load(std::memory_order_acquire)) {
    bool all = true;
    int index = 0;
    const std::string files = value;
    for (std::string::size_type begin = 0; begin <= files.size() && index < kMaxStateFiles;) {
      std::string::size_type end = files.find('\n', begin);
      if (end == std::string::npos) end = files.size();
      const std::string file = files.substr(begin, end - begin);
      begin = end + 1;
      if (file.empty()) continue;
      std::atomic<ptymodem::ModemStateRecord*>& slot = g_records[index++];
      if (slot.load(std::memory_order_acquire)) continue;
      ptymodem::ModemStateRecord* record = MapStateFile(file);
      if (record) slot.store(record, std::memory_order_release);
      else all = false;
    }
    if (all) g_allMapped.store(true, std::memory_order_release);
  }
  pthread_mutex_unlock(&g_mapLock);
}

bool IsModemRequest(unsigned long request) {
  return request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET ||
         request == TIOCMIWAIT || request == TIOCGICOUNT;
}

// The state for fd when fd is a served pty slave, else null.
ptymodem::ModemStateRecord* ServedRecord(int fd) {
  MapStateFiles();
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return nullptr;
  for (std::atomic<ptymodem::ModemStateRecord*>& slot : g_records) {
    ptymodem::ModemStateRecord* record = slot.load(std::memory_order_acquire);
    if (record && ptymodem::LoadWord(record->magic) == ptymodem::kModemStateMagic &&
        static_cast<std::uint64_t>(status.st_rdev) == record->rdev)
      return record;
  }
  return nullptr;
}

int Fail(int err) {
  errno = err;
  return -1;
}

int WaitForLines(ptymodem::ModemStateRecord& record, unsigned long mask) {
  static constexpr struct {
    unsigned long line;
    ptymodem::ModemCounter counter;
  } kLines[] = {{TIOCM_CTS, ptymodem::kCountCts}, {TIOCM_DSR, ptymodem::kCountDsr},
                {TIOCM_RNG, ptymodem::kCountRng}, {TIOCM_CD, ptymodem::kCountDcd}};
  std::uint32_t snapshot[4];
  for (int i = 0; i < 4; ++i) snapshot[i] = ptymodem::LoadWord(record.counts[kLines[i].counter]);
  for (;;) {
    const std::uint32_t sequence = ptymodem::LoadWord(record.seq);
    for (int i = 0; i < 4; ++i) {
      if ((mask & kLines[i].line) &&
          ptymodem::LoadWord(record.counts[kLines[i].counter]) != snapshot[i])
        return 0;
    }
    if (ptymodem::WaitForChange(record, sequence, nullptr) != 0 && errno == EINTR) return -1;
  }
}

int Serve(ptymodem::ModemStateRecord& record, unsigned long request, void* arg) {
  if (request == TIOCMIWAIT) return WaitForLines(record, reinterpret_cast<std::uintptr_t>(arg));
  if (!arg) return Fail(EFAULT);
  switch (request) {
    case TIOCMGET:
      *static_cast<int*>(arg) = static_cast<int>(ptymodem::LoadWord(record.lines));
      return 0;
    case TIOCMBIS: {
      const std::uint32_t lines = static_cast<std::uint32_t>(*static_cast<int*>(arg)) & ptymodem::kHostLines;
      ptymodem::ChangeLines(record, lines, lines);
      return 0;
    }
    case TIOCMBIC: {
      const std::uint32_t lines = static_cast<std::uint32_t>(*static_cast<int*>(arg)) & ptymodem::kHostLines;
      ptymodem::ChangeLines(record, lines, 0);
      return 0;
    }
    case TIOCMSET:
      ptymodem::ChangeLines(record, ptymodem::kHostLines, static_cast<std::uint32_t>(*static_cast<int*>(arg)));
      return 0;
    case TIOCGICOUNT: {
      serial_icounter_struct counters{};
      auto count = [&](ptymodem::ModemCounter counter) {
        return static_cast<int>(ptymodem::LoadWord(record.counts[counter]));
      };
      counters.cts = count(ptymodem::kCountCts);
      counters.dsr = count(ptymodem::kCountDsr);
      counters.rng = count(ptymodem::kCountRng);
      counters.dcd = count(ptymodem::kCountDcd);
      counters.frame = count(ptymodem::kCountFrame);
      counters.overrun = count(ptymodem::kCountOverrun);
      counters.parity = count(ptymodem::kCountParity);
      counters.brk = count(ptymodem::kCountBreak);
      counters.buf_overrun = count(ptymodem::kCountBufOverrun);
      *static_cast<serial_icounter_struct*>(arg) = counters;
      return 0;
    }
    default:
      return Fail(ENOTTY);
  }
}

IoctlFunction NextIoctl(const char* name) {
  void* next = dlsym(RTLD_NEXT, name);
  if (!next) next = dlsym(RTLD_NEXT, "ioctl");
  return reinterpret_cast<IoctlFunction>(next);
}

int Dispatch(IoctlFunction next, int fd, unsigned long request, void* arg) {
  if (IsModemRequest(request)) {
    if (ptymodem::ModemStateRecord* record = ServedRecord(fd)) return Serve(*record, request, arg);
  }
  if (!next) return Fail(ENOSYS);
  return next(fd, request, arg);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) __THROW {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  static const IoctlFunction next = NextIoctl("ioctl");
  return Dispatch(next, fd, request, arg);
}

extern "C" int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  static const IoctlFunction next = NextIoctl("__ioctl_time64");
  return Dispatch(next, fd, request, arg);
}
