#include "engine/retry_log.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/transient_retry.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FakePlatform;
using testing::FileCall;
using testing::kEveryTime;
using testing::ReadBytes;
using testing::RecordingFrontEnd;
using testing::TempFolder;

constexpr int64_t kHeld = 32;

// The update log over a file system that waits for held files, with the
// retry episodes sent to it.
class RetryLogTest : public ::testing::Test {
 protected:
  RetryLogTest()
      : files(fake.files, fake.clock, platform::TransientErrors{{kHeld}, 0}),
        ui(files, fake.clock),
        entries(files, ui.log) {
    ui.log.Open(temp.Path("program"));
    source = temp.MakeFile("a.txt", "a");
  }

  void HoldCopies(int times) {
    fake.files.Inject(testing::Fault(FileCall::kCopyWholeFile)
                          .Times(times)
                          .Error({"CopyFileW", "", kHeld, "in use"}));
  }
  std::string LogText() { return platform::Cp1251ToUtf8(ReadBytes(ui.log.FilePath())); }

  TempFolder temp;
  FakePlatform fake;
  platform::RetryingFileSystem files;
  RecordingFrontEnd ui;
  RetryLogEntries entries;
  std::string source;
};

TEST_F(RetryLogTest, EachEpisodeIsOneEntrySayingHowItEnded) {
  // 75 ms of waits, then 1375 ms more: the second entry is a second later.
  HoldCopies(2);
  ASSERT_TRUE(files.CopyWholeFile(source, temp.Path("b.txt")).ok());
  fake.files.Heal();
  HoldCopies(kEveryTime);
  EXPECT_FALSE(files.CopyWholeFile(source, temp.Path("c.txt")).ok());

  EXPECT_EQ(LogText(),
            "\r03.02.2026 - 7:05:09: Файл был занят другим процессом, операция выполнена после "
            "ожидания: CopyFileW(" +
                source +
                "), попыток: 3, ожидание: 75 мс, код ошибки: 32.\r\n"
                "\r03.02.2026 - 7:05:10: Файл занят другим процессом, операция не выполнена: "
                "CopyFileW(" +
                source + "), попыток: 11, ожидание: 1375 мс, код ошибки: 32.\r\n");
}

TEST_F(RetryLogTest, ALogThatCannotBeWrittenDoesNotFailTheCallThatWaited) {
  HoldCopies(1);
  fake.files.FailEvery(FileCall::kAppendToFile);

  EXPECT_TRUE(files.CopyWholeFile(source, temp.Path("b.txt")).ok());

  // The entry reached the screen and waits for the file.
  EXPECT_NE(ui.screen.lines.back().find("попыток: 2"), std::string::npos);
  fake.files.Heal();
  ui.log.SaveExceptionToLog("next");
  EXPECT_NE(LogText().find("попыток: 2"), std::string::npos);
}

}  // namespace
}  // namespace updater
