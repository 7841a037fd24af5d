#include "platform/posix/errno_map.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace plat::posix {
namespace {

TEST(Win32FromErrno, table) {
  struct Row {
    int err;
    ErrnoContext context;
    DWORD code;
  } rows[] = {
      {0, ErrnoContext::Transfer, ERROR_SUCCESS},
      {ENOENT, ErrnoContext::Open, ERROR_FILE_NOT_FOUND},
      {EACCES, ErrnoContext::Open, ERROR_ACCESS_DENIED},
      {EBUSY, ErrnoContext::Open, ERROR_ACCESS_DENIED},
      {EWOULDBLOCK, ErrnoContext::Open, ERROR_ACCESS_DENIED},  // flock held elsewhere
      {ENXIO, ErrnoContext::Open, ERROR_FILE_NOT_FOUND},       // node without a device
      {ENODEV, ErrnoContext::Open, ERROR_FILE_NOT_FOUND},
      {EBADF, ErrnoContext::Transfer, ERROR_INVALID_HANDLE},
      {EIO, ErrnoContext::Transfer, ERROR_ACCESS_DENIED},  // unplugged
      {ENXIO, ErrnoContext::Transfer, ERROR_ACCESS_DENIED},
      {ENODEV, ErrnoContext::Transfer, ERROR_ACCESS_DENIED},
      {EIO, ErrnoContext::LineIoctl, ERROR_ACCESS_DENIED},
      {ENOTTY, ErrnoContext::LineIoctl, ERROR_NOT_SUPPORTED},
      {EINVAL, ErrnoContext::LineIoctl, ERROR_NOT_SUPPORTED},
      {EINVAL, ErrnoContext::Transfer, ERROR_INVALID_PARAMETER},
      {ENOMEM, ErrnoContext::Transfer, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Win32FromErrno(row.err, row.context), row.code)
        << "errno " << row.err << " context " << static_cast<int>(row.context);
  }
}

TEST(Win32FromErrno, never_reports_pending_or_success_for_a_failure) {
  for (int err = 1; err < 134; ++err) {
    for (ErrnoContext context : {ErrnoContext::Open, ErrnoContext::Transfer, ErrnoContext::LineIoctl}) {
      const DWORD code = Win32FromErrno(err, context);
      EXPECT_NE(code, ERROR_SUCCESS) << err;
      EXPECT_NE(code, ERROR_IO_PENDING) << err;
    }
  }
}

}  // namespace
}  // namespace plat::posix
