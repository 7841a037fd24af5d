// A machine around a real pty for the serial backend's tests of what it does beside the device:
// fake sysfs and /proc trees in a temporary directory (the pty posing as a USB-serial
// converter's tty, processes holding it), and a system-call table whose serial-info ioctls,
// account look-ups and chosen failures come from a fake driver and a fake user.
//
// The table's entries are plain function pointers, so the fake's state is one global
// (g_host); a test resets it in SetUp.
#pragma once

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/hostfiles.h"
#include "platform/posix/serial_sys.h"
#include "tools/ptymodem/pty.h"

namespace plat::posix::testing {

namespace fs = std::filesystem;

// How the fake driver answers TIOCGSERIAL / TIOCSSERIAL.
enum class SerialInfo {
  Kept,     // keeps ASYNC_LOW_LATENCY and shows a 1 ms timer while it is set (ftdi_sio)
  Refused,  // TIOCSSERIAL fails with EPERM
  Dropped,  // TIOCSSERIAL succeeds, the flag is not kept (a driver without a setting)
  Missing,  // both fail with ENOTTY (a pty, a driver without serial info)
};

struct FakeHost {
  std::mutex mutex;
  std::string root;          // the temporary directory
  std::string latencyFile;   // the fake latency_timer attribute ("" without one)
  SerialInfo serialInfo = SerialInfo::Kept;
  int flags = 0;             // the fake driver's serial flags
  int latency = 16;          // its own timer, shown while the flag is not set
  bool attributeWritable = true;
  bool unplugged = false;    // serial-info ioctls fail with EIO, the attribute is gone
  std::vector<unsigned long> ioctls;  // serial-info requests seen
  // Chosen failures at open.
  std::string devicePath;    // the pty slave; the following apply to it only
  int statErrno = 0, openErrno = 0, flockErrno = 0;
  bool fakeNode = false;     // stat of the device gives node (with the pty's rdev)
  struct stat node {};
  // The user.
  int pid = 0;
  uid_t uid = 1000;
  gid_t egid = 1000;
  std::vector<gid_t> groups{1000};
  std::vector<std::pair<uid_t, std::pair<std::string, gid_t>>> users{{0, {"root", 0}}, {1000, {"anna", 1000}}};
  struct Group {
    gid_t gid;
    std::string name;
    std::vector<std::string> members;
  };
  std::vector<Group> groupTable{{0, "root", {}}, {20, "dialout", {}}, {1000, "anna", {}}};

