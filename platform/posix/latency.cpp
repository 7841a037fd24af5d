#include "platform/posix/latency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <charconv>
#include <sstream>

#include "platform/posix/errno_map.h"

namespace plat::posix {

namespace {

constexpr char kRecordPrefix[] = "lcdwrite-latency-";
constexpr char kRecordMagic[] = "lcdwrite-latency-record-1";

std::optional<int> ReadMs(const SysCalls& sys, const std::string& path) {
  const std::optional<std::string> text = ReadSmallFile(sys, path);
  if (!text) return std::nullopt;
  int value = 0;
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc() || ptr != end || value < 0 || value > 255) return std::nullopt;
  return value;
}

// A tty name as part of a file name: letters, digits, '_' and '-' only.
std::string FileNamePart(const std::string& tty) {
  std::string part;
  for (char c : tty) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-';
    part += plain ? c : '_';
  }
  return part;
}

std::string Ms(int value) { return std::to_string(value) + " ms"; }

// The converter has gone: its tty says so, or its sysfs attribute went with it.
bool Gone(int err) { return IsDeviceGoneErrno(err) || err == ENOENT; }

}  // namespace

LatencyRequest LatencyRequest::Apply(const SysCalls& sys, const HostPaths& paths, int fd,
                                     const std::string& tty, const struct stat& node,
                                     std::vector<std::string>& notes) {
  const std::string prefix = "Latency " + tty + ": ";
  LatencyRequest request;
  const std::string port = paths.sysfs + "/bus/usb-serial/devices/" + tty;
  if (!Exists(sys, port)) {
    notes.push_back(prefix + "not a USB-serial converter; nothing requested");
    return request;
  }
  request.tty_ = tty;
  request.attribute_ = port + "/latency_timer";
  request.rdev_ = node.st_rdev;
  request.nodeChanged_ = node.st_ctim;
  if (!paths.state.empty()) request.record_ = paths.state + "/" + kRecordPrefix + FileNamePart(tty);

  // What an earlier run left changed on this very device becomes this run's to put back.
  if (!request.record_.empty()) {
    if (const std::optional<std::string> text = ReadSmallFile(sys, request.record_)) {
      if (request.ParseRecord(*text)) {
        notes.push_back(prefix + "an earlier run ended without putting its setting back; " +
                        "that is done at this close");
      } else {
        request.DropRecord(sys);
      }
    }
  }

  const std::string driver = LinkTargetName(sys, port + "/driver").value_or("unknown driver");
  const std::optional<int> timer = ReadMs(sys, request.attribute_);
  std::string found = "driver " + driver + ", ";
  found += timer ? "latency timer " + Ms(*timer) : "no latency timer attribute";
  if (timer && *timer <= 1) {
    notes.push_back(prefix + found + "; already low, nothing requested");
    return request;
  }

  // The flag, read back: a driver without a setting of its own accepts it and drops it.
  std::string refused;
  serial_struct info{};
  if (IoctlRetry(sys, fd, TIOCGSERIAL, &info) != 0) {
    refused = "TIOCGSERIAL: " + ErrnoText(errno);
  } else if ((info.flags & ASYNC_LOW_LATENCY) != 0) {
    notes.push_back(prefix + found + "; low latency already on, nothing requested");
    return request;
  } else {
    const bool inheritedFlag = request.clearFlag_;
    request.clearFlag_ = true;
    request.SaveRecord(sys);  // before the change: a run that dies next still leaves the record
    info.flags |= ASYNC_LOW_LATENCY;
    serial_struct check{};
    if (IoctlRetry(sys, fd, TIOCSSERIAL, &info) != 0) {
      refused = "TIOCSSERIAL: " + ErrnoText(errno);
    } else if (IoctlRetry(sys, fd, TIOCGSERIAL, &check) != 0) {
      refused = "TIOCGSERIAL: " + ErrnoText(errno);
    } else if ((check.flags & ASYNC_LOW_LATENCY) == 0) {
      refused = "the driver dropped the flag";
    } else {
      const std::optional<int> now = ReadMs(sys, request.attribute_);
      notes.push_back(prefix + found + "; low latency requested (ASYNC_LOW_LATENCY)" +
                      (now ? ", now " + Ms(*now) : std::string()));
      return request;
    }
    request.clearFlag_ = inheritedFlag;
    request.SyncRecord(sys);
  }

  // The attribute, where the flag did not take.
  if (!timer) {
    notes.push_back(prefix + found + "; low latency refused (" + refused + "); nothing changed");
    return request;
  }
  const std::optional<int> inheritedPrevious = request.attributePrevious_;
  if (!request.attributePrevious_) request.attributePrevious_ = *timer;
  request.SaveRecord(sys);
  if (const int err = WriteExistingFile(sys, request.attribute_, "1"); err != 0) {
    notes.push_back(prefix + found + "; low latency refused (" + refused +
                    "); latency_timer not writable (" + ErrnoText(err) + "): stays " + Ms(*timer));
    request.attributePrevious_ = inheritedPrevious;
    request.SyncRecord(sys);
    return request;
  }
  const std::optional<int> now = ReadMs(sys, request.attribute_);
  notes.push_back(prefix + found + "; low latency refused (" + refused + "); latency_timer set" +
                  (now ? ", now " + Ms(*now) : std::string()));
  return request;
}

