// One record of the write journal: a run that got as far as the board. It is written before
// the first reset (ended, exit status empty) and completed at the end; a record that was never
// completed belongs to a run that died half-way ("abgebrochen").
//
// Every text is meant to be UTF-8, but nothing relies on it: a text may hold any bytes, NUL
// included. The stores keep each column as text or NULL, so one column list (JournalColumns)
// serves SQLite and PostgreSQL alike; texts go in through StoredText, which makes them valid
// UTF-8 without NUL (what a PostgreSQL server with client_encoding UTF8 accepts), and come back
// whole through TextFromStored.
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

// A column as the stores keep it: its name, whether it holds a number, and the schema version
// that added it. Columns are only ever appended, so that the CSV of --history keeps its order.
struct JournalColumn {
  const char* name;
  bool integer;
  int since;
};
const std::vector<JournalColumn>& JournalColumns();
// The index of the column called name in JournalColumns (which must have it).
size_t ColumnIndex(const char* name);
// The record's values as text (nullopt for NULL), in the order of JournalColumns.
std::vector<std::optional<std::string>> ColumnValues(const JournalRecord& record);
// The inverse of ColumnValues, in the same order. Throws JournalError (store.h) on a count that
// does not match or a number column that holds no number of its type: what comes back from a
// store is input.
JournalRecord RecordFromValues(const std::vector<std::optional<std::string>>& values);
// One column's value (as ColumnValues gives it) put into record; throws as RecordFromValues.
void SetColumn(JournalRecord& record, size_t column, const std::optional<std::string>& value);

// The escaping of texts, one rule for the stores and the CSV of --history: a backslash is
// doubled, and each byte that is not part of a well-formed UTF-8 sequence, and NUL, becomes
// "\xNN" (two lower-case hexadecimal digits). With controls, every other control character
// (0x01-0x1F except tab, line feed and carriage return, and 0x7F) becomes "\xNN" as well.
// The result is valid UTF-8 without NUL. Without backslashes, a backslash stays as it is (the
// CSV of --history, which people read: Windows paths as they are written).
std::string EscapedText(const std::string& text, bool controls = false, bool backslashes = true);
// The inverse: "\\" is one backslash, "\xNN" the byte NN; any other backslash is kept as it
// is (a text written before the rule existed reads as it was written).
std::string UnescapedText(const std::string& text);

// The record's values as a store keeps them: ColumnValues with every text escaped.
std::vector<std::optional<std::string>> StoredValues(const JournalRecord& record);
// One column's value as a store keeps it put into record (texts unescaped); throws as SetColumn.
void SetStoredColumn(JournalRecord& record, size_t column, const std::optional<std::string>& value);

// The exit status's short name for the journal and the history (German).
std::string ExitStatusName(int status);

// Now, UTC, ISO 8601 with milliseconds.
std::string UtcNow();

// A new run id.
std::string NewRunId(const std::string& host);

}  // namespace app::journal
