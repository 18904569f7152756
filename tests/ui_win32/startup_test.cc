// Start-up in the window's own process: the order of the window's captions,
// a failed server detection shown before the window, and a missing picture
// that does not keep the rest of start-up from running.
#include "platform/paths.h"
#include "platform/win32/win32_platform.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using namespace win32;  // NOLINT: the controls' names
using Lines = std::vector<std::string>;

const char kMakerKey[] = "SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";
const char kChooseCaption[] = "Updater ПО КЕЛЬМ ГК \"Бренвик\": выберите проект";
const char kMarlixCaption[] = "Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта Marlix";

TEST_F(WindowTest, TheCaptionPassesThroughItsFourValuesAndTheLookChangesItOnlyWhenPlain) {
  const struct {
    std::optional<Project> project;
    Lines captions;
  } cases[] = {
      {std::nullopt, {"Updater_Marlix", kChooseCaption, kMarlixCaption, "Updater_Marlix"}},
      {Project::kTessam,
       {"Updater_Marlix", kChooseCaption, kMarlixCaption,
        "Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта Tessam"}},
  };
  for (const auto& c : cases) {
    Lines captions;
    {
      MessageSpy spy([&](const CWPSTRUCT& message) {
        if (message.message != WM_SETTEXT || form == nullptr || message.hwnd != form->Handle()) {
          return;
        }
        captions.push_back(platform::Narrow(reinterpret_cast<const wchar_t*>(message.lParam)));
      });
      StartUp(c.project);
    }
    EXPECT_EQ(captions, c.captions);
    form.reset();
  }
}

TEST_F(WindowTest, AFailedServerDetectionIsShownWithTheAdviceBeforeTheWindow) {
  // The maker's service names a server folder that is not there.
  fake.registry.SetString(kMakerKey, "ImagePath", temp.Path("FB") + "\\bin\\fbsrvmrlx.exe");
  bool window_shown_meanwhile = true;
  auto boxes = Answer({{BoxAction::kEnter, "", [&](const SeenBox&) {
                          window_shown_meanwhile = IsWindowVisible(form->Handle()) != FALSE;
                        }}});
  StartUp();
  ASSERT_TRUE(boxes->WaitForSteps());
  const std::string message =
      "Сервис FireBird поврежден или не адаптирован для ПО ГК \"Бренвик\". Обновление "
      "прервано.\rВозможно, сервер Firebird не отвечает, поврежден или установлен\rсторонним "
      "разработчиком. Закройте Updater, перезагрузите\rкомпьютер и повторите запуск "
      "программы.\r\rЕсли ошибка повторится - обратитесь к разработчику.";
  EXPECT_EQ(boxes->Transcript(), Lines{"Updater_Marlix: " + message});
  EXPECT_FALSE(window_shown_meanwhile);
  EXPECT_TRUE(IsWindowVisible(Main()));
  EXPECT_EQ(form->ServerParams().ServiceName, "");
  EXPECT_EQ(LogLines().at(0),
            "Сервис FireBird поврежден или не адаптирован для ПО ГК "
            "\"Бренвик\". Обновление прервано.");
}

TEST_F(WindowTest, AMissingPictureIsReportedAndTheLibrariesLogAndServerStillFollow) {
  fake.resources = FakeResources();
  fake.resources.Add("DLL", "fbclient", "the client library");
  fake.resources.Add("DLL", "ibescript", "the script engine");
  auto boxes = Answer({{BoxAction::kEnter}});
  StartUp();
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(),
            Lines{"Updater_Marlix: Ошибка работы с ресурсом \"logotype\"!\rResource logotype not "
                  "found."});
  const std::string folder = executable.substr(0, executable.rfind('\\'));
  EXPECT_EQ(ReadBytes(folder + "\\fbclient.dll"), "the client library");
  EXPECT_EQ(ReadBytes(folder + "\\IBEScript.dll"), "the script engine");
  ASSERT_FALSE(form->Log().FilePath().empty());
  EXPECT_NE(ReadBytes(form->Log().FilePath()).find("logotype"), std::string::npos);
  EXPECT_TRUE(IsWindowVisible(Main()));
}

}  // namespace
}  // namespace updater::testing
