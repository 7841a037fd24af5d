// The journal's schema, for both stores: the table of runs with the record's columns, its
// index, and the version table. Each store runs the steps inside a transaction of its own.
#pragma once

#include <functional>
#include <string>

namespace app::journal {

// The two places where SQLite and PostgreSQL differ in the schema.
struct SqlDialect {
  const char* idColumn;     // an ascending row number that orders the records
  const char* integerType;  // the type of the record's numeric columns
};

// The record's column names, comma-separated, in record order.
std::string ColumnList();

// Brings the schema from version (0: nothing there yet) to kSchemaVersion through execute,
// and records the new version. Throws JournalError for a schema newer than this program's.
void MigrateSchema(int version, const SqlDialect& dialect,
                   const std::function<void(const std::string& sql)>& execute);

// Creates the version table when missing (before the version is read).
inline constexpr const char* kCreateVersionTable =
    "CREATE TABLE IF NOT EXISTS lcdwrite_schema (version INTEGER NOT NULL)";
inline constexpr const char* kReadVersion = "SELECT coalesce(max(version), 0) FROM lcdwrite_schema";

}  // namespace app::journal
