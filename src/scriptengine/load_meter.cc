#include "scriptengine/load_meter.h"

#include <utility>

namespace updater::scriptengine {

LoadMeter::LoadMeter(const std::vector<TableFigures>& expected, platform::Clock& clock,
                     Report report)
    : clock_(clock), report_(std::move(report)), last_ms_(clock.MonotonicMs()) {
  for (const TableFigures& table : expected) {
    Expected& entry = expected_[table.name];
    entry.rows += table.rows;
  }
  tables_total_ = static_cast<int32_t>(expected_.size());
  for (const auto& [name, entry] : expected_) {
    rows_total_ += entry.rows;
    if (entry.rows <= 0) ++tables_done_;
  }
  if (!expected_.empty()) Send();
}

void LoadMeter::Loaded(const std::string& table, int64_t rows) {
  if (table != current_) {
    PassCurrent();
    current_ = table;
  }
  rows_done_ += rows;
  if (auto found = expected_.find(table); found != expected_.end()) {
    Expected& entry = found->second;
    const bool was_done = entry.loaded >= entry.rows;
    entry.loaded += rows;
    if (!was_done && entry.loaded >= entry.rows) ++tables_done_;
  }
  if (clock_.MonotonicMs() - last_ms_ >= kReportEveryMs) Send();
}

void LoadMeter::Finish() {
  PassCurrent();
  current_.clear();
  if (!reported_ && rows_done_ == 0 && expected_.empty()) return;  // no data loaded
  if (!reported_ || reported_tables_ != tables_done_ || reported_rows_ != rows_done_) Send();
}

void LoadMeter::PassCurrent() {
  if (current_.empty() || expected_.count(current_) > 0) return;
  if (passed_.insert(current_).second) ++tables_done_;
}

void LoadMeter::Send() {
  reported_ = true;
  reported_tables_ = tables_done_;
  reported_rows_ = rows_done_;
  last_ms_ = clock_.MonotonicMs();
  report_(tables_done_, tables_total_, rows_done_, rows_total_);
}

}  // namespace updater::scriptengine
