#include "ui/win32/uMain.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/failures.h"
#include "engine/database_commands.h"
#include "engine/failure_handler.h"
#include "engine/service_commands.h"
#include "engine/startup.h"
#include "fsutil/uWexrRout.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/bitmaps.h"
#include "ui/win32/folder_chooser.h"
#include "ui/win32/help_command.h"
#include "ui/win32/panels.h"

namespace updater::win32 {

using platform::Widen;

namespace {

constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);

// What the close box answers while an operation is under way.
const char kRunUnderWay[] =
    "Идет обновление программы. Закрыть Updater можно только после его завершения.";
const char kDatabaseCommandUnderWay[] =
    "Идет перевод базы данных в другой режим. Закрыть Updater можно только после его "
    "завершения.";
const char kServiceCommandUnderWay[] =
    "Идет остановка или запуск службы Firebird. Закрыть Updater можно только после их "
    "завершения.";

}  // namespace

void ShellExecuteOpen(const std::string& program, const std::string& argument) {
  // The outcome is not looked at: a missing help file or viewer is the
  // shell's to report, and the updater has nothing to add.
  ShellExecuteW(nullptr, nullptr, Widen(program).c_str(), Widen(argument).c_str(), nullptr,
                SW_SHOWNORMAL);
}

// An operation that must not be disturbed or cut short: the Project and
// Service menus are disabled while it runs (so that no menu command changes
// the profile, the working context or the server under it) and the close
// box is refused; both come back on every way out.
class OperationUnderWay {
 public:
  OperationUnderWay(TfrmMain& form, const std::string& text)
      : form_(form), previous_text_(form.busy_text_) {
    form_.busy_text_ = text;
    EnableMenus(false);
  }
  ~OperationUnderWay() {
    form_.busy_text_ = previous_text_;
    if (previous_text_.empty()) EnableMenus(true);
    form_.pump_.RepostQuit();
  }
  OperationUnderWay(const OperationUnderWay&) = delete;
  OperationUnderWay& operator=(const OperationUnderWay&) = delete;

 private:
  void EnableMenus(bool enabled) {
    const int count = GetMenuItemCount(form_.menu_bar_);
    for (int position = 0; position < count; ++position) {
      HMENU popup = GetSubMenu(form_.menu_bar_, position);
      if (popup != nullptr && (popup == form_.project_menu_ || popup == form_.operations_menu_)) {
        EnableMenuItem(form_.menu_bar_, static_cast<UINT>(position),
                       MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
      }
    }
    if (form_.window_ != nullptr) DrawMenuBar(form_.window_);
  }

  TfrmMain& form_;
  std::string previous_text_;
};

TfrmMain::TfrmMain(HINSTANCE instance, WindowServices services)
    : instance_(instance),
      services_(std::move(services)),
      prompt_(instance),
      log_(services_.platform.files, services_.platform.clock, log_area_),
      retries_(services_.platform.files, log_) {
  WNDCLASSEXW window_class{};
  if (!GetClassInfoExW(instance, kMainWindowClass, &window_class)) {
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, L"MAINICON");
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kMainWindowClass;
    RegisterClassExW(&window_class);
  }
  RegisterPanelClass(instance);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  CreateFonts();
  CreateMenus();
  window_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, L"Updater_Marlix",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, CW_USEDEFAULT,
                      CW_USEDEFAULT, 100, 100, nullptr, menu_bar_, instance, this);
  if (window_ == nullptr) {
    throw UpdateFailure(platform::LastError("CreateWindowExW", "TfrmMain").Describe());
  }
  SetClientSize();
  CreateControls();
  CreateTooltips();
  ApplyLook(false);
  prompt_.SetOwner(window_);
  pump_.Attach(window_);
  log_area_.Attach(Control(kMLog));
  captions_.Attach(Control(kMCaptions));
}

TfrmMain::~TfrmMain() {
  if (window_ != nullptr) DestroyWindow(window_);
  // The menu bar went with the window; the Project menu, once taken off the
  // bar, is ours to destroy. The brushes, fonts and pictures go with their
  // owners.
  if (!project_on_bar_ && project_menu_ != nullptr) DestroyMenu(project_menu_);
}

HWND TfrmMain::Control(int id) const {
  if (HWND direct = GetDlgItem(window_, id)) return direct;
  for (int panel : {kConnectionGroup, kLogGroup, kButtonStrip}) {
    if (HWND inside = GetDlgItem(GetDlgItem(window_, panel), id)) return inside;
  }
  return nullptr;
}

