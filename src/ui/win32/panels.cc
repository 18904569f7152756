#include "ui/win32/panels.h"

#include <algorithm>
#include <string>

#include "ui/win32/bitmaps.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/gdi_handles.h"

namespace updater::win32 {
namespace {

// What one container keeps; it lives from WM_NCCREATE to WM_NCDESTROY.
struct PanelState {
  bool framed = false;
  HFONT caption_font = nullptr;  // the main window's font; not owned
  COLORREF colour = RGB(255, 255, 255);
  HBITMAP picture = nullptr;  // not owned
  BitmapHandle background;    // the colour and the picture, as painted
  BrushHandle background_brush;
};

PanelState* StateOf(HWND panel) {
  return reinterpret_cast<PanelState*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
}

int CaptionHeight(HWND panel, const PanelState& state) {
  if (!state.framed) return 0;
  HDC dc = GetDC(panel);
  HGDIOBJ old = SelectObject(dc, state.caption_font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(panel, dc);
  return metrics.tmHeight;
}

// The inner area's origin as a TGroupBox computes its client area: the
// caption's height, then one pixel of frame and one of its 3-D edge.
POINT InnerOrigin(HWND panel, const PanelState& state) {
  if (!state.framed) return POINT{0, 0};
  return POINT{2, CaptionHeight(panel, state) + 2};
}

// Draws the background (colour, picture) into a bitmap of the container's
// size, from which both the container and its transparent labels paint.
void RebuildBackground(HWND panel, PanelState& state) {
  RECT client{};
  GetClientRect(panel, &client);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  state.background.Reset(CreateCompatibleBitmap(screen, client.right, client.bottom));
  ReleaseDC(nullptr, screen);
  HGDIOBJ old_bitmap = SelectObject(dc, state.background.get());
  BrushHandle fill(CreateSolidBrush(state.colour));
  FillRect(dc, &client, fill.get());
  if (state.picture != nullptr) {
    const POINT origin = InnerOrigin(panel, state);
    const SIZE size = BitmapSize(state.picture);
    const int inset = state.framed ? 2 : 0;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old_source = SelectObject(source, state.picture);
    BitBlt(dc, origin.x, origin.y, std::min<int>(size.cx, client.right - inset - origin.x),
           std::min<int>(size.cy, client.bottom - inset - origin.y), source, 0, 0, SRCCOPY);
    SelectObject(source, old_source);
    DeleteDC(source);
  }
  SelectObject(dc, old_bitmap);
  DeleteDC(dc);
  state.background_brush.Reset(CreatePatternBrush(state.background.get()));
}

void Paint(HWND panel, PanelState& state) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(panel, &paint);
  RECT client{};
  GetClientRect(panel, &client);
  if (!state.background) RebuildBackground(panel, state);
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old_source = SelectObject(source, state.background.get());
  BitBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
  SelectObject(source, old_source);
  DeleteDC(source);
  if (state.framed) {
    const int caption_height = CaptionHeight(panel, state);
    RECT frame = client;
    frame.top = caption_height / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = WindowTextOf(panel);
    HGDIOBJ old_font = SelectObject(dc, state.caption_font);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, state.colour);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(panel) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    TextOutW(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
    SelectObject(dc, old_font);
  }
  EndPaint(panel, &paint);
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
  PanelState* state = StateOf(panel);
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new PanelState));
      break;
    case WM_NCDESTROY:
      delete state;
      SetWindowLongPtrW(panel, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (state != nullptr) {
        Paint(panel, *state);
        return 0;
      }
      break;
    case WM_SIZE:
      if (state != nullptr) state->background.Reset();
      break;
    case WM_SETFONT:
      if (state != nullptr) state->caption_font = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_GETFONT:
      return state != nullptr ? reinterpret_cast<LRESULT>(state->caption_font) : 0;
    case WM_SETTEXT:
    case WM_ENABLE: {
      const LRESULT result = DefWindowProcW(panel, message, wparam, lparam);
      InvalidateRect(panel, nullptr, FALSE);
      return result;
    }
    // The controls' notifications belong to the main window, which decides.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(panel), message, wparam, lparam);
    default:
      break;
  }
  return DefWindowProcW(panel, message, wparam, lparam);
}

}  // namespace

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  if (GetClassInfoExW(instance, kPanelClass, &window_class)) return;
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = PanelProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kPanelClass;
  RegisterClassExW(&window_class);
}

HWND CreatePanel(HWND parent, int id, const RECT& bounds, const wchar_t* caption, bool framed,
                 HFONT caption_font) {
  HWND panel = CreateWindowExW(
      WS_EX_CONTROLPARENT, kPanelClass, caption, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (PanelState* state = StateOf(panel)) {
    state->framed = framed;
    state->caption_font = caption_font;
  }
  return panel;
}

POINT PanelInnerOrigin(HWND panel) {
  PanelState* state = StateOf(panel);
  return state != nullptr ? InnerOrigin(panel, *state) : POINT{0, 0};
}

void SetPanelBackground(HWND panel, COLORREF colour, HBITMAP picture) {
  PanelState* state = StateOf(panel);
  if (state == nullptr) return;
  state->colour = colour;
  state->picture = picture;
  RebuildBackground(panel, *state);
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

COLORREF PanelColour(HWND panel) {
  PanelState* state = StateOf(panel);
  return state != nullptr ? state->colour : GetSysColor(COLOR_BTNFACE);
}

HBRUSH PanelBackgroundFor(HWND panel, HWND control, HDC dc) {
  PanelState* state = StateOf(panel);
  if (state == nullptr) return GetSysColorBrush(COLOR_BTNFACE);
  if (!state->background) RebuildBackground(panel, *state);
  RECT bounds{};
  GetWindowRect(control, &bounds);
  MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&bounds), 2);
  // The brush's pattern starts at the container's corner, not the label's.
  SetBrushOrgEx(dc, -bounds.left, -bounds.top, nullptr);
  SetBkMode(dc, TRANSPARENT);
  return state->background_brush.get();
}

}  // namespace updater::win32
