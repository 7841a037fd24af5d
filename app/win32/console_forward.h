// How lcdwrite.com passes the window program's output on to its console: in pieces that end
// only where a UTF-8 sequence ends. The program writes UTF-8 as its C runtime likes, one byte
// per write when its stream is unbuffered; a console shows each write on its own, so a
// sequence split across two writes would come out as two replacement marks. Pure code on bytes,
// tested on its own; the companion's sink converts each piece and writes it to the console.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace app::companion {

// The length of the longest prefix of data that does not end inside a UTF-8 sequence: all of
// it, or all but an incomplete sequence at its end (at most 3 bytes). Bytes that cannot start
// or continue a sequence are not held back.
size_t WholeSequencesPrefix(const char* data, size_t size);

class Utf8Forwarder {
 public:
  using Sink = std::function<void(const std::string& piece)>;
  explicit Utf8Forwarder(Sink sink) : sink_(std::move(sink)) {}

  // Passes on everything up to the last whole sequence, in one piece, and keeps the rest for
  // the next call.
  void Feed(const char* data, size_t size);
  // The end of the output: what is kept is passed on as it is.
  void Finish();

 private:
  Sink sink_;
  std::string pending_;
};

}  // namespace app::companion
