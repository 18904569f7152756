// The operator prompt's boxes as the operator meets them: caption, icon,
// buttons in keyboard order, the focused button, what Enter, Esc and the
// close box answer, centred on the screen; and the failure box.
#include "ui/win32/window_prompt.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using Lines = std::vector<std::string>;
using Ask = PromptAnswer (OperatorPrompt::*)(const std::string&);

TEST(Boxes, EachBoxHasItsCaptionIconButtonsFocusAndAnswers) {
  win32::WindowPrompt prompt(GetModuleHandleW(nullptr));
  prompt.SetTitle("Обновлятор");
  const struct {
    const char* what;
    Ask ask;
    const char* caption;
    LPCWSTR icon;
    Lines buttons;  // in keyboard order
    const char* focused;
    PromptAnswer enter, escape;
  } boxes[] = {
      {"ShowWarning",
       &OperatorPrompt::ShowWarning,
       "Warning",
       IDI_WARNING,
       {"OK"},
       "OK",
       PromptAnswer::Ok,
       PromptAnswer::Ok},
      {"ShowInformation",
       &OperatorPrompt::ShowInformation,
       "Information",
       IDI_INFORMATION,
       {"OK"},
       "OK",
       PromptAnswer::Ok,
       PromptAnswer::Ok},
      {"ShowError",
       &OperatorPrompt::ShowError,
       "Error",
       IDI_ERROR,
       {"OK"},
       "OK",
       PromptAnswer::Ok,
       PromptAnswer::Ok},
      {"ShowNotice",
       &OperatorPrompt::ShowNotice,
       "Обновлятор",
       nullptr,
       {"OK"},
       "OK",
       PromptAnswer::Ok,
       PromptAnswer::Ok},
      {"AskYesNo",
       &OperatorPrompt::AskYesNo,
       "Warning",
       IDI_WARNING,
       {"&Yes", "&No"},
       "&Yes",
       PromptAnswer::Yes,
       PromptAnswer::No},
      {"AskYesNoFocusNo",
       &OperatorPrompt::AskYesNoFocusNo,
       "Information",
       IDI_INFORMATION,
       {"&No", "&Yes"},
       "&No",
       PromptAnswer::No,
       PromptAnswer::No},
  };
  const std::string text = "Первая строка\rвторая строка";
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.what);
    const struct {
      BoxAction action;
      PromptAnswer expected;
    } answers[] = {{BoxAction::kEnter, box.enter},
                   {BoxAction::kEscape, box.escape},
                   {BoxAction::kClose, PromptAnswer::Cancel}};
    for (const auto& answer : answers) {
      auto answerer = BoxAnswerer::ForThread(GetCurrentThreadId(), {{answer.action}});
      EXPECT_EQ((prompt.*box.ask)(text), answer.expected);
      ASSERT_TRUE(answerer->WaitForSteps());
      const SeenBox seen = answerer->Seen().at(0);
      EXPECT_EQ(seen.caption, box.caption);
      EXPECT_EQ(seen.text, "Первая строка\r\nвторая строка");
      EXPECT_EQ(seen.icon, box.icon != nullptr ? LoadIconW(nullptr, box.icon) : nullptr);
      EXPECT_EQ(seen.buttons, box.buttons);
      EXPECT_EQ(seen.focused, box.focused);
      EXPECT_NEAR((seen.place.left + seen.place.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
      EXPECT_NEAR((seen.place.top + seen.place.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    }
  }
  // Yes and No can be clicked too.
  auto answerer = BoxAnswerer::ForThread(GetCurrentThreadId(), {{BoxAction::kClick, "&Yes"}});
  EXPECT_EQ(prompt.AskYesNoFocusNo(text), PromptAnswer::Yes);
  EXPECT_TRUE(answerer->WaitForSteps());
}

TEST(Boxes, TheFailureBoxIsTheSystemsOwnUnderTheApplicationTitle) {
  win32::WindowPrompt prompt(GetModuleHandleW(nullptr));
  prompt.SetTitle("Обновлятор");
  auto answerer = BoxAnswerer::ForThread(GetCurrentThreadId(), {{BoxAction::kEnter}});
  prompt.ShowFailure("Что-то сломалось.\rПодробности.");
  ASSERT_TRUE(answerer->WaitForSteps());
  const SeenBox seen = answerer->Seen().at(0);
  EXPECT_EQ(seen.caption, "Обновлятор");
  EXPECT_EQ(seen.text, "Что-то сломалось.\r\nПодробности.");
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_ERROR));
  EXPECT_EQ(seen.buttons.size(), 1u);
}

TEST(Boxes, LoneLineBreaksAreShownAsLineBreaks) {
  EXPECT_EQ(win32::DisplayText("a\rb\r\nc\r"), L"a\r\nb\r\nc\r\n");
  EXPECT_EQ(win32::DisplayText("без переносов"), L"без переносов");
}

}  // namespace
}  // namespace updater::testing
