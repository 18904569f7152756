// The Windows locking rules as the Linux build emulates them, with a real
// other process holding files and folders.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/posix/posix_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::HelperProcess;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestHelperPath;

TEST(PosixLocking, AFileHeldByAnotherProcessCannotBeOpenedExclusivelyDeletedOrReplaced) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string db = temp.MakeFile("data/MARLIX.FDB", std::string(5000, 'd'));
  const std::string copy = temp.MakeFile("copy.fdb", "old");
  EXPECT_EQ(files.ExclusiveFileSize(db).value(), 5000u);
  {
    HelperProcess holder(TestHelperPath(), {"hold", db}, temp.path());
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(files.ExclusiveFileSize(db).error().code, EBUSY);
    EXPECT_EQ(files.RemoveFile(db).error().code, EBUSY);
    EXPECT_EQ(files.CopyWholeFile(db, copy).error().code, EBUSY);
    EXPECT_EQ(files.CopyWholeFile(copy, db).error().code, EBUSY);
    EXPECT_EQ(files.Rename(db, temp.Path("data/moved.fdb")).error().code, EBUSY);
    EXPECT_EQ(ReadBytes(copy), "old");
  }
  EXPECT_EQ(files.ExclusiveFileSize(db).value(), 5000u);
  EXPECT_TRUE(files.CopyWholeFile(db, copy).ok());
  EXPECT_TRUE(files.RemoveFile(db).ok());
}

TEST(PosixLocking, AFolderCannotBeRenamedWhileAProcessWorksOrHoldsAFileBelowIt) {
  TempFolder temp;
  PosixFileSystem files;
  const std::string product = temp.MakeFolder("Marlix");
  const std::string program = temp.MakeFolder("Marlix/Program");
  const std::string exe = temp.MakeFile("Marlix/DB_Data/MARLIX.FDB", "db");
  const std::string renamed = temp.Path("Marlix_");
  {
    HelperProcess worker(TestHelperPath(), {"cwd", program}, temp.path());
    ASSERT_TRUE(worker.ready());
    EXPECT_EQ(files.Rename(product, renamed).error().code, EBUSY);
  }
  {
    HelperProcess holder(TestHelperPath(), {"hold", exe}, temp.path());
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(files.Rename(product, renamed).error().code, EBUSY);
  }
  ASSERT_TRUE(files.Rename(product, renamed).ok());
  EXPECT_TRUE(files.Rename(renamed, product).ok());
}

}  // namespace
}  // namespace updater::platform
