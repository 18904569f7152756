// The main window as the operator sees it after start-up, in both looks:
// every control at its place with its text, font and style, the keyboard
// order, the menu bar, the colours.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "engine/profiles.h"
#include "platform/win32/win32_platform.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using namespace win32;  // NOLINT: the controls' names
using Lines = std::vector<std::string>;

enum class Look { kPlain, kColoured };

BOOL CALLBACK FindTooltips(HWND window, LPARAM found) {
  wchar_t type[64] = {};
  GetClassNameW(window, type, 64);
  if (wcscmp(type, TOOLTIPS_CLASSW) == 0) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

class MainWindowTest : public WindowTest, public ::testing::WithParamInterface<Look> {
 protected:
  void SetUp() override {
    // The coloured look is reached only through another project's profile,
    // chosen before the first showing.
    if (GetParam() == Look::kPlain) {
      StartUp();
    } else {
      StartUp(Project::kTessam);
    }
  }
  bool Plain() const { return GetParam() == Look::kPlain; }
};

INSTANTIATE_TEST_SUITE_P(Looks, MainWindowTest, ::testing::Values(Look::kPlain, Look::kColoured),
                         [](const auto& info) {
                           return info.param == Look::kPlain ? "Plain" : "Coloured";
                         });

TEST_P(MainWindowTest, TheWindowHasAFixedFrameWithOnlyItsCloseBoxAndOpensCentred) {
  const LONG_PTR style = StyleOf(Main());
  EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU));
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  RECT client{};
  GetClientRect(Main(), &client);
  EXPECT_EQ(client.right, 476);
  EXPECT_EQ(client.bottom, 473);
  RECT frame{};
  GetWindowRect(Main(), &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_TRUE(IsWindowVisible(Main()));
}

TEST_P(MainWindowTest, EveryControlHasItsPlaceTextAndFont) {
  const struct {
    int id;
    int parent;        // 0: the window itself
    RECT place;        // right and bottom 0: sized by its text
    const char* text;  // null: the profile's (another test)
    bool shown_plain;
    bool shown_coloured;
    const char* face;
    bool bold_plain;
    bool bold_coloured;
  } controls[] = {
      {kConnectionGroup,
       0,
       {0, 0, 476, 161},
       " Подключение  ",
       true,
       true,
       "MS Sans Serif",
       true,
       true},
      {kLProgramLocation,
       kConnectionGroup,
       {8, 17, 0, 0},
       "Путь к обновляемой программе:",
       true,
       true,
       "MS Sans Serif",
       false,
       true},
      {kEProgramLocation,
       kConnectionGroup,
       {8, 32, 438, 53},
       nullptr,
       true,
       true,
       "MS Sans Serif",
       false,
       false},
      {kBbProgramLocation,
       kConnectionGroup,
       {443, 30, 467, 54},
       "...",
       true,
       true,
       "MS Sans Serif",
       false,
       false},
      {kLAdmnPassword,
       kConnectionGroup,
       {8, 58, 0, 0},
       "Пароль пользователя ADMN (требуется при обновлении сервера):",
       true,
       false,
       "MS Sans Serif",
       false,
       false},
      {kEAdmnPassword,
       kConnectionGroup,
       {8, 73, 185, 94},
       "1",
       true,
       false,
       "MS Sans Serif",
       false,
       false},
      {kLPassword,
       kConnectionGroup,
       {8, 99, 0, 0},
       "Системный пароль: (требуется при обновлении ",
       true,
       true,
       "MS Sans Serif",
       false,
       true},
      {kLabel1,
       kConnectionGroup,
       {8, 111, 0, 0},
       "сервера; как правило, не редактируется)",
       true,
       true,
       "MS Sans Serif",
       false,
       true},
      {kEPassword,
       kConnectionGroup,
       {8, 127, 185, 148},
       "vormelduka",
       true,
       true,
       "MS Sans Serif",
       false,
       false},
      {kLogGroup, 0, {0, 161, 476, 429}, " Лог работы ", true, true, "MS Sans Serif", false, false},
      {kButtonStrip, 0, {0, 431, 476, 473}, "", true, true, "MS Sans Serif", false, false},
      {kImage1, kButtonStrip, {0, 0, 49, 42}, "", false, false, nullptr, false, false},
      {kAProgress, kButtonStrip, {4, 0, 45, 41}, "", false, false, nullptr, false, false},
      {kMCaptions, kButtonStrip, {49, 5, 329, 37}, "", true, true, "Tahoma", true, true},
      {kOKBtn,
       kButtonStrip,
       {332, 8, 400, 33},
       "&Старт",
       true,
       true,
       "MS Sans Serif",
       false,
       false},
      {kCancelBtn,
       kButtonStrip,
       {404, 8, 472, 33},
       "Выход",
       true,
       true,
       "MS Sans Serif",
       false,
       false},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE("control " + std::to_string(c.id));
    HWND control = Control(c.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), c.parent == 0 ? Main() : Control(c.parent));
    const RECT place = PlaceOf(control);
    EXPECT_EQ(place.left, c.place.left);
    EXPECT_EQ(place.top, c.place.top);
    if (c.place.right != 0) {
      EXPECT_EQ(place.right, c.place.right);
      EXPECT_EQ(place.bottom, c.place.bottom);
    } else {
      EXPECT_GT(place.right - place.left, 50);  // as wide as its text
    }
    if (c.text != nullptr) {
      EXPECT_EQ(TextOf(control), c.text);
    }
    EXPECT_EQ(IsWindowVisible(control) != FALSE, Plain() ? c.shown_plain : c.shown_coloured);
    if (c.face != nullptr) {
      const LOGFONTW font = FontOf(control);
      EXPECT_EQ(FaceOf(font), c.face);
      EXPECT_EQ(font.lfWeight >= FW_BOLD, Plain() ? c.bold_plain : c.bold_coloured);
    }
  }
  EXPECT_EQ(PointsOf(FontOf(Control(kEProgramLocation))), 8);
}

