#include "app/configfile.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/texts.h"

namespace app {

namespace {

// A serial text fills a 10-byte field: 9 characters and the terminator.
constexpr size_t kSerialTextMax = 9;

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string> Tokens(const std::string& content) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < content.size()) {
    while (i < content.size() && IsBlank(content[i])) ++i;
    const size_t start = i;
    while (i < content.size() && !IsBlank(content[i])) ++i;
    if (i > start) tokens.push_back(content.substr(start, i - start));
  }
  return tokens;
}

// The leading "%d" number of a token: optional sign, then at least one digit. False when the
// token does not start with one, or when it does not fit 32 bits.
bool LeadingNumber(const std::string& token, long long& value, size_t& used) {
  size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  const size_t digits = i;
  while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) ++i;
  if (i == digits) return false;
  errno = 0;
  value = std::strtoll(token.substr(0, i).c_str(), nullptr, 10);
  used = i;
  return errno == 0 && value >= INT32_MIN && value <= INT32_MAX;
}

// A whole token that is a decimal integer in the signed 32-bit range.
bool WholeNumber(const std::string& token, std::int32_t& value) {
  long long v = 0;
  size_t used = 0;
  if (!LeadingNumber(token, v, used) || used != token.size()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

std::string EntryName(int position) {
  if (position == 1) return texts::kEntryVersion;
  if (position <= 121) return texts::kEntryParameter + std::to_string(position - 1);
  if (position == 122) return texts::kEntrySerial1;
  if (position == 123) return texts::kEntrySerial2;
  return texts::kEntryDeviceType;
}

std::string Describe(const char* format, int position, const std::string& token) {
  char buffer[300];
  std::snprintf(buffer, sizeof buffer, format, position, EntryName(position).c_str(),
                token.c_str());
  return buffer;
}

template <size_t N>
void CopyText(char (&field)[N], const std::string& text) {
  const size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

ConfigLoadOutcome ParseConfigText(const std::string& content, protocol::ConfigRecord& record) {
  const std::vector<std::string> tokens = Tokens(content);
  long long version = 0;
  size_t used = 0;
  if (tokens.empty() || !LeadingNumber(tokens[0], version, used) ||
      version != record.formatVersion) {
    return {ConfigLoadResult::VersionMismatch, {}};
  }
  // The positions of the file, 1-based: 1 version, 2..121 parameters, 122 and 123 serial
  // texts, 124 device type.
  constexpr int kLastPosition = 124;
  for (int position = 1; position <= kLastPosition; ++position) {
    if (position > static_cast<int>(tokens.size())) {
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryMissing, position, "")};
    }
    const std::string& token = tokens[position - 1];
    const bool isText = position == 122 || position == 123;
    std::int32_t number = 0;
    if (isText && token.size() > kSerialTextMax) {
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryTooLong, position, token)};
    }
    if (!isText && !WholeNumber(token, number)) {
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryNotNumber, position, token)};
    }
  }
  protocol::ConfigRecord loaded = record;
  for (int n = 0; n < loaded.parameterCount; ++n) {
    std::int32_t value = 0;
    WholeNumber(tokens[1 + n], value);
    loaded.parameters[n] = value;
  }
  // A text overwrites its field up to and including its terminator; the bytes after that keep
  // what the field held (a short text sends them as part of the serial number).
  CopyText(loaded.serialPart1, tokens[121]);
  CopyText(loaded.serialPart2, tokens[122]);
  WholeNumber(tokens[123], loaded.deviceType);
  loaded.loaded = 1;
  record = loaded;
  return {ConfigLoadResult::Loaded, {}};
}

}  // namespace app
