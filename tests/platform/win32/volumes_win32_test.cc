#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"

#include <utility>

namespace updater::platform {
namespace {

TEST(Win32DriveRoot, IsTheDrivePartAndADelimiter) {
  EXPECT_EQ(ExtractFileDrive("C:\\WEXR\\Marlix"), "C:");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share\\WEXR\\Marlix"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("relative\\path"), "");
  Win32Volumes volumes;
  EXPECT_EQ(volumes.DriveRoot("C:\\WEXR\\Marlix\\"), "C:\\");
}

TEST(Win32DriveType, TheSystemDriveIsFixedAndAMissingLetterHasNoRoot) {
  Win32Volumes volumes;
  EXPECT_EQ(volumes.DriveTypeOf("C:\\"), DriveType::kFixed);
  EXPECT_EQ(volumes.DriveTypeOf("Q:\\"), DriveType::kNoRootDir);
}

TEST(Win32FullPath, ExpandsRelativeTextsAndKeepsATrailingDelimiter) {
  Win32FileSystem files;
  EXPECT_EQ(files.FullPath("C:\\a\\.\\b\\..\\c").value(), "C:\\a\\c");
  EXPECT_EQ(files.FullPath("C:\\a\\b\\").value(), "C:\\a\\b\\");
}

TEST(Win32Clock, FormatsWithTheUsersLocale) {
  Win32Clock clock;
  const LocalTime time{2026, 2, 3, 7, 5, 9, 0};
  EXPECT_FALSE(clock.ShortDate(time).empty());
  EXPECT_NE(clock.LongTime(time).find("05"), std::string::npos);
}

}  // namespace
}  // namespace updater::platform

namespace updater::platform {
namespace {

// scripts/wine-env maps each letter to a folder and sets its kind in
// HKLM\Software\Wine\Drives before the tests run.
TEST(Win32DriveType, EachDriveLetterHasTheKindItIsSetUpAs) {
  Win32Volumes volumes;
  const std::pair<const char*, DriveType> drives[] = {
      {"D:\\", DriveType::kRemote},  {"E:\\", DriveType::kCdRom},
      {"F:\\", DriveType::kRemovable}, {"G:\\", DriveType::kRamDisk},
      {"H:\\", DriveType::kFixed},
  };
  for (const auto& [root, type] : drives) {
    EXPECT_EQ(volumes.DriveTypeOf(root), type) << root << " (run the tests through scripts/test)";
  }
}

TEST(Win32SystemFolder, IsTheSystem32FolderOfTheWindowsFolder) {
  Win32Volumes volumes;
  const std::string folder = volumes.SystemFolder().value();
  EXPECT_NE(folder.find("\\system32"), std::string::npos) << folder;
  EXPECT_TRUE(Win32FileSystem().FolderExists(folder));
}

}  // namespace
}  // namespace updater::platform
