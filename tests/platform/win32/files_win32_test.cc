#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/text.h"
#include "platform/transient_retry.h"
#include "platform/win32/win32_platform.h"
#include "support/fake_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::HelperProcess;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestHelperPath;

TEST(Win32Files, AttributesAreReadWrittenAndListedAsTheyAre) {
  TempFolder temp;
  Win32FileSystem files;
  const std::string file = temp.MakeFile("tree\\a.txt", "a");
  temp.MakeFolder("tree\\sub");
  // Wine keeps the archive bit of every file whatever is set: it is left
  // out of the comparison.
  constexpr uint32_t kCompared = ~uint32_t{kAttrArchive};
  ASSERT_TRUE(files.SetAttributes(file, kAttrHidden | kAttrSystem | kAttrReadOnly).ok());
  EXPECT_EQ(files.GetAttributes(file).value() & kCompared,
            uint32_t{kAttrHidden | kAttrSystem | kAttrReadOnly});
  std::map<std::string, uint32_t> listed;
  for (const FolderEntry& entry : files.ListFolder(temp.Path("tree")).value()) {
    listed[entry.name] = entry.attributes & kCompared;
    EXPECT_FALSE(entry.is_link);
  }
  EXPECT_EQ(listed,
            (std::map<std::string, uint32_t>{{"a.txt", kAttrHidden | kAttrSystem | kAttrReadOnly},
                                             {"sub", kAttrDirectory}}));
  EXPECT_FALSE(files.RemoveFile(file).ok());
  ASSERT_TRUE(files.SetAttributes(file, kAttrArchive).ok());
  EXPECT_TRUE(files.RemoveFile(file).ok());
  EXPECT_FALSE(files.ListFolder(temp.Path("missing")).ok());
}

TEST(Win32Files, AReadOnlyFileIsFlushedToDiskAndStaysReadOnly) {
  TempFolder temp;
  Win32FileSystem files;
  const std::string file = temp.MakeFile("copy.fdb", "backup");
  ASSERT_TRUE(files.SetAttributes(file, kAttrReadOnly | kAttrHidden).ok());
  EXPECT_TRUE(files.FlushToDisk(file).ok());
  EXPECT_EQ(files.GetAttributes(file).value() & ~uint32_t{kAttrArchive},
            uint32_t{kAttrReadOnly | kAttrHidden});
  EXPECT_EQ(ReadBytes(file), "backup");
  EXPECT_TRUE(files.FlushToDisk(temp.Path("")).ok());
  EXPECT_FALSE(files.FlushToDisk(temp.Path("missing.fdb")).ok());
  ASSERT_TRUE(files.SetAttributes(file, kAttrArchive).ok());
}

TEST(Win32Files, AFileHeldByAnotherProcessCannotBeOpenedExclusivelyOrDeleted) {
  TempFolder temp;
  Win32FileSystem files;
  const std::string db = temp.MakeFile("MARLIX.FDB", std::string(4096, 'd'));
  {
    HelperProcess holder(TestHelperPath(), {"hold", db}, temp.path());
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(files.ExclusiveFileSize(db).error().code, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(files.RemoveFile(db).error().code, ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(files.ExclusiveFileSize(db).value(), 4096u);
  EXPECT_EQ(files.Rename(db, temp.Path("moved.fdb")).ok(), true);
  temp.MakeFile("other.fdb", "x");
  EXPECT_FALSE(files.Rename(temp.Path("moved.fdb"), temp.Path("other.fdb")).ok());
}

// A scanner's moment: another process holds the file without sharing until
// the second wait of the retries, then lets it go.
TEST(Win32Files, AFileHeldForAMomentIsCopiedRenamedDeletedAndOpenedAfterRetries) {
  TempFolder temp;
  Win32FileSystem system_files;
  const struct {
    const char* name;
    std::function<bool(FileSystem&, const std::string&)> run;
  } cases[] = {
      {"copy",
       [&](FileSystem& f, const std::string& file) {
         return f.CopyWholeFile(file, temp.Path("copy.txt")).ok() &&
                ReadBytes(temp.Path("copy.txt")) == "data";
       }},
      {"rename",
       [&](FileSystem& f, const std::string& file) {
         return f.Rename(file, temp.Path("renamed.txt")).ok() &&
                ReadBytes(temp.Path("renamed.txt")) == "data";
       }},
      {"delete",
       [&](FileSystem& f, const std::string& file) {
         return f.RemoveFile(file).ok() && !f.FileExists(file);
       }},
      {"exclusive open",
       [&](FileSystem& f, const std::string& file) { return f.ExclusiveFileSize(file).ok(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = temp.MakeFile("held " + std::string(c.name) + ".txt", "data");
    testing::FakeClock clock;
    RetryingFileSystem files(system_files, clock, Win32TransientErrors());
    auto holder = std::make_unique<HelperProcess>(
        TestHelperPath(), std::vector<std::string>{"hold", file}, temp.path());
    ASSERT_TRUE(holder->ready());
    clock.after_sleep = [&](size_t waits) {
      if (waits == 2) holder->Release();
    };
    EXPECT_TRUE(c.run(files, file));
    EXPECT_EQ(clock.sleeps(), (std::vector<uint32_t>{25, 50}));
  }
}

TEST(Win32Files, AFileHeldThroughoutStillFailsAfterTheRetries) {
  TempFolder temp;
  Win32FileSystem system_files;
  testing::FakeClock clock;
  RetryingFileSystem files(system_files, clock, Win32TransientErrors());
  const std::string file = temp.MakeFile("held.txt", "data");
  HelperProcess holder(TestHelperPath(), {"hold", file}, temp.path());
  ASSERT_TRUE(holder.ready());

  const Status deleted = files.RemoveFile(file);

  ASSERT_FALSE(deleted.ok());
  EXPECT_EQ(deleted.error().code, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(clock.sleeps().size(), 10u);
  EXPECT_TRUE(system_files.FileExists(file));
}

TEST(Win32Files, IniFilesAreThePrivateProfileFilesInTheAnsiCodePage) {
  TempFolder temp;
  Win32FileSystem files;
  const std::string ini = temp.MakeFile(
      "Marlix.ini",
      Utf8ToCp1251("[Main]\r\nName = \"Марликс\"\r\n[language]\r\nprogram_language=2\r\n"));
  EXPECT_TRUE(files.IniSectionExists(ini, "LANGUAGE").value());
  EXPECT_FALSE(files.IniSectionExists(ini, "Missing").value());
  EXPECT_EQ(files.IniReadString(ini, "Language", "Program_Language").value(), "2");
  EXPECT_EQ(files.IniReadString(ini, "Main", "name").value(), "Марликс");
  EXPECT_EQ(files.IniReadString(ini, "Language", "Missing").value(), std::nullopt);
  ASSERT_TRUE(files.IniWriteString(ini, "Language", "Program_Language", "1").ok());
  ASSERT_TRUE(files.IniWriteString(ini, "Новая", "Ключ", "Значение").ok());
  EXPECT_EQ(files.IniReadString(ini, "language", "program_language").value(), "1");
  EXPECT_NE(ReadBytes(ini).find(Utf8ToCp1251("[Новая]\r\nКлюч=Значение")), std::string::npos)
      << ReadBytes(ini);
  EXPECT_FALSE(files.IniSectionExists(temp.Path("none.ini"), "Language").value());
}

}  // namespace
}  // namespace updater::platform