// --- Start-up -----------------------------------------------------------------

void TfrmMain::FormCreate() {
  platform::Platform& platform = services_.platform;
  SetMenuBackground(RGB(255, 255, 255));

  const platform::Result<std::string> executable = platform.processes.OwnExecutablePath();
  if (executable) {
    const ProgramLocation program = LocateProgram(*executable);
    program_folder_ = program.folder;
    prompt_.SetTitle(program.title);
  }
  SetWindowTextW(window_, Widen(prompt_.Title()).c_str());

  // Each step stands on its own: a picture that cannot be loaded must not
  // keep the libraries from being written, nor the log from being opened and
  // the server from being looked for, without which an update would run
  // unlogged and blind to the server.
  RunOperatorCommand(
      [&] {
        logo_ = LoadPicture(platform, "logotype");
        ApplyLook(plain_look_);
        success_image_ = LoadPicture(platform, "Success");
        errors_image_ = LoadPicture(platform, "Errors");
      },
      log_, prompt_);
  if (executable) {
    for (const EmbeddedLibrary* library : {&kClientLibrary, &kScriptEngineLibrary}) {
      RunOperatorCommand([&] { WriteOutLibraryWhenMissing(platform, program_folder_, *library); },
                         log_, prompt_);
    }
  } else {
    // Without its own path the program has no folder for its libraries and
    // its log.
    RunOperatorCommand([&] { throw UpdateFailure(executable.error().Describe()); }, log_, prompt_);
  }
  SetWindowTextW(window_, L"Updater ПО КЕЛЬМ ГК \"Бренвик\": выберите проект");
  if (executable) {
    server_params_ = OpenLogAndDetectServer(program_folder_, platform, log_, prompt_);
  }
}

void TfrmMain::ApplyDefaultProfileAndLock() {
  fields_.ProductFolder = FieldText(kEProgramLocation);
  fields_.SystemPassword = FieldText(kEPassword);
  fields_.AdmnPassword = FieldText(kEAdmnPassword);
  ApplyDefaultProfile(fields_);
  SetFieldText(kEProgramLocation, fields_.ProductFolder);
  SetFieldText(kEPassword, fields_.SystemPassword);
  SetFieldText(kEAdmnPassword, fields_.AdmnPassword);
  SetWindowTextW(window_, Widen(fields_.WindowCaption).c_str());
  CheckMenuRadioItem(project_menu_, kMmProjectMarlix, kMmProjectTessam, kMmProjectMarlix,
                     MF_BYCOMMAND);
  EnableMenuItem(project_menu_, kMmProjectMarlix, MF_BYCOMMAND | MF_GRAYED);
  for (int entry : {kMmProjectRezorazera, kMmProjectTessamMini, kMmProjectTessam}) {
    DeleteMenu(project_menu_, static_cast<UINT>(entry), MF_BYCOMMAND);
  }
}

void TfrmMain::ShowCentred() {
  if (!shown_) {
    FormShow();
    focused_ = Control(kOKBtn);
  }
  RECT frame{};
  GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  RestoreFocus();
  UpdateWindow(window_);
  shown_ = true;
}

// --- Commands ------------------------------------------------------------------

void TfrmMain::RunCommand(void (TfrmMain::*command)()) {
  RunOperatorCommand([&] { (this->*command)(); }, log_, prompt_);
}

FrontEnd TfrmMain::Front() { return FrontEnd{log_, prompt_, pump_, captions_}; }

