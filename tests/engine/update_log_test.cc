#include "engine/update_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/failures.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using platform::Cp1251ToUtf8;
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

TEST_F(UpdateLogTest, ALogStartedTwiceInOneSecondKeepsBothRunsEntries) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("first run");
  RecordingFrontEnd second(fake.files, fake.clock);
  second.log.Open(ProgramFolder());
  ASSERT_EQ(second.log.FilePath(), LogFile());
  second.log.SaveExceptionToLog("second run");
  ui.log.SaveExceptionToLog("first run, later");
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "first run\r\n" + "\r" + kStamp +
                                      "second run\r\n" + "\r" + kStamp + "first run, later\r\n");
}

TEST_F(UpdateLogTest, FileEntriesStartWithALoneCrAndEndWithCrLfInWindows1251) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("Привет");
  fake.clock.Advance(61000);
  ui.log.SaveExceptionToLog("ok");
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "\xCF\xF0\xE8\xE2\xE5\xF2\r\n" +
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
  fake.files.failing = {"AppendToFile"};

  try {
    ui.log.SaveExceptionToLog("second");
    FAIL() << "no failure raised";
  } catch (const UpdateFailure& e) {
    EXPECT_NE(e.Message().find(LogFile()), std::string::npos) << e.Message();
  }
  // The screen has the entry already; the file gets it with the next entry.
  EXPECT_EQ(ui.screen.lines.back(), std::string(kStamp) + "second");
  fake.files.failing.clear();
  ui.log.SaveExceptionToLog("third");
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "first\r\n" + "\r" + kStamp +
                                      "second\r\n" + "\r" + kStamp + "third\r\n");
}

TEST_F(UpdateLogTest, AFailedOpenIsReportedByEveryEntryUntilTheFileCanBeMade) {
  const std::string logs = platform::JoinPath(ProgramFolder(), "Logs");
  const struct {
    const char* failing;
    std::string message;
  } cases[] = {
      {"CreateFolder", "Невозможно создать папку " + logs + "!\r"},
      {"AppendToFile", "Невозможно записать в файл журнала " + LogFile() + "!\r"},
  };
  for (const auto& c : cases) {
    RecordingFrontEnd run(fake.files, fake.clock);
    fake.files.failing = {c.failing};
    const auto failure_of = [&](const std::function<void()>& call) {
      try {
        call();
      } catch (const UpdateFailure& e) {
        return e.Message().substr(0, c.message.size());
      }
      return std::string("<no failure>");
    };
    EXPECT_EQ(failure_of([&] { run.log.Open(ProgramFolder()); }), c.message);
    EXPECT_EQ(run.log.FilePath(), LogFile());
    EXPECT_EQ(failure_of([&] { run.log.SaveExceptionToLog("while failing"); }), c.message);

    fake.files.failing.clear();
    run.log.SaveExceptionToLog("once it works");
    EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "while failing\r\n" + "\r" +
                                        kStamp + "once it works\r\n")
        << c.failing;
    std::filesystem::remove_all(testing::FsPath(logs));
  }
}

TEST_F(UpdateLogTest, ALogFolderRemovedMeanwhileIsMadeAgain) {
  ui.log.Open(ProgramFolder());
  ui.log.SaveExceptionToLog("before");
  std::filesystem::remove_all(testing::FsPath(platform::JoinPath(ProgramFolder(), "Logs")));
  ui.log.SaveExceptionToLog("after");
  EXPECT_EQ(ReadBytes(LogFile()), std::string("\r") + kStamp + "after\r\n");
}

TEST_F(UpdateLogTest, EntriesThatCannotBeWrittenWaitWithinABoundAndTheGapIsNoted) {
  // Each entry is 27 bytes in the file: three wait, the next three are left
  // out.
  UpdateLog log(fake.files, fake.clock, ui.screen, 100);
  fake.files.failing = {"AppendToFile"};
  EXPECT_THROW(log.Open(ProgramFolder()), UpdateFailure);
  for (const char* entry : {"e1", "e2", "e3", "e4", "e5", "e6"}) {
    EXPECT_THROW(log.SaveExceptionToLog(entry), UpdateFailure);
  }
  EXPECT_EQ(ui.screen.lines.size(), 6u);

  fake.files.failing.clear();
  log.SaveExceptionToLog("e7");
  const std::string s = std::string("\r") + kStamp;
  EXPECT_EQ(Cp1251ToUtf8(ReadBytes(LogFile())),
            s + "e1\r\n" + s + "e2\r\n" + s + "e3\r\n" + s +
                "Записей журнала, не попавших в файл (они были только на экране): 3\r\n" + s +
                "e7\r\n");
}

TEST_F(UpdateLogTest, TheNoThrowEntryReturnsTheFailureItWouldRaise) {
  ui.log.Open(ProgramFolder());
  fake.files.failing = {"AppendToFile"};
  const std::string failure = ui.log.SaveExceptionToLogNoThrow("held");
  EXPECT_EQ(failure.rfind("Невозможно записать в файл журнала " + LogFile() + "!\r", 0), 0u)
      << failure;
  EXPECT_EQ(ui.screen.lines.back(), std::string(kStamp) + "held");

  fake.files.failing.clear();
  EXPECT_EQ(ui.log.SaveExceptionToLogNoThrow("free"), "");
  EXPECT_EQ(ReadBytes(LogFile()),
            std::string("\r") + kStamp + "held\r\n" + "\r" + kStamp + "free\r\n");
}

}  // namespace
}  // namespace updater
