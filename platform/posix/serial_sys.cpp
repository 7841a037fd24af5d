#include "platform/posix/serial_sys.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/errno_map.h"

namespace plat::posix {

namespace {

int ListDirectory(const char* path, std::vector<std::string>* names) {
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return -1;
  names->clear();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  ::closedir(dir);
  return 0;
}

// getpwuid_r and getgrgid_r with a buffer that grows until the entry fits.
template <class Entry, class Lookup>
bool LookUp(Lookup lookup, Entry& entry, std::vector<char>& buffer) {
  buffer.resize(1024);
  for (;;) {
    Entry* found = nullptr;
    const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    return error == 0 && found != nullptr;
  }
}

bool UserById(uid_t uid, std::string* name, gid_t* primaryGroup) {
  passwd entry{};
  std::vector<char> buffer;
  auto lookup = [uid](passwd* e, char* b, std::size_t n, passwd** f) { return ::getpwuid_r(uid, e, b, n, f); };
  if (!LookUp(lookup, entry, buffer)) return false;
  *name = entry.pw_name;
  *primaryGroup = entry.pw_gid;
  return true;
}

bool GroupById(gid_t gid, std::string* name, std::vector<std::string>* members) {
  group entry{};
  std::vector<char> buffer;
  auto lookup = [gid](group* e, char* b, std::size_t n, group** f) { return ::getgrgid_r(gid, e, b, n, f); };
  if (!LookUp(lookup, entry, buffer)) return false;
  *name = entry.gr_name;
  members->clear();
  for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member) {
    members->push_back(*member);
  }
  return true;
}

}  // namespace

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
      [](const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CREAT, mode); },
      [](const char* path) { return ::unlink(path); },
      [](const char* path, char* buffer, std::size_t size) { return ::readlink(path, buffer, size); },
      &ListDirectory,
      [] { return static_cast<int>(::getpid()); },
      [] { return ::getuid(); },
      [] { return ::getegid(); },
      [](int size, gid_t* list) { return ::getgroups(size, list); },
      &UserById,
      &GroupById,
  };
  return calls;
}

int IoctlRetry(const SysCalls& sys, int fd, unsigned long request, void* arg) {
  return RetryEintr([&] { return sys.Ioctl(fd, request, arg); });
}

}  // namespace plat::posix
