// The payload of the sample product as the update unpacks it: this test
// program carries the payload the build packed (as the updater does,
// through updater_embed_payload), writes it out as "files.exe" into a fresh
// folder and runs it there, as staging does. The folder then holds exactly
// the new version's files, byte for byte the build's copies in
// sample/new-version. On Linux the payload is a makeself archive, on
// Windows an NSIS self-extractor (run under Wine by the tests).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/failures.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::FsPath;
using testing::ReadBytes;
using testing::TempFolder;

// Every file of the new version, by the name the update looks for.
const std::set<std::string>& PayloadNames() {
  static const std::set<std::string> names = {
      "Check_Version.sql", "Sys_Generators.sql",   "Sys_Roles.sql",        "Sys_Data.sql",
      "MARLIX.FDB",        "Meta_Constraints.sql", "Triggers_ Active.sql", "script.sql",
      "script.lob",        "WEXR_UDF_u8.dll",      "Marlix.exe",           "RU_Marlix.chm",
      "EN_Marlix.chm",     "DE_Marlix.chm",        "FR_Marlix.chm"};
  return names;
}

// The build's copies: sample/new-version of the build tree, which holds the
// test programs in tests/.
fs::path BuildCopies() {
  auto own = platform::SystemPlatform().processes.OwnExecutablePath();
  if (!own) throw std::runtime_error(own.error().Describe());
  return FsPath(*own).parent_path().parent_path() / "sample" / "new-version";
}

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(testing::Utf8(entry.path().filename()));
  }
  return names;
}

// Writes the payload out into `folder` and runs it there; its exit code.
uint32_t Unpack(const std::string& folder) {
  platform::Platform& real = platform::SystemPlatform();
  testing::CountingPump pump;
  const std::string archive = platform::JoinPath(folder, "files.exe");
  ExtractPayloadResource(real, archive, "");
  return RunProgramAndWait(real, pump, archive, std::nullopt, 1);
}

TEST(SamplePayload, UnpacksExactlyTheNewVersionIntoTheFolderItRunsIn) {
  ASSERT_EQ(FileNames(BuildCopies()), PayloadNames());
  TempFolder temp;
  // A working folder like the update's, with blanks and Cyrillic on its way.
  const std::string folder = temp.MakeFolder("Программа Marlix/Tmp$202612101530/New");
  ASSERT_EQ(Unpack(folder), 0u);

  std::set<std::string> expected = PayloadNames();
  expected.insert("files.exe");
  EXPECT_EQ(FileNames(FsPath(folder)), expected);
  for (const std::string& name : PayloadNames()) {
    EXPECT_TRUE(ReadBytes(platform::JoinPath(folder, name)) ==
                ReadBytes(testing::Utf8(BuildCopies() / FsPath(name))))
        << name << " differs from the build's copy";
  }
}

TEST(SamplePayload, ExitsWithAFailureWhenItCannotUnpack) {
  TempFolder temp;
  const std::string folder = temp.MakeFolder("New");
  // A folder where the payload must write a file.
  temp.MakeFolder("New/script.sql/held");
  EXPECT_NE(Unpack(folder), 0u);
}

}  // namespace
}  // namespace updater
