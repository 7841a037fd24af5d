#include "app/journal/record.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <utility>

#include "app/journal/store.h"
#include "app/journal/texts.h"
#include "framework/sysutils.h"
#include "app/exitstatus.h"

namespace app::journal {

namespace {

using Value = std::optional<std::string>;

// A column's name and type with how the record gives and takes its value.
struct ColumnAccess {
  JournalColumn column;
  std::function<Value(const JournalRecord&)> get;
  std::function<void(JournalRecord&, const Value&)> set;
};

// A number column's value: all of the text a number of T's range, else JournalError.
template <typename T>
std::optional<T> NumberOf(const char* column, const Value& value) {
  if (!value || value->empty()) return std::nullopt;
  long long number = 0;
  const char* first = value->data();
  const char* last = first + value->size();
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number < std::numeric_limits<T>::min() ||
      number > std::numeric_limits<T>::max()) {
    constexpr size_t kShown = 40;  // of a value that may be a whole file
    throw JournalError(fw::Format(texts::kBadValue, column,
                                  fw::Utf8ToCp1252(EscapedText(value->substr(0, kShown), true))));
  }
  return static_cast<T>(number);
}

template <typename T>
Value NumberText(const std::optional<T>& value) {
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

// The columns' kinds, each from a member of the record.
ColumnAccess TextColumn(const char* name, std::string JournalRecord::*field, int since = 1) {
  return {{name, false, since}, [field](const JournalRecord& r) -> Value { return r.*field; },
          [field](JournalRecord& r, const Value& v) { r.*field = v.value_or(""); }};
}

template <typename T>
ColumnAccess NumberColumn(const char* name, std::optional<T> JournalRecord::*field) {
  return {{name, true, 1}, [field](const JournalRecord& r) { return NumberText(r.*field); },
          [name, field](JournalRecord& r, const Value& v) { r.*field = NumberOf<T>(name, v); }};
}

ColumnAccess FlagColumn(const char* name, bool JournalRecord::*field, int since = 1) {
  return {{name, true, since},
          [field](const JournalRecord& r) -> Value { return r.*field ? "1" : "0"; },
          [name, field](JournalRecord& r, const Value& v) {
            r.*field = NumberOf<int>(name, v).value_or(0) != 0;
          }};
}

const std::vector<ColumnAccess>& Access() {
  using R = JournalRecord;
  static const std::vector<ColumnAccess> columns = {
      TextColumn("run_id", &R::runId),
      TextColumn("started", &R::started),
      // NULL until the run is completed.
      ColumnAccess{{"ended", false, 1},
                   [](const R& r) -> Value {
                     if (r.ended.empty()) return std::nullopt;
                     return r.ended;
                   },
                   [](R& r, const Value& v) { r.ended = v.value_or(""); }},
      NumberColumn("duration_ms", &R::durationMs),
      TextColumn("host", &R::host),
      TextColumn("user_name", &R::user),
      TextColumn("tool_version", &R::toolVersion),
      TextColumn("platform", &R::platform),
      FlagColumn("simulated", &R::simulated),
      TextColumn("scenario", &R::scenario),
      TextColumn("port", &R::port),
      TextColumn("converter_vid", &R::converterVid),
      TextColumn("converter_pid", &R::converterPid),
      TextColumn("converter_serial", &R::converterSerial),
      TextColumn("config_path", &R::configPath),
      TextColumn("config_sha256", &R::configSha256),
      TextColumn("config_text", &R::configText),
      TextColumn("serial", &R::serial),
      TextColumn("serial_bytes", &R::serialBytes),
      NumberColumn("device_type", &R::deviceType),
      TextColumn("operations", &R::operations),
      NumberColumn("exit_status", &R::exitStatus),
      TextColumn("exit_name", &R::exitName),
      TextColumn("failure", &R::failure),
      NumberColumn("latency_found_ms", &R::latencyFound),
      NumberColumn("latency_set_ms", &R::latencySet),
      // Schema 3.
      TextColumn("config_sent", &R::configSent, 3),
      FlagColumn("config_text_cut", &R::configTextCut, 3),
  };
  return columns;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string EscapedText(const std::string& text, bool controls, bool backslashes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t n = fw::Utf8SequenceLength(text, i);
    const auto b = static_cast<unsigned char>(text[i]);
    const bool control =
        n == 1 && (b == 0 || (controls && ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') ||
                                           b == 0x7F)));
    if (n == 0 || control) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
      ++i;
    } else if (b == '\\' && backslashes) {
      out += "\\\\";
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string UnescapedText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
               HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

const std::vector<JournalColumn>& JournalColumns() {
  static const std::vector<JournalColumn> columns = [] {
    std::vector<JournalColumn> list;
    for (const ColumnAccess& access : Access()) list.push_back(access.column);
    return list;
  }();
  return columns;
}

size_t ColumnIndex(const char* name) {
  const auto& columns = JournalColumns();
  for (size_t i = 0; i < columns.size(); ++i) {
    if (std::strcmp(columns[i].name, name) == 0) return i;
  }
  throw std::logic_error(std::string("no journal column ") + name);
}

std::vector<Value> ColumnValues(const JournalRecord& record) {
  std::vector<Value> values;
  for (const ColumnAccess& access : Access()) values.push_back(access.get(record));
  return values;
}

std::vector<Value> StoredValues(const JournalRecord& record) {
  std::vector<Value> values = ColumnValues(record);
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] && !Access()[i].column.integer) values[i] = EscapedText(*values[i]);
  }
  return values;
}