TEST_P(MainWindowTest, TheFieldsAndAreasHaveTheirStyles) {
  for (int id : {kEAdmnPassword, kEPassword}) {
    EXPECT_TRUE(StyleOf(Control(id)) & ES_PASSWORD);
    EXPECT_EQ(SendMessageW(Control(id), EM_GETPASSWORDCHAR, 0, 0), L'*');
  }
  EXPECT_FALSE(StyleOf(Control(kEProgramLocation)) & (ES_PASSWORD | ES_READONLY));
  const LONG_PTR log = StyleOf(Control(kMLog));
  EXPECT_TRUE((log & ES_MULTILINE) && (log & ES_READONLY) && (log & WS_VSCROLL) &&
              (log & WS_HSCROLL));
  EXPECT_FALSE(log & ES_WANTRETURN);
  const LONG_PTR captions = StyleOf(Control(kMCaptions));
  EXPECT_TRUE((captions & ES_MULTILINE) && (captions & ES_READONLY));
  EXPECT_FALSE((captions & WS_BORDER) || (ExStyleOf(Control(kMCaptions)) & WS_EX_CLIENTEDGE));
  EXPECT_EQ(ColoursOf(Control(kMCaptions)).text, RGB(128, 0, 0));
  EXPECT_TRUE(StyleOf(Control(kImage1)) & SS_CENTERIMAGE);
  EXPECT_FALSE(IsWindowVisible(Control(kAProgress)));

  // The tooltips of Start and Exit.
  HWND tips = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindTooltips, reinterpret_cast<LPARAM>(&tips));
  ASSERT_NE(tips, nullptr);
  Lines texts;
  const int count = static_cast<int>(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    SendMessageW(tips, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool));
    texts.push_back(TextOf(reinterpret_cast<HWND>(tool.uId)) + ": " + platform::Narrow(text));
  }
  EXPECT_EQ(texts, (Lines{"&Старт: Запустить обновление", "Выход: Выход из программы"}));
}

