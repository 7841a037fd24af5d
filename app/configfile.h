// Reading Quorix.lcd: whitespace-separated tokens - the configuration version (4), 120
// parameter values, two serial-number texts, the device type. Anything after the device type
// is ignored.
//
// The version is checked first, read as the leading decimal number of the first token (a first
// token that is not a number, or no token at all, fails the version check). A damaged file is
// refused as a whole, before anything reaches the board: a missing value, a token that must be a
// number but is not entirely a decimal integer in the signed 32-bit range, or a serial text
// longer than 9 characters. The record is changed only when the whole file is good.
#pragma once

#include <string>

#include "protocol/configrecord.h"

namespace app {

enum class ConfigLoadResult { Loaded, VersionMismatch, Damaged };

struct ConfigLoadOutcome {
  ConfigLoadResult result;
  // For Damaged: the line that names the entry (its position and the token), in German.
  std::string detail;
};

// Parses the file's content into record (fields and loaded flag) when it is good.
ConfigLoadOutcome ParseConfigText(const std::string& content, protocol::ConfigRecord& record);

}  // namespace app
