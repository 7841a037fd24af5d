#include "app/journal/schema.h"

#include <cstdio>
#include <vector>

#include "app/journal/record.h"
#include "app/journal/store.h"
#include "app/journal/texts.h"
#include "framework/sysutils.h"

namespace app::journal {

std::string ColumnList() {
  std::string list;
  for (const JournalColumn& column : JournalColumns()) {
    if (!list.empty()) list += ", ";
    list += column.name;
  }
  return list;
}

namespace {
std::string Parameter(char mark, size_t number) { return mark + std::to_string(number); }
}  // namespace

std::string InsertSql(char mark) {
  std::string marks;
  for (size_t i = 1; i <= JournalColumns().size(); ++i) {
    marks += (i == 1 ? "" : ", ") + Parameter(mark, i);
  }
  return "INSERT INTO runs (" + ColumnList() + ") VALUES (" + marks + ")";
}

std::string UpdateSql(char mark) {
  std::string sets;
  size_t i = 1;
  for (const JournalColumn& column : JournalColumns()) {
    sets += std::string(sets.empty() ? "" : ", ") + column.name + " = " + Parameter(mark, i++);
  }
  return "UPDATE runs SET " + sets + " WHERE run_id = " + Parameter(mark, i);
}

std::string LastWrittenSql(char mark) {
  return "SELECT started FROM runs WHERE serial = " + Parameter(mark, 1) +
         " AND exit_status = 0 ORDER BY id DESC LIMIT 1";
}

std::string RecordsSql(size_t limit, bool bySerial, char mark) {
  const std::string where = bySerial ? " WHERE serial = " + Parameter(mark, 1) : "";
  const std::string limited = limit == 0 ? "" : " LIMIT " + std::to_string(limit);
  return "SELECT " + ColumnList() + " FROM (SELECT id, " + ColumnList() + " FROM runs" + where +
         " ORDER BY id DESC" + limited + ") AS latest ORDER BY id";
}

void MigrateSchema(int version, const SqlDialect& dialect,
                   const std::function<void(const std::string& sql)>& execute) {
  if (version > kSchemaVersion) {
    throw JournalError(fw::Format(texts::kNewerSchema, version, kSchemaVersion));
  }
  // Step i takes the schema from version i to i + 1. Steps are only ever added.
  std::string create = std::string("CREATE TABLE runs (id ") + dialect.idColumn;
  for (const JournalColumn& column : JournalColumns()) {
    create +=
        std::string(", ") + column.name + " " + (column.integer ? dialect.integerType : "TEXT");
  }
  create += ", UNIQUE (run_id))";
  const std::vector<std::string> steps = {
      create,
      // The lookup of a serial number's last write, and --history --serial.
      "CREATE INDEX runs_by_serial ON runs (serial, exit_status)",
  };
  static_assert(kSchemaVersion == 2, "one step per version");
  if (version == kSchemaVersion) return;
  for (int step = version; step < kSchemaVersion; ++step) execute(steps[size_t(step)]);
  execute("DELETE FROM lcdwrite_schema");
  execute("INSERT INTO lcdwrite_schema (version) VALUES (" + std::to_string(kSchemaVersion) + ")");
}

}  // namespace app::journal
