// The progress of a data load as the engine reports it: tables done and
// rows loaded, against the totals of the data script's manifest when there
// is one. Reported now and then on a clock, so that even a load of many
// small blocks pays nothing measurable for it, and once more at the end.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "scriptengine/data_manifest.h"

namespace updater::scriptengine {

class LoadMeter {
 public:
  // Tables done and rows loaded of all, as the entry point's callback takes
  // them; a total is 0 when not known.
  using Report = std::function<void(int32_t tables_done, int32_t tables_total, int64_t rows_done,
                                    int64_t rows_total)>;

  // The most often figures are reported while the load runs.
  static constexpr uint64_t kReportEveryMs = 200;

  // `expected`: the manifest's tables (empty without a manifest). With a
  // manifest the opening figures are reported at once.
  LoadMeter(const std::vector<TableFigures>& expected, platform::Clock& clock, Report report);

  // `rows` more rows of `table` (its name as UTF-8) are loaded. A table of
  // the manifest is done when all its rows are (one without rows is done
  // from the start); any other when the load has moved on to another table.
  void Loaded(const std::string& table, int64_t rows);

  // The load has ended: the final figures are reported whenever they were
  // not yet, however soon after the last.
  void Finish();

 private:
  struct Expected {
    int64_t rows = 0;
    int64_t loaded = 0;
  };
  void Send();
  // The table being loaded counts as done, unless the manifest says when.
  void PassCurrent();

  platform::Clock& clock_;
  Report report_;
  std::map<std::string, Expected> expected_;
  std::set<std::string> passed_;
  std::string current_;
  int32_t tables_done_ = 0;
  int32_t tables_total_ = 0;
  int64_t rows_done_ = 0;
  int64_t rows_total_ = 0;
  bool reported_ = false;
  // What was reported last, and when.
  int32_t reported_tables_ = 0;
  int64_t reported_rows_ = 0;
  uint64_t last_ms_ = 0;
};

}  // namespace updater::scriptengine
