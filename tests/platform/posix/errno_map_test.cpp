#include "platform/posix/errno_map.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

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

// A call is repeated only while it fails with EINTR; its last result and errno come back.
TEST(RetryEintr, repeats_only_interrupted_calls) {
  struct Row {
    std::vector<int> errnos;  // one per call: 0 succeeds (returns 7), others fail with -1
    int calls;
    int result;
    int lastErrno;
  } rows[] = {
      {{0}, 1, 7, 0},
      {{EINTR, EINTR, 0}, 3, 7, 0},
      {{EINTR, EIO}, 2, -1, EIO},
      {{EAGAIN, 0}, 1, -1, EAGAIN},
  };
  for (const Row& row : rows) {
    int calls = 0;
    errno = 0;
    const int result = RetryEintr([&] {
      const int err = row.errnos[static_cast<std::size_t>(calls++)];
      errno = err;
      return err == 0 ? 7 : -1;
    });
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(errno, row.lastErrno);
  }
}

}  // namespace
}  // namespace plat::posix
