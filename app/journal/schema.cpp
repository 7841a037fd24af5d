#include "app/journal/schema.h"

#include <algorithm>
#include <charconv>
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

// Step i takes the schema from version i to i + 1. Steps are only ever added.
std::vector<std::vector<std::string>> Steps(const SqlDialect& dialect) {
  auto columnsSince = [](int version) {
    std::vector<JournalColumn> columns;
    for (const JournalColumn& column : JournalColumns()) {
      if (column.since == version) columns.push_back(column);
    }
    return columns;
  };
  auto type = [&dialect](const JournalColumn& column) {
    return std::string(column.integer ? dialect.integerType : "TEXT");
  };
  std::string create = std::string("CREATE TABLE runs (id ") + dialect.idColumn;
  for (const JournalColumn& column : columnsSince(1)) {
    create += ", " + std::string(column.name) + " " + type(column);
  }
  create += ", UNIQUE (run_id))";

  std::vector<std::string> three;
  for (const JournalColumn& column : columnsSince(3)) {
    three.push_back("ALTER TABLE runs ADD COLUMN " + std::string(column.name) + " " + type(column));
  }
  // The texts kept so far become escaped texts: only their backslashes change.
  const std::string backslash = dialect.backslash;
  std::string escape;
  for (const JournalColumn& column : columnsSince(1)) {
    if (column.integer) continue;
    escape += std::string(escape.empty() ? "" : ", ") + column.name + " = replace(" +
              column.name + ", " + backslash + ", " + backslash + " || " + backslash + ")";
  }
  three.push_back("UPDATE runs SET " + escape);
  // --history shows the latest records; a run looks up its serial number's last write.
  three.push_back("CREATE INDEX runs_by_started ON runs (started)");
  return {
      {create},
      // The lookup of a serial number's last write, and --history --serial.
      {"CREATE INDEX runs_by_serial ON runs (serial, exit_status)"},
      three,
  };
}

}  // namespace

std::string UpsertSql(char mark) {
  std::string marks;
  std::string sets;
  size_t i = 1;
  for (const JournalColumn& column : JournalColumns()) {
    marks += (i == 1 ? "" : ", ") + Parameter(mark, i);
    ++i;
    if (std::string(column.name) == "run_id") continue;
    sets += std::string(sets.empty() ? "" : ", ") + column.name + " = excluded." + column.name;
  }
  return "INSERT INTO runs (" + ColumnList() + ") VALUES (" + marks +
         ") ON CONFLICT (run_id) DO UPDATE SET " + sets;
}

std::string LastWrittenSql(char mark) {
  return "SELECT started FROM runs WHERE serial = " + Parameter(mark, 1) +
         " AND exit_status = 0 ORDER BY id DESC LIMIT 1";
}

std::string RecordsSql(size_t limit, bool bySerial, char mark, const std::vector<size_t>& columns,
                       int version) {
  std::string inner;
  std::string outer;
  for (size_t index : columns) {
    const JournalColumn& column = JournalColumns().at(index);
    const std::string name = column.name;
    inner += ", " + (column.since <= version ? name : "NULL AS " + name);
    outer += (outer.empty() ? "" : ", ") + name;
  }
  const std::string where = bySerial ? " WHERE serial = " + Parameter(mark, 1) : "";
  if (limit == 0) {
    // Every record: read in the table's order, so that a store can hand them on one by one.
    return "SELECT " + outer + " FROM (SELECT id" + inner + " FROM runs" + where +
           ") AS every_run ORDER BY id";
  }
  return "SELECT " + outer + " FROM (SELECT id" + inner + " FROM runs" + where +
         " ORDER BY id DESC LIMIT " + std::to_string(limit) + ") AS latest ORDER BY id";
}

int CheckedSchemaVersion(const std::optional<std::string>& stored) {
  if (!stored) return 0;
  long long version = 0;
  const char* first = stored->data();
  const char* last = first + stored->size();
  const auto [end, error] = std::from_chars(first, last, version);
  if (error == std::errc() && end == last && version > kSchemaVersion) {
    throw JournalError(fw::Format(texts::kNewerSchema, static_cast<int>(std::min<long long>(
                                                           version, 2147483647LL)),
                                  kSchemaVersion));
  }
  if (error != std::errc() || end != last || version < 1) {
    throw JournalError(fw::Format(texts::kBadSchema,
                                  fw::Utf8ToCp1252(EscapedText(stored->substr(0, 20), true)),
                                  kSchemaVersion));
  }
  return static_cast<int>(version);
}

void MigrateSchema(int version, const SqlDialect& dialect,
                   const std::function<void(const std::string& sql)>& execute) {
  const auto steps = Steps(dialect);
  static_assert(kSchemaVersion == 3, "one step per version");
  if (version < 0 || version > kSchemaVersion) {
    throw JournalError(fw::Format(texts::kBadSchema, std::to_string(version), kSchemaVersion));
  }
  if (version == kSchemaVersion) return;
  for (int step = version; step < kSchemaVersion; ++step) {
    for (const std::string& sql : steps.at(static_cast<size_t>(step))) execute(sql);
  }
  execute("DELETE FROM lcdwrite_schema");
  execute("INSERT INTO lcdwrite_schema (version) VALUES (" + std::to_string(kSchemaVersion) + ")");
}

std::string SetupScript(const SqlDialect& dialect) {
  std::string script =
      "-- The tables of an lcdwrite journal on a PostgreSQL server, made once by its\n"
      "-- administrator (lcdwrite --journal-setup URI does the same). The benches then connect\n"
      "-- with a role that may only read and write the records, for example:\n";
  std::string grants = GrantExample("lcdwrite_bench");
  size_t start = 0;
  while (start < grants.size()) {
    const size_t end = grants.find('\n', start);
    script += "--   " + grants.substr(start, end - start) + "\n";
    start = end == std::string::npos ? grants.size() : end + 1;
  }
  script += "BEGIN;\n";
  script += std::string(kCreateVersionTable) + ";\n";
  MigrateSchema(0, dialect, [&script](const std::string& sql) { script += sql + ";\n"; });
  script += "COMMIT;\n";
  return script;
}

std::string GrantExample(const std::string& role) {
  return "CREATE ROLE " + role + " LOGIN PASSWORD '...';\n"
         "GRANT SELECT, INSERT, UPDATE ON runs TO " + role + ";\n"
         "GRANT SELECT ON lcdwrite_schema TO " + role + ";\n";
}

}  // namespace app::journal
