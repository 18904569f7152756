#include "fsutil/folder_tree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using platform::kAttrArchive;
using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;
using ::testing::ElementsAre;
using testing::FailureOf;
using testing::FsPath;
using testing::HelperProcess;
using ::testing::IsEmpty;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestHelperPath;
using ::testing::UnorderedElementsAre;

class FolderTreeTest : public ::testing::Test {
 protected:
  bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(FsPath(path), error));
  }
  uint32_t Attributes(const std::string& path) { return fake.files.GetAttributes(path).value(); }
  void SetAttributes(const std::string& path, uint32_t attributes) {
    ASSERT_TRUE(fake.files.SetAttributes(path, attributes).ok()) << path;
  }
  std::string WithDelimiter(const std::string& path) {
    return platform::IncludeTrailingDelimiter(path);
  }

  TempFolder temp;
  testing::FakePlatform fake;
  platform::Platform& p = fake.platform;
};

TEST_F(FolderTreeTest, DeletesReadOnlyHiddenAndSystemFilesAndNestedFolders) {
  const std::string read_only = temp.MakeFile("tree/sub/read-only.txt", "r");
  const std::string hidden = temp.MakeFile("tree/hidden.txt", "h");
  const std::string system = temp.MakeFile("tree/sub/deeper/system.txt", "s");
  temp.MakeFolder("tree/empty");
  SetAttributes(read_only, kAttrReadOnly | kAttrArchive);
  SetAttributes(hidden, kAttrHidden);
  SetAttributes(system, kAttrSystem | kAttrHidden | kAttrReadOnly);

  DeleteFolderTree(p, WithDelimiter(temp.Path("tree")));

  EXPECT_FALSE(Exists(temp.Path("tree")));
  EXPECT_NO_THROW(DeleteFolderTree(p, temp.Path("never-there")));
}

TEST_F(FolderTreeTest, AFolderThatStaysBehindIsNotReported) {
  const std::string file = temp.MakeFile("tree/a.txt", "a");
  fake.files.failing.insert("RemoveFolder");
  EXPECT_NO_THROW(DeleteFolderTree(p, temp.Path("tree")));
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(Exists(temp.Path("tree")));
}

TEST_F(FolderTreeTest, AFileHeldByAnotherProcessStopsTheDeletionWithItsPath) {
  for (const char* name : {"a.txt", "held.txt", "m.txt", "z.txt"}) {
    temp.MakeFile(std::string("tree/sub/") + name, name);
  }
  const std::string sub = temp.Path("tree/sub");
  const std::string held = temp.Path("tree/sub/held.txt");
  std::vector<std::string> before_held, after_held;
  bool seen = false;
  const auto listing = fake.files.ListFolder(sub);
  for (const auto& entry : listing.value()) {
    if (entry.name == "held.txt") {
      seen = true;
    } else {
      (seen ? after_held : before_held).push_back(platform::JoinPath(sub, entry.name));
    }
  }
  HelperProcess holder(TestHelperPath(), {"hold", held}, temp.path());
  ASSERT_TRUE(holder.ready());

  EXPECT_EQ(FailureOf([&] { DeleteFolderTree(p, temp.Path("tree")); }),
            "Невозможно удалить файл " + held + "!");
  EXPECT_TRUE(Exists(held));
  for (const std::string& path : before_held) EXPECT_FALSE(Exists(path)) << path;
  for (const std::string& path : after_held) EXPECT_TRUE(Exists(path)) << path;

  EXPECT_EQ(holder.Release(), 0u);
  DeleteFolderTree(p, temp.Path("tree"));
  EXPECT_FALSE(Exists(temp.Path("tree")));
}

