#include <gtest/gtest.h>

#include <filesystem>

#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/helper_process.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::CountingPump;
using testing::FailureOf;
using testing::FsPath;
using testing::TempFolder;

constexpr uint64_t kMiB = 1 << 20;

class DiskSpaceTest : public ::testing::Test {
 protected:
  std::string FileOfSize(const std::string& name, uint64_t size) {
    const std::string path = temp.MakeFile(name);
    fs::resize_file(FsPath(path), size);
    return path;
  }

  TempFolder temp;
  testing::FakePlatform fake;
  CountingPump pump;
};

TEST_F(DiskSpaceTest, FileSizeInUnitsShiftsTheSizeOfAnExclusivelyOpenedFile) {
  const std::string under = FileOfSize("under.db", kMiB - 1);
  const std::string big = FileOfSize("big.db", 700 * kMiB + 300 * 1024);
  EXPECT_EQ(FileSizeInUnits(fake.platform, under, 20), 0);
  EXPECT_EQ(FileSizeInUnits(fake.platform, under, 0), static_cast<int32_t>(kMiB - 1));
  EXPECT_EQ(FileSizeInUnits(fake.platform, big, 20), 700);
  EXPECT_EQ(FileSizeInUnits(fake.platform, big, 64), 0);
  EXPECT_EQ(FileSizeInUnits(fake.platform, temp.Path("missing.db"), 20), -1);

  testing::HelperProcess holder(testing::TestHelperPath(), {"hold", big}, temp.path());
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(FileSizeInUnits(fake.platform, big, 20), -1);
}

TEST_F(DiskSpaceTest, CheckFreeSizeNeedsTheFactorTimesTheSizeInWholeMebibytes) {
  const std::string db = FileOfSize("MARLIX.FDB", 700 * kMiB + 300 * 1024);
  const std::string small = FileOfSize("small.fdb", kMiB - 1);
  const std::string drive = platform::IncludeTrailingDelimiter(temp.path());
  struct Case {
    std::string file;
    uint8_t factor;
    uint64_t free_bytes;
    bool passes;
  } cases[] = {
      {db, 2, 1400 * kMiB, true},
      {db, 2, 1400 * kMiB - 1, false},  // 1399 MiB and 1,048,575 bytes
      {db, 0, 0, true},
      {small, 255, 0, true},
  };
  for (const Case& c : cases) {
    fake.volumes.AddDrive(temp.path(), platform::DriveType::kFixed, c.free_bytes);
    const std::string failure =
        FailureOf([&] { CheckFreeSize(fake.platform, pump, c.file, drive, c.factor); });
    EXPECT_EQ(failure, c.passes ? "<no failure>"
                                : "Для записи файла на диск \"" + drive +
                                      "\"требуется не менее 1400 МБ свободного места!")
        << c.free_bytes;
  }
  EXPECT_EQ(pump.count, 4);
}

TEST_F(DiskSpaceTest, CheckFreeSizeFailsWhenItCannotMeasure) {
  const std::string db = FileOfSize("MARLIX.FDB", 3 * kMiB);
  const std::string drive = platform::IncludeTrailingDelimiter(temp.path());
  // No such drive: the free space cannot be read.
  const std::string failure = FailureOf([&] { CheckFreeSize(fake.platform, pump, db, drive, 2); });
  EXPECT_EQ(failure.rfind("Невозможно определить свободное место на диске \"" + drive + "\"!\r", 0),
            0u);

  fake.volumes.AddDrive(temp.path(), platform::DriveType::kFixed, 100 * kMiB);
  EXPECT_EQ(FailureOf([&] { CheckFreeSize(fake.platform, pump, temp.Path("none.fdb"), drive, 2); }),
            "");
}

TEST(SystemFolderPath, EndsInADelimiterOrFailsWithTheOperatorsMessage) {
  testing::FakePlatform fake;
  EXPECT_EQ(FailureOf([&] { SystemFolderPath(fake.platform); }),
            "Невозможно определить путь к системной папке!");
  fake.volumes.system_folder = platform::JoinPath("Windows", "system32");
  EXPECT_EQ(SystemFolderPath(fake.platform),
            platform::JoinPath("Windows", "system32") + platform::PathDelimiter());
  fake.volumes.system_folder += platform::PathDelimiter();
  EXPECT_EQ(SystemFolderPath(fake.platform), fake.volumes.system_folder);
  EXPECT_TRUE(platform::HasTrailingDelimiter(SystemFolderPath(platform::SystemPlatform())));
}

}  // namespace
}  // namespace updater
