// The product folder's lock, over a fake process table and a real folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/uUpdate_lock.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FailureOf;
using testing::ReadBytes;

class ProductFolderLockTest : public ::testing::Test {
 protected:
  ProductFolderLockTest() {
    fake.processes.own_pid = fake.processes.Add("Updater_Marlix");
    fake.clock.Set({2026, 1, 1, 0, 0, 0, 0});
  }

  std::string LockPath() const { return temp.Path(kProductFolderLockName); }
  // The folder's entries, to see that nothing is left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(testing::FsPath(temp.path()))) {
      names.push_back(testing::Utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string HeldMessage(uint32_t pid, const std::string& program) const {
    return "Обновление программы в каталоге \"as typed\" уже выполняется другой программой "
           "обновления (процесс " +
           std::to_string(pid) + " " + program +
           ", начато 01.01.2026 0:00:00).\rДождитесь его окончания. Если такой программы нет, "
           "удалите файл " +
           LockPath() + ".";
  }
  std::string LockOf(uint32_t pid, const std::string& program) const {
    return "pid=" + std::to_string(pid) + "\r\nprogram=" + program +
           "\r\nstarted=01.01.2026 0:00:00\r\n";
  }

  testing::TempFolder temp;
  testing::FakePlatform fake;
};

TEST_F(ProductFolderLockTest, NamesThisProcessWhileHeldAndGoesWithIt) {
  {
    const ProductFolderLock lock = ProductFolderLock::Take(fake.platform, temp.path(), "as typed");
    EXPECT_EQ(ReadBytes(LockPath()), LockOf(fake.processes.own_pid, "Updater_Marlix"));
    EXPECT_EQ(Entries(), std::vector<std::string>{kProductFolderLockName});

    // A second updater started meanwhile is refused and leaves the lock as
    // it was.
    const uint32_t first = fake.processes.own_pid;
    fake.processes.own_pid = fake.processes.Add("Updater_Marlix");
    EXPECT_EQ(FailureOf([&] { ProductFolderLock::Take(fake.platform, temp.path(), "as typed"); }),
              HeldMessage(first, "Updater_Marlix"));
    EXPECT_EQ(Entries(), std::vector<std::string>{kProductFolderLockName});
  }
  EXPECT_TRUE(Entries().empty());
}

TEST_F(ProductFolderLockTest, ARunningUpdaterKeepsItsLockAndTheOtherIsRefused) {
  const uint32_t holder = fake.processes.Add("Updater_Marlix.exe");
  temp.MakeFile(kProductFolderLockName, LockOf(holder, "Updater_Marlix.exe"));
  EXPECT_EQ(FailureOf([&] { ProductFolderLock::Take(fake.platform, temp.path(), "as typed"); }),
            HeldMessage(holder, "Updater_Marlix.exe"));
  EXPECT_EQ(FailureOf([&] { CheckProductFolderNotLocked(fake.platform, temp.path(), "as typed"); }),
            HeldMessage(holder, "Updater_Marlix.exe"));
  EXPECT_EQ(ReadBytes(LockPath()), LockOf(holder, "Updater_Marlix.exe"));
  EXPECT_EQ(Entries(), std::vector<std::string>{kProductFolderLockName});
}

TEST_F(ProductFolderLockTest, AStaleLockIsTakenOver) {
  const uint32_t gone = fake.processes.Add("Updater_Marlix");
  fake.processes.Remove(gone);
  const uint32_t reused = fake.processes.Add("notepad.exe");
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"its process has ended", LockOf(gone, "Updater_Marlix")},
      {"its process id now runs another program", LockOf(reused, "Updater_Marlix")},
      {"it names this very process", LockOf(fake.processes.own_pid, "Updater_Marlix")},
      {"it names no process", "garbage"},
      {"it is empty", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp.MakeFile(kProductFolderLockName, c.content);
    EXPECT_EQ(FailureOf([&] { CheckProductFolderNotLocked(fake.platform, temp.path(), "x"); }),
              "<no failure>");
    {
      const ProductFolderLock lock = ProductFolderLock::Take(fake.platform, temp.path(), "x");
      EXPECT_NE(ReadBytes(LockPath()).find("program=Updater_Marlix\r\n"), std::string::npos);
      EXPECT_EQ(Entries(), std::vector<std::string>{kProductFolderLockName});
    }
    EXPECT_TRUE(Entries().empty());
  }
}

TEST_F(ProductFolderLockTest, AFolderThatTakesNoFileFailsWithTheSystemsText) {
  fake.files.failing.insert("WriteFile");
  const std::string failure =
      FailureOf([&] { ProductFolderLock::Take(fake.platform, temp.path(), "x"); });
  EXPECT_EQ(failure.rfind("Невозможно создать файл " + LockPath() + "." +
                              std::to_string(fake.processes.own_pid) + ".new!\r",
                          0),
            0u)
      << failure;
  EXPECT_NE(failure.find("injected"), std::string::npos);
}

}  // namespace
}  // namespace updater