void LatencyRequest::Restore(const SysCalls& sys, int fd, std::vector<std::string>& notes) {
  if (!Changed()) return;
  const std::string prefix = "Latency " + tty_ + ": ";
  std::string failed;
  bool gone = false;
  std::vector<std::string> done;
  // A step that failed: the converter is gone, or the step is named with its error.
  auto fail = [&](const char* step, int err) {
    if (Gone(err)) {
      gone = true;
    } else {
      failed += (failed.empty() ? "" : ", ") + std::string(step) + ": " + ErrnoText(err);
    }
  };
  if (clearFlag_) {
    serial_struct info{};
    if (IoctlRetry(sys, fd, TIOCGSERIAL, &info) != 0) {
      fail("TIOCGSERIAL", errno);
    } else {
      info.flags &= ~ASYNC_LOW_LATENCY;
      if (IoctlRetry(sys, fd, TIOCSSERIAL, &info) != 0) {
        fail("TIOCSSERIAL", errno);
      } else {
        done.push_back("low latency off");
      }
    }
  }
  if (attributePrevious_ && !gone) {
    if (const int err = WriteExistingFile(sys, attribute_, std::to_string(*attributePrevious_));
        err != 0) {
      fail("latency_timer", err);
    } else {
      done.push_back("latency_timer written");
    }
  }
  if (gone) {
    notes.push_back(prefix + "the converter is gone; its setting went with it, nothing to put back");
  } else if (!failed.empty()) {
    notes.push_back(prefix + "could not put the previous setting back (" + failed +
                    "); the next open of this converter tries again");
    return;  // the record stays for that
  } else {
    std::string text = prefix + "put back: ";
    for (std::size_t i = 0; i < done.size(); ++i) text += (i > 0 ? ", " : "") + done[i];
    if (const std::optional<int> now = ReadMs(sys, attribute_)) text += ", now " + Ms(*now);
    notes.push_back(text);
  }
  DropRecord(sys);
  clearFlag_ = false;
  attributePrevious_.reset();
}

DWORD LatencyRequest::TimerMs(const SysCalls& sys) const {
  return attribute_.empty() ? 0 : static_cast<DWORD>(ReadMs(sys, attribute_).value_or(0));
}

std::string LatencyRequest::RecordText() const {
  std::ostringstream text;
  text << kRecordMagic << ' ' << static_cast<unsigned long long>(rdev_) << ' '
       << static_cast<long long>(nodeChanged_.tv_sec) << ' ' << nodeChanged_.tv_nsec << ' '
       << (clearFlag_ ? 1 : 0) << ' ' << (attributePrevious_ ? *attributePrevious_ : -1) << '\n';
  return text.str();
}

bool LatencyRequest::ParseRecord(const std::string& text) {
  std::istringstream in(text);
  std::string magic;
  unsigned long long rdev = 0;
  long long seconds = 0;
  long nanoseconds = 0;
  int flag = 0;
  int previous = 0;
  if (!(in >> magic >> rdev >> seconds >> nanoseconds >> flag >> previous) ||
      magic != kRecordMagic || (flag != 0 && flag != 1) || previous < -1 || previous > 255) {
    return false;
  }
  if (rdev != rdev_ || seconds != nodeChanged_.tv_sec || nanoseconds != nodeChanged_.tv_nsec) {
    return false;  // an earlier plug-in of this tty: that device started afresh
  }
  clearFlag_ = flag == 1;
  if (previous >= 0) attributePrevious_ = previous;
  return Changed();
}

void LatencyRequest::SaveRecord(const SysCalls& sys) const {
  if (!record_.empty()) WritePrivateFile(sys, record_, RecordText());
}

void LatencyRequest::DropRecord(const SysCalls& sys) const {
  if (!record_.empty()) sys.Unlink(record_.c_str());
}

void LatencyRequest::SyncRecord(const SysCalls& sys) const {
  if (Changed()) {
    SaveRecord(sys);
  } else {
    DropRecord(sys);
  }
}

}  // namespace plat::posix
