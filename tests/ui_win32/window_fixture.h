// The main window in the test's own process, over a fake platform: its
// registry, services, drives and system folder are the test's, its files
// are real files in a temporary folder, the executable it believes it is
// lies there too, and the shell's help viewer is only recorded.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/uUpdate.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"
#include "ui/win32/uMain.h"
#include "window_driver.h"

namespace updater::testing {

// The phases of a run that ends as the test wants, for the outcome display:
// a success, or a failure of the client part update with its rollback.
class OutcomePhases final : public UpdatePhases {
 public:
  enum class End { kSuccess, kRolledBack, kRestoreFailed };
  End end = End::kSuccess;

  void PrepareServer(UpdateRun&) override {}
  void StageAndBackup(UpdateRun&) override {}
  void RebuildDatabase(UpdateRun&) override {}
  void UpdateServerPart(UpdateRun&) override {}
  void UpdateClientPart(UpdateRun& run) override;
  // Runs first in UpdateClientPart, when set: a look at the window mid-run.
  std::function<void(UpdateRun&)> during_client_part;
  void RollBack(UpdateRun& run, const std::string& failure_message) override;
  void RemovePayloadFolder(UpdateRun&) override {}
  bool BringDatabaseOnlineAtEnd(UpdateRun&) override { return true; }
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  ~WindowTest() override;

  // Creates the window and runs start-up as the program does; `project`,
  // when given, is chosen from the Project menu before the first showing
  // (which is how the coloured look is reached).
  void StartUp(std::optional<Project> project = std::nullopt);
  // Creates the window and runs only its creation steps, without the
  // default profile, then shows it: no project is chosen.
  void StartUpWithoutProject();

  HWND Main() const { return form->Handle(); }
  HWND Control(int id) const { return form->Control(id); }
  // An operator's click on a button (nothing happens when it is disabled).
  void Click(int id);
  // A menu command, as the menu sends it.
  void Choose(int command);
  void SetText(int id, const std::string& text);
  // Boxes of this thread answered by `steps`.
  std::unique_ptr<BoxAnswerer> Answer(std::vector<BoxStep> steps);
  // The log area's lines, time stamps taken off.
  std::vector<std::string> LogLines() const;
  // The caption area's text with CR LF as CR.
  std::string CaptionText() const;
  // Whether the entry of the menu bar that opens `popup` is enabled.
  bool MenuEnabled(HMENU popup) const;

  // Gives `target` what the window needs of a platform: the pictures and
  // the two libraries among its resources, the executable's path, the
  // system folder.
  void Equip(FakePlatform& target);

  // A product folder "Product" with the parts asked for; its path.
  std::string MakeProduct(bool client_part, bool server_part);

  TempFolder temp;
  FakePlatform fake;
  ProductUpdatePhases product_phases;
  OutcomePhases outcome_phases;
  UpdatePhases* phases = &product_phases;
  // The platform the window is made on: `fake`'s unless a test gives
  // another (equipped with Equip) before start-up.
  platform::Platform* window_platform = nullptr;
  std::vector<std::pair<std::string, std::string>> shell_opened;
  std::string executable;  // the path the window believes it runs from
  std::unique_ptr<win32::TfrmMain> form;

 private:
  void Create();
};

// The colour of the pixel at `x`, `y` of `bitmap`.
COLORREF BitmapPixel(HBITMAP bitmap, int x, int y);

// The colours a control is painted with, as its parent hands them out.
struct ControlColours {
  COLORREF text;
  COLORREF background;
};
ControlColours ColoursOf(HWND control);

}  // namespace updater::testing
