// read-figures: reads a loaded database's figures (row counts and
// checksums) for the tables of a data export's manifest and compares them,
// as the update's check after the load does. The benchmark times it as part
// of the engine's carry-over.
//
//   read-figures CONNECT-STRING MANIFEST
//
// Prints one line per table that differs and a summary line; exit code 0
// when every table matches, 1 when one differs, 2 when it cannot run.
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <vector>

#include "platform/platform.h"
#include "scriptengine/connect_string.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/fb_database.h"

namespace se = updater::scriptengine;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read-figures CONNECT-STRING MANIFEST\n");
    return 2;
  }
  try {
    updater::platform::Platform& system = updater::platform::SystemPlatform();
    const std::vector<se::TableFigures> expected = se::ReadManifest(system.files, argv[2]);
    se::FbDatabase database(system.libraries, se::ParseConnectString(argv[1]));
    int differing = 0;
    int64_t rows = 0;
    se::ReadFigures(
        database, expected, [&](const se::TableFigures& wanted, const se::TableFigures& found) {
          rows += found.rows > 0 ? found.rows : 0;
          if (found.rows == wanted.rows && found.checksum == wanted.checksum) return;
          ++differing;
          std::printf("%s: %" PRId64 " rows expected, %" PRId64 " found%s\n", wanted.name.c_str(),
                      wanted.rows, found.rows, found.rows == wanted.rows ? ", values differ" : "");
        });
    database.Close();
    std::printf("%zu tables, %" PRId64 " rows read, %d differing\n", expected.size(), rows,
                differing);
    return differing == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "read-figures: %s\n", e.what());
    return 2;
  }
}
