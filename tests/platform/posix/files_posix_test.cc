#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "platform/posix/attributes.h"
#include "platform/posix/posix_platform.h"
#include "platform/text.h"
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

namespace updater::platform {
namespace {

using testing::FsPath;
using testing::ReadBytes;
using testing::TempFolder;

std::string RawAttributes(const std::string& path) {
  char value[32] = {};
  const ssize_t length = lgetxattr(path.c_str(), kAttributesXattr, value, sizeof value - 1);
  return length < 0 ? "<none>" : std::string(value, static_cast<size_t>(length));
}

TEST(PosixAttributes, ReadOnlyIsTheWriteBitsAndTheRestAnExtendedAttribute) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string file = temp.MakeFile("a.txt", "a");
  const std::string folder = temp.MakeFolder("sub");
  EXPECT_EQ(files.GetAttributes(file).value(), uint32_t{kAttrArchive});
  EXPECT_EQ(files.GetAttributes(folder).value(), uint32_t{kAttrDirectory});

  ASSERT_TRUE(files.SetAttributes(file, kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  EXPECT_EQ(files.GetAttributes(file).value(), uint32_t{kAttrReadOnly | kAttrHidden | kAttrSystem});
  EXPECT_EQ(std::filesystem::status(FsPath(file)).permissions() &
                std::filesystem::perms::all & ~std::filesystem::perms::others_exec,
            std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                std::filesystem::perms::others_read);
  EXPECT_EQ(RawAttributes(file), "06");

  // Back to what a new file has: the write bit returns, the attribute goes.
  ASSERT_TRUE(files.SetAttributes(file, kAttrArchive).ok());
  EXPECT_EQ(files.GetAttributes(file).value(), uint32_t{kAttrArchive});
  EXPECT_TRUE((std::filesystem::status(FsPath(file)).permissions() &
               std::filesystem::perms::owner_write) != std::filesystem::perms::none);
  EXPECT_EQ(RawAttributes(file), "<none>");

  ASSERT_TRUE(files.SetAttributes(folder, kAttrHidden | kAttrDirectory).ok());
  EXPECT_EQ(files.GetAttributes(folder).value(), uint32_t{kAttrHidden | kAttrDirectory});
}

TEST(PosixListFolder, ListsEveryEntryWithItsAttributesAndMarksLinks) {
  TempFolder temp;
  PosixFileSystem files;
  temp.MakeFile("tree/.dot-file", "x");
  temp.MakeFolder("tree/folder");
  std::filesystem::create_directory_symlink(FsPath(temp.Path("tree/folder")),
                                            FsPath(temp.Path("tree/folder-link")));
  std::filesystem::create_symlink(FsPath(temp.Path("nowhere")), FsPath(temp.Path("tree/dangling")));
  std::map<std::string, std::pair<uint32_t, bool>> seen;
  for (const FolderEntry& entry : files.ListFolder(temp.Path("TREE")).value()) {
    seen[entry.name] = {entry.attributes, entry.is_link};
  }
  const std::map<std::string, std::pair<uint32_t, bool>> expected = {
      {".dot-file", {kAttrArchive, false}},
      {"folder", {kAttrDirectory, false}},
      {"folder-link", {kAttrDirectory, true}},
      {"dangling", {kAttrArchive, true}},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(files.ListFolder(temp.Path("missing")).ok());
}

TEST(PosixDelete, RefusesReadOnlyFilesAndFoldersAsWindowsDoesAndRemovesLinksOnly) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string file = temp.MakeFile("a.txt", "a");
  const std::string folder = temp.MakeFolder("empty");
  ASSERT_TRUE(files.SetAttributes(file, kAttrReadOnly).ok());
  ASSERT_TRUE(files.SetAttributes(folder, kAttrReadOnly | kAttrDirectory).ok());
  EXPECT_EQ(files.RemoveFile(file).error().code, EACCES);
  EXPECT_EQ(files.RemoveFolder(folder).error().code, EACCES);
  EXPECT_EQ(files.RemoveFile(folder).error().code, EISDIR);

  ASSERT_TRUE(files.SetAttributes(folder, kAttrDirectory).ok());
  EXPECT_TRUE(files.RemoveFolder(folder).ok());
  const std::string link = temp.Path("link");
  std::filesystem::create_symlink(FsPath(file), FsPath(link));
  EXPECT_TRUE(files.RemoveFile(link).ok());
  EXPECT_EQ(ReadBytes(file), "a");
  // A link to a folder goes as RemoveDirectory takes a junction away; a
  // link to a file is no folder.
  temp.MakeFile("target/kept.txt", "k");
  std::filesystem::create_directory_symlink(FsPath(temp.Path("target")), FsPath(link));
  EXPECT_TRUE(files.RemoveFolder(link).ok());
  EXPECT_FALSE(std::filesystem::is_symlink(FsPath(link)));
  EXPECT_EQ(ReadBytes(temp.Path("target/kept.txt")), "k");
  std::filesystem::create_symlink(FsPath(file), FsPath(link));
  EXPECT_EQ(files.RemoveFolder(link).error().code, ENOTDIR);
}

TEST(PosixCopy, CarriesContentsModeAttributesAndTimeAndNeverLeavesAHalfTarget) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string source = temp.MakeFile("source.bin", std::string(3 << 20, 's'));
  ASSERT_TRUE(files.SetAttributes(source, kAttrReadOnly | kAttrSystem | kAttrArchive).ok());
  const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(100);
  std::filesystem::last_write_time(FsPath(source), when);
  const std::string target = temp.MakeFile("TARGET.bin", "old");

  ASSERT_TRUE(files.CopyWholeFile(source, temp.Path("target.BIN")).ok());
  EXPECT_EQ(ReadBytes(target), ReadBytes(source));
  EXPECT_EQ(files.GetAttributes(target).value(), files.GetAttributes(source).value());
  EXPECT_EQ(std::filesystem::last_write_time(FsPath(target)), when);

  // Windows refuses to copy onto a read-only or hidden file; the target stays.
  const std::string hidden = temp.MakeFile("hidden.bin", "keep");
  ASSERT_TRUE(files.SetAttributes(hidden, kAttrHidden).ok());
  EXPECT_EQ(files.CopyWholeFile(source, hidden).error().code, EACCES);
  EXPECT_EQ(ReadBytes(hidden), "keep");
  EXPECT_FALSE(files.CopyWholeFile(temp.Path("missing"), hidden).ok());
  EXPECT_FALSE(files.CopyWholeFile(temp.path(), temp.Path("folder-copy")).ok());
  // No temporary file is left behind.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(FsPath(temp.path()))) {
    ++entries;
  }
  EXPECT_EQ(entries, 3u);
}

TEST(PosixWriteFile, MakesFilesNamedLikeProgramsRunnableAsWindowsWould) {
  TempFolder temp;
  PosixFileSystem files;
  for (const auto& [name, runnable] : std::map<std::string, bool>{
           {"files.exe", true}, {"SETUP.EXE", true}, {"files.exe.txt", false}, {"exe", false}}) {
    ASSERT_TRUE(files.WriteFile(temp.Path(name), "x").ok()) << name;
    EXPECT_EQ(access(temp.Path(name).c_str(), X_OK) == 0, runnable) << name;
  }
}

TEST(PosixRename, FailsOntoAnExistingTargetAndChangesLetterCase) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string a = temp.MakeFile("a.txt", "a");
  temp.MakeFile("b.txt", "b");
  EXPECT_EQ(files.Rename(a, temp.Path("b.txt")).error().code, EEXIST);
  EXPECT_EQ(ReadBytes(temp.Path("b.txt")), "b");
  EXPECT_TRUE(files.Rename(a, temp.Path("A.TXT")).ok());
  EXPECT_EQ(ReadBytes(temp.Path("A.TXT")), "a");
  EXPECT_TRUE(files.Rename(temp.Path("a.txt"), temp.Path("c.txt")).ok());
  EXPECT_EQ(ReadBytes(temp.Path("c.txt")), "a");
}

