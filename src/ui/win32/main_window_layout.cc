// TfrmMain's controls, fonts and menus as the window is designed, and the
// two looks it can take at its first showing.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "platform/win32/win32_platform.h"
#include "ui/win32/panels.h"
#include "ui/win32/uMain.h"

namespace updater::win32 {
namespace {

constexpr int kClientWidth = 476;
constexpr int kClientHeight = 473;
constexpr int kConnectionHeight = 161;
constexpr int kStripHeight = 42;
constexpr int kSeparatorHeight = 2;
constexpr int kEditHeight = 21;  // an 8-point single-line field with its 3-D border

// The find-computer animation among the shell's own.
constexpr int kFindComputerAnimation = 152;

// A font of `points` points at the screen's resolution.
HFONT MakeFont(const wchar_t* face, int points, int weight) {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

void AppendRadioEntry(HMENU menu, int id, const wchar_t* text) {
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text);
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_FTYPE;
  GetMenuItemInfoW(menu, static_cast<UINT>(id), FALSE, &item);
  item.fType |= MFT_RADIOCHECK;
  SetMenuItemInfoW(menu, static_cast<UINT>(id), FALSE, &item);
}

int PositionOf(HMENU bar, HMENU popup) {
  const int count = GetMenuItemCount(bar);
  for (int position = 0; position < count; ++position) {
    if (GetSubMenu(bar, position) == popup) return position;
  }
  return -1;
}

bool IsLabel(int id) {
  return id == kLProgramLocation || id == kLAdmnPassword || id == kLPassword || id == kLabel1;
}

}  // namespace

void TfrmMain::CreateFonts() {
  font_.Reset(MakeFont(L"MS Sans Serif", 8, FW_NORMAL));
  bold_font_.Reset(MakeFont(L"MS Sans Serif", 8, FW_BOLD));
  caption_font_.Reset(MakeFont(L"Tahoma", 10, FW_BOLD));
}

void TfrmMain::CreateMenus() {
  menu_bar_ = CreateMenu();
  project_menu_ = CreatePopupMenu();
  AppendRadioEntry(project_menu_, kMmProjectMarlix, L"Marlix");
  AppendRadioEntry(project_menu_, kMmProjectRezorazera, L"Rezorazera");
  AppendRadioEntry(project_menu_, kMmProjectTessamMini, L"Tessam_Mini");
  AppendRadioEntry(project_menu_, kMmProjectTessam, L"Tessam");
  AppendMenuW(menu_bar_, MF_POPUP, reinterpret_cast<UINT_PTR>(project_menu_), L"Проект");
  operations_menu_ = CreatePopupMenu();
  AppendMenuW(operations_menu_, MF_STRING, kMmOperationsOnline,
              L"Перевести базу данных в многопользовательский режим (Online)");
  AppendMenuW(operations_menu_, MF_STRING, kMmOperationsShutdown,
              L"Перевести базу данных в однопользовательский режим (Shutdown)");
  AppendMenuW(operations_menu_, MF_STRING, kMmOperationsServiceStart,
              L"Запустить службу Firebird-сервера");
  AppendMenuW(operations_menu_, MF_STRING, kMmOperationsServiceStop,
              L"Остановить службу Firebird-сервера");
  AppendMenuW(menu_bar_, MF_POPUP, reinterpret_cast<UINT_PTR>(operations_menu_), L"Сервис");
  AppendMenuW(menu_bar_, MF_STRING, kMmHelp, L"Справка");
}

HWND TfrmMain::AddControl(HWND parent, const wchar_t* window_class, const wchar_t* text,
                          DWORD style, DWORD ex_style, int id, int left, int top, int width,
                          int height, HFONT font) {
  HWND control = CreateWindowExW(ex_style, window_class, text, WS_CHILD | style, left, top, width,
                                 height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance_, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void TfrmMain::CreateControls() {
  // The keyboard order follows the order of creation: the button strip,
  // then the connection group, then the log.
  HWND strip = CreatePanel(window_, kButtonStrip,
                           RECT{0, kClientHeight - kStripHeight, kClientWidth, kClientHeight}, L"",
                           false, font_.get());
  AddControl(strip, L"STATIC", nullptr, SS_BITMAP | SS_CENTERIMAGE, 0, kImage1, 0, 0, 49, 42,
             font_.get());
  HWND animation = AddControl(strip, ANIMATE_CLASSW, nullptr, ACS_TRANSPARENT | ACS_CENTER, 0,
                              kAProgress, 4, 0, 41, 41, font_.get());
  // Without the shell's animation the area stays empty: nothing the
  // operator needs is lost.
  SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(LoadLibraryW(L"shell32.dll")),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kFindComputerAnimation)));
  AddControl(strip, L"BUTTON", L"&Старт", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kOKBtn, 332,
             8, 68, 25, font_.get());
  AddControl(strip, L"BUTTON", L"Выход", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kCancelBtn,
             404, 8, 68, 25, font_.get());
  AddControl(strip, L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY, 0,
             kMCaptions, 49, 5, 280, 32, caption_font_.get());

