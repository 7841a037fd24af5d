#include "app/configfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/journal/sha256.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"

namespace app {

namespace {

// A serial text fills a 10-byte field: 9 characters and the terminator.
constexpr size_t kSerialTextMax = 9;
// The positions of the file, 1-based: 1 version, 2..121 parameters, 122 and 123 serial texts,
// 124 device type. Nothing after the last one is read.
constexpr int kLastPosition = 124;
// No good entry comes near this length (a number with this many leading zeros is not taken
// for one); a longer token is refused without reading the rest of it.
constexpr size_t kTokenMax = 4096;
// How much of a refused token its line shows.
constexpr size_t kTokenShown = 40;
constexpr size_t kReadChunk = 4096;

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

struct Token {
  std::string text;       // at most kTokenMax bytes
  bool overlong = false;  // the token went on beyond text
};

// Splits bytes into the file's tokens as they come, and says when it has seen enough.
class TokenReader {
 public:
  // False once no more bytes are needed: the last position's token is complete, a token is
  // overlong, or the encoding is refused.
  bool Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size && !done_; ++i) Take(data[i]);
    return !done_;
  }
  // The end of the content.
  void Finish() {
    if (!encodingKnown_) DecideEncoding();
    EndToken();
    done_ = true;
  }

  bool Utf16() const { return utf16_; }
  const std::vector<Token>& Tokens() const { return tokens_; }

 private:
  void Take(char c) {
    if (!encodingKnown_) {
      head_[headSize_++] = c;
      if (headSize_ == sizeof head_) DecideEncoding();
      return;
    }
    Split(c);
  }

  // The first bytes say how the file was saved: a UTF-8 mark is skipped; a UTF-16 mark, or a
  // zero byte beside the first character (UTF-16 without its mark), refuses the file.
  void DecideEncoding() {
    encodingKnown_ = true;
    const auto byte = [this](size_t i) {
      return i < headSize_ ? static_cast<unsigned char>(head_[i]) : -1;
    };
    if ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF) ||
        (headSize_ >= 2 && (byte(0) == 0) != (byte(1) == 0))) {
      utf16_ = true;
      done_ = true;
      return;
    }
    const size_t skip = byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF ? 3 : 0;
    for (size_t i = skip; i < headSize_ && !done_; ++i) Split(head_[i]);
  }

  void Split(char c) {
    if (IsBlank(c)) {
      EndToken();
      return;
    }
    inToken_ = true;
    if (current_.text.size() < kTokenMax) {
      current_.text.push_back(c);
      return;
    }
    current_.overlong = true;
    EndToken();
    done_ = true;
  }

  void EndToken() {
    if (!inToken_) return;
    tokens_.push_back(std::move(current_));
    current_ = Token{};
    inToken_ = false;
    if (static_cast<int>(tokens_.size()) == kLastPosition) done_ = true;
  }

  bool encodingKnown_ = false;
  bool utf16_ = false;
  bool done_ = false;
  bool inToken_ = false;
  char head_[3] = {};  // the first bytes, until they have said how the file was saved
  size_t headSize_ = 0;
  Token current_;
  std::vector<Token> tokens_;
};

// The leading "%d" number of a token: optional sign, then at least one digit. False when the
// token does not start with one, or when it does not fit 32 bits.
bool LeadingNumber(const Token& token, long long& value, size_t& used) {
  const std::string& text = token.text;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t digits = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == digits) return false;
  if (i == text.size() && token.overlong) return false;  // the digits go on: far too large
  errno = 0;
  value = std::strtoll(text.substr(0, i).c_str(), nullptr, 10);
  used = i;
  return errno == 0 && value >= INT32_MIN && value <= INT32_MAX;
}

