// The manifest of a data export: for every table exported, its columns, its
// row count and a checksum over its values, written beside the data script
// so that the database the script is loaded into can be checked against it.
//
// The checksum is over a canonical form of the values that does not depend
// on the connection it was read over: texts as UTF-8 (converted from the
// connection's character set), binary strings and blobs by their bytes,
// exact numbers as their shortest exact text (12.50 and 12.5 are the same
// number), doubles bit for bit, dates and times as day numbers and ticks,
// NULL apart from every value (an empty text included). CHAR values count
// without their trailing blanks, which a column of another length would
// change. A text blob and a text with the same characters are the same
// value, so a column may move between the two kinds.
//
// Each row hashes to 64 bits (its values' hashes in column order); a
// table's checksum is the sum of its rows' hashes modulo 2^64. The sum does
// not depend on the order the rows come back in, so neither the export nor
// the check has to sort a table (a table without a primary key has no
// order to sort by), and unlike an exclusive or it does not cancel two
// equal rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "scriptengine/database.h"

namespace updater::scriptengine {

// What the manifest holds for one table. Names are UTF-8.
struct TableFigures {
  std::string name;
  std::vector<std::string> columns;
  int64_t rows = 0;
  uint64_t checksum = 0;
};

// The manifest that goes with the data script `path`: its extension
// replaced by ".manifest".
std::string ManifestPathFor(const std::string& path);

// `table` as the export and the check read it over a connection in
// `charset`: texts in a character set other than the connection's as the
// bytes stored (the connection's may lack their characters), and of those in
// a character set other than WIN1251, UTF8, UNICODE_FSS and ASCII their UTF-8 too, which
// their checksum is over. Both sides then see the same characters whatever
// their connections and the columns' character sets.
Table AsExported(Table table, const std::string& charset);

// `cursor` over the rows of `table`, read over a connection in `charset`,
// that adds every row passing through it to `figures` (which must outlive
// it). A blob its reader did not read is read before the next row. Names
// and columns of `figures` are set from `table`.
std::unique_ptr<Cursor> CountingCursor(std::unique_ptr<Cursor> cursor, const Table& table,
                                       const std::string& charset, TableFigures& figures);

// A name of the database (in the bytes of a connection in `charset`) as
// UTF-8.
std::string CanonicalName(std::string_view name, const std::string& charset);

// Writes the manifest to `path` through `files`: a first line naming the
// kind, one line per table, and an end line with the totals, so that a
// manifest cut short is never taken for a whole one. Throws ScriptError when
// the file cannot be written.
void WriteManifest(platform::FileSystem& files, const std::string& path,
                   const std::vector<TableFigures>& tables);

// Reads a manifest WriteManifest wrote. Throws ScriptError naming the file
// when it cannot be read or is not a whole manifest.
std::vector<TableFigures> ReadManifest(platform::FileSystem& files, const std::string& path);

// The figures of `database` for the tables and columns of `expected`, read
// in its current transaction, each passed to `done` with the expected
// figures as soon as it is read. A table or column the database does not
// have gives figures with `rows` -1.
void ReadFigures(
    Database& database, const std::vector<TableFigures>& expected,
    const std::function<void(const TableFigures& expected, const TableFigures& found)>& done);

// What a database holds against the manifest at `path`: the tables and rows
// the manifest names, and each table whose figures differ, with the figures
// found (`rows` -1: the table or one of its columns is missing).
struct DataCheck {
  int64_t tables = 0;
  int64_t rows = 0;
  struct Difference {
    std::string table;  // UTF-8
    int64_t exported_rows = 0;
    int64_t found_rows = 0;
    bool checksum_differs = false;  // with equal row counts
  };
  std::vector<Difference> differences;
};

// Reads the manifest at `path` through `files` and the figures of its tables
// from `database`, in its current transaction. Throws ScriptError when the
// manifest cannot be read or is not whole, and the database's errors.
DataCheck CheckAgainstManifest(Database& database, platform::FileSystem& files,
                               const std::string& path);

// The line that reports `difference`, and the line that reports a check
// without one: the forms the script engine reports a data check in.
//   data check: "T": 10 rows exported, 9 found
//   data check: "T": 5 rows exported, 5 found, checksum differs
//   data check: "T": 5 rows exported, not found
//   data check: 12 tables, 3456 rows as exported
std::string DifferenceLine(const DataCheck::Difference& difference);
std::string AgreementLine(const DataCheck& check);

}  // namespace updater::scriptengine