  HWND connection =
      CreatePanel(window_, kConnectionGroup, RECT{0, 0, kClientWidth, kConnectionHeight},
                  L" Подключение  ", true, bold_font_.get());
  const DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  const DWORD field = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
  AddControl(connection, L"STATIC", L"Путь к обновляемой программе:", label, 0, kLProgramLocation,
             8, 17, 0, 0, font_.get());
  AddControl(connection, L"EDIT", L"", field, WS_EX_CLIENTEDGE, kEProgramLocation, 8, 32, 430,
             kEditHeight, font_.get());
  AddControl(connection, L"BUTTON", L"...", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0,
             kBbProgramLocation, 443, 30, 24, 24, font_.get());
  AddControl(connection, L"STATIC", L"Пароль пользователя ADMN (требуется при обновлении сервера):",
             label, 0, kLAdmnPassword, 8, 58, 0, 0, font_.get());
  HWND admn = AddControl(connection, L"EDIT", L"", field | ES_PASSWORD, WS_EX_CLIENTEDGE,
                         kEAdmnPassword, 8, 73, 177, kEditHeight, font_.get());
  AddControl(connection, L"STATIC", L"Системный пароль: (требуется при обновлении ", label, 0,
             kLPassword, 8, 99, 0, 0, font_.get());
  AddControl(connection, L"STATIC", L"сервера; как правило, не редактируется)", label, 0, kLabel1,
             8, 111, 0, 0, font_.get());
  HWND password = AddControl(connection, L"EDIT", L"", field | ES_PASSWORD, WS_EX_CLIENTEDGE,
                             kEPassword, 8, 127, 177, kEditHeight, font_.get());
  for (HWND secret : {admn, password}) SendMessageW(secret, EM_SETPASSWORDCHAR, L'*', 0);

  HWND log_group = CreatePanel(
      window_, kLogGroup,
      RECT{0, kConnectionHeight, kClientWidth, kClientHeight - kStripHeight - kSeparatorHeight},
      L" Лог работы ", true, font_.get());
  const POINT inner = PanelInnerOrigin(log_group);
  RECT group{};
  GetClientRect(log_group, &group);
  HWND memo = AddControl(log_group, L"EDIT", L"",
                         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                             ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                         WS_EX_CLIENTEDGE, kMLog, inner.x, inner.y, group.right - 2 * inner.x,
                         group.bottom - inner.y - inner.x, font_.get());
  // The log only grows while the program runs: no limit of the control's own.
  SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);

  AddControl(window_, L"STATIC", nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 0, kSeparator, 0,
             kClientHeight - kStripHeight - kSeparatorHeight, kClientWidth, kSeparatorHeight,
             font_.get());
}

