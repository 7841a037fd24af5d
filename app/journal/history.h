// --history: the journal's records as a table for people or as CSV for programs. Records that
// were begun and never completed (the run died half-way) are listed as "abgebrochen".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/journal/record.h"

namespace app::journal {

// The table (UTF-8): time, serial number, device type, port, result and duration, one line a
// record, oldest first.
std::string HistoryTable(const std::vector<JournalRecord>& records);

// Every column (RFC 4180: a header line, CR LF, fields with a comma, a quote or a line break
// quoted), oldest first.
std::string HistoryCsv(const std::vector<JournalRecord>& records);

// The whole of --history with options (the journal chosen as a run would choose it, from
// --journal, environment or the default); prints on out and err (UTF-8). 0, or kExitUsage
// when the journal cannot be read. A default journal that does not exist yet has no records.
int PrintHistory(const Options& options, const std::string& environment, std::ostream& out,
                 std::ostream& err);

}  // namespace app::journal
