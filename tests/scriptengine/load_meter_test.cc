// The load's figures: counted against the manifest, reported at most every
// 0.2 s on the clock while the load runs, and always at its end.
#include "scriptengine/load_meter.h"

#include <gtest/gtest.h>

#include <array>

#include "support/fake_platform.h"

namespace updater::scriptengine {
namespace {

struct Step {
  uint64_t after_ms;  // time passed before the block
  const char* table;
  int64_t rows;
};

// What a report says: tables done, tables total, rows done, rows total.
using Figures = std::array<int64_t, 4>;

struct MeterCase {
  const char* name;
  std::vector<TableFigures> manifest;
  std::vector<Step> blocks;
  std::vector<Figures> reported;  // Finish's last
};

TableFigures Table(const char* name, int64_t rows) { return {name, {}, rows, 0}; }

TEST(LoadMeter, CountsTablesAndRowsAndReportsNoMoreOftenThanItsInterval) {
  const std::vector<MeterCase> cases = {
      {"manifest: opening figures at once (an empty table is done), then at most every 0.2 s",
       {Table("A", 300), Table("ПУСТАЯ", 0), Table("Б", 2)},
       {{0, "A", 256}, {150, "A", 44}, {50, "Б", 1}, {10, "Б", 1}},
       {{1, 3, 0, 302}, {2, 3, 301, 302}, {3, 3, 302, 302}}},
      {"manifest: figures already reported are not reported again at the end",
       {Table("A", 2)},
       {{200, "A", 2}},
       {{0, 1, 0, 2}, {1, 1, 2, 2}}},
      {"no manifest: no totals, a table done when the load moves past it or ends",
       {},
       {{200, "A", 10}, {200, "B", 5}, {0, "B", 5}},
       {{0, 0, 10, 0}, {1, 0, 15, 0}, {2, 0, 20, 0}}},
      {"no manifest and no data: nothing at all", {}, {}, {}},
  };
  for (const MeterCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeClock clock;
    std::vector<Figures> reported;
    LoadMeter meter(c.manifest, clock,
                    [&](int32_t tables, int32_t tables_total, int64_t rows, int64_t rows_total) {
                      reported.push_back({tables, tables_total, rows, rows_total});
                    });
    for (const Step& step : c.blocks) {
      clock.Advance(step.after_ms);
      meter.Loaded(step.table, step.rows);
    }
    meter.Finish();
    EXPECT_EQ(reported, c.reported);
  }
}

}  // namespace
}  // namespace updater::scriptengine
