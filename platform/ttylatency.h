// Low latency for the USB-serial converter behind a tty that a program opened itself, outside
// the serial API (the board simulator on a real converter, Linux only). The request, its undo
// at the end and the record a run that ends without undoing leaves behind are the Linux
// backend's own (posix/latency.h): a converter is treated alike whichever side of the wire
// holds it.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace plat {

namespace posix {
class LatencyRequest;
}

class TtyLatency {
 public:
  TtyLatency();
  ~TtyLatency();
  TtyLatency(const TtyLatency&) = delete;
  TtyLatency& operator=(const TtyLatency&) = delete;

  // Asks the converter behind fd (opened from path; node: its fstat) for low latency; appends
  // what it found and did to notes. The tty's kernel name comes from sysfs, else from path.
  void Request(int fd, const std::string& path, const struct stat& node,
               std::vector<std::string>& notes);
  // Puts back what Request changed, while fd is still open; appends what it did to notes.
  void Restore(int fd, std::vector<std::string>& notes);

 private:
  std::unique_ptr<posix::LatencyRequest> request_;
};

}  // namespace plat
