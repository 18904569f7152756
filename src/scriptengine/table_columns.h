// The stored columns of a table as the system tables describe them: what
// the data export reads and the bulk load declares its parameters by.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine {

// RDB$FIELD_TYPE numbers.
enum StoredFieldType {
  kShort = 7,
  kLong = 8,
  kQuad = 9,
  kFloat = 10,
  kDFloat = 11,
  kDate = 12,
  kTime = 13,
  kText = 14,
  kInt64 = 16,
  kBoolean = 23,
  kDouble = 27,
  kTimestamp = 35,
  kVarying = 37,
  kCString = 40,
  kBlob = 261,
};

struct StoredColumn {
  std::string name;            // as stored, trailing blanks removed
  int field_type = 0;          // RDB$FIELD_TYPE
  int sub_type = 0;            // RDB$FIELD_SUB_TYPE
  int scale = 0;               // RDB$FIELD_SCALE (zero or negative)
  int precision = 0;           // RDB$FIELD_PRECISION
  int char_length = 0;         // characters of CHAR and VARCHAR
  int charset = kCharsetNone;  // RDB$CHARACTER_SET_ID
  std::string charset_name;    // RDB$CHARACTER_SET_NAME; empty without a character set
  int bytes_per_char = 1;
  bool array = false;  // RDB$DIMENSIONS: an array column
};

// A name from a system table's CHAR column, without its padding blanks.
std::string StoredName(const Value& value);

// The stored columns of the table `table` (its name as stored) in their
// order; computed columns hold no data of their own and are left out. An
// unknown table has none. Throws as Database::Open does.
std::vector<StoredColumn> ReadStoredColumns(Database& database, const std::string& table);

// The user tables (names as stored) that two attachments can fill at once
// without one waiting for the other's uncommitted rows: no active unique
// index (primary and unique keys), no foreign key, no active trigger
// (check constraints are triggers too). Throws as Database::Open does.
std::set<std::string> TablesLoadableSideBySide(Database& database);

}  // namespace updater::scriptengine
