// Output files on Windows: exclusive creation and renaming over (see platform/outputfiles.h).
// A user's folder is not shared with others' links here, so a file to append to is opened as
// it is named. Every call is the wide one: any name the system allows opens.
#include "platform/outputfiles.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace plat {

bool TextFilesInUtf8() { return false; }

std::FILE* OpenForAppend(const std::filesystem::path& path, int& error) {
  std::FILE* file = ::_wfopen(path.c_str(), L"a");
  if (file == nullptr) error = errno;
  return file;
}

std::FILE* CreateExclusive(const std::filesystem::path& path, int& error) {
  const int fd =
      ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) {
    error = errno;
    ::_close(fd);
  }
  return file;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      errno = EACCES;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    default:
      errno = EIO;
      break;
  }
  return false;
}

}  // namespace plat