// A whole token that is written as a decimal integer (an optional sign, then digits), whatever
// its size.
bool IntegerText(const Token& token) {
  const std::string& text = token.text;
  const size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  return text.size() > digits &&
         text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// A whole token that is a decimal integer in the signed 32-bit range.
bool WholeNumber(const Token& token, std::int32_t& value) {
  long long v = 0;
  size_t used = 0;
  if (token.overlong || !LeadingNumber(token, v, used) || used != token.text.size()) {
    return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

// Bytes as a technician can read them: printable characters as they are, every other byte
// (and '<' itself) as <XX> in hexadecimal.
std::string Readable(const std::string& bytes) {
  std::string shown;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 0x20 && b < 0x7F && b != '<') || b >= 0xA0) {
      shown.push_back(c);
    } else {
      shown += fw::Format("<%02X>", b);
    }
  }
  return shown;
}

// A token as its line shows it: readable, and shortened so the line keeps its reason.
std::string Shown(const Token& token) {
  if (token.text.size() <= kTokenShown && !token.overlong) return Readable(token.text);
  return Readable(token.text.substr(0, kTokenShown)) + "...";
}

std::string EntryName(int position) {
  if (position == 1) return texts::kEntryVersion;
  if (position <= 121) return texts::kEntryParameter + std::to_string(position - 1);
  if (position == 122) return texts::kEntrySerial1;
  if (position == 123) return texts::kEntrySerial2;
  return texts::kEntryDeviceType;
}

std::string Describe(const char* format, int position, const std::string& token) {
  return fw::Format(format, position, EntryName(position), token);
}

template <size_t N>
void CopyText(char (&field)[N], const std::string& text) {
  const size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

ConfigLoadOutcome Parse(const TokenReader& reader, protocol::ConfigRecord& record) {
  if (reader.Utf16()) return {ConfigLoadResult::Damaged, texts::kConfigUtf16};
  const std::vector<Token>& tokens = reader.Tokens();
  if (tokens.empty()) {
    return {ConfigLoadResult::Damaged, Describe(texts::kEntryMissing, 1, "")};
  }
  long long version = 0;
  size_t used = 0;
  if (!LeadingNumber(tokens[0], version, used) || version != record.formatVersion) {
    return {ConfigLoadResult::VersionMismatch, {}};
  }
  for (int position = 1; position <= kLastPosition; ++position) {
    if (position > static_cast<int>(tokens.size())) {
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryMissing, position, "")};
    }
    const Token& token = tokens[position - 1];
    const bool isText = position == 122 || position == 123;
    std::int32_t number = 0;
    if (isText && (token.overlong || token.text.size() > kSerialTextMax)) {
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryTooLong, position, Shown(token))};
    }
    if (isText && token.text.find('\0') != std::string::npos) {
      // A field's text ends at its first zero byte: the rest would go out as something else.
      return {ConfigLoadResult::Damaged, Describe(texts::kEntryHasNul, position, Shown(token))};
    }
    if (!isText && !WholeNumber(token, number)) {
      const char* why = IntegerText(token) ? texts::kEntryOutOfRange : texts::kEntryNotNumber;
      return {ConfigLoadResult::Damaged, Describe(why, position, Shown(token))};
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
  CopyText(loaded.serialPart1, tokens[121].text);
  CopyText(loaded.serialPart2, tokens[122].text);
  WholeNumber(tokens[123], loaded.deviceType);
  loaded.loaded = 1;
  record = loaded;
  return {ConfigLoadResult::Loaded, {}};
}

// The warning for a serial text whose length differs from the bytes sent of it.
void WarnSerialWidth(std::vector<std::string>& lines, int part, const char* field, int sent) {
  const std::string text(field);
  const std::string bytes(field, static_cast<size_t>(sent));
  const int length = static_cast<int>(text.size());
  if (length == sent) return;
  lines.push_back(fw::Format(length > sent ? texts::kWarnSerialLong : texts::kWarnSerialShort,
                             part, Readable(text), sent, Readable(bytes)));
}

}  // namespace

ConfigLoadOutcome ParseConfigText(const std::string& content, protocol::ConfigRecord& record) {
  TokenReader reader;
  reader.Feed(content.data(), content.size());
  reader.Finish();
  return Parse(reader, record);
}

