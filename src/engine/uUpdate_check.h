// The check of the loaded data: after the data, constraints, triggers and
// generators are in the new database, the script engine compares it with
// the manifest the data export wrote beside "Data.sql" (every table's row
// count and checksum), and the run goes on only when they agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/uUpdate.h"

namespace updater {

// What the script engine reports of a data check, line by line:
//   data check: "T": 10 rows exported, 9 found
//   data check: "T": 5 rows exported, 5 found, checksum differs
//   data check: "T": 5 rows exported, not found
//   data check: 12 tables, 3456 rows as exported
struct DataCheckLine {
  bool summary = false;
  std::string table;     // a difference: the table's name
  int64_t exported = 0;  // a difference: rows exported; the summary: rows checked
  int64_t found = 0;     // rows in the new database, -1 when the table is missing
  bool checksum_differs = false;
  int64_t tables = 0;  // the summary: tables checked
};

// `line` read as one of the lines above; nullopt for any other line.
std::optional<DataCheckLine> ReadDataCheckLine(const std::string& line);

// The operator's line for a table whose data differs: "Таблица "T":
// выгружено строк 10, загружено 9" (", данные отличаются" with equal counts;
// "в новой базе нет таблицы или ее столбца" when it is missing).
std::string DifferenceText(const DataCheckLine& difference);

// Runs the check as SYSDBA over UTF8 on the shut-down new database: the
// script "Data_Check.sql" written into NewDir, "SET DATA CHECK
// 'Data.manifest';". Logs "Проверено таблиц: N, строк: M" when the data
// agrees. Raises UpdateFailure "Перенесенные данные не совпадают с данными
// старой базы!" with one line per differing table; "Не найден файл <path>
// ..." when the export wrote no manifest; the script runner's failure when
// the check itself could not run.
void VerifyLoadedData(UpdateRun& run);

}  // namespace updater