TEST_F(FolderTreeTest, LinksAreRemovedOrReportedButNeverFollowed) {
  const std::string outside_file = temp.MakeFile("outside/keep.txt", "keep");
  const std::string tree = temp.MakeFolder("tree");
  temp.MakeFile("tree/plain.txt", "plain");
  std::error_code folder_error, file_error;
  fs::create_directory_symlink(FsPath(temp.Path("outside")), FsPath(temp.Path("tree/to-folder")),
                               folder_error);
  fs::create_symlink(FsPath(outside_file), FsPath(temp.Path("tree/to-file")), file_error);
  if (folder_error || file_error) GTEST_SKIP() << "no links on this system";

  const std::vector<std::string> not_copied = CopyFolderTree(p, tree, temp.Path("copy"));
  EXPECT_THAT(not_copied,
              UnorderedElementsAre(temp.Path("tree/to-folder"), temp.Path("tree/to-file")));
  EXPECT_EQ(ReadBytes(temp.Path("copy/plain.txt")), "plain");
  EXPECT_FALSE(Exists(temp.Path("copy/to-folder")));
  EXPECT_FALSE(Exists(temp.Path("copy/to-file")));

  DeleteFolderTree(p, tree);
  EXPECT_FALSE(Exists(tree));
  EXPECT_EQ(ReadBytes(outside_file), "keep");
}

TEST_F(FolderTreeTest, APartFolderThatIsALinkIsWorkedInsideAndStaysALink) {
  // The customer moved DB_Data to a larger disk and left a link in its place;
  // a link inside it points elsewhere again and is not followed.
  const std::string moved = temp.MakeFolder("big disk/DB_Data");
  const std::string beside = temp.MakeFile("big disk/beside.txt", "beside");
  const std::string elsewhere = temp.MakeFile("elsewhere/keep.txt", "keep");
  const std::string db_data = temp.MakeFolder("Marlix") + platform::PathDelimiter() + "DB_Data";
  temp.MakeFile("Old/DB_Data/Marlix.fdb", "backup");
  temp.MakeFile("Old/DB_Data/sub/udf.so", "udf");
  std::error_code error;
  fs::create_directory_symlink(FsPath(moved), FsPath(db_data), error);
  if (error) GTEST_SKIP() << "no links on this system";

  // The rollback's pair: the part folder emptied, the backup copied back;
  // given with and without a trailing delimiter.
  for (const std::string& given : {db_data, WithDelimiter(db_data)}) {
    SCOPED_TRACE(given);
    temp.MakeFile("big disk/DB_Data/Marlix.fdb", "damaged");
    temp.MakeFile("big disk/DB_Data/new/added.txt", "added");
    fs::create_directory_symlink(FsPath(temp.Path("elsewhere")),
                                 FsPath(temp.Path("big disk/DB_Data/out")));
    DeleteFolderTree(p, given);
    EXPECT_TRUE(fs::is_symlink(FsPath(db_data)));
    EXPECT_TRUE(fs::is_directory(FsPath(moved)));
    EXPECT_TRUE(fs::is_empty(FsPath(moved)));
    EXPECT_EQ(ReadBytes(elsewhere), "keep");
    EXPECT_EQ(ReadBytes(beside), "beside");

    EXPECT_THAT(CopyFolderTree(p, temp.Path("Old/DB_Data"), given), IsEmpty());
    EXPECT_TRUE(fs::is_symlink(FsPath(db_data)));
    EXPECT_EQ(ReadBytes(temp.Path("big disk/DB_Data/Marlix.fdb")), "backup");
    EXPECT_EQ(ReadBytes(temp.Path("big disk/DB_Data/sub/udf.so")), "udf");
  }
  // A backup of the linked folder holds what it points to.
  EXPECT_THAT(CopyFolderTree(p, db_data, temp.Path("Old2")), IsEmpty());
  EXPECT_FALSE(fs::is_symlink(FsPath(temp.Path("Old2"))));
  EXPECT_EQ(ReadBytes(temp.Path("Old2/Marlix.fdb")), "backup");

  // A link whose folder has gone stays too.
  fs::remove_all(FsPath(moved));
  DeleteFolderTree(p, db_data);
  EXPECT_TRUE(fs::is_symlink(FsPath(db_data)));
}

TEST_F(FolderTreeTest, CreateFolderMakesOneLevelAndRefusesAnythingElse) {
  const std::string made = temp.Path("one");
  CreateFolder(p, made);
  EXPECT_TRUE(fs::is_directory(FsPath(made)));
  for (const std::string& path : {made, temp.Path("missing/two")}) {
    EXPECT_EQ(FailureOf([&] { CreateFolder(p, path); }), "Невозможно создать папку " + path + "!");
  }
}

