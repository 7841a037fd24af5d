// SHA-256 of a byte string (FIPS 180-4), for the journal's fingerprint of Quorix.lcd. Our own:
// neither the C library nor the journal's databases offer one on every target.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace app::journal {

// The same digest of bytes that come in pieces (a file read chunk by chunk), in constant memory.
class Sha256 {
 public:
  void Add(const char* data, size_t size);
  // The digest of everything added; the object is spent afterwards.
  std::string Hex();

 private:
  std::array<std::uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block_[64] = {};
  size_t blockSize_ = 0;
  std::uint64_t total_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

}  // namespace app::journal