void SetColumn(JournalRecord& record, size_t column, const Value& value) {
  Access().at(column).set(record, value);
}

void SetStoredColumn(JournalRecord& record, size_t column, const Value& value) {
  if (value && !Access().at(column).column.integer) {
    SetColumn(record, column, UnescapedText(*value));
  } else {
    SetColumn(record, column, value);
  }
}

JournalRecord RecordFromValues(const std::vector<Value>& values) {
  if (values.size() != Access().size()) {
    throw JournalError(fw::Format(texts::kBadColumnCount, static_cast<int>(values.size()),
                                  static_cast<int>(Access().size())));
  }
  JournalRecord r;
  for (size_t i = 0; i < values.size(); ++i) SetColumn(r, i, values[i]);
  return r;
}

std::string ExitStatusName(int status) {
  static const std::pair<int, const char*> kNames[] = {
      {app::kExitWritten, texts::kExitWritten},
      {app::kExitBoardFailure, texts::kExitBoardFailure},
      {app::kExitNotLoaded, texts::kExitNotLoaded},
      {app::kExitNoPort, texts::kExitNoPort},
      {app::kExitPortError, texts::kExitPortError},
      {app::kExitUsage, texts::kExitUsage},
      {app::kExitInternalError, texts::kExitInternalError},
      {app::kExitInterrupted, texts::kExitInterrupted},
      {app::kExitTerminated, texts::kExitTerminated},
      {app::kExitIoError, texts::kExitIoError},
      {app::kExitHungUp, texts::kExitHungUp},
      {app::kExitQuit, texts::kExitQuit},
  };
  for (const auto& [code, name] : kNames) {
    if (code == status) return fw::Cp1252ToUtf8(name);
  }
  return fw::Format(texts::kExitOther, status);
}

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::tm utc = *std::gmtime(&seconds);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return buffer;
}

std::string NewRunId(const std::string& host) {
  std::random_device device;
  std::mt19937_64 bits(
      (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char random[20];
  std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(bits()));
  std::string stamp = UtcNow();
  std::string compact;
  for (char c : stamp) {
    if (c != '-' && c != ':' && c != '.') compact += c;
  }
  return compact + "-" + host + "-" + random;
}

}  // namespace app::journal
