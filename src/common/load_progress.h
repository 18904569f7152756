// How far the data load of the database rebuild has come: the figures the
// script engine reports while it loads a data script, and where the update
// run shows them (the front end's caption area). Never the log.
#pragma once

#include <cstdint>
#include <string>

namespace updater {

// Tables and rows loaded so far, of all the data script holds. A total is
// 0 when it is not known (a data script without its manifest).
struct LoadProgress {
  int32_t tables_done = 0;
  int32_t tables_total = 0;
  int64_t rows_done = 0;
  int64_t rows_total = 0;

  bool operator==(const LoadProgress&) const = default;
};

// Where the script runner hands the figures on while a data script runs.
class LoadProgressView {
 public:
  virtual ~LoadProgressView() = default;
  // The latest figures; they only grow while one load runs.
  virtual void ShowLoadProgress(const LoadProgress& progress) = 0;
  // The load is over (done or failed): whatever showed the figures goes.
  virtual void EndLoadProgress() = 0;
};

// The figures as the operator reads them, tables done and rows loaded:
// "таблиц 3 из 12, строк 40 000 из 120 000"; without the totals "таблиц 3,
// строк 40 000".
std::string LoadProgressText(const LoadProgress& progress);

// `number` with its digits in groups of three: "120 000".
std::string GroupedNumber(int64_t number);

// The share of the rows loaded, 0 to 100 (of the tables when there are no
// rows to load); -1 without the totals.
int LoadProgressPercent(const LoadProgress& progress);

}  // namespace updater
