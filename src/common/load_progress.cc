#include "common/load_progress.h"

#include <algorithm>

namespace updater {

std::string GroupedNumber(int64_t number) {
  const std::string digits = std::to_string(number < 0 ? 0 : number);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
    grouped += digits[i];
  }
  return grouped;
}

std::string LoadProgressText(const LoadProgress& progress) {
  std::string text = "таблиц " + GroupedNumber(progress.tables_done);
  if (progress.tables_total > 0) text += " из " + GroupedNumber(progress.tables_total);
  text += ", строк " + GroupedNumber(progress.rows_done);
  if (progress.rows_total > 0) text += " из " + GroupedNumber(progress.rows_total);
  return text;
}

int LoadProgressPercent(const LoadProgress& progress) {
  int64_t done = progress.rows_done;
  int64_t total = progress.rows_total;
  if (total <= 0) {
    done = progress.tables_done;
    total = progress.tables_total;
  }
  if (total <= 0) return -1;
  return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

}  // namespace updater