std::filesystem::path ConfigFilePath(const std::string& place,
                                     const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  if (place.empty()) return folder / texts::kConfigFileName;
  const fs::path named = (folder / plat::FilePath(place)).lexically_normal();
  std::error_code error;
  if (fs::is_directory(named, error)) return named / texts::kConfigFileName;
  return named;
}

ConfigLoadOutcome ReadConfigFile(const std::filesystem::path& path,
                                 protocol::ConfigRecord& record) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path parent = path.parent_path();
  const auto shown = [](const fs::path& place) {
    return fw::VisibleUtf8ToCp1252(reinterpret_cast<const char*>(place.u8string().c_str()));
  };
  const fs::file_status status = fs::status(path, error);
  if (!error && fs::exists(status) && !fs::is_regular_file(status)) {
    // Opening a FIFO would wait for a writer, and a device never ends: neither is read.
    const char* what = fs::is_directory(status) ? texts::kConfigIsFolder : texts::kConfigIsDevice;
    return {ConfigLoadResult::CannotOpen, fw::Format(texts::kConfigNotAFile, shown(parent), what)};
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    // A place named on the command line whose folder is missing too: that place is what was
    // searched (a folder named "fehlt/4711" is not looked for in "fehlt").
    const bool placeMissing = !parent.empty() && !fs::exists(parent, error) &&
                              path.filename() != texts::kConfigFileName;
    return {ConfigLoadResult::CannotOpen,
            fw::Format(texts::kConfigSearchedIn, shown(placeMissing ? path : parent))};
  }
  constexpr std::uintmax_t kFileMax = std::uintmax_t{kConfigFileMaxMiB} << 20;
  if (const std::uintmax_t size = fs::file_size(path, error); !error && size > kFileMax) {
    return {ConfigLoadResult::Damaged, fw::Format(texts::kConfigTooLarge, kConfigFileMaxMiB)};
  }
  TokenReader reader;
  journal::Sha256 hash;
  std::string kept;
  bool parsing = true;
  // The size is checked as the bytes come too: the file may grow while it is read.
  std::uintmax_t size = 0;
  std::vector<char> chunk(kReadChunk * 16);
  while (file) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<size_t>(file.gcount());
    size += got;
    if (size > kFileMax) {
      return {ConfigLoadResult::Damaged, fw::Format(texts::kConfigTooLarge, kConfigFileMaxMiB)};
    }
    if (parsing) parsing = reader.Feed(chunk.data(), got);
    hash.Add(chunk.data(), got);
    if (kept.size() <= kConfigKeptBytes) {
      kept.append(chunk.data(), std::min(got, kConfigKeptBytes + 1 - kept.size()));
    }
  }
  reader.Finish();
  ConfigLoadOutcome outcome = Parse(reader, record);
  outcome.path = fs::absolute(path, error);
  if (error) outcome.path = path;
  outcome.sha256 = hash.Hex();
  outcome.keptCut = kept.size() > kConfigKeptBytes;
  if (outcome.keptCut) kept.resize(kConfigKeptBytes);
  outcome.kept = std::move(kept);
  return outcome;
}

std::string SerialNumberShown(const protocol::ConfigRecord& record) {
  return Readable(std::string(record.serialPart1, protocol::kSerialPart1Bytes) +
                  std::string(record.serialPart2, protocol::kSerialPart2Bytes));
}

std::vector<std::string> WriteSummary(const protocol::ConfigRecord& record) {
  using protocol::kSerialPart1Bytes;
  using protocol::kSerialPart2Bytes;
  std::vector<std::string> lines;
  lines.push_back(fw::Format(texts::kSummarySerial, SerialNumberShown(record)));
  lines.push_back(fw::Format(texts::kSummaryDeviceType, static_cast<int>(record.deviceType)));
  WarnSerialWidth(lines, 1, record.serialPart1, kSerialPart1Bytes);
  WarnSerialWidth(lines, 2, record.serialPart2, kSerialPart2Bytes);
  return lines;
}

}  // namespace app
