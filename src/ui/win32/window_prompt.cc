#include "ui/win32/window_prompt.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "ui/win32/gdi_handles.h"

namespace updater::win32 {
namespace {

// One box as it is to be shown.
struct BoxDesign {
  std::wstring caption;
  std::wstring text;
  LPCWSTR icon;  // a system icon, or null for none
  struct Button {
    int id;
    const wchar_t* text;
    PromptAnswer answer;
  };
  std::vector<Button> buttons;  // in keyboard order
  int focused_id;               // the button with the focus at first
  PromptAnswer escape_answer;
  FontHandle font;  // the system's message font
  PromptAnswer answer = PromptAnswer::Cancel;
};

constexpr int kIconId = 20;
constexpr int kTextId = 21;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

HFONT MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

HWND AddControl(HWND box, const wchar_t* window_class, const wchar_t* text, DWORD style, int id,
                const RECT& at, HFONT font) {
  HWND control = CreateWindowExW(
      0, window_class, text, WS_CHILD | WS_VISIBLE | style, at.left, at.top, at.right - at.left,
      at.bottom - at.top, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(box, GWLP_HINSTANCE)), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Lays the box out around its text, centres it on the screen and sets the
// first focus.
void Build(HWND box, BoxDesign& design) {
  SetWindowTextW(box, design.caption.c_str());
  HFONT font = design.font.get();
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, font);
  RECT text_size{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextW(dc, design.text.c_str(), -1, &text_size,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(box, dc);

  const int icon_size = design.icon != nullptr ? GetSystemMetrics(SM_CXICON) : 0;
  const int text_left = kMargin + (icon_size > 0 ? icon_size + kMargin : 0);
  const int content_height = std::max<int>(icon_size, text_size.bottom);
  const int buttons_width =
      static_cast<int>(design.buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
  const int client_width =
      std::max<int>(text_left + text_size.right + kMargin, buttons_width + 2 * kMargin);
  const int buttons_top = kMargin + content_height + kMargin;
  const int client_height = buttons_top + kButtonHeight + kMargin;

  if (design.icon != nullptr) {
    HWND icon = AddControl(box, L"STATIC", nullptr, SS_ICON, kIconId,
                           RECT{kMargin, kMargin, kMargin + icon_size, kMargin + icon_size}, font);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, design.icon)), 0);
  }
  const int text_top = kMargin + (content_height - text_size.bottom) / 2;
  AddControl(box, L"STATIC", design.text.c_str(), SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kTextId,
             RECT{text_left, text_top, text_left + text_size.right, text_top + text_size.bottom},
             font);

  // The buttons stand left to right in their usual places (Yes before No),
  // while their order of creation is the keyboard order.
  std::vector<BoxDesign::Button> by_place = design.buttons;
  std::sort(by_place.begin(), by_place.end(),
            [](const BoxDesign::Button& a, const BoxDesign::Button& b) { return a.id < b.id; });
  const int buttons_left = (client_width - buttons_width) / 2;
  for (const BoxDesign::Button& button : design.buttons) {
    const auto place = std::find_if(by_place.begin(), by_place.end(),
                                    [&](const BoxDesign::Button& b) { return b.id == button.id; });
    const int left =
        buttons_left + static_cast<int>(place - by_place.begin()) * (kButtonWidth + kButtonGap);
    AddControl(box, L"BUTTON", button.text, WS_TABSTOP | BS_PUSHBUTTON, button.id,
               RECT{left, buttons_top, left + kButtonWidth, buttons_top + kButtonHeight}, font);
  }

  RECT frame{0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);

  HWND focused = GetDlgItem(box, design.focused_id);
  SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(design.focused_id), 0);
  SendMessageW(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focused), TRUE);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* design = reinterpret_cast<BoxDesign*>(GetWindowLongPtrW(box, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(box, DWLP_USER, lparam);
      Build(box, *reinterpret_cast<BoxDesign*>(lparam));
      return FALSE;  // Build has set the focus
    case WM_COMMAND: {
      if (design == nullptr || HIWORD(wparam) != BN_CLICKED) break;
      const int id = LOWORD(wparam);
      if (id == IDCANCEL) {
        // Esc: the dialog manager reports it as IDCANCEL, which no button has.
        design->answer = design->escape_answer;
        EndDialog(box, 0);
        return TRUE;
      }
      for (const BoxDesign::Button& button : design->buttons) {
        if (button.id == id) {
          design->answer = button.answer;
          EndDialog(box, 0);
          return TRUE;
        }
      }
      break;
    }
    case WM_CLOSE:
      // The close box or Alt+F4: closed without a button.
      if (design != nullptr) design->answer = PromptAnswer::Cancel;
      EndDialog(box, 0);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

// An empty dialog template: the box's controls are made when it opens.
std::vector<WORD> EmptyTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
  header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;
  header->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  // Then: no menu, the standard dialog class, an empty title (three zero words).
  return words;
}

PromptAnswer Show(HINSTANCE instance, HWND owner, BoxDesign design) {
  design.font.Reset(MessageFont());
  const std::vector<WORD> dialog = EmptyTemplate();
  const INT_PTR shown =
      DialogBoxIndirectParamW(instance, reinterpret_cast<const DLGTEMPLATE*>(dialog.data()),
                              owner != nullptr && IsWindow(owner) ? owner : nullptr, BoxProc,
                              reinterpret_cast<LPARAM>(&design));
  // A box that cannot be shown at all (no memory for a window) answers as a
  // box closed without a button: the callers treat that as the safe answer.
  if (shown == -1) return PromptAnswer::Cancel;
  return design.answer;
}

const BoxDesign::Button kOk{IDOK, L"OK", PromptAnswer::Ok};
const BoxDesign::Button kYes{IDYES, L"&Yes", PromptAnswer::Yes};
const BoxDesign::Button kNo{IDNO, L"&No", PromptAnswer::No};

}  // namespace

std::wstring DisplayText(const std::string& text) {
  std::string crlf;
  crlf.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    crlf += text[i];
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) crlf += '\n';
  }
  return platform::Widen(crlf);
}

