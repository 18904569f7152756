#include "fsutil/backup_restore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::FsPath;
using ::testing::IsEmpty;
using testing::ReadBytes;
using testing::TempFolder;

TEST(ReplaceAll, ReplacesEveryOccurrenceExactly) {
  struct Case {
    std::string text, old_text, new_text, expected;
  } cases[] = {
      {"C{3A}{5C}A{5C}b.txt", "{5C}", "\\", "C{3A}\\A\\b.txt"},
      {"{5C}{5C}", "{5C}", "\\", "\\\\"},
      {"no match here", "{5C}", "\\", "no match here"},
      {"lower {5c} stays", "{5C}", "\\", "lower {5c} stays"},
      // A removal that closes up a new occurrence: searched again from the
      // start, that one goes too.
      {"aaabb", "ab", "", "a"},
      {"text", "", "x", "text"},
      // A replacement holding the searched text: each occurrence once.
      {"a-b", "-", "--", "a--b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.old_text, c.new_text), c.expected) << c.text;
  }
}

// Entries decode to paths relative to the current folder, which is the test's
// folder: on Windows "A\b.txt" lies in the folder A, on Linux it is one file
// whose name holds a backslash, as the entry names say.
class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() : backup(temp.MakeFolder("Other")) {
    fs::current_path(FsPath(temp.path()));
    temp.MakeFolder("A");
  }
  ~RestoreTest() override { fs::current_path(before); }

  std::string Entry(const std::string& name, const std::string& bytes = "saved") {
    return temp.MakeFile(platform::JoinPath("Other", name), bytes);
  }
  std::string Here(const std::string& relative) {
    return temp.path() + platform::PathDelimiter() + relative;
  }

  fs::path before = fs::current_path();
  TempFolder temp;
  testing::FakePlatform fake;
  std::string backup;
};

TEST_F(RestoreTest, PutsFilesBackOverReadOnlyOnesAndDeletesAddedOnes) {
  const std::string restored = Here("A\\b.txt");
  temp.MakeFile("A\\b.txt", "changed by the update");
  ASSERT_TRUE(fake.files.SetAttributes(restored, platform::kAttrReadOnly).ok());
  const std::string added = temp.MakeFile("A\\new.dll", "added by the update");
  Entry("A{5C}b.txt", "saved b");
  Entry("{dlt}_A{5C}new.dll");
  Entry("{dlt}_A{5C}already-gone.dll");

  EXPECT_THAT(RestoreEncodedFiles(fake.platform, backup), IsEmpty());
  EXPECT_EQ(ReadBytes(restored), "saved b");
  EXPECT_EQ(ReadBytes(added), "<missing>");
  // The entries stay where they were.
  EXPECT_EQ(ReadBytes(platform::JoinPath(backup, "A{5C}b.txt")), "saved b");
}

TEST_F(RestoreTest, ReportsEachFileNotRestoredAndGoesOn) {
  temp.MakeFolder("A\\in-the-way");
  Entry("A{5C}in-the-way");
  Entry("A{5C}later.txt", "later");
  const auto failures = RestoreEncodedFiles(fake.platform, backup);
  EXPECT_THAT(failures, ElementsAre("Не удалось восстановить файл: A\\in-the-way"));
  EXPECT_EQ(ReadBytes(Here("A\\later.txt")), "later");
  if (platform::PathDelimiter() == '\\') {
    // The destination's folder is gone.
    Entry("Gone{5C}c.txt");
    EXPECT_THAT(RestoreEncodedFiles(fake.platform, backup),
                ElementsAre("Не удалось восстановить файл: A\\in-the-way",
                            "Не удалось восстановить файл: Gone\\c.txt"));
  }
}

TEST_F(RestoreTest, DecodesOnlyUpperCaseCodesAndSkipsHiddenEntriesAndFolders) {
  Entry("A{5c}lower.txt", "lower");
  const std::string hidden = Entry("A{5C}hidden.txt", "hidden");
  ASSERT_TRUE(fake.files.SetAttributes(hidden, platform::kAttrHidden).ok());
  temp.MakeFile(platform::JoinPath(platform::JoinPath("Other", "A{5C}folder"), "x.txt"), "x");

  EXPECT_THAT(RestoreEncodedFiles(fake.platform, backup), IsEmpty());
  EXPECT_EQ(ReadBytes(Here("A{5c}lower.txt")), "lower");
  EXPECT_EQ(ReadBytes(Here("A\\hidden.txt")), "<missing>");
  EXPECT_EQ(ReadBytes(Here("A\\folder")), "<missing>");
}

TEST_F(RestoreTest, AnEmptyOrMissingBackupRestoresNothing) {
  EXPECT_THAT(RestoreEncodedFiles(fake.platform, backup), IsEmpty());
  EXPECT_THAT(RestoreEncodedFiles(fake.platform, Here("NoSuchFolder")), IsEmpty());
}

TEST_F(RestoreTest, ABackupFolderThatCannotBeListedIsNoCompleteRestore) {
  Entry("A{5C}b.txt");
  fake.files.FailEvery(testing::FileCall::kListFolder);
  const auto failures = RestoreEncodedFiles(fake.platform, backup);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("Не удалось восстановить файлы из папки " + backup + ": ", 0), 0u);
}

}  // namespace
}  // namespace updater
