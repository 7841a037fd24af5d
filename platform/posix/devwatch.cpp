#include "platform/posix/devwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/posix/errno_map.h"

namespace plat::posix {

namespace {

constexpr std::uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

std::set<std::string> ListDirectory(const std::string& directory) {
  std::set<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    names.insert(it->path().filename().native());
  }
  return names;
}

}  // namespace

std::unique_ptr<DevWatch> DevWatch::Start(KernelApi& kernel, const std::string& directory,
                                          Belongs belongs,
                                          Notify notify) {
  const int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd < 0) return nullptr;
  if (inotify_add_watch(inotifyFd, directory.c_str(), kWatchMask) < 0) {
    const int error = errno;
    close(inotifyFd);
    errno = error;
    return nullptr;
  }
  const int stopFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (stopFd < 0) {
    const int error = errno;
    close(inotifyFd);
    errno = error;
    return nullptr;
  }
  std::unique_ptr<DevWatch> watch(
      new DevWatch(directory, std::move(belongs), std::move(notify), inotifyFd, stopFd));
  // Listed after the watch is in place, so a port created meanwhile is seen either here or as
  // an event (an event for a name already known is not reported twice).
  for (const std::string& name : ListDirectory(directory)) {
    if (watch->belongs_(name)) watch->known_.insert(name);
  }
  if (!kernel.CreateThread([w = watch.get()] { w->Run(); }, &watch->thread_)) {
    errno = ENOMEM;
    return nullptr;  // the destructor closes the descriptors; there is no thread to join
  }
  return watch;
}

DevWatch::DevWatch(std::string directory, Belongs belongs, Notify notify, int inotifyFd,
                   int stopFd)
    : directory_(std::move(directory)),
      belongs_(std::move(belongs)),
      notify_(std::move(notify)),
      inotifyFd_(inotifyFd),
      stopFd_(stopFd) {}

DevWatch::~DevWatch() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    RetryEintr([&] { return write(stopFd_, &one, sizeof one); });
    thread_.join();
  }
  close(stopFd_);
  close(inotifyFd_);
}

void DevWatch::Run() {
  for (;;) {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (RetryEintr([&] { return poll(fds, 2, -1); }) < 0) return;
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return;
    if (fds[0].revents & POLLIN) HandleEvents();
  }
}

void DevWatch::HandleEvents() {
  alignas(inotify_event) char buffer[16 * 1024];
  for (;;) {
    const ssize_t got = RetryEintr([&] { return read(inotifyFd_, buffer, sizeof buffer); });
    if (got <= 0) return;  // EAGAIN: all read
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event;
      std::memcpy(&event, buffer + offset, sizeof event);
      const char* namePtr = buffer + offset + sizeof(inotify_event);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      if (event.mask & IN_Q_OVERFLOW) {
        Rescan();
        continue;
      }
      if (event.len == 0) continue;
      const std::string name(namePtr, strnlen(namePtr, event.len));
      if (event.mask & (IN_CREATE | IN_MOVED_TO)) Arrived(name);
      if (event.mask & (IN_DELETE | IN_MOVED_FROM)) Left(name);
    }
  }
}

void DevWatch::Rescan() {
  const std::set<std::string> present = ListDirectory(directory_);
  const std::set<std::string> known = known_;
  for (const std::string& name : known) {
    if (!present.count(name)) Left(name);
  }
  for (const std::string& name : present) Arrived(name);
}

void DevWatch::Arrived(const std::string& name) {
  if (known_.count(name) || !belongs_(name)) return;
  known_.insert(name);
  notify_(name, true);
}

void DevWatch::Left(const std::string& name) {
  if (known_.erase(name) == 0) return;
  notify_(name, false);
}

}  // namespace plat::posix