TEST_F(FolderTreeTest, CopyOfAMissingSourceFailsAndCreatesNothing) {
  const std::string source = temp.Path("none");
  EXPECT_EQ(FailureOf([&] { (void)CopyFolderTree(p, source, temp.Path("target")); }),
            "Папка " + WithDelimiter(source) + " не существует!");
  EXPECT_FALSE(Exists(temp.Path("target")));
}

TEST_F(FolderTreeTest, CopyMergesContentsAttributesAndTimesIntoTheTarget) {
  const std::string source_a = temp.MakeFile("source/a.txt", "new a");
  const std::string source_b = temp.MakeFile("source/sub/b.txt", "b");
  temp.MakeFolder("source/sub/empty");
  temp.MakeFile("target/only-here.txt", "stays");
  const std::string target_a = temp.MakeFile("target/a.txt", "old a, longer than the new one");
  SetAttributes(source_a, kAttrHidden | kAttrSystem | kAttrArchive);
  SetAttributes(source_b, kAttrReadOnly);
  SetAttributes(target_a, kAttrReadOnly | kAttrHidden);
  const auto when = fs::last_write_time(FsPath(source_a)) - std::chrono::hours(240);
  fs::last_write_time(FsPath(source_a), when);

  EXPECT_THAT(CopyFolderTree(p, temp.Path("source"), temp.Path("target")), IsEmpty());

  EXPECT_EQ(ReadBytes(target_a), "new a");
  EXPECT_EQ(Attributes(target_a), Attributes(source_a));
  EXPECT_EQ(fs::last_write_time(FsPath(target_a)), when);
  EXPECT_EQ(ReadBytes(temp.Path("target/sub/b.txt")), "b");
  EXPECT_EQ(Attributes(temp.Path("target/sub/b.txt")) & kAttrReadOnly, uint32_t{kAttrReadOnly});
  EXPECT_TRUE(fs::is_directory(FsPath(temp.Path("target/sub/empty"))));
  EXPECT_EQ(ReadBytes(temp.Path("target/only-here.txt")), "stays");
}

TEST_F(FolderTreeTest, CopyCreatesEveryMissingTargetLevelOrStopsWithTheTarget) {
  temp.MakeFile("source/a.txt", "a");
  EXPECT_THAT(CopyFolderTree(p, temp.Path("source"), temp.Path("x/y/z")), IsEmpty());
  EXPECT_EQ(ReadBytes(temp.Path("x/y/z/a.txt")), "a");

  fake.files.failing.insert("CreateFolder");
  const std::string target = temp.Path("new/deep");
  EXPECT_EQ(FailureOf([&] { (void)CopyFolderTree(p, temp.Path("source"), target); }),
            "Невозможно создать папку " + WithDelimiter(target) + "!");
}

TEST_F(FolderTreeTest, CopyGoesPastAFileHeldByAnotherProcessAndListsIt) {
  temp.MakeFile("source/a.txt", "a");
  const std::string held = temp.MakeFile("source/held.db", "database");
  temp.MakeFile("source/z.txt", "z");
  HelperProcess holder(TestHelperPath(), {"hold", held}, temp.path());
  ASSERT_TRUE(holder.ready());

  EXPECT_THAT(CopyFolderTree(p, temp.Path("source"), temp.Path("target")), ElementsAre(held));
  EXPECT_EQ(ReadBytes(temp.Path("target/a.txt")), "a");
  EXPECT_EQ(ReadBytes(temp.Path("target/z.txt")), "z");
  EXPECT_FALSE(Exists(temp.Path("target/held.db")));
}

TEST_F(FolderTreeTest, CopyFileOverwriteReportsByItsResult) {
  const std::string source = temp.MakeFile("a.txt", "a");
  EXPECT_TRUE(CopyFileOverwrite(p, source, temp.Path("new.txt")));
  EXPECT_EQ(ReadBytes(temp.Path("new.txt")), "a");
  EXPECT_FALSE(CopyFileOverwrite(p, temp.Path("missing.txt"), temp.Path("other.txt")));
  EXPECT_FALSE(Exists(temp.Path("other.txt")));
}

}  // namespace
}  // namespace updater