TEST_P(MainWindowTest, StartHasTheFocusAndTheKeyboardGoesStripGroupLog) {
  EXPECT_EQ(GetFocus(), Control(kOKBtn));
  std::vector<int> order;
  HWND control = Control(kOKBtn);
  for (int i = 0; i < 12; ++i) {
    order.push_back(GetDlgCtrlID(control));
    control = GetNextDlgTabItem(Main(), control, FALSE);
    if (control == Control(kOKBtn)) break;
  }
  std::vector<int> expected{kOKBtn, kCancelBtn, kMCaptions, kEProgramLocation, kBbProgramLocation};
  if (Plain()) expected.push_back(kEAdmnPassword);
  expected.insert(expected.end(), {kEPassword, kMLog});
  EXPECT_EQ(order, expected);
}

TEST_P(MainWindowTest, TheLookDecidesCaptionMenusAndColours) {
  const std::string caption =
      Plain() ? "Updater_Marlix" : "Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта Tessam";
  EXPECT_EQ(TextOf(Main()), caption);
  EXPECT_EQ(MenuBarTexts(GetMenu(Main())),
            Plain() ? Lines{"Сервис"} : (Lines{"Проект", "Сервис", "Справка"}));
  LOGBRUSH menu{};
  GetObjectW(form->MenuBrush(), sizeof menu, &menu);
  EXPECT_EQ(menu.lbColor, Plain() ? GetSysColor(COLOR_BTNFACE) : RGB(255, 255, 255));

  UpdateWindow(Main());
  const COLORREF panel = GetSysColor(Plain() ? COLOR_BTNFACE : COLOR_CAPTIONTEXT);
  // A spot of the connection group without controls, over the logo when it
  // is shown, and spots of the log group's frame and of the strip.
  HWND connection = Control(kConnectionGroup);
  const POINT spot{300, 90};
  const COLORREF logo = BitmapPixel(form->Logo(), spot.x - 2, spot.y - 15);
  EXPECT_NE(logo, panel) << "the logo's spot must show the logo, not the background";
  EXPECT_EQ(PixelOf(connection, spot.x, spot.y), Plain() ? panel : logo);
  EXPECT_EQ(PixelOf(Control(kButtonStrip), 200, 40), panel);
  EXPECT_EQ(PixelOf(Control(kLogGroup), 300, 2), panel);

  const COLORREF label = GetSysColor(Plain() ? COLOR_WINDOWTEXT : COLOR_WINDOW);
  for (int id : {kLProgramLocation, kLPassword, kLabel1}) {
    EXPECT_EQ(ColoursOf(Control(id)).text, label) << id;
  }
  EXPECT_EQ(ColoursOf(Control(kMCaptions)).background,
            GetSysColor(Plain() ? COLOR_BTNFACE : COLOR_WINDOW));
}

TEST_P(MainWindowTest, StartUpAppliedTheDefaultProfileAndLockedTheProjectMenu) {
  EXPECT_EQ(form->Profile().ProjectCode, Plain() ? "Marlix" : "TESSAM");
  EXPECT_EQ(TextOf(Control(kEProgramLocation)),
            Plain() ? "C:\\WEXR\\Marlix" : "C:\\Program files\\BrenvikSoft\\TESSAM_RU");
  EXPECT_EQ(TextOf(Control(kEAdmnPassword)), "1");
  EXPECT_EQ(form->Profile().ClientLibrary, "fbclient.dll");
  EXPECT_EQ(form->Profile().ServerPrefix, "localhost/3051:");
  // Locked: only the Marlix entry is left, disabled; it keeps its check mark
  // until another project's handler takes it.
  HMENU project = form->ProjectMenu();
  ASSERT_EQ(MenuBarTexts(project), Lines{"Marlix"});
  EXPECT_EQ(GetMenuState(project, kMmProjectMarlix, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED),
            static_cast<UINT>(Plain() ? MF_CHECKED | MF_GRAYED : MF_GRAYED));
}

TEST_F(WindowTest, TheLookIsChosenOnceAtTheFirstShowing) {
  StartUp();
  ASSERT_TRUE(form->PlainLook());
  form->mmProject_TessamClick();
  form->ShowCentred();
  EXPECT_TRUE(form->PlainLook());
  EXPECT_EQ(MenuBarTexts(GetMenu(Main())), Lines{"Сервис"});
  EXPECT_EQ(TextOf(Main()), "Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта Tessam");
}

}  // namespace
}  // namespace updater::testing
