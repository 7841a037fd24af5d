#include "platform/posix/errno_map.h"

#include <cerrno>

namespace plat::posix {

bool IsDeviceGoneErrno(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

DWORD Win32FromErrno(int err, ErrnoContext context) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:  // a flock held by another process
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
    case ENOSPC:
    case EMFILE:
    case ENFILE:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
    case ENXIO:
    case ENODEV:
      // At open these mean "no hardware behind this node"; on an open handle, "unplugged".
      if (context == ErrnoContext::Open) return err == EIO ? ERROR_GEN_FAILURE : ERROR_FILE_NOT_FOUND;
      return ERROR_ACCESS_DENIED;
    case ENOTTY:
      return ERROR_NOT_SUPPORTED;
    case EINVAL:
      return context == ErrnoContext::LineIoctl ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    case EINTR:
    case ECANCELED:
      return ERROR_OPERATION_ABORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace plat::posix
