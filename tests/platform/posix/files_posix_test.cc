#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/posix_platform.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::TempFolder;

TEST(PosixFullPath, ResolvesDotsByTheTextAndKeepsATrailingDelimiter) {
  PosixFileSystem files;
  EXPECT_EQ(files.FullPath("/a/./b/../c").value(), "/a/c");
  EXPECT_EQ(files.FullPath("/a//b/").value(), "/a/b/");
  EXPECT_EQ(files.FullPath("/..").value(), "/");
  EXPECT_EQ(files.FullPath("/").value(), "/");
  EXPECT_FALSE(files.FullPath("").ok());

  TempFolder temp;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  EXPECT_EQ(files.FullPath("x/../y").value(), temp.path() + "/y");
  EXPECT_EQ(files.FullPath("C:\\WEXR\\Marlix").value(), temp.path() + "/C:\\WEXR\\Marlix");
  std::filesystem::current_path(before);
}

TEST(PosixNameCase, FindsEntriesThatDifferOnlyInCaseAsWindowsWould) {
  TempFolder temp;
  temp.MakeFile("Program/Marlix.exe", "x");
  temp.MakeFile("Данные/Файл.TXT", "y");
  EXPECT_EQ(ResolveNameCase(temp.path() + "/PROGRAM/marlix.EXE"),
            temp.path() + "/Program/Marlix.exe");
  EXPECT_EQ(ResolveNameCase(temp.path() + "/данные/ФАЙЛ.txt"), temp.path() + "/Данные/Файл.TXT");
  // What does not exist in any spelling is kept as written.
  EXPECT_EQ(ResolveNameCase(temp.path() + "/program/New/x"), temp.path() + "/Program/New/x");

  PosixFileSystem files;
  EXPECT_TRUE(files.FileExists(temp.path() + "/program/MARLIX.exe"));
  EXPECT_FALSE(files.FolderExists(temp.path() + "/program/MARLIX.exe"));
  EXPECT_TRUE(files.FolderExists(temp.path() + "/PROGRAM"));
}

}  // namespace
}  // namespace updater::platform
