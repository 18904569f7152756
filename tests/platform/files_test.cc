// The algorithms written once over the FileSystem interface, on real
// folders.
#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/wrappers.h"
#include "support/faulty_platform.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::FaultyFileSystem;
using testing::FileCall;
using testing::TempFolder;

// Another process creates each folder just before this one does: every
// creation fails because the folder is there.
class RacedFileSystem final : public FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  Status CreateFolder(const std::string& path) override {
    (void)target().CreateFolder(path);
    return SystemError{"CreateDirectoryW", path, 183,
                       "Cannot create a file when that file already exists."};
  }
};

TEST(CreateFolderWithParents, MakesEveryMissingLevelFromTheTopDown) {
  TempFolder temp;
  FaultyFileSystem files(SystemPlatform().files);
  const std::string deep = temp.Path("a/b/c");

  ASSERT_TRUE(CreateFolderWithParents(files, IncludeTrailingDelimiter(deep)).ok());

  EXPECT_TRUE(files.FolderExists(deep));
  EXPECT_EQ(files.Calls(FileCall::kCreateFolder), 3);
  ASSERT_TRUE(CreateFolderWithParents(files, deep).ok());
  EXPECT_EQ(files.Calls(FileCall::kCreateFolder), 3);  // nothing left to make
}

TEST(CreateFolderWithParents, AFolderAnotherProcessMadeMeanwhileIsNoFailure) {
  TempFolder temp;
  RacedFileSystem files(SystemPlatform().files);
  EXPECT_TRUE(CreateFolderWithParents(files, temp.Path("x/y")).ok());
  EXPECT_TRUE(files.FolderExists(temp.Path("x/y")));
}

TEST(CreateFolderWithParents, ALevelThatCannotBeMadeFailsWithItsError) {
  TempFolder temp;
  FaultyFileSystem files(SystemPlatform().files);
  files.Inject(testing::Fault(FileCall::kCreateFolder).Nth(2));

  const Status made = CreateFolderWithParents(files, temp.Path("a/b/c"));

  ASSERT_FALSE(made.ok());
  EXPECT_EQ(made.error().path, temp.Path("a/b"));
  EXPECT_TRUE(files.FolderExists(temp.Path("a")));
  EXPECT_FALSE(files.FolderExists(temp.Path("a/b")));
}

}  // namespace
}  // namespace updater::platform
