#include "platform/posix/hostfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/posix/errno_map.h"

namespace plat::posix {

namespace {

constexpr std::size_t kMaxSmallFile = 4096;

}  // namespace

HostPaths DefaultHostPaths(const SysCalls& sys) {
  HostPaths paths;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    paths.state = runtime;
  } else if (sys.Getuid() == 0) {
    paths.state = "/run";
  }
  return paths;
}

std::optional<std::string> ReadSmallFile(const SysCalls& sys, const std::string& path) {
  const int fd =
      RetryEintr([&] { return sys.Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t n = RetryEintr([&] { return sys.Read(fd, buffer, sizeof buffer); });
    if (n < 0) {
      const int err = errno;
      sys.Close(fd);
      errno = err;
      return std::nullopt;
    }
    if (n == 0 || text.size() >= kMaxSmallFile) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  sys.Close(fd);
  if (text.size() > kMaxSmallFile) text.resize(kMaxSmallFile);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

namespace {

int WriteAll(const SysCalls& sys, int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = sys.Write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int WriteAndClose(const SysCalls& sys, int fd, const std::string& text) {
  const int err = WriteAll(sys, fd, text);
  // A sysfs attribute may report its error only here.
  const int closed = sys.Close(fd);
  if (err != 0) return err;
  return closed != 0 ? errno : 0;
}

}  // namespace

int WriteExistingFile(const SysCalls& sys, const std::string& path, const std::string& text) {
  const int fd =
      RetryEintr([&] { return sys.Open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
  if (fd < 0) return errno;
  return WriteAndClose(sys, fd, text);
}

int WritePrivateFile(const SysCalls& sys, const std::string& path, const std::string& text) {
  const int fd = RetryEintr([&] {
    return sys.Create(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  });
  if (fd < 0) return errno;
  return WriteAndClose(sys, fd, text);
}

std::optional<std::string> LinkTargetName(const SysCalls& sys, const std::string& path) {
  char target[4096];
  const ssize_t n = sys.Readlink(path.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return std::nullopt;
  std::string text(target, static_cast<std::size_t>(n));
  while (!text.empty() && text.back() == '/') text.pop_back();
  const std::size_t slash = text.rfind('/');
  std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  return name;
}

bool Exists(const SysCalls& sys, const std::string& path) {
  struct stat status {};
  return sys.Stat(path.c_str(), &status) == 0;
}

std::optional<std::string> KernelDeviceName(const SysCalls& sys, const std::string& sysfs,
                                            dev_t rdev) {
  return LinkTargetName(sys, sysfs + "/dev/char/" + std::to_string(major(rdev)) + ":" +
                                 std::to_string(minor(rdev)));
}

std::string ErrnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace plat::posix
