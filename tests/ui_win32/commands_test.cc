// The operator's commands in the main window: Start with each way a run
// can end and its outcome display, the close box and the menus while an
// operation is under way, the Service commands and Exit.
#include <algorithm>

#include "common/failures.h"
#include "engine/update_fixture.h"
#include "engine/update_journal.h"
#include "platform/paths.h"
#include "platform/win32/win32_platform.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using namespace win32;  // NOLINT: the controls' names
using Lines = std::vector<std::string>;

const char kInterrupted[] = "Обновление прервано!";

// Every text the caption area is given while it lives, in order (line
// breaks as CR), seen through a hook on the thread's window messages.
class CaptionHistory {
 public:
  explicit CaptionHistory(HWND area) : area_(area) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
  }
  ~CaptionHistory() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  CaptionHistory(const CaptionHistory&) = delete;
  CaptionHistory& operator=(const CaptionHistory&) = delete;
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (code == HC_ACTION && current_ != nullptr && call->hwnd == current_->area_ &&
        call->message == WM_SETTEXT && call->lParam != 0) {
      std::string text = platform::Narrow(reinterpret_cast<const wchar_t*>(call->lParam));
      for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at + 1, 1);
      }
      current_->texts_.push_back(text);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  static CaptionHistory* current_;
  HWND area_;
  HHOOK hook_;
  std::vector<std::string> texts_;
};
CaptionHistory* CaptionHistory::current_ = nullptr;

class CommandsTest : public WindowTest {
 protected:
  // What the outcome display shows now.
  struct Outcome {
    std::string text;
    COLORREF colour;
    HBITMAP image;  // null while the outcome image is hidden
    bool animation_shown;
  };
  Outcome Shown() const {
    HWND image = Control(kImage1);
    return {CaptionText(), form->CaptionColour(),
            IsWindowVisible(image)
                ? reinterpret_cast<HBITMAP>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0))
                : nullptr,
            IsWindowVisible(Control(kAProgress)) != FALSE};
  }
  // Whether the window takes the operator's input again: Start, Exit, the
  // fields and the Project and Service menus.
  bool Usable() const {
    return IsWindowEnabled(Control(kOKBtn)) && IsWindowEnabled(Control(kCancelBtn)) &&
           IsWindowEnabled(Control(kEProgramLocation)) && IsWindowEnabled(Control(kButtonStrip)) &&
           MenuEnabled(form->OperationsMenu());
  }
  std::string Confirmation(const std::string& folder, const std::string& parts) const {
    return "Information: В указанном каталоге: \"" + folder + "\" - обнаружены " + parts +
           " программы \"Marlix\"\rПродолжить обновление?";
  }
};