void TfrmMain::OKBtnClick() {
  if (fields_.Profile.ProjectCode.empty()) {
    prompt_.ShowWarning("Не выбран проект для обновления.");
    throw SilentAbort();
  }
  SetCaptionColour(kMaroon);
  captions_.ShowCaption("Идет обновление...");
  StartAnimation();
  ShowWindow(Control(kImage1), SW_HIDE);
  pump_.ProcessMessages();
  SetControlsEnabled(false);

  UpdateOutcome outcome;
  {
    OperationUnderWay operation(*this, kRunUnderWay);
    std::exception_ptr display_failure;
    try {
      const UpdateRequest request{FieldText(kEProgramLocation), FieldText(kEPassword),
                                  FieldText(kEAdmnPassword), fields_.Profile.ProjectCode, &log_};
      FrontEnd front = Front();
      outcome = RunUpdate(request, fields_.Profile, server_params_, services_.platform, front,
                          services_.phases);
      rolled_back_ = outcome.RolledBack;
      if (outcome.end == UpdateOutcome::End::kSucceeded) {
        ShowOutcome(true);
      } else {
        pump_.ProcessMessages();
        ShowOutcome(false);
      }
    } catch (...) {
      display_failure = std::current_exception();
    }
    SetControlsEnabled(true);
    pump_.ProcessMessages();
    StopAnimation();
    if (display_failure) std::rethrow_exception(display_failure);
  }
  // Only now, with the window usable again, does the failure reach the
  // failure handler and its box.
  if (outcome.end == UpdateOutcome::End::kAbandoned) throw SilentAbort();
  if (outcome.end == UpdateOutcome::End::kFailed) throw UpdateFailure(outcome.Message);
}

void TfrmMain::ShowOutcome(bool success) {
  HWND image = Control(kImage1);
  SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>((success ? success_image_ : errors_image_).get()));
  UpdateOutcome shown;
  shown.end = success ? UpdateOutcome::End::kSucceeded : UpdateOutcome::End::kFailed;
  shown.RolledBack = rolled_back_;
  SetCaptionColour(success ? kGreen : kMaroon);
  captions_.ShowCaption(OutcomeCaption(shown));
  ShowWindow(image, SW_SHOWNA);
  StopAnimation();
  // Logged last, so that a log file that cannot be written still leaves the
  // outcome on the screen.
  if (success) log_.SaveExceptionToLog(kUpdateSucceededLogEntry);
}

void TfrmMain::SetControlsEnabled(bool enabled) {
  if (!enabled) RememberFocus();
  for (int panel : {kConnectionGroup, kButtonStrip}) {
    EnableWindow(GetDlgItem(window_, panel), enabled);
  }
  // The controls themselves too, so that they look unavailable; the caption
  // area stays as it is, its text must keep its colour.
  for (int id :
       {kEProgramLocation, kBbProgramLocation, kEAdmnPassword, kEPassword, kOKBtn, kCancelBtn}) {
    EnableWindow(Control(id), enabled);
  }
  if (enabled && GetActiveWindow() == window_) RestoreFocus();
}

void TfrmMain::CancelBtnClick() { SendMessageW(window_, WM_CLOSE, 0, 0); }

void TfrmMain::RunDatabaseCommand(bool online) {
  SetControlsEnabled(false);
  OperationUnderWay operation(*this, kDatabaseCommandUnderWay);
  try {
    FrontEnd front = Front();
    (online ? DatabaseOnlineCommand : DatabaseShutdownCommand)(
        FieldText(kEProgramLocation), FieldText(kEPassword), fields_.Profile, services_.platform,
        front);
  } catch (...) {
    SetControlsEnabled(true);
    throw;
  }
  SetControlsEnabled(true);
}

void TfrmMain::mmOperations_OnlineClick() { RunDatabaseCommand(true); }

void TfrmMain::mmOperations_ShutdownClick() { RunDatabaseCommand(false); }

void TfrmMain::mmOperations_ServiceStartClick() {
  OperationUnderWay operation(*this, kServiceCommandUnderWay);
  FrontEnd front = Front();
  StartFirebirdServiceCommand(server_params_, services_.platform, front);
}

void TfrmMain::mmOperations_ServiceStopClick() {
  OperationUnderWay operation(*this, kServiceCommandUnderWay);
  FrontEnd front = Front();
  StopFirebirdServiceCommand(server_params_, services_.platform, front);
}

void TfrmMain::ApplyProfile(Project project) {
  fields_.ProductFolder = FieldText(kEProgramLocation);
  fields_.SystemPassword = FieldText(kEPassword);
  fields_.AdmnPassword = FieldText(kEAdmnPassword);
  ApplyProjectProfile(fields_, project);
  SetFieldText(kEProgramLocation, fields_.ProductFolder);
  SetFieldText(kEPassword, fields_.SystemPassword);
  SetWindowTextW(window_, Widen(fields_.WindowCaption).c_str());
  CheckMenuRadioItem(project_menu_, kMmProjectMarlix, kMmProjectTessam,
                     static_cast<UINT>(kMmProjectMarlix + static_cast<int>(project)), MF_BYCOMMAND);
}

