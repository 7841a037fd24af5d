#include "platform/posix/serial_sys.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace plat::posix {

const SysCalls& RealSysCalls() {
  static const SysCalls calls{
      [](const char* path, int flags) { return ::open(path, flags); },
      [](int fd) { return ::close(fd); },
      [](int fd, void* buffer, std::size_t count) { return ::read(fd, buffer, count); },
      [](int fd, const void* buffer, std::size_t count) { return ::write(fd, buffer, count); },
      [](int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); },
      [](int fd, int operation) { return ::flock(fd, operation); },
      [](const char* path, struct stat* status) { return ::stat(path, status); },
      [](int fd, struct stat* status) { return ::fstat(fd, status); },
      [](unsigned int initial, int flags) { return ::eventfd(initial, flags); },
      [](int flags) { return ::epoll_create1(flags); },
      [](int epollFd, int op, int fd, epoll_event* event) { return ::epoll_ctl(epollFd, op, fd, event); },
      [](int epollFd, epoll_event* events, int maxEvents, int timeoutMs) {
        return ::epoll_wait(epollFd, events, maxEvents, timeoutMs);
      },
      [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); },
  };
  return calls;
}

}  // namespace plat::posix
