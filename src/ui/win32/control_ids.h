// The main window's controls and menu commands by number, and the window
// classes of ours, as the window creates them and as a program that drives
// the window (the UI tests) finds them again.
#pragma once

namespace updater::win32 {

// The main window's class; its controls are found below it by these numbers.
inline constexpr wchar_t kMainWindowClass[] = L"TfrmMain";
// The class of the three containers: the two groups and the button strip.
inline constexpr wchar_t kPanelClass[] = L"UpdaterPanel";

enum ControlId : int {
  // The connection group and what it holds, in keyboard order.
  kConnectionGroup = 100,
  kLProgramLocation,
  kEProgramLocation,
  kBbProgramLocation,
  kLAdmnPassword,
  kEAdmnPassword,
  kLPassword,
  kLabel1,
  kEPassword,
  // The log group and the on-screen log.
  kLogGroup = 120,
  kMLog,
  // The separator and the button strip.
  kSeparator = 130,
  kButtonStrip,
  kImage1,
  kAProgress,
  kMCaptions,
  kOKBtn,
  kCancelBtn,
};

enum MenuCommand : int {
  kMmProjectMarlix = 200,
  kMmProjectRezorazera,
  kMmProjectTessamMini,
  kMmProjectTessam,
  kMmOperationsOnline = 210,
  kMmOperationsShutdown,
  kMmOperationsServiceStart,
  kMmOperationsServiceStop,
  kMmHelp = 220,
};

}  // namespace updater::win32
