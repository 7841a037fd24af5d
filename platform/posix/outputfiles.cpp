// Output files on POSIX: exclusive creation, renaming over, and the protected_symlinks rule for
// a file that is appended to (see platform/outputfiles.h).
#include "platform/outputfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/posix/errno_map.h"

namespace plat {

namespace {

int OpenRetrying(const std::filesystem::path& path, int flags) {
  return posix::RetryEintr([&] { return ::open(path.c_str(), flags, 0666); });
}

std::FILE* Stream(int fd, const char* mode, int& error) {
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) {
    error = errno;
    ::close(fd);
  }
  return file;
}

// Whether the link at path (whose own status is link) may be followed: always in a folder only
// its owner can write; elsewhere only a link of the user's or of the folder's owner.
bool MayFollow(const std::filesystem::path& path, const struct stat& link) {
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = std::filesystem::path(".");
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return false;
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return link.st_uid == ::geteuid() || link.st_uid == status.st_uid;
}

}  // namespace

bool TextFilesInUtf8() { return true; }

std::FILE* OpenForAppend(const std::filesystem::path& path, int& error) {
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (!MayFollow(path, link)) {
      error = ELOOP;
      return nullptr;
    }
  } else {
    // No link now: none planted between the look and the open is followed either.
    flags |= O_NOFOLLOW;
  }
  return Stream(OpenRetrying(path, flags), "a", error);
}

std::FILE* CreateExclusive(const std::filesystem::path& path, int& error) {
  return Stream(OpenRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC), "wb", error);
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace plat
