#include <gtest/gtest.h>

#include <filesystem>

#include "common/failures.h"
#include "engine/uUpdate.h"
#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using platform::DriveType;
using platform::JoinPath;
using testing::FakePlatform;
using testing::RecordingFrontEnd;
using testing::TempFolder;

class UpdateContextTest : public ::testing::Test {
 protected:
  UpdateContextTest() : ui(fake.files, fake.clock) {
    ApplyDefaultProfile(fields);
    fake.volumes.AddDrive(temp.path(), DriveType::kFixed);
    product = temp.MakeFolder("Marlix");
  }

  UpdateContext Init(const std::string& folder) {
    return InitUpdateContext(folder, fields.Profile, fake.platform, ui.front);
  }

  std::string InitFailure(const std::string& folder) {
    try {
      Init(folder);
    } catch (const UpdateFailure& e) {
      return e.Message();
    }
    return "<no failure>";
  }

  TempFolder temp;
  FakePlatform fake;
  RecordingFrontEnd ui;
  ProfileFields fields;
  std::string product;
};

TEST_F(UpdateContextTest, DerivesEveryPathFromTheProductFolder) {
  const UpdateContext c = Init(product);
  const std::string tmp = JoinPath(product, "Tmp$030226070509");
  EXPECT_EQ(c.ProgramPath, product);
  EXPECT_EQ(c.ProgramDir, JoinPath(product, "Program"));
  EXPECT_EQ(c.DbDataDir, JoinPath(product, "DB_Data"));
  EXPECT_EQ(c.TimeStamp, "030226070509");
  EXPECT_EQ(c.TmpDir, tmp);
  EXPECT_EQ(c.NewDir, JoinPath(tmp, "New"));
  EXPECT_EQ(c.OldDir, JoinPath(tmp, "Old"));
  EXPECT_EQ(c.OldProgramDir, JoinPath(JoinPath(tmp, "Old"), "Program"));
  EXPECT_EQ(c.OldDbDataDir, JoinPath(JoinPath(tmp, "Old"), "DB_Data"));
  EXPECT_EQ(c.OldOtherDir, JoinPath(JoinPath(tmp, "Old"), "Other"));
  EXPECT_EQ(c.DbConnectString,
            "localhost/3051:" + JoinPath(JoinPath(product, "DB_Data"), "Marlix.fdb"));
}

TEST_F(UpdateContextTest, TrailingDelimiterGivesTheSameDerivedPaths) {
  const UpdateContext plain = Init(product);
  const UpdateContext trailing = Init(platform::IncludeTrailingDelimiter(product));
  EXPECT_EQ(trailing.ProgramPath, platform::IncludeTrailingDelimiter(product));
  EXPECT_EQ(trailing.ProgramDir, plain.ProgramDir);
  EXPECT_EQ(trailing.TmpDir, plain.TmpDir);
  EXPECT_EQ(trailing.OldOtherDir, plain.OldOtherDir);
  EXPECT_EQ(trailing.DbConnectString, plain.DbConnectString);
}

TEST_F(UpdateContextTest, RelativeFolderIsExpandedAgainstTheCurrentFolder) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(testing::FsPath(temp.path()));
  const UpdateContext c = Init("Marlix");
  const std::string missing = InitFailure(JoinPath("Marlix", "nothing here"));
  std::filesystem::current_path(before);

  EXPECT_EQ(c.ProgramPath, product);
  EXPECT_EQ(missing, "Путь к обновляемой программе \"" +
                         JoinPath(JoinPath(temp.path(), "Marlix"), "nothing here") +
                         "\" не найден!");
}

TEST_F(UpdateContextTest, PartsAreFoundByTheirFilesOnly) {
  UpdateContext c = Init(product);
  EXPECT_FALSE(c.HasClientPart);
  EXPECT_FALSE(c.HasServerPart);

  // A folder named like the database does not count; names match in any case.
  temp.MakeFolder("Marlix/DB_Data/Marlix.fdb");
  temp.MakeFile("Marlix/program/MARLIX.EXE", "exe");
  c = Init(product);
  EXPECT_TRUE(c.HasClientPart);
  EXPECT_FALSE(c.HasServerPart);

  std::filesystem::remove(testing::FsPath(temp.Path("Marlix/DB_Data/Marlix.fdb")));
  temp.MakeFile("Marlix/DB_Data/Marlix.fdb", "db");
  c = Init(product);
  EXPECT_TRUE(c.HasServerPart);
}

TEST_F(UpdateContextTest, OnlyFixedAndRemovableDrivesAreLocal) {
  const struct {
    DriveType type;
    bool local;
  } cases[] = {
      {DriveType::kFixed, true},     {DriveType::kRemovable, true},
      {DriveType::kRemote, false},   {DriveType::kCdRom, false},
      {DriveType::kRamDisk, false},  {DriveType::kUnknown, false},
      {DriveType::kNoRootDir, false},
  };
  for (const auto& c : cases) {
    fake.volumes.AddDrive(product, c.type);
    const std::string failure = InitFailure(product);
    if (c.local) {
      EXPECT_EQ(failure, "<no failure>") << static_cast<int>(c.type);
    } else {
      EXPECT_EQ(failure, "Путь к обновляемой программе \"" + product + "\" не является локальным!")
          << static_cast<int>(c.type);
    }
  }
}

TEST_F(UpdateContextTest, LogsOpeningAndClosingLinesButOnlyTheFirstOnFailure) {
  Init(product);
  EXPECT_EQ(ui.transcript.ScreenMessages(),
            (std::vector<std::string>{"Инициализация переменных...",
                                      "Завершена инициализация переменных"}));
  EXPECT_EQ(ui.pump.count, 2);

  ui.transcript.events.clear();
  InitFailure(JoinPath(product, "missing"));
  EXPECT_EQ(ui.transcript.ScreenMessages(),
            (std::vector<std::string>{"Инициализация переменных..."}));
}

TEST_F(UpdateContextTest, EachInitialisationTakesItsOwnTimeStamp) {
  const UpdateContext first = Init(product);
  fake.clock.Advance(1000);
  const UpdateContext second = Init(product);
  EXPECT_EQ(first.TmpDir, JoinPath(product, "Tmp$030226070509"));
  EXPECT_EQ(second.TmpDir, JoinPath(product, "Tmp$030226070510"));
}

TEST_F(UpdateContextTest, EmptyFolderTextIsNotFound) {
  EXPECT_EQ(InitFailure(""), "Путь к обновляемой программе \"\" не найден!");
}

}  // namespace
}  // namespace updater
