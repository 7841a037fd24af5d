// Bytes as the hex text of ptyfarend's request lines ("send 0d0a", "ok 3132"), for both ends of
// its socket: ptyfarend itself and the Windows test that drives it.
#pragma once

#include <cstdlib>
#include <string>

namespace ptyfarend {

inline std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
  }
  return text;
}

// False when text is not whole pairs of hex digits.
inline bool Unhex(const std::string& text, std::string& bytes) {
  if (text.size() % 2) return false;
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    bytes += static_cast<char>(value);
  }
  return true;
}

}  // namespace ptyfarend
