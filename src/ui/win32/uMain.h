// The main window, TfrmMain: the operator's connection fields, the log, the
// Start and Exit buttons and the Project, Service and Help menus. It holds
// what the commands share for the life of the process (the current profile,
// the detected server, the update log, the flag RolledBack) and hands the
// engine its front end: the log area, the boxes, the message pump and the
// caption area.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/profiles.h"
#include "engine/retry_log.h"
#include "engine/uUpdate.h"
#include "engine/update_log.h"
#include "firebird/uFbService.h"
#include "platform/platform.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/gdi_handles.h"
#include "ui/win32/window_front_end.h"
#include "ui/win32/window_prompt.h"

namespace updater::win32 {

// Asks the shell to open `program` with `argument` (ShellExecute with the
// default verb, no owner, no working folder, shown normally).
using ShellOpen = std::function<void(const std::string& program, const std::string& argument)>;

// The shell's own ShellOpen; its outcome is not examined.
void ShellExecuteOpen(const std::string& program, const std::string& argument);

// What the window works with: the platform, the phases of the update run,
// and the shell for the help command.
struct WindowServices {
  platform::Platform& platform;
  UpdatePhases& phases;
  ShellOpen shell_open = ShellExecuteOpen;
  // The program ends when the window is destroyed (the application's main
  // window); a window of the tests leaves the thread's message queue alone.
  bool quit_when_destroyed = true;
};

class TfrmMain {
 public:
  // Creates the window, hidden, with its controls laid out and the coloured
  // look; nothing else (start-up's FormCreate comes next).
  TfrmMain(HINSTANCE instance, WindowServices services);
  // FormDestroy: the window and its brushes, fonts and pictures released.
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // --- Start-up, in its order ----------------------------------------------

  // The creation steps: the menu bar's white background, the application
  // title and caption from the executable's name, the pictures, the two
  // libraries written next to the executable when missing, the caption that
  // asks for a project, the update log opened and the server detected. A
  // failure of one step is reported by the failure handler and the next
  // steps still run.
  void FormCreate();
  // The default profile (Marlix) applied and the Project menu locked: its
  // Marlix entry checked and disabled, the other entries taken out.
  void ApplyDefaultProfileAndLock();
  // Shows the window centred on the desktop; at its first showing (FormShow)
  // the look is chosen: the plain look for the project code "Marlix", the
  // coloured look for any other.
  void ShowCentred();

  // --- Commands ------------------------------------------------------------
  // Each raises its failures (UpdateFailure, SilentAbort); the window runs
  // them through the application-wide failure handler (RunCommand).

  void OKBtnClick();      // Start: the update run with its outcome display
  void CancelBtnClick();  // Exit: closes the window
  void mmOperations_OnlineClick();
  void mmOperations_ShutdownClick();
  void mmOperations_ServiceStartClick();
  void mmOperations_ServiceStopClick();
  void mmProject_RezorazeraClick();
  void mmProject_TessamMiniClick();
  void mmProject_TessamClick();
  void bbProgramLocationClick();
  void mmHelpClick();

  // Runs `command` as the operator's command: whatever escapes it goes to
  // the failure handler (AEException).
  void RunCommand(void (TfrmMain::*command)());

  // The outcome display after a run: the success or the errors image, the
  // outcome's caption (after a failure: as the flag RolledBack has it) in
  // green or maroon, the busy animation stopped and hidden, and after a
  // success its log entry.
  void ShowOutcome(bool success);
  // Enables or disables the connection group and the button strip with the
  // controls in them; the menu bar is not affected.
  void SetControlsEnabled(bool enabled);

  // --- State ---------------------------------------------------------------

  HWND Handle() const { return window_; }
  HWND Control(int id) const;
  HMENU ProjectMenu() const { return project_menu_; }
  HMENU OperationsMenu() const { return operations_menu_; }
  const ProjectProfile& Profile() const { return fields_.Profile; }
  const TFBServParams& ServerParams() const { return server_params_; }
  const UpdateLog& Log() const { return log_; }
  const std::string& ApplicationTitle() const { return prompt_.Title(); }
  bool RolledBack() const { return rolled_back_; }
  bool PlainLook() const { return plain_look_; }
  HBITMAP Logo() const { return logo_.get(); }
  HBITMAP SuccessImage() const { return success_image_.get(); }
  HBITMAP ErrorsImage() const { return errors_image_.get(); }
  COLORREF CaptionColour() const { return caption_colour_; }
  HBRUSH MenuBrush() const { return menu_brush_.get(); }

 private:
  friend class OperationUnderWay;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnCommand(int id);
  LRESULT OnControlColour(HDC dc, HWND control);
  void OnClose();
  void RememberFocus();
  void RestoreFocus();

  // Layout (main_window_layout.cc).
  void CreateFonts();
  void CreateMenus();
  void CreateControls();
  void CreateTooltips();
  HWND AddControl(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style,
                  DWORD ex_style, int id, int left, int top, int width, int height, HFONT font);
  void AutoSizeLabel(HWND label);
  void FormShow();
  void ApplyLook(bool plain);
  void SetMenuBackground(COLORREF colour);
  void SetClientSize();

  // Commands' pieces.
  std::string FieldText(int id) const;
  void SetFieldText(int id, const std::string& text);
  void ApplyProfile(Project project);
  void RunDatabaseCommand(bool online);
  void SetCaptionColour(COLORREF colour);
  void StartAnimation();
  void StopAnimation();
  FrontEnd Front();

  HINSTANCE instance_;
  WindowServices services_;
  HWND window_ = nullptr;
  HWND tooltips_ = nullptr;
  HMENU menu_bar_ = nullptr;
  HMENU project_menu_ = nullptr;  // kept also when taken off the bar
  HMENU operations_menu_ = nullptr;
  bool project_on_bar_ = true;

  FontHandle font_;          // "MS Sans Serif", 8 points
  FontHandle bold_font_;     // the same, bold: the connection group's caption, coloured labels
  FontHandle caption_font_;  // "Tahoma", bold: the caption area
  BrushHandle menu_brush_;
  BrushHandle window_brush_;
  BrushHandle caption_brush_;
  BitmapHandle logo_;
  BitmapHandle success_image_;
  BitmapHandle errors_image_;

  COLORREF window_colour_ = 0;
  COLORREF label_colour_ = 0;
  COLORREF caption_background_ = 0;
  COLORREF caption_colour_ = RGB(128, 0, 0);
  bool plain_look_ = false;
  bool shown_ = false;
  HWND focused_ = nullptr;  // the control that has the focus when the window is active

  // An operation under way (a run, a database mode or service command): the
  // close box is refused with this text; empty when idle.
  std::string busy_text_;

  ProfileFields fields_;
  TFBServParams server_params_;
  bool rolled_back_ = false;
  std::string program_folder_;

  LogArea log_area_;
  CaptionMemo captions_;
  WindowPump pump_;
  WindowPrompt prompt_;
  UpdateLog log_;
  // A file held for a moment and retried is a line of the log.
  RetryLogEntries retries_;
};

}  // namespace updater::win32
