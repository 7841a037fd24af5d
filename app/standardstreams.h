// Standard output and standard error as the program entry watches them: a write that fails
// (a full disk, a terminal that went away) is remembered, so that a run that said nothing of it
// cannot end as a success. A reader that has gone (a closed pipe, `| head`) is not such a
// failure: the user chose to read no further, and the board is written all the same.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <streambuf>

namespace app {

// While it exists, std::cout and std::cerr write through it to stdout and stderr.
class StandardStreams {
 public:
  StandardStreams();
  ~StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

  // The status the program ends with: status, or kExitIoError when it is 0 and writing to
  // standard output or standard error failed (flushes both first). A failure of standard output
  // is said on standard error when that still works.
  int ExitStatus(int status);

 private:
  // Unbuffered: each write goes to the C stream at once; the first failure's errno is kept.
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(std::FILE* (*file)()) : file_(file) {}
    int Flush();
    int Error() const { return error_; }

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override { return Flush() == 0 ? 0 : -1; }

   private:
    void Failed(int error);
    std::FILE* (*file_)();
    int error_ = 0;
  };

  Buffer out_;
  Buffer err_;
  std::streambuf* previousOut_;
  std::streambuf* previousErr_;
};

}  // namespace app
