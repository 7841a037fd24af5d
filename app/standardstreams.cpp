#include "app/standardstreams.h"

#include <cerrno>
#include <iostream>

#include "app/outputfiles.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "app/exitstatus.h"

namespace app {

namespace {
std::FILE* Out() { return stdout; }
std::FILE* Err() { return stderr; }
}  // namespace

void StandardStreams::Buffer::Failed(int error) {
  // A reader that has gone is no failure of the output (see the header).
  if (error_ == 0 && error != EPIPE) error_ = error != 0 ? error : EIO;
}

StandardStreams::Buffer::int_type StandardStreams::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (std::fputc(traits_type::to_char_type(c), file_()) == EOF) {
    Failed(errno);
    return traits_type::eof();
  }
  return c;
}

std::streamsize StandardStreams::Buffer::xsputn(const char* s, std::streamsize n) {
  const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), file_());
  if (written != static_cast<std::size_t>(n)) Failed(errno);
  return static_cast<std::streamsize>(written);
}

int StandardStreams::Buffer::Flush() {
  if (std::fflush(file_()) != 0) Failed(errno);
  return error_;
}

StandardStreams::StandardStreams()
    : out_(&Out),
      err_(&Err),
      previousOut_(std::cout.rdbuf(&out_)),
      previousErr_(std::cerr.rdbuf(&err_)) {}

StandardStreams::~StandardStreams() {
  std::cout.rdbuf(previousOut_);
  std::cerr.rdbuf(previousErr_);
}

int StandardStreams::ExitStatus(int status) {
  const int outError = out_.Flush();
  if (outError != 0) {
    std::cerr << "lcdwrite: "
              << fw::Cp1252ToUtf8(fw::Format(texts::kStdoutFailed, FileErrorCause(outError)))
              << "\n";
  }
  const int errError = err_.Flush();
  if (status != kExitWritten || (outError == 0 && errError == 0)) return status;
  return kExitIoError;
}

}  // namespace app
