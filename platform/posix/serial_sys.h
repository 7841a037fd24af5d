// The system calls of the serial backend, behind one table of function pointers.
//
// Every call the backend makes to the kernel goes through a SysCalls table, so a test can hand
// the backend a table whose entries fail on purpose (EINTR to be retried, EIO as after an
// unplug, EBUSY or ENOENT at open) and check what the serial API reports. Production uses
// RealSysCalls(). The entries have the kernel's contracts: -1 and errno on failure. That
// includes what the backend reads and writes beside the device (sysfs attributes, /proc, its
// restore records) and the account facts it explains a refused open with.
#pragma once

#include <poll.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace plat::posix {

struct SysCalls {
  int (*Open)(const char* path, int flags);
  int (*Close)(int fd);
  ssize_t (*Read)(int fd, void* buffer, std::size_t count);
  ssize_t (*Write)(int fd, const void* buffer, std::size_t count);
  // arg is the ioctl's third argument: a pointer, or an integer passed as a pointer.
  int (*Ioctl)(int fd, unsigned long request, void* arg);
  int (*Flock)(int fd, int operation);
  int (*Stat)(const char* path, struct stat* status);
  int (*Fstat)(int fd, struct stat* status);
  int (*EventFd)(unsigned int initial, int flags);
  int (*EpollCreate)(int flags);
  int (*EpollCtl)(int epollFd, int op, int fd, epoll_event* event);
  int (*EpollWait)(int epollFd, epoll_event* events, int maxEvents, int timeoutMs);
  int (*Poll)(pollfd* fds, nfds_t count, int timeoutMs);

  // Files beside the device.
  int (*Create)(const char* path, int flags, mode_t mode);  // open with O_CREAT
  int (*Unlink)(const char* path);
  ssize_t (*Readlink)(const char* path, char* buffer, std::size_t size);
  // The entries of a directory without "." and ".."; -1 and errno when it cannot be read.
  int (*ListDirectory)(const char* path, std::vector<std::string>* names);

  // Who runs this program, and the account database (passwd and group through the system's
  // name services). The two look-ups return false for an unknown id.
  int (*Getpid)();
  uid_t (*Getuid)();
  gid_t (*Getegid)();
  int (*Getgroups)(int size, gid_t* list);
  bool (*UserById)(uid_t uid, std::string* name, gid_t* primaryGroup);
  bool (*GroupById)(gid_t gid, std::string* name, std::vector<std::string>* members);
};

// The table that calls the C library.
const SysCalls& RealSysCalls();

// sys.Ioctl, called again while it fails with EINTR.
int IoctlRetry(const SysCalls& sys, int fd, unsigned long request, void* arg);

}  // namespace plat::posix
