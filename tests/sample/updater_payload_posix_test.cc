// The Linux updater carries the build's payload: Updater_Marlix holds the
// resource EXEFILE/FILES, byte for byte the archive of the build; and
// scripts/payload-variant makes a copy of it that carries a changed payload.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/posix/resource_index.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

// The resource EXEFILE/FILES appended to the executable `path`, or nullopt.
std::optional<std::string> PayloadOf(const std::string& path) {
  const std::string file = ReadBytes(path);
  if (file.size() <= platform::kResourceTrailerSize) return std::nullopt;
  const auto trailer =
      platform::ParseResourceTrailer(file.substr(file.size() - platform::kResourceTrailerSize));
  if (!trailer) return std::nullopt;
  const auto entries = platform::ParseResourceIndex(
      file.substr(trailer->index_offset,
                  file.size() - platform::kResourceTrailerSize - trailer->index_offset),
      trailer->count);
  if (!entries) return std::nullopt;
  for (const platform::ResourceEntry& entry : *entries) {
    if (entry.type == "EXEFILE" && entry.name == "FILES") {
      return file.substr(entry.offset, entry.size);
    }
  }
  return std::nullopt;
}

TEST(SamplePayload, IsTheUpdatersResourceFiles) {
  const auto payload = PayloadOf(UPDATER_CONSOLE_PATH);
  ASSERT_TRUE(payload);
  EXPECT_TRUE(*payload == ReadBytes(UPDATER_PAYLOAD_ARCHIVE));
}

TEST(PayloadVariant, MakesAnUpdaterThatCarriesTheChangedFiles) {
  testing::TempFolder temp;
  const std::string bad_script = temp.MakeFile("bad.sql", "CREATE TABLE;\n");
  const std::string variant = temp.Path("Updater_Marlix");
  const std::string command = std::string(UPDATER_SOURCE_DIR) + "/scripts/payload-variant '" +
                              variant + "' --build '" + UPDATER_BUILD_DIR +
                              "' --replace script.sql='" + bad_script +
                              "' --remove RU_Marlix.chm >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const auto payload = PayloadOf(variant);
  ASSERT_TRUE(payload);
  const std::string archive = temp.MakeFile("New/files.exe", *payload);
  fs::permissions(archive, fs::perms::owner_exec, fs::perm_options::add);
  const std::string unpack = "cd '" + temp.Path("New") + "' && ./files.exe";
  ASSERT_EQ(std::system(unpack.c_str()), 0);
  EXPECT_EQ(ReadBytes(temp.Path("New/script.sql")), "CREATE TABLE;\n");
  EXPECT_FALSE(fs::exists(temp.Path("New/RU_Marlix.chm")));
  EXPECT_TRUE(ReadBytes(temp.Path("New/MARLIX.FDB")) ==
              ReadBytes(std::string(UPDATER_BUILD_DIR) + "/sample/new-version/MARLIX.FDB"));
  // The updater itself is the build's: only its payload differs.
  EXPECT_EQ(ReadBytes(variant).compare(0, 4096, ReadBytes(UPDATER_CONSOLE_PATH), 0, 4096), 0);
}

}  // namespace
}  // namespace updater
