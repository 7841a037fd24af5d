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
// record, oldest first. Every text from the journal is shown with its control characters made
// visible ("\xNN", fw::VisibleUtf8): a journal others can write cannot drive the terminal.
std::string HistoryTable(const std::vector<JournalRecord>& records);

// Every column (RFC 4180): a header line, then a line a record, each ended by CR LF; a field with
// a comma, a quote, a CR or an LF is quoted. Texts are escaped as the stores keep them (record.h,
// EscapedText with controls, backslashes as they are): NUL, every control character but tab, CR
// and LF, and every byte that is not UTF-8 is "\xNN". The header line, then one line a record:
std::string HistoryCsvHeader();
std::string HistoryCsvLine(const JournalRecord& record);
// The header and every record's line.
std::string HistoryCsv(const std::vector<JournalRecord>& records);

// The whole of --history with options (the journal chosen as a run would choose it, from
// --journal, environment or the default); prints on out and err (UTF-8). 0, or kExitUsage
// when the journal cannot be read. A default journal that does not exist yet has no records.
// The journal is only read (nothing created, moved or migrated); the table reads only the
// columns it shows, the CSV is written a record at a time as the store hands them on.
int PrintHistory(const Options& options, const std::string& environment, std::ostream& out,
                 std::ostream& err);

}  // namespace app::journal