void TfrmMain::CreateTooltips() {
  tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                              nullptr, instance_, nullptr);
  const struct {
    int id;
    const wchar_t* text;
  } tips[] = {{kOKBtn, L"Запустить обновление"}, {kCancelBtn, L"Выход из программы"}};
  for (const auto& tip : tips) {
    TTTOOLINFOW tool{};
    // The size every version of the common controls takes.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(tip.id));
    tool.lpszText = const_cast<wchar_t*>(tip.text);
    SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void TfrmMain::AutoSizeLabel(HWND label) {
  const std::wstring text = WindowTextOf(label);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, size.cx, metrics.tmHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::SetClientSize() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                     GetMenu(window_) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar that wraps or a frame of another size: correct by what the
  // client area came out as.
  RECT client{};
  GetClientRect(window_, &client);
  if (client.right != kClientWidth || client.bottom != kClientHeight) {
    RECT window{};
    GetWindowRect(window_, &window);
    SetWindowPos(window_, nullptr, 0, 0, window.right - window.left + kClientWidth - client.right,
                 window.bottom - window.top + kClientHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TfrmMain::SetMenuBackground(COLORREF colour) {
  BrushHandle brush(CreateSolidBrush(colour));
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
  info.hbrBack = brush.get();
  SetMenuInfo(menu_bar_, &info);
  menu_brush_ = std::move(brush);
  if (window_ != nullptr) DrawMenuBar(window_);
}

void TfrmMain::FormShow() {
  plain_look_ = fields_.Profile.ProjectCode == "Marlix";
  if (!plain_look_) return;  // the window is designed in the coloured look
  SetWindowTextW(window_, platform::Widen(prompt_.Title()).c_str());
  // The Project menu leaves the bar but stays ours: its handlers remain.
  if (const int position = PositionOf(menu_bar_, project_menu_); position >= 0) {
    MENUINFO detached{};
    detached.cbSize = sizeof detached;
    detached.fMask = MIM_BACKGROUND;
    detached.hbrBack = nullptr;
    SetMenuInfo(project_menu_, &detached);
    RemoveMenu(menu_bar_, static_cast<UINT>(position), MF_BYPOSITION);
    project_on_bar_ = false;
  }
  DeleteMenu(menu_bar_, kMmHelp, MF_BYCOMMAND);
  ApplyLook(true);
  SetClientSize();
}

void TfrmMain::ApplyLook(bool plain) {
  window_colour_ = GetSysColor(plain ? COLOR_BTNFACE : COLOR_WINDOW);
  window_brush_.Reset(CreateSolidBrush(window_colour_));
  caption_background_ = GetSysColor(plain ? COLOR_BTNFACE : COLOR_WINDOW);
  caption_brush_.Reset(CreateSolidBrush(caption_background_));
  label_colour_ = GetSysColor(plain ? COLOR_WINDOWTEXT : COLOR_WINDOW);

  const COLORREF panels = GetSysColor(plain ? COLOR_BTNFACE : COLOR_CAPTIONTEXT);
  SetPanelBackground(GetDlgItem(window_, kConnectionGroup), panels, plain ? nullptr : logo_.get());
  SetPanelBackground(GetDlgItem(window_, kLogGroup), panels, nullptr);
  SetPanelBackground(GetDlgItem(window_, kButtonStrip), panels, nullptr);

  for (int id : {kLProgramLocation, kLPassword, kLabel1, kLAdmnPassword}) {
    HWND label = Control(id);
    HFONT font = plain || id == kLAdmnPassword ? font_.get() : bold_font_.get();
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    AutoSizeLabel(label);
  }
  for (int id : {kLAdmnPassword, kEAdmnPassword}) {
    ShowWindow(Control(id), plain ? SW_SHOWNA : SW_HIDE);
  }
  SetMenuBackground(plain ? GetSysColor(COLOR_BTNFACE) : RGB(255, 255, 255));
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

LRESULT TfrmMain::OnControlColour(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == kMCaptions) {
    SetTextColor(dc, caption_colour_);
    SetBkColor(dc, caption_background_);
    return reinterpret_cast<LRESULT>(caption_brush_.get());
  }
  if (id == kMLog) {
    // Read-only, but a log to read: the colours of a field.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  HWND parent = GetParent(control);
  if (IsLabel(id)) {
    SetTextColor(dc, label_colour_);
    return reinterpret_cast<LRESULT>(PanelBackgroundFor(parent, control, dc));
  }
  if (id == kImage1 || id == kAProgress) {
    SetBkColor(dc, PanelColour(parent));
    return reinterpret_cast<LRESULT>(PanelBackgroundFor(parent, control, dc));
  }
  return 0;
}

}  // namespace updater::win32
