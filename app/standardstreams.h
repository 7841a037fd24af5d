// Standard output and standard error as the program entry watches them: a write that fails
// (a full disk, a terminal that went away) is remembered, so that a run that said nothing of it
// cannot end as a success. A reader that has gone (a closed pipe, `| head`) is not such a
// failure: the user chose to read no further, and the board is written all the same.
//
// The program's text is UTF-8. Each stream writes it in the code page chosen for where it goes
// (plat::StandardStreamCodePage: UTF-8 on a terminal and on POSIX; on Windows a pipe or a file
// gets the console's code page, which `more`, `findstr` and `type` read); a UTF-8 sequence that
// one write splits is held until it is whole.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <streambuf>
#include <string>

#include "platform/hosttext.h"

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

  // The code page each stream writes in from now on (plat::kCodePageUtf8: the bytes unchanged,
  // as at the start).
  void SetCodePages(unsigned out, unsigned err);
  // Standard output for machine output (CSV): UTF-8 whatever it goes to.
  void KeepOutputUtf8();

 private:
  // Unbuffered: each write goes to the C stream at once; the first failure's errno is kept.
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(std::FILE* (*file)()) : file_(file) {}
    int Flush();
    int Error() const { return error_; }
    void SetCodePage(unsigned codePage);

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override { return Flush() == 0 ? 0 : -1; }

   private:
    void Failed(int error);
    // Writes bytes (already in the stream's code page); false on failure.
    bool Put(const char* data, size_t size);
    // Converts and writes the whole UTF-8 sequences of pending_ (all of it when final).
    bool PutPending(bool final);
    std::FILE* (*file_)();
    int error_ = 0;
    unsigned codePage_ = plat::kCodePageUtf8;
    std::string pending_;  // UTF-8 not yet converted (a sequence cut by a write)
  };

  Buffer out_;
  Buffer err_;
  std::streambuf* previousOut_;
  std::streambuf* previousErr_;
};

}  // namespace app
