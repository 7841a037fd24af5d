// SHA-256 of a byte string (FIPS 180-4), for the journal's fingerprint of Quorix.lcd. Our own:
// neither the C library nor the journal's databases offer one on every target.
#pragma once

#include <string>

namespace app::journal {

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

}  // namespace app::journal