TEST(PosixIni, ReadsAndWritesAsThePrivateProfileFunctionsInWindows1251) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string ini = temp.MakeFile(
      "Marlix.ini", Utf8ToCp1251("; настройки\r\n[Main]\r\nName = \"Марликс\" \r\n\r\n"
                                 "[language]\r\nprogram_language=2\r\n\r\n[Other]\r\nx=1\r\n"));
  EXPECT_TRUE(files.IniSectionExists(ini, "LANGUAGE").value());
  EXPECT_FALSE(files.IniSectionExists(ini, "Missing").value());
  EXPECT_EQ(files.IniReadString(ini, "Language", "Program_Language").value(), "2");
  EXPECT_EQ(files.IniReadString(ini, "main", "NAME").value(), "Марликс");
  EXPECT_EQ(files.IniReadString(ini, "Language", "Missing").value(), std::nullopt);

  ASSERT_TRUE(files.IniWriteString(ini, "Language", "Program_Language", "1").ok());
  ASSERT_TRUE(files.IniWriteString(ini, "Main", "Заголовок", "Обновление").ok());
  ASSERT_TRUE(files.IniWriteString(ini, "New", "Key", "v").ok());
  EXPECT_EQ(ReadBytes(ini),
            Utf8ToCp1251("; настройки\r\n[Main]\r\nName = \"Марликс\" \r\nЗаголовок=Обновление\r\n"
                         "\r\n[language]\r\nprogram_language=1\r\n\r\n[Other]\r\nx=1\r\n\r\n"
                         "[New]\r\nKey=v\r\n"));

  const std::string fresh = temp.Path("fresh.ini");
  EXPECT_FALSE(files.IniSectionExists(fresh, "Language").value());
  ASSERT_TRUE(files.IniWriteString(fresh, "Language", "Program_Language", "1").ok());
  EXPECT_EQ(ReadBytes(fresh), "[Language]\r\nProgram_Language=1\r\n");
}

TEST(PosixSystemFolder, IsTheFolderOfTheSystemLibraries) {
  PosixVolumes volumes;
  const std::string folder = volumes.SystemFolder().value();
  EXPECT_TRUE(std::filesystem::exists(FsPath(folder + "/libc.so.6"))) << folder;
}

}  // namespace
}  // namespace updater::platform
