#include "engine/update_log.h"

#include <gtest/gtest.h>

#include "common/failures.h"
#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::RecordingFrontEnd;
using testing::TempFolder;

const char kStamp[] = "03.02.2026 - 7:05:09: ";

class UpdateLogTest : public ::testing::Test {
 protected:
  UpdateLogTest() : ui(fake.files, fake.clock) {}

  // The program folder sits two missing levels down, so Open has to create
  // the parents of "Logs" too.
  std::string ProgramFolder() const { return temp.Path("x/y"); }
  std::string LogFile() const {
    return platform::JoinPath(platform::JoinPath(ProgramFolder(), "Logs"),
                              "030226-070509_Updater.log");
  }

  TempFolder temp;
  FakePlatform fake;
  RecordingFrontEnd ui;
};

TEST(LogFileName, IsTheStartTimeInTwoDigitPieces) {
  EXPECT_EQ(LogFileName({2026, 2, 3, 7, 5, 9, 0}), "030226-070509_Updater.log");
  EXPECT_EQ(LogFileName({2031, 12, 31, 23, 59, 58, 999}), "311231-235958_Updater.log");
}

TEST_F(UpdateLogTest, OpenCreatesTheFoldersAndAnEmptyFileNamedFromTheStartTime) {
  ui.log.Open(ProgramFolder());
  EXPECT_EQ(ui.log.FilePath(), LogFile());
  EXPECT_EQ(ReadBytes(LogFile()), "");
}

TEST_F(UpdateLogTest, OpenEmptiesAFileOfTheSameName) {
  temp.MakeFile("x/y/Logs/030226-070509_Updater.log", "earlier start in the same second");
  ui.log.Open(ProgramFolder());
  EXPECT_EQ(ReadBytes(LogFile()), "");
}

TEST_F(UpdateLogTest, FileEntriesStartWithALoneCrAndEndWithCrLfInWindows1251) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("Привет");
  fake.clock.Advance(61000);
  ui.log.SaveExceptionToLog("ok");
  EXPECT_EQ(ReadBytes(LogFile()),
            std::string("\r") + kStamp + "\xCF\xF0\xE8\xE2\xE5\xF2\r\n" +
                "\r03.02.2026 - 7:06:10: ok\r\n");
}

TEST_F(UpdateLogTest, ThreeLineMessageIsOneFileEntryAndThreeScreenLines) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("one\r\ntwo\nthree");
  EXPECT_EQ(ui.screen.lines,
            (std::vector<std::string>{std::string(kStamp) + "one", "\ttwo", "\tthree"}));
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "one\r\ntwo\nthree\r\n");
}

TEST(SplitScreenLines, BreaksAtCrLfLoneCrAndLoneLf) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitScreenLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  // A break at the very end adds no line; breaks in a row leave empty lines.
  EXPECT_EQ(SplitScreenLines("a\r"), (Lines{"a"}));
  EXPECT_EQ(SplitScreenLines("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(SplitScreenLines("a\r\rb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitScreenLines("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitScreenLines("\n\r"), (Lines{"", ""}));
  EXPECT_EQ(SplitScreenLines(""), (Lines{""}));
}

TEST_F(UpdateLogTest, EmptyLineInsideAMessageIsALoneTabOnScreen) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("head\r\rtail\r");
  EXPECT_EQ(ui.screen.lines,
            (std::vector<std::string>{std::string(kStamp) + "head", "\t", "\ttail"}));
}

TEST_F(UpdateLogTest, RawScreenLinesNeverReachTheFile) {
  ui.log.Open(ProgramFolder());
  ui.log.AppendScreenLine("raw line");
  EXPECT_EQ(ui.screen.lines, (std::vector<std::string>{"raw line"}));
  EXPECT_EQ(ReadBytes(LogFile()), "");
}

TEST_F(UpdateLogTest, EntriesMadeBeforeOpenAreWrittenWhenTheFileIsCreated) {
  ui.log.SaveExceptionToLog("before the log file existed");
  EXPECT_EQ(ui.screen.lines.size(), 1u);
  ui.log.Open(ProgramFolder());
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "before the log file existed\r\n");
}

TEST_F(UpdateLogTest, UnwritableFileRaisesButLosesNothing) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("first");
  fake.files.FailEvery(testing::FileCall::kAppendToFile);

  try {
    ui.log.SaveExceptionToLog("second");
    FAIL() << "no failure raised";
  } catch (const UpdateFailure& e) {
    EXPECT_NE(e.Message().find(LogFile()), std::string::npos) << e.Message();
  }
  // The screen has the entry already; the file gets it with the next entry.
  EXPECT_EQ(ui.screen.lines.back(), std::string(kStamp) + "second");
  fake.files.Heal();
  ui.log.SaveExceptionToLog("third");
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "first\r\n" + "\r" + kStamp +
                                      "second\r\n" + "\r" + kStamp + "third\r\n");
}

TEST_F(UpdateLogTest, OpenFailsWithAClearMessageWhenTheFileCannotBeCreated) {
  fake.files.FailEvery(testing::FileCall::kWriteFile);
  try {
    ui.log.Open(ProgramFolder());
    FAIL() << "no failure raised";
  } catch (const UpdateFailure& e) {
    EXPECT_EQ(e.Message().rfind("Невозможно создать файл журнала " + LogFile() + "!\r", 0), 0u)
        << e.Message();
  }
}

}  // namespace
}  // namespace updater
