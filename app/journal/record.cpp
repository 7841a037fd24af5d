#include "app/journal/record.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <utility>

#include "app/journal/texts.h"
#include "framework/sysutils.h"
#include "app/exitstatus.h"

namespace app::journal {

namespace {

std::optional<std::string> Text(const std::string& value) { return value; }

template <typename T>
std::optional<std::string> Number(const std::optional<T>& value) {
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

std::string TextOf(const std::optional<std::string>& value) { return value.value_or(""); }

template <typename T>
std::optional<T> NumberOf(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  return static_cast<T>(std::stoll(*value));
}

}  // namespace

const std::vector<JournalColumn>& JournalColumns() {
  static const std::vector<JournalColumn> columns = {
      {"run_id", false},
      {"started", false},
      {"ended", false},
      {"duration_ms", true},
      {"host", false},
      {"user_name", false},
      {"tool_version", false},
      {"platform", false},
      {"simulated", true},
      {"scenario", false},
      {"port", false},
      {"converter_vid", false},
      {"converter_pid", false},
      {"converter_serial", false},
      {"config_path", false},
      {"config_sha256", false},
      {"config_text", false},
      {"serial", false},
      {"serial_bytes", false},
      {"device_type", true},
      {"operations", false},
      {"exit_status", true},
      {"exit_name", false},
      {"failure", false},
      {"latency_found_ms", true},
      {"latency_set_ms", true},
  };
  return columns;
}

std::vector<std::optional<std::string>> ColumnValues(const JournalRecord& r) {
  return {Text(r.runId),
          Text(r.started),
          r.ended.empty() ? std::nullopt : Text(r.ended),
          Number(r.durationMs),
          Text(r.host),
          Text(r.user),
          Text(r.toolVersion),
          Text(r.platform),
          std::string(r.simulated ? "1" : "0"),
          Text(r.scenario),
          Text(r.port),
          Text(r.converterVid),
          Text(r.converterPid),
          Text(r.converterSerial),
          Text(r.configPath),
          Text(r.configSha256),
          Text(r.configText),
          Text(r.serial),
          Text(r.serialBytes),
          Number(r.deviceType),
          Text(r.operations),
          Number(r.exitStatus),
          Text(r.exitName),
          Text(r.failure),
          Number(r.latencyFound),
          Number(r.latencySet)};
}

JournalRecord RecordFromValues(const std::vector<std::optional<std::string>>& v) {
  if (v.size() != JournalColumns().size()) {
    throw std::invalid_argument("journal row with " + std::to_string(v.size()) + " columns");
  }
  JournalRecord r;
  size_t i = 0;
  r.runId = TextOf(v[i++]);
  r.started = TextOf(v[i++]);
  r.ended = TextOf(v[i++]);
  r.durationMs = NumberOf<std::int64_t>(v[i++]);
  r.host = TextOf(v[i++]);
  r.user = TextOf(v[i++]);
  r.toolVersion = TextOf(v[i++]);
  r.platform = TextOf(v[i++]);
  r.simulated = NumberOf<int>(v[i++]).value_or(0) != 0;
  r.scenario = TextOf(v[i++]);
  r.port = TextOf(v[i++]);
  r.converterVid = TextOf(v[i++]);
  r.converterPid = TextOf(v[i++]);
  r.converterSerial = TextOf(v[i++]);
  r.configPath = TextOf(v[i++]);
  r.configSha256 = TextOf(v[i++]);
  r.configText = TextOf(v[i++]);
  r.serial = TextOf(v[i++]);
  r.serialBytes = TextOf(v[i++]);
  r.deviceType = NumberOf<int>(v[i++]);
  r.operations = TextOf(v[i++]);
  r.exitStatus = NumberOf<int>(v[i++]);
  r.exitName = TextOf(v[i++]);
  r.failure = TextOf(v[i++]);
  r.latencyFound = NumberOf<int>(v[i++]);
  r.latencySet = NumberOf<int>(v[i++]);
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
