// Reading Quorix.lcd: whitespace-separated tokens - the configuration version (4), 120
// parameter values, two serial-number texts, the device type. Anything after the device type
// is ignored and not even read.
//
// The version is checked first, read as the leading decimal number of the first token (a first
// token that is not a number fails the version check). A damaged file is refused as a whole,
// before anything reaches the board: no token at all, a missing value, a token that must be a
// number but is not entirely a decimal integer in the signed 32-bit range, or a serial text
// longer than 9 characters. The record is changed only when the whole file is good.
//
// The content is bytes (Windows-1252 text). A UTF-8 byte-order mark at the start is skipped;
// a file saved as UTF-16 is refused as damaged, with a line that says so. Reading is bounded:
// it stops after the device type, and at a token longer than any good entry can be, so a huge
// file costs neither time nor memory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "protocol/configrecord.h"

namespace app {

enum class ConfigLoadResult { Loaded, VersionMismatch, Damaged, CannotOpen };

struct ConfigLoadOutcome {
  ConfigLoadResult result;
  // In German, Windows-1252. Damaged: the line that names the entry (its position and the
  // token) or the encoding. CannotOpen: the line that names the folder and why Quorix.lcd is
  // not a file that can be read (a folder, a device, a FIFO), or, when the file is missing or
  // cannot be opened, the folder that was searched.
  std::string detail;
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

// What a write sends from the record, as lines for the technician (German, Windows-1252): the
// seven serial-number bytes (hexadecimal where not printable), the device type, and a warning
// for each serial text longer or shorter than the part of it that is sent.
std::vector<std::string> WriteSummary(const protocol::ConfigRecord& record);

}  // namespace app
