// Reading Quorix.lcd: whitespace-separated tokens - the configuration version (4), 120
// parameter values, two serial-number texts, the device type. Anything after the device type
// is ignored: read only for the file's fingerprint, never parsed.
//
// The version is checked first, read as the leading decimal number of the first token (a first
// token that is not a number fails the version check). A damaged file is refused as a whole,
// before anything reaches the board: no token at all, a missing value, a token that must be a
// number but is not entirely a decimal integer in the signed 32-bit range, or a serial text
// longer than 9 characters. The record is changed only when the whole file is good.
//
// The content is bytes (Windows-1252 text). A UTF-8 byte-order mark at the start is skipped;
// a file saved as UTF-16 is refused as damaged, with a line that says so. Parsing is bounded:
// it stops after the device type, and at a token longer than any good entry can be. The file
// itself is read to its end once, in constant memory, for its SHA-256 and its first
// kConfigKeptBytes (what the journal records of it); a file larger than kConfigFileMaxMiB is
// refused as damaged, so neither a huge file nor one that keeps growing holds the run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "protocol/configrecord.h"

namespace app {

enum class ConfigLoadResult { Loaded, VersionMismatch, Damaged, CannotOpen };

// How much of the file's text a run keeps for its record, and the largest file read at all (a
// configuration is about 1 KiB; notes after it are allowed, and files of a few hundred MiB were
// always written: 256 MiB is read for its fingerprint in about a second, and a file that keeps
// growing cannot hold the run).
constexpr size_t kConfigKeptBytes = 64 * 1024;
constexpr int kConfigFileMaxMiB = 256;

struct ConfigLoadOutcome {
  ConfigLoadOutcome(ConfigLoadResult result, std::string detail = {})
      : result(result), detail(std::move(detail)) {}
  ConfigLoadResult result;
  // In German, Windows-1252. Damaged: the line that names the entry (its position and the
  // token) or the encoding. CannotOpen: the line that names the folder and why Quorix.lcd is
  // not a file that can be read (a folder, a device, a FIFO), or, when the file is missing or
  // cannot be opened, the folder that was searched (or the place named, when even its folder
  // is missing). Shown to people: control characters made visible.
  std::string detail;
  // What was read, when the file was opened and read to its end (empty otherwise): the file as
  // opened (absolute), the SHA-256 of all its bytes (lower-case hexadecimal), and its first
  // kConfigKeptBytes bytes as they are (zero bytes included), with kept cut when the file is
  // longer.
  std::filesystem::path path;
  std::string sha256;
  std::string kept;
  bool keptCut = false;
};

// Parses a file's content (a byte buffer) into record (fields and loaded flag) when it is good.
ConfigLoadOutcome ParseConfigText(const std::string& content, protocol::ConfigRecord& record);

// Where the configuration file of a run is: place is what the command line named (the text of a
// path, platform/hosttext.h; empty: nothing), relative to folder, the current directory.
// Quorix.lcd in folder when place is empty, Quorix.lcd in place when place is a folder,
// otherwise the file place names, whatever its name (a file dropped onto the program).
std::filesystem::path ConfigFilePath(const std::string& place,
                                     const std::filesystem::path& folder);

// Reads the configuration file into record: it must be a regular file (a link to one counts).
// When it cannot be opened, the detail names the folder it was looked for in.
ConfigLoadOutcome ReadConfigFile(const std::filesystem::path& file,
                                 protocol::ConfigRecord& record);

// The seven serial-number bytes the record sends, as a technician reads them (hexadecimal
// where not printable: "<0A>").
std::string SerialNumberShown(const protocol::ConfigRecord& record);

// What a write sends from the record, as lines for the technician (German, Windows-1252): the
// seven serial-number bytes (hexadecimal where not printable), the device type, and a warning
// for each serial text longer or shorter than the part of it that is sent.
std::vector<std::string> WriteSummary(const protocol::ConfigRecord& record);

}  // namespace app
