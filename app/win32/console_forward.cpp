#include "app/win32/console_forward.h"

namespace app::companion {

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of the sequence a byte starts; 1 for a byte that starts none.
size_t SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

size_t WholeSequencesPrefix(const char* data, size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  // Back over at most three continuation bytes to the byte that leads them.
  size_t lead = size;
  size_t continuations = 0;
  while (lead > 0 && continuations < 3 && IsContinuation(bytes[lead - 1])) {
    --lead;
    ++continuations;
  }
  if (lead == 0) return size;  // continuation bytes without a lead: nothing to wait for
  --lead;
  return size - lead < SequenceLength(bytes[lead]) ? lead : size;
}

void Utf8Forwarder::Feed(const char* data, size_t size) {
  if (size == 0) return;
  pending_.append(data, size);
  const size_t whole = WholeSequencesPrefix(pending_.data(), pending_.size());
  if (whole == 0) return;
  sink_(pending_.substr(0, whole));
  pending_.erase(0, whole);
}

void Utf8Forwarder::Finish() {
  if (pending_.empty()) return;
  sink_(pending_);
  pending_.clear();
}

}  // namespace app::companion
