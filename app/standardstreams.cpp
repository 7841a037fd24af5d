#include "app/standardstreams.h"

#include <cerrno>
#include <iostream>

#include "app/outputfiles.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "app/exitstatus.h"
#include "platform/hosttext.h"

namespace app {

namespace {
std::FILE* Out() { return stdout; }
std::FILE* Err() { return stderr; }

// The length of the longest prefix of text that does not end inside a UTF-8 sequence. Bytes
// that cannot be part of one are not held back.
size_t WholeSequences(const std::string& text) {
  const size_t size = text.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(text[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t length =
        byte < 0xC2 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : byte <= 0xF4 ? 4 : 1;
    return length > back ? size - back : size;
  }
  return size;
}
}  // namespace

void StandardStreams::Buffer::SetCodePage(unsigned codePage) {
  PutPending(true);
  codePage_ = codePage;
}

bool StandardStreams::Buffer::Put(const char* data, size_t size) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, file_()) == size) return true;
  Failed(errno);
  return false;
}

bool StandardStreams::Buffer::PutPending(bool final) {
  const size_t whole = final ? pending_.size() : WholeSequences(pending_);
  if (whole == 0) return true;
  const std::string text = plat::Utf8ToCodePage(pending_.substr(0, whole), codePage_);
  pending_.erase(0, whole);
  return Put(text.data(), text.size());
}

void StandardStreams::Buffer::Failed(int error) {
  // A reader that has gone is no failure of the output (see the header).
  if (error_ == 0 && error != EPIPE) error_ = error != 0 ? error : EIO;
}

StandardStreams::Buffer::int_type StandardStreams::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (codePage_ != plat::kCodePageUtf8) {
    pending_.push_back(traits_type::to_char_type(c));
    return PutPending(false) ? c : traits_type::eof();
  }
  if (std::fputc(traits_type::to_char_type(c), file_()) == EOF) {
    Failed(errno);
    return traits_type::eof();
  }
  return c;
}

std::streamsize StandardStreams::Buffer::xsputn(const char* s, std::streamsize n) {
  if (codePage_ != plat::kCodePageUtf8) {
    pending_.append(s, static_cast<size_t>(n));
    return PutPending(false) ? n : 0;
  }
  const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), file_());
  if (written != static_cast<std::size_t>(n)) Failed(errno);
  return static_cast<std::streamsize>(written);
}

int StandardStreams::Buffer::Flush() {
  // What is held stays held: the rest of its sequence may still come.
  if (std::fflush(file_()) != 0) Failed(errno);
  return error_;
}

StandardStreams::StandardStreams()
    : out_(&Out),
      err_(&Err),
      previousOut_(std::cout.rdbuf(&out_)),
      previousErr_(std::cerr.rdbuf(&err_)) {}

void StandardStreams::SetCodePages(unsigned out, unsigned err) {
  out_.SetCodePage(out);
  err_.SetCodePage(err);
}

void StandardStreams::KeepOutputUtf8() { out_.SetCodePage(plat::kCodePageUtf8); }

StandardStreams::~StandardStreams() {
  std::cout.rdbuf(previousOut_);
  std::cerr.rdbuf(previousErr_);
}

int StandardStreams::ExitStatus(int status) {
  // The end of the output: a sequence still cut goes out as it is.
  out_.SetCodePage(plat::kCodePageUtf8);
  const int outError = out_.Flush();
  if (outError != 0) {
    std::cerr << "lcdwrite: "
              << fw::Cp1252ToUtf8(fw::Format(texts::kStdoutFailed, FileErrorCause(outError)))
              << "\n";
  }
  err_.SetCodePage(plat::kCodePageUtf8);
  const int errError = err_.Flush();
  if (status != kExitWritten || (outError == 0 && errError == 0)) return status;
  return kExitIoError;
}

}  // namespace app
