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

// The statements both stores run. mark is the store's parameter sign ('?' for SQLite, '$' for
// PostgreSQL); parameters are numbered from 1 in the order of JournalColumns, then:
std::string InsertSql(char mark);       // every column
std::string UpdateSql(char mark);       // every column, then the run id
std::string LastWrittenSql(char mark);  // the serial number; selects "started"
// Every column of the last limit records (all for 0), oldest first; with bySerial the one
// parameter is the serial number.
std::string RecordsSql(size_t limit, bool bySerial, char mark);

// Brings the schema from version (0: nothing there yet) to kSchemaVersion through execute,
// and records the new version. Throws JournalError for a schema newer than this program's.
void MigrateSchema(int version, const SqlDialect& dialect,
                   const std::function<void(const std::string& sql)>& execute);

// Creates the version table when missing (before the version is read).
inline constexpr const char* kCreateVersionTable =
    "CREATE TABLE IF NOT EXISTS lcdwrite_schema (version INTEGER NOT NULL)";
inline constexpr const char* kReadVersion = "SELECT coalesce(max(version), 0) FROM lcdwrite_schema";

}  // namespace app::journal
