// One record of the write journal: a run that got as far as the board. It is written before
// the first reset (ended, exit status empty) and completed at the end; a record that was never
// completed belongs to a run that died half-way ("abgebrochen").
//
// Every text is UTF-8; the stores keep each column as text or NULL, so one column list
// (JournalColumns) serves SQLite and PostgreSQL alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app::journal {

struct JournalRecord {
  std::string runId;    // unique over every bench: time, host and random bits
  std::string started;  // UTC, ISO 8601 with milliseconds ("2026-12-07T22:58:01.123Z")
  std::string ended;    // empty until completed
  std::optional<std::int64_t> durationMs;
  std::string host;
  std::string user;
  std::string toolVersion;
  std::string platform;  // "linux-x86_64", "windows-x86"
  bool simulated = false;
  std::string scenario;  // the scenario file of a simulated run ("" for the healthy default)
  std::string port;      // the port's name as the tool shows it ("COM3")
  // The converter as the search found it: "0403", "6001", its serial. Empty when the port was
  // named on the command line.
  std::string converterVid;
  std::string converterPid;
  std::string converterSerial;
  std::string configPath;    // Quorix.lcd, absolute
  std::string configSha256;  // of the file's bytes, lower-case hexadecimal
  std::string configText;    // the file's text (Windows-1252 read as such, kept as UTF-8)
  std::string configSent;      // the configuration as sent to the board (its tokens), whole
  bool configTextCut = false;  // configText holds only the file's first 64 KiB
  std::string serial;        // the serial number as text, up to its first zero byte
  std::string serialBytes;   // the seven bytes sent, hexadecimal
  std::optional<int> deviceType;
  std::string operations;         // the operations the board confirmed, in order, comma-separated
  std::optional<int> exitStatus;  // empty until completed
  std::string exitName;
  std::string failure;  // the failure's dialog text (and its detail), "" when there was none
  // What the converter's latency request found and set (ms), where the system keeps a value.
  std::optional<int> latencyFound;
  std::optional<int> latencySet;

  bool Completed() const { return exitStatus.has_value(); }
};

// A column as the stores keep it: its name, whether it holds a number, and the record's value
// as text (nullopt for NULL).
struct JournalColumn {
  const char* name;
  bool integer;
};
const std::vector<JournalColumn>& JournalColumns();
std::vector<std::optional<std::string>> ColumnValues(const JournalRecord& record);
// The inverse of ColumnValues, in the same order; throws std::invalid_argument on a count that
// does not match.
JournalRecord RecordFromValues(const std::vector<std::optional<std::string>>& values);

// The exit status's short name for the journal and the history (German).
std::string ExitStatusName(int status);

// Now, UTC, ISO 8601 with milliseconds.
std::string UtcNow();

// A new run id.
std::string NewRunId(const std::string& host);

}  // namespace app::journal
