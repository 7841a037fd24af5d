#include "app/journal/history.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>

#include "app/journal/choice.h"
#include "app/texttable.h"
#include "app/journal/host.h"
#include "app/journal/store.h"
#include "app/journal/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"
#include "app/exitstatus.h"

namespace app::journal {

namespace {

constexpr size_t kDefaultCount = 20;

std::string Result(const JournalRecord& r) {
  if (!r.Completed()) return fw::Cp1252ToUtf8(texts::kIncomplete);
  return std::to_string(*r.exitStatus) + " " + r.exitName;
}

std::string Duration(const JournalRecord& r) {
  if (!r.durationMs) return {};
  // German, as every text of the table: "0,0 s".
  return fw::DecimalText(static_cast<double>(*r.durationMs) / 1000.0, 1) + " s";
}

std::string CsvField(const std::string& raw) {
  const std::string value = EscapedText(raw, true, /*backslashes=*/false);
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string HistoryTable(const std::vector<JournalRecord>& records) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({texts::kHeadTime, texts::kHeadSerial, texts::kHeadDeviceType, texts::kHeadPort,
                  texts::kHeadResult, texts::kHeadDuration});
  for (std::string& heading : rows[0]) heading = fw::Cp1252ToUtf8(heading);
  for (const JournalRecord& r : records) {
    const std::string time = r.started.size() >= 19
                                 ? r.started.substr(0, 10) + " " + r.started.substr(11, 8)
                                 : r.started;
    rows.push_back({fw::VisibleUtf8(time), fw::VisibleUtf8(r.serial),
                    r.deviceType ? std::to_string(*r.deviceType) : "",
                    fw::VisibleUtf8(r.port) + (r.simulated ? texts::kSimulatedMark : ""),
                    fw::VisibleUtf8(Result(r)), Duration(r)});
  }
  return TextTable(rows);
}

std::string HistoryCsvHeader() {
  std::string csv;
  for (const JournalColumn& column : JournalColumns()) {
    csv += std::string(csv.empty() ? "" : ",") + column.name;
  }
  return csv + "\r\n";
}

std::string HistoryCsvLine(const JournalRecord& r) {
  // "exit_name" says "abgebrochen" for a record never completed, as the table does.
  static const size_t exitName = ColumnIndex("exit_name");
  std::vector<std::optional<std::string>> values = ColumnValues(r);
  if (!r.Completed()) values[exitName] = fw::Cp1252ToUtf8(texts::kIncomplete);
  std::string line;
  for (size_t i = 0; i < values.size(); ++i) {
    line += (i == 0 ? "" : ",") + CsvField(values[i].value_or(""));
  }
  return line + "\r\n";
}

std::string HistoryCsv(const std::vector<JournalRecord>& records) {
  std::string csv = HistoryCsvHeader();
  for (const JournalRecord& r : records) csv += HistoryCsvLine(r);
  return csv;
}

int PrintHistory(const Options& options, const std::string& environment, std::ostream& out,
                 std::ostream& err) {
  Options reading = options;
  reading.simulate = false;
  const JournalChoice choice = ChooseJournal(reading, environment);
  auto say = [&err](const std::string& cp1252) {
    err << "lcdwrite: " << fw::Cp1252ToUtf8(cp1252) << "\n";
  };
  const bool nothingYet =
      choice.kind == JournalChoice::Kind::Default &&
      (choice.target.empty() || !std::filesystem::exists(plat::FilePath(choice.target)));
  const size_t count = options.historyCount > 0 ? size_t(options.historyCount)
                       : options.historyCsv     ? 0
                                                : kDefaultCount;
  std::unique_ptr<JournalStore> store;
  std::vector<JournalRecord> records;
  try {
    if (!nothingYet) store = OpenJournal(choice, say, JournalAccess::Read);
    if (options.historyCsv) {
      if (&out == &std::cout) UnchangedStandardOutput();
      out << HistoryCsvHeader();
      if (store) {
        store->Each(count, options.historySerial, Columns::All,
                    [&out](const JournalRecord& r) { out << HistoryCsvLine(r); });
      }
      out.flush();
      return kExitWritten;
    }
    if (store) {
      store->Each(count, options.historySerial, Columns::Table,
                  [&records](const JournalRecord& r) { records.push_back(r); });
    }
  } catch (const std::exception& e) {
    say(fw::Format(texts::kNamedUnavailable, ShownJournal(choice.target), e.what()));
    return kExitUsage;
  }
  if (records.empty()) {
    const std::string shown =
        choice.target.empty() ? texts::kDefaultFileName : ShownJournal(choice.target);
    out << fw::Cp1252ToUtf8(fw::Format(texts::kNoRecords, shown)) << "\n";
  } else {
    out << HistoryTable(records);
  }
  return kExitWritten;
}

}  // namespace app::journal