  void Reset(const std::string& temporaryRoot) {
    std::lock_guard<std::mutex> lock(mutex);
    root = temporaryRoot;
    latencyFile.clear();
    serialInfo = SerialInfo::Kept;
    flags = 0;
    latency = 16;
    attributeWritable = true;
    unplugged = false;
    ioctls.clear();
    devicePath.clear();
    statErrno = openErrno = flockErrno = 0;
    fakeNode = false;
    node = {};
    pid = static_cast<int>(::getpid());
    uid = 1000;
    egid = 1000;
    groups = {1000};
    groupTable = {{0, "root", {}}, {20, "dialout", {}}, {1000, "anna", {}}};
  }
  // What the attribute shows, as ftdi_sio shows it.
  void ShowLatency() {
    if (latencyFile.empty() || unplugged) return;
    std::ofstream(latencyFile) << ((flags & ASYNC_LOW_LATENCY) ? 1 : latency) << "\n";
  }
};

inline FakeHost g_host;

inline int FakeIoctl(int fd, unsigned long request, void* arg) {
  if (request != TIOCGSERIAL && request != TIOCSSERIAL) return RealSysCalls().Ioctl(fd, request, arg);
  std::lock_guard<std::mutex> lock(g_host.mutex);
  g_host.ioctls.push_back(request);
  auto* info = static_cast<serial_struct*>(arg);
  if (g_host.unplugged) {
    errno = EIO;
    return -1;
  }
  if (g_host.serialInfo == SerialInfo::Missing) {
    errno = ENOTTY;
    return -1;
  }
  if (request == TIOCGSERIAL) {
    *info = serial_struct{};
    info->flags = g_host.flags;
    info->close_delay = 50;
    return 0;
  }
  if (g_host.serialInfo == SerialInfo::Refused) {
    errno = EPERM;
    return -1;
  }
  if (g_host.serialInfo == SerialInfo::Kept) g_host.flags = info->flags;
  g_host.ShowLatency();
  return 0;
}

inline bool IsDevice(const char* path) {
  return !g_host.devicePath.empty() && g_host.devicePath == path;
}

inline int FakeOpen(const char* path, int flags) {
  {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    if (IsDevice(path) && g_host.openErrno != 0) {
      errno = g_host.openErrno;
      return -1;
    }
    if (!g_host.latencyFile.empty() && g_host.latencyFile == path) {
      if (g_host.unplugged) {
        errno = ENOENT;
        return -1;
      }
      if ((flags & O_ACCMODE) != O_RDONLY) {
        if (!g_host.attributeWritable) {
          errno = EACCES;
          return -1;
        }
        flags |= O_TRUNC;  // a plain file stands in for the attribute
      }
    }
  }
  return RealSysCalls().Open(path, flags);
}

// A write to the attribute sets the driver's own timer, as ftdi_sio's store does.
inline int FakeClose(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  const int result = RealSysCalls().Close(fd);
  if (n > 0) {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    if (!g_host.latencyFile.empty() && std::string(target, static_cast<std::size_t>(n)) == g_host.latencyFile) {
      std::ifstream in(g_host.latencyFile);
      int value = -1;
      if (in >> value && value >= 0 && !(g_host.flags & ASYNC_LOW_LATENCY)) g_host.latency = value;
      g_host.ShowLatency();
    }
  }
  return result;
}

inline int FakeStat(const char* path, struct stat* status) {
  {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    if (IsDevice(path) && g_host.statErrno != 0) {
      errno = g_host.statErrno;
      return -1;
    }
    if (IsDevice(path) && g_host.fakeNode) {
      const int result = RealSysCalls().Stat(path, status);
      if (result == 0) {
        status->st_mode = (status->st_mode & S_IFMT) | (g_host.node.st_mode & 07777);
        status->st_uid = g_host.node.st_uid;
        status->st_gid = g_host.node.st_gid;
      }
      return result;
    }
  }
  return RealSysCalls().Stat(path, status);
}

inline int FakeFlock(int fd, int operation) {
  {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    if (g_host.flockErrno != 0) {
      errno = g_host.flockErrno;
      return -1;
    }
  }
  return RealSysCalls().Flock(fd, operation);
}

inline SysCalls MakeFakeHostCalls() {
  SysCalls s = RealSysCalls();
  s.Ioctl = &FakeIoctl;
  s.Open = &FakeOpen;
  s.Close = &FakeClose;
  s.Stat = &FakeStat;
  s.Flock = &FakeFlock;
  s.Getpid = [] { return g_host.pid; };
  s.Getuid = [] { return g_host.uid; };
  s.Getegid = [] { return g_host.egid; };
  s.Getgroups = [](int size, gid_t* list) {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    const int count = static_cast<int>(g_host.groups.size());
    if (size == 0) return count;
    if (size < count) {
      errno = EINVAL;
      return -1;
    }
    for (int i = 0; i < count; ++i) list[i] = g_host.groups[static_cast<std::size_t>(i)];
    return count;
  };
  s.UserById = [](uid_t uid, std::string* name, gid_t* primary) {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    for (const auto& [id, entry] : g_host.users) {
      if (id != uid) continue;
      *name = entry.first;
      *primary = entry.second;
      return true;
    }
    return false;
  };
  s.GroupById = [](gid_t gid, std::string* name, std::vector<std::string>* members) {
    std::lock_guard<std::mutex> lock(g_host.mutex);
    for (const FakeHost::Group& group : g_host.groupTable) {
      if (group.gid != gid) continue;
      *name = group.name;
      *members = group.members;
      return true;
    }
    return false;
  };
  return s;
}

inline const SysCalls& FakeHostCalls() {
  static const SysCalls calls = MakeFakeHostCalls();
  return calls;
}

// The temporary machine: <root>/sys, <root>/proc, <root>/state, removed at the end.
class FakeTree {
 public:
  explicit FakeTree(const std::string& name) {
    root_ = fs::temp_directory_path() / ("lcdwrite-host-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(root_);
    fs::create_directories(root_ / "sys");
    fs::create_directories(root_ / "proc");
    fs::create_directories(root_ / "state");
  }
  ~FakeTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  FakeTree(const FakeTree&) = delete;
  FakeTree& operator=(const FakeTree&) = delete;

  const fs::path& Root() const { return root_; }
  HostPaths Paths() const { return {(root_ / "sys").native(), (root_ / "proc").native(), (root_ / "state").native()}; }

  // sysfs lists the device rdev as tty name, with hardware behind it; a usb-serial tty also
  // appears on the usb-serial bus with its driver and, where given, a latency timer.
  void AddTty(dev_t rdev, const std::string& name, bool usbSerial, const std::string& driver,
              int latencyTimer = -1) {
    const fs::path sys = root_ / "sys";
    fs::create_directories(sys / "dev/char");
    fs::create_symlink("../../devices/usb1/1-1/1-1:1.0/" + name + "/tty/" + name,
                       sys / "dev/char" / (std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev))));
    fs::create_directories(sys / "class/tty" / name / "device");
    if (!usbSerial) return;
    const fs::path port = sys / "bus/usb-serial/devices" / name;
    fs::create_directories(port);
    fs::create_symlink("../../../../bus/usb-serial/drivers/" + driver, port / "driver");
    if (latencyTimer >= 0) {
      std::ofstream(port / "latency_timer") << latencyTimer << "\n";
      g_host.latencyFile = (port / "latency_timer").native();
      g_host.latency = latencyTimer;
    }
  }

  // A process in the fake /proc; with a target, its descriptor 5 is open on it. Without
  // fdVisible its fd directory is missing, as another user's is to a regular user.
  void AddProcess(int pid, const std::string& program, const std::string& target = "",
                  bool fdVisible = true) {
    const fs::path dir = root_ / "proc" / std::to_string(pid);
    fs::create_directories(dir);
    std::ofstream(dir / "comm") << program << "\n";
    if (!fdVisible) return;
    fs::create_directories(dir / "fd");
    fs::create_symlink("/dev/null", dir / "fd/0");
    if (!target.empty()) fs::create_symlink(target, dir / "fd/5");
  }

  std::string Record(const std::string& tty) const {
    return (root_ / "state" / ("lcdwrite-latency-" + tty)).native();
  }

 private:
  fs::path root_;
};

}  // namespace plat::posix::testing