void TfrmMain::mmProject_RezorazeraClick() { ApplyProfile(Project::kRezorazera); }

void TfrmMain::mmProject_TessamMiniClick() { ApplyProfile(Project::kTessamMini); }

void TfrmMain::mmProject_TessamClick() { ApplyProfile(Project::kTessam); }

void TfrmMain::bbProgramLocationClick() {
  std::string folder = FieldText(kEProgramLocation);
  if (BrowseForFolder(window_, services_.platform.files, "Выбор папки:", folder)) {
    SetFieldText(kEProgramLocation, folder);
  }
}

void TfrmMain::mmHelpClick() {
  const HelpCommand help = BuildHelpCommand(program_folder_, SystemFolderPath(services_.platform));
  services_.shell_open(help.viewer, help.argument);
}

// --- Pieces ---------------------------------------------------------------------

std::string TfrmMain::FieldText(int id) const {
  return platform::Narrow(WindowTextOf(Control(id)));
}

void TfrmMain::SetFieldText(int id, const std::string& text) {
  SetWindowTextW(Control(id), Widen(text).c_str());
}

void TfrmMain::SetCaptionColour(COLORREF colour) {
  caption_colour_ = colour;
  InvalidateRect(Control(kMCaptions), nullptr, TRUE);
}

void TfrmMain::StartAnimation() {
  HWND animation = Control(kAProgress);
  ShowWindow(animation, SW_SHOWNA);
  // Frames 1 to 8 of the find-computer animation, over and over; an
  // animation with fewer frames (Wine's stand-in has two) plays all it has.
  if (!SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 7))) {
    SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, -1));
  }
}

void TfrmMain::StopAnimation() {
  HWND animation = Control(kAProgress);
  SendMessageW(animation, ACM_STOP, 0, 0);
  ShowWindow(animation, SW_HIDE);
}

void TfrmMain::RememberFocus() {
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window_, focus)) focused_ = focus;
}

void TfrmMain::RestoreFocus() {
  HWND target = focused_;
  const auto usable = [](HWND control) {
    return control != nullptr && IsWindow(control) && IsWindowVisible(control) &&
           IsWindowEnabled(control) && IsWindowEnabled(GetParent(control));
  };
  if (!usable(target)) target = Control(kOKBtn);
  if (usable(target)) SetFocus(target);
}

void TfrmMain::OnClose() {
  if (!busy_text_.empty()) {
    // Ending the program now would leave the product half updated and the
    // database shut down: the operator waits for the end of the operation.
    prompt_.ShowWarning(busy_text_);
    return;
  }
  DestroyWindow(window_);
}

void TfrmMain::OnCommand(int id) {
  switch (id) {
    case kOKBtn:
      return RunCommand(&TfrmMain::OKBtnClick);
    case kCancelBtn:
      return RunCommand(&TfrmMain::CancelBtnClick);
    case kBbProgramLocation:
      return RunCommand(&TfrmMain::bbProgramLocationClick);
    case kMmOperationsOnline:
      return RunCommand(&TfrmMain::mmOperations_OnlineClick);
    case kMmOperationsShutdown:
      return RunCommand(&TfrmMain::mmOperations_ShutdownClick);
    case kMmOperationsServiceStart:
      return RunCommand(&TfrmMain::mmOperations_ServiceStartClick);
    case kMmOperationsServiceStop:
      return RunCommand(&TfrmMain::mmOperations_ServiceStopClick);
    case kMmProjectRezorazera:
      return RunCommand(&TfrmMain::mmProject_RezorazeraClick);
    case kMmProjectTessamMini:
      return RunCommand(&TfrmMain::mmProject_TessamMiniClick);
    case kMmProjectTessam:
      return RunCommand(&TfrmMain::mmProject_TessamClick);
    case kMmHelp:
      return RunCommand(&TfrmMain::mmHelpClick);
    default:
      return;  // the Marlix entry has no action of its own
  }
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    form->window_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return form->HandleMessage(message, wparam, lparam);
}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Button clicks and menu commands; the fields' notifications are not ours.
      if (HIWORD(wparam) == 0) OnCommand(LOWORD(wparam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      if (LRESULT brush =
              OnControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam))) {
        return brush;
      }
      break;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window_, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, window_brush_.get());
      return 1;
    }
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        RememberFocus();
      } else {
        RestoreFocus();
      }
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      if (services_.quit_when_destroyed) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace updater::win32
