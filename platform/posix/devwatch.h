// Watching a device directory (/dev) for serial ports that appear and disappear.
//
// Windows tells every top-level window when a COM port arrives or leaves. On Linux the sign of
// a port coming and going is its device node: devtmpfs creates /dev/ttyUSB0 when the converter
// is plugged in and removes it when it is pulled. A DevWatch follows the directory with inotify
// on a thread of its own and reports each name that belongs in the port map once when it
// arrives and once when it leaves. Names already present at start are known but not reported.
// An inotify queue overflow is mended by listing the directory again and reporting the
// difference.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace plat::posix {

class DevWatch {
 public:
  // Whether a new entry of the directory is a port worth reporting. Called on the watch thread.
  using Belongs = std::function<bool(const std::string& name)>;
  // A port arrived (true) or left (false). Called on the watch thread, one call at a time.
  using Notify = std::function<void(const std::string& name, bool arrived)>;

  // Starts watching directory on a thread from kernel. Returns null with errno set when the
  // directory cannot be watched or the thread cannot start (ENOMEM).
  static std::unique_ptr<DevWatch> Start(KernelApi& kernel, const std::string& directory,
                                         Belongs belongs,
                                         Notify notify);
  // Stops the watch and joins its thread; no Notify call runs after it returns.
  ~DevWatch();

  DevWatch(const DevWatch&) = delete;
  DevWatch& operator=(const DevWatch&) = delete;

 private:
  DevWatch(std::string directory, Belongs belongs, Notify notify, int inotifyFd, int stopFd);
  void Run();
  void HandleEvents();
  void Rescan();
  void Arrived(const std::string& name);
  void Left(const std::string& name);

  std::string directory_;
  Belongs belongs_;
  Notify notify_;
  int inotifyFd_;
  int stopFd_;
  std::set<std::string> known_;  // names present and reported (or present at start); watch thread only
  std::thread thread_;
};

}  // namespace plat::posix
