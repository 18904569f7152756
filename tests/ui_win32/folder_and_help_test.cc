// The folder button with the shell's folder dialog, and the help command.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
// clang-format on

#include <atomic>

#include "platform/win32/win32_platform.h"
#include "ui/win32/help_command.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using namespace win32;  // NOLINT: the controls' names
using Lines = std::vector<std::string>;

// The text of the folder selected in the dialog's tree; empty for none.
std::string SelectedFolder(HWND dialog) {
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  if (tree == nullptr) return "<no tree>";
  auto selected = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (selected == nullptr) return "";
  wchar_t text[MAX_PATH] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = selected;
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return platform::Narrow(text);
}

TEST_F(WindowTest, TheFolderDialogPreselectsAnExistingFolderAndFillsTheFieldOnlyWhenConfirmed) {
  const std::string existing = temp.MakeFolder("Марликс");
  const std::string missing = temp.Path("Нет такой");
  const struct {
    const char* what;
    std::string before;
    bool preselected;
    std::string name;  // of the folder selected in the tree; empty: not looked at
    BoxStep answer;
    std::string after;
  } cases[] = {
      {"an existing folder, confirmed", existing, true, "Марликс", {BoxAction::kEnter}, existing},
      {"an existing folder, cancelled", existing, true, "Марликс", {BoxAction::kEscape}, existing},
      {"a missing folder, closed", missing, false, "", {BoxAction::kClose}, missing},
      {"a drive root, confirmed", "C:\\", true, "", {BoxAction::kEnter}, "C:\\"},
  };
  StartUp();
  const UINT error_mode = GetErrorMode();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetText(kEProgramLocation, c.before);
    // What the window asks the dialog to select when it opens.
    Lines selections;
    std::atomic<bool> spying{true};
    MessageSpy spy([&](const CWPSTRUCT& message) {
      if (spying && message.message == BFFM_SETSELECTIONW) {
        selections.push_back(
            message.wParam == TRUE
                ? platform::Narrow(reinterpret_cast<const wchar_t*>(message.lParam))
                : "<an item list>");
      }
    });
    std::string selected;
    bool main_enabled = true;
    UINT mode_while_open = 0;
    BoxStep step = c.answer;
    step.while_open = [&](const SeenBox& dialog) {
      spying = false;
      main_enabled = IsWindowEnabled(Main()) != FALSE;
      mode_while_open = GetErrorMode();
      // Wine's dialog now and then misses the selection it is asked for while
      // it opens (Windows' does not): the operator then picks the folder.
      const auto wait_for_selection = [&] {
        const ULONGLONG deadline = GetTickCount64() + 2000;
        do {
          Sleep(50);
          selected = SelectedFolder(dialog.window);
        } while ((c.name.empty() || selected != c.name) && GetTickCount64() < deadline);
      };
      wait_for_selection();
      if (c.preselected && !c.name.empty() && selected != c.name) {
        const std::wstring folder = platform::Widen(c.before);
        SendMessageW(dialog.window, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(folder.c_str()));
        wait_for_selection();
      }
      if (c.before == "C:\\") {
        SendMessageW(dialog.window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\"));
        Sleep(300);
      }
    };
    auto boxes = Answer({step});
    Click(kBbProgramLocation);
    ASSERT_TRUE(boxes->WaitForSteps());
    EXPECT_EQ(selections, c.preselected ? Lines{c.before} : Lines{});
    if (!c.name.empty()) {
      EXPECT_EQ(selected, c.name);
    }
    EXPECT_FALSE(main_enabled);
    EXPECT_TRUE(mode_while_open & SEM_FAILCRITICALERRORS);
    EXPECT_EQ(TextOf(Control(kEProgramLocation)), c.after);
    EXPECT_TRUE(IsWindowEnabled(Main()));
    EXPECT_EQ(GetErrorMode(), error_mode);
    EXPECT_EQ(boxes->Seen().at(0).text, "Выбор папки:");
  }
}

TEST(HelpCommand, TheViewerComesFromTheSystemFolderAndTheFileFromTheProgramFolder) {
  const struct {
    const char* system_folder;
    const char* viewer;
  } cases[] = {
      {"C:\\WINDOWS\\system32\\", "\"C:\\WINDOWS\\hh.exe\""},
      {"D:\\Win\\system32\\system32\\", "\"D:\\Win\\hh.exe\""},
      // The folder is found only in exactly this case.
      {"C:\\Windows\\System32\\", "\"\\hh.exe\""},
      {"C:\\ReactOS\\bin\\", "\"\\hh.exe\""},
  };
  for (const auto& c : cases) {
    const HelpCommand help = BuildHelpCommand("C:\\Upd ater", c.system_folder);
    EXPECT_EQ(help.viewer, c.viewer) << c.system_folder;
    EXPECT_EQ(help.argument, "\"C:\\Upd ater\\help.chm\"");
  }
}

TEST_F(WindowTest, HelpOpensTheViewerWithTheHelpFileAndASystemFolderFailureIsShown) {
  StartUp(Project::kTessam);
  Choose(kMmHelp);
  const std::string program_folder = executable.substr(0, executable.rfind('\\'));
  ASSERT_EQ(shell_opened.size(), 1u);
  EXPECT_EQ(shell_opened[0].first, "\"C:\\WINDOWS\\hh.exe\"");
  EXPECT_EQ(shell_opened[0].second, "\"" + program_folder + "\\help.chm\"");

  fake.volumes.system_folder.clear();
  auto boxes = Answer({{BoxAction::kEnter}});
  Choose(kMmHelp);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(boxes->Transcript(),
            Lines{"Updater_Marlix: Невозможно определить путь к системной папке!"});
  EXPECT_EQ(shell_opened.size(), 1u);
}

}  // namespace
}  // namespace updater::testing
