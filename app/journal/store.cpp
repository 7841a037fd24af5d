#include "app/journal/store.h"

namespace app::journal {

const std::vector<size_t>& TableColumns() {
  static const std::vector<size_t> columns = {
      ColumnIndex("run_id"),      ColumnIndex("started"),   ColumnIndex("serial"),
      ColumnIndex("device_type"), ColumnIndex("port"),      ColumnIndex("simulated"),
      ColumnIndex("exit_status"), ColumnIndex("exit_name"), ColumnIndex("duration_ms"),
  };
  return columns;
}

std::vector<JournalRecord> JournalStore::Records(size_t limit, const std::string& serial) {
  std::vector<JournalRecord> records;
  Each(limit, serial, Columns::All, [&records](const JournalRecord& r) { records.push_back(r); });
  return records;
}

}  // namespace app::journal