TEST_F(CommandsTest, StartWithoutAProjectShowsOnlyTheWarning) {
  StartUpWithoutProject();
  auto boxes = Answer({{BoxAction::kEnter}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(), Lines{"Warning: Не выбран проект для обновления."});
  const Outcome outcome = Shown();
  EXPECT_EQ(outcome.text, "");
  EXPECT_EQ(outcome.image, nullptr);
  EXPECT_FALSE(outcome.animation_shown);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(CommandsTest, AFolderWithNeitherPartFailsAfterTheWindowIsUsableAgain) {
  StartUp();
  const std::string folder = MakeProduct(false, false);
  SetText(kEProgramLocation, folder);
  Outcome while_failure_shown{};
  bool usable_while_failure_shown = false;
  auto boxes = Answer({{BoxAction::kEnter, "", [&](const SeenBox&) {
                          while_failure_shown = Shown();
                          usable_while_failure_shown = Usable();
                        }}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  const std::string message = "В каталоге \"" + folder +
                              "\" не обнаружено ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей программы "
                              "\"Marlix\"";
  EXPECT_EQ(boxes->Transcript(), Lines{"Updater_Marlix: " + message});
  EXPECT_EQ(boxes->Seen()[0].icon, LoadIconW(nullptr, IDI_ERROR));
  EXPECT_TRUE(usable_while_failure_shown);
  EXPECT_EQ(while_failure_shown.text, kInterrupted);
  EXPECT_EQ(while_failure_shown.colour, RGB(128, 0, 0));
  EXPECT_EQ(while_failure_shown.image, form->ErrorsImage());
  EXPECT_FALSE(while_failure_shown.animation_shown);
  EXPECT_EQ(LogLines(),
            (Lines{"Инициализация переменных...", "Завершена инициализация переменных", message}));
}

TEST_F(CommandsTest, NoAtTheConfirmationInterruptsQuietlyAndTheCloseBoxWaitsForTheRun) {
  StartUp();
  const std::string folder = MakeProduct(true, false);
  SetText(kEProgramLocation, folder);
  Outcome during{};
  bool usable_during = true;
  bool window_still_there = false;
  auto boxes = Answer({{BoxAction::kEnter,  // Enter answers the focused No
                        "",
                        [&](const SeenBox&) {
                          during = Shown();
                          usable_during = Usable();
                          // The operator tries to close the window meanwhile.
                          PostMessageW(Main(), WM_CLOSE, 0, 0);
                        },
                        {{BoxAction::kEnter}}}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  window_still_there = IsWindow(Main()) != FALSE;

  const std::vector<SeenBox> seen = boxes->Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(boxes->Transcript(),
            (Lines{Confirmation(folder, "КЛИЕНТСКАЯ часть"),
                   "Warning: Идет обновление программы. Закрыть Updater можно только после его "
                   "завершения."}));
  EXPECT_EQ(seen[0].buttons, (Lines{"&No", "&Yes"}));
  EXPECT_EQ(seen[0].focused, "&No");
  EXPECT_EQ(seen[0].icon, LoadIconW(nullptr, IDI_INFORMATION));
  EXPECT_EQ(during.text, "Идет обновление...");
  EXPECT_EQ(during.colour, RGB(128, 0, 0));
  EXPECT_EQ(during.image, nullptr);
  EXPECT_TRUE(during.animation_shown);
  EXPECT_FALSE(usable_during);

  EXPECT_TRUE(window_still_there) << "the window was closed during the run";
  const Outcome after = Shown();
  EXPECT_EQ(after.text, kInterrupted);
  EXPECT_EQ(after.image, form->ErrorsImage());
  EXPECT_TRUE(Usable());
  // Once the run is over, the close box closes.
  HWND window = Main();
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(CommandsTest, StartAsksAboutAnInterruptedUpdateFirstAndNoLeavesItAsItIs) {
  StartUp();
  const std::string folder = MakeProduct(true, false);
  SetText(kEProgramLocation, folder);
  JournalRecord record;
  record.TimeStamp = "020226235959";
  record.ProgramPath = folder;
  record.HasClientPart = true;
  record.BackupComplete = true;
  record.Phase = JournalPhase::kClientPart;
  const std::string tmp_dir = temp.MakeFolder("Product\\Tmp$020226235959");
  temp.MakeFile("Product\\Tmp$020226235959\\Old\\Program\\Marlix.exe", "MZ");
  ASSERT_TRUE(WriteJournal(fake.files, tmp_dir, record));
  auto boxes = Answer({{BoxAction::kClick, "&No"}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(),
            Lines{"Warning: Обнаружено незавершенное обновление программы от 02.02.26 23:59:59 в "
                  "каталоге \"" +
                  folder +
                  "\": обновление было прервано на этапе \"обновление клиентской части\".\r"
                  "Восстановить предыдущую версию программы из резервной копии?"});
  EXPECT_EQ(boxes->Seen()[0].icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(Shown().text, kInterrupted);
  EXPECT_TRUE(ReadJournal(fake.files, tmp_dir).record);
  EXPECT_EQ(ReadBytes(platform::JoinPath(folder, "Program\\Marlix.exe")), "MZ");
}

TEST_F(CommandsTest, TheAdmnRuleStopsAMarlixUpdateOfTheServerPartAfterTheConfirmation) {
  StartUp();
  const std::string folder = MakeProduct(false, true);
  SetText(kEProgramLocation, folder);
  SetText(kEAdmnPassword, "");
  auto boxes = Answer({{BoxAction::kClick, "&Yes"}, {BoxAction::kEnter}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(), (Lines{Confirmation(folder, "СЕРВЕРНАЯ часть"),
                                        "Updater_Marlix: Не задан пароль пользователя ADMN!"}));
  EXPECT_EQ(Shown().text, kInterrupted);
  EXPECT_FALSE(form->RolledBack());
}

TEST_F(CommandsTest, TheOutcomeDisplayShowsHowTheRunEnded) {
  const struct {
    const char* what;
    OutcomePhases::End end;
    Lines boxes_after_confirmation;
    const char* text;
    COLORREF colour;
    bool success_image;
    bool rolled_back;
  } cases[] = {
      {"success",
       OutcomePhases::End::kSuccess,
       {},
       "Обновление прошло успешно.\rЗавершите работу с программой.",
       RGB(0, 128, 0),
       true,
       false},
      {"rolled back",
       OutcomePhases::End::kRolledBack,
       {"Error: Не удалось заменить программу."},
       "Обновление прошло с ошибками!\rОткат изменений завершен.",
       RGB(128, 0, 0),
       false,
       true},
      {"restore failed",
       OutcomePhases::End::kRestoreFailed,
       {"Error: Не удалось заменить программу.",
        "Updater_Marlix: Не удалось восстановить программу из копии."},
       "Обновление прошло с ошибками!\rОткат изменений завершен.",
       RGB(128, 0, 0),
       false,
       true},
  };
  phases = &outcome_phases;
  StartUp();
  const std::string folder = MakeProduct(true, false);
  SetText(kEProgramLocation, folder);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    outcome_phases.end = c.end;
    std::vector<BoxStep> steps{{BoxAction::kClick, "&Yes"}};
    for (size_t i = 0; i < c.boxes_after_confirmation.size(); ++i) steps.push_back({});
    auto boxes = Answer(steps);
    Click(kOKBtn);
    ASSERT_TRUE(boxes->WaitForSteps());
    Lines expected{Confirmation(folder, "КЛИЕНТСКАЯ часть")};
    expected.insert(expected.end(), c.boxes_after_confirmation.begin(),
                    c.boxes_after_confirmation.end());
    EXPECT_EQ(boxes->Transcript(), expected);
    const Outcome outcome = Shown();
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_EQ(outcome.colour, c.colour);
    EXPECT_EQ(outcome.image, c.success_image ? form->SuccessImage() : form->ErrorsImage());
    EXPECT_FALSE(outcome.animation_shown);
    EXPECT_EQ(form->RolledBack(), c.rolled_back);
    EXPECT_EQ(LogLines().back() == "Обновление прошло успешно. Завершите работу с программой.",
              c.success_image);
    // The last line is in view from its time stamp on, however long it is.
    HWND log = Control(kMLog);
    const LRESULT last =
        SendMessageW(log, EM_LINEINDEX, SendMessageW(log, EM_GETLINECOUNT, 0, 0) - 1, 0);
    const LRESULT at = SendMessageW(log, EM_POSFROMCHAR, static_cast<WPARAM>(last), 0);
    EXPECT_LT(static_cast<short>(LOWORD(at)), 10);
    EXPECT_TRUE(Usable());
  }
}

// Start with the product's own phases, on a client part in a real folder:
// a payload that lacks the help file of the program's language fails the
// update, which is rolled back with the rollback's caption; the whole
// payload then updates the program.
TEST_F(CommandsTest, TheProductsRunRollsBackAFailedClientPartAndThenUpdatesIt) {
  UpdateFixture product(temp.MakeFolder("Run"));
  // The window works on the product's platform: it goes before the product
  // does, on every way out of the test.
  struct WindowGoesFirst {
    std::unique_ptr<win32::TfrmMain>& form;
    ~WindowGoesFirst() { form.reset(); }
  } window_goes_first{form};
  Equip(product.fake);
  window_platform = &product.platform;
  phases = &product.phases;
  StartUp();
  product.InstallClientPart("[Language]\r\nProgram_Language=4\r\n");
  product.PayloadFile("Marlix.exe", "new Marlix.exe");
  product.RegisterPayload();
  SetText(kEProgramLocation, product.product);
  const std::string program_folder = platform::JoinPath(product.product, "Program");
  const std::string program = platform::JoinPath(program_folder, "Marlix.exe");

  {
    CaptionHistory captions(Control(kMCaptions));
    auto boxes = Answer({{BoxAction::kClick, "&Yes"}, {}});
    Click(kOKBtn);
    ASSERT_TRUE(boxes->WaitForSteps());
    const Lines transcript = boxes->Transcript();
    ASSERT_EQ(transcript.size(), 2u);
    EXPECT_EQ(transcript[0], Confirmation(product.product, "КЛИЕНТСКАЯ часть"));
    EXPECT_EQ(transcript[1].rfind("Error: Невозможно скопировать файл ", 0), 0u) << transcript[1];
    EXPECT_NE(transcript[1].find("FR_Marlix.chm"), std::string::npos) << transcript[1];
    EXPECT_EQ(captions.Texts(),
              (Lines{"Идет обновление...",
                     "Обновление завершено с ошибками.\rВыполняется откат изменений!",
                     "Обновление прошло с ошибками!\rОткат изменений завершен."}));
  }
  EXPECT_TRUE(form->RolledBack());
  EXPECT_EQ(Shown().image, form->ErrorsImage());
  EXPECT_EQ(Shown().colour, RGB(128, 0, 0));
  EXPECT_EQ(ReadBytes(program), "old program");
  EXPECT_TRUE(Usable());

  product.PayloadClientFiles();
  auto boxes = Answer({{BoxAction::kClick, "&Yes"}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(Shown().text, "Обновление прошло успешно.\rЗавершите работу с программой.");
  EXPECT_EQ(Shown().image, form->SuccessImage());
  EXPECT_FALSE(form->RolledBack());
  EXPECT_EQ(ReadBytes(program), "new Marlix.exe");
  EXPECT_EQ(ReadBytes(platform::JoinPath(program_folder, "Marlix.chm")), "new FR_Marlix.chm");
  const std::string log = TextOf(Control(kMLog));
  EXPECT_EQ(log.substr(log.rfind(": ") + 2),
            "Обновление прошло успешно. Завершите работу с программой.");
  EXPECT_TRUE(Usable());
}

TEST_F(CommandsTest, ASecondStartReplacesTheOutcomeAndTheLogKeepsBothRuns) {
  phases = &outcome_phases;
  StartUp();
  SetText(kEProgramLocation, MakeProduct(true, false));
  auto first = Answer({{BoxAction::kClick, "&Yes"}});
  Click(kOKBtn);
  ASSERT_TRUE(first->WaitForSteps());
  first.reset();
  ASSERT_EQ(Shown().image, form->SuccessImage());

  Outcome during{};
  auto second = Answer({{BoxAction::kEscape, "", [&](const SeenBox&) { during = Shown(); }}});
  Click(kOKBtn);
  ASSERT_TRUE(second->WaitForSteps());
  EXPECT_EQ(during.text, "Идет обновление...");
  EXPECT_EQ(during.image, nullptr);
  EXPECT_EQ(Shown().text, kInterrupted);
  const Lines log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Инициализация переменных..."), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "Обновление прошло успешно. Завершите работу с программой."),
            1);
}

TEST_F(CommandsTest, ADatabaseCommandDisablesTheWindowAndItsMenusUntilItEnds) {
  StartUp();
  SetText(kEProgramLocation, MakeProduct(true, false));
  bool usable_while_logging = true;
  bool spied = false;
  MessageSpy spy([&](const CWPSTRUCT& message) {
    if (message.hwnd == Control(kMLog) && message.message == EM_REPLACESEL && !spied) {
      spied = true;
      usable_while_logging = Usable() || MenuEnabled(form->ProjectMenu());
    }
  });
  bool usable_while_failure_shown = false;
  auto boxes = Answer(
      {{BoxAction::kEnter, "", [&](const SeenBox&) { usable_while_failure_shown = Usable(); }}});
  Choose(kMmOperationsOnline);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_TRUE(spied);
  EXPECT_FALSE(usable_while_logging);
  EXPECT_TRUE(usable_while_failure_shown);
  ASSERT_EQ(boxes->Seen().size(), 1u);
  EXPECT_EQ(boxes->Seen()[0].caption, "Updater_Marlix");
}

TEST_F(CommandsTest, AServiceCommandKeepsTheFieldsButNotTheMenusAndAnnouncesItself) {
  const std::string root = platform::IncludeTrailingDelimiter(temp.MakeFolder("FB"));
  fake.registry.SetString("SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer",
                          "ImagePath", root + "bin\\fbsrvmrlx.exe");
  fake.services.AddService("BrenvikFireXBirdServer", {}, platform::kServiceRunning);
  StartUp();
  ASSERT_EQ(form->ServerParams().ServiceName, "BrenvikFireXBirdServer");
  bool fields_enabled = false;
  bool menus_enabled = true;
  auto boxes = Answer({{BoxAction::kEnter, "", [&](const SeenBox&) {
                          fields_enabled = IsWindowEnabled(Control(kOKBtn)) &&
                                           IsWindowEnabled(Control(kEProgramLocation));
                          menus_enabled = MenuEnabled(form->OperationsMenu());
                        }}});
  Choose(kMmOperationsServiceStop);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(), Lines{"Updater_Marlix: Служба FireBird остановлена."});
  EXPECT_EQ(boxes->Seen()[0].icon, nullptr);
  EXPECT_TRUE(fields_enabled);
  EXPECT_FALSE(menus_enabled);
  EXPECT_TRUE(MenuEnabled(form->OperationsMenu()));
  EXPECT_EQ(fake.services.StateOf("BrenvikFireXBirdServer"), platform::kServiceStopped);
}

TEST_F(CommandsTest, ExitClosesTheWindow) {
  StartUp();
  HWND window = Main();
  Click(kCancelBtn);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace updater::testing
