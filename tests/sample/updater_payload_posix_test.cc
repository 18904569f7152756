// The Linux updater carries the build's payload: Updater_Marlix ends with
// the resource EXEFILE/FILES, byte for byte the archive of the build.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/posix/resource_index.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

TEST(SamplePayload, IsTheUpdatersResourceFiles) {
  const std::string updater = testing::ReadBytes(UPDATER_CONSOLE_PATH);
  ASSERT_GT(updater.size(), platform::kResourceTrailerSize);
  const auto trailer = platform::ParseResourceTrailer(
      updater.substr(updater.size() - platform::kResourceTrailerSize));
  ASSERT_TRUE(trailer);
  const auto entries = platform::ParseResourceIndex(
      updater.substr(trailer->index_offset,
                     updater.size() - platform::kResourceTrailerSize - trailer->index_offset),
      trailer->count);
  ASSERT_TRUE(entries);
  bool found = false;
  for (const platform::ResourceEntry& entry : *entries) {
    if (entry.type != "EXEFILE" || entry.name != "FILES") continue;
    found = true;
    EXPECT_TRUE(updater.substr(entry.offset, entry.size) ==
                testing::ReadBytes(UPDATER_PAYLOAD_ARCHIVE));
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace updater
