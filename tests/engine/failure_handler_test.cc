#include "engine/failure_handler.h"

#include <gtest/gtest.h>

#include "common/failures.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FakePlatform;
using testing::RecordingFrontEnd;
using testing::TempFolder;

class FailureHandlerTest : public ::testing::Test {
 protected:
  FailureHandlerTest() : ui(fake.files, fake.clock) { ui.log.Open(temp.path()); }

  template <typename Failure>
  CommandOutcome Raise(const Failure& failure) {
    return RunOperatorCommand([&] { throw failure; }, ui.log, ui.prompt);
  }

  TempFolder temp;
  FakePlatform fake;
  RecordingFrontEnd ui;
};

TEST_F(FailureHandlerTest, LogsThenShowsTheMessage) {
  EXPECT_EQ(Raise(UpdateFailure("Путь к обновляемой программе не найден!")),
            CommandOutcome::kFailed);
  EXPECT_EQ(ui.transcript.ScreenMessages(),
            (std::vector<std::string>{"Путь к обновляемой программе не найден!"}));
  EXPECT_EQ(ui.transcript.Boxes(),
            (std::vector<std::string>{"ShowFailure: Путь к обновляемой программе не найден!"}));
}

TEST_F(FailureHandlerTest, SilentAbortAndEmptyMessagesLeaveNoTrace) {
  EXPECT_EQ(Raise(SilentAbort("declined")), CommandOutcome::kSilentAbort);
  // A run that rolled back has reported itself, but it still failed.
  EXPECT_EQ(Raise(UpdateFailure("")), CommandOutcome::kFailed);
  EXPECT_TRUE(ui.transcript.events.empty());
  EXPECT_EQ(testing::ReadBytes(ui.log.FilePath()), "");
}

TEST_F(FailureHandlerTest, OtherExceptionsAreShownWithTheirText) {
  Raise(std::runtime_error("boom"));
  EXPECT_EQ(ui.transcript.Boxes(), (std::vector<std::string>{"ShowFailure: boom."}));
}

TEST_F(FailureHandlerTest, ACommandThatReturnsShowsNothing) {
  EXPECT_EQ(RunOperatorCommand([] {}, ui.log, ui.prompt), CommandOutcome::kCompleted);
  EXPECT_TRUE(ui.transcript.events.empty());
}

TEST(WithClosingFullStop, AddsOneAfterCharactersAboveTheFullStop) {
  struct Case {
    const char* text;
    const char* shown;
  };
  const Case cases[] = {
      {"Ошибка", "Ошибка."},  {"code 5", "code 5."},   {"Продолжить?", "Продолжить?."},
      {"Список:", "Список:."}, {"path/", "path/."},     {"Готово.", "Готово."},
      {"Стоп!", "Стоп!"},      {"(скобка)", "(скобка)"}, {"запятая,", "запятая,"},
      {"пробел ", "пробел "},  {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(WithClosingFullStop(c.text), c.shown) << c.text;
}

TEST_F(FailureHandlerTest, AnUnwritableLogStillShowsTheFailureAndThenSaysWhy) {
  fake.files.FailEvery(testing::FileCall::kAppendToFile);
  Raise(UpdateFailure("Исходная ошибка"));
  const std::vector<std::string> boxes = ui.transcript.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "ShowFailure: Исходная ошибка.");
  EXPECT_EQ(boxes[1].rfind("ShowFailure: Невозможно записать в файл журнала ", 0), 0u) << boxes[1];
  // The entry is on screen and reaches the file once it can be written.
  fake.files.Heal();
  ui.log.SaveExceptionToLog("next");
  EXPECT_NE(testing::ReadBytes(ui.log.FilePath()).find("\xC8\xF1\xF5\xEE\xE4\xED\xE0\xFF"),
            std::string::npos);
}

}  // namespace
}  // namespace updater