PromptAnswer WindowPrompt::ShowWarning(const std::string& text) {
  return Show(instance_, owner_,
              {L"Warning", DisplayText(text), IDI_WARNING, {kOk}, IDOK, PromptAnswer::Ok, {}});
}

PromptAnswer WindowPrompt::ShowInformation(const std::string& text) {
  return Show(
      instance_, owner_,
      {L"Information", DisplayText(text), IDI_INFORMATION, {kOk}, IDOK, PromptAnswer::Ok, {}});
}

PromptAnswer WindowPrompt::ShowError(const std::string& text) {
  return Show(instance_, owner_,
              {L"Error", DisplayText(text), IDI_ERROR, {kOk}, IDOK, PromptAnswer::Ok, {}});
}

PromptAnswer WindowPrompt::ShowNotice(const std::string& text) {
  return Show(
      instance_, owner_,
      {platform::Widen(title_), DisplayText(text), nullptr, {kOk}, IDOK, PromptAnswer::Ok, {}});
}

PromptAnswer WindowPrompt::AskYesNo(const std::string& text) {
  return Show(
      instance_, owner_,
      {L"Warning", DisplayText(text), IDI_WARNING, {kYes, kNo}, IDYES, PromptAnswer::No, {}});
}

PromptAnswer WindowPrompt::AskYesNoFocusNo(const std::string& text) {
  return Show(instance_, owner_,
              {L"Information",
               DisplayText(text),
               IDI_INFORMATION,
               {kNo, kYes},
               IDNO,
               PromptAnswer::No,
               {}});
}

void WindowPrompt::ShowFailure(const std::string& text) {
  MessageBoxW(owner_ != nullptr && IsWindow(owner_) ? owner_ : nullptr, DisplayText(text).c_str(),
              platform::Widen(title_).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace updater::win32
