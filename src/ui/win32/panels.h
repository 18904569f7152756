// The containers of the main window: the connection group and the log group
// (an etched frame with a caption, like a group box) and the button strip
// (no frame). A container paints its background in its own colour, with an
// optional picture in the top left corner of its inner area, lends its
// transparent labels the same background, and passes its controls'
// notifications (commands, colours) on to the main window.
#pragma once

#include <windows.h>

namespace updater::win32 {

// Registers the container class (kPanelClass) once per process.
void RegisterPanelClass(HINSTANCE instance);

// A container at `bounds` in `parent`, with `caption` (the window text) drawn
// in `caption_font` on its frame when `framed`. Its controls take part in the
// parent's keyboard order (WS_EX_CONTROLPARENT).
HWND CreatePanel(HWND parent, int id, const RECT& bounds, const wchar_t* caption, bool framed,
                 HFONT caption_font);

// The top left corner of the area inside the frame: below the caption and
// inside the frame's two lines; (0, 0) for a container without a frame.
POINT PanelInnerOrigin(HWND panel);

// Paints the container in `colour` from now on, with `picture` (may be null;
// the caller keeps it alive) drawn at PanelInnerOrigin, clipped to the area
// inside the frame.
void SetPanelBackground(HWND panel, COLORREF colour, HBITMAP picture);

// The container's current colour.
COLORREF PanelColour(HWND panel);

// For a control of the container that is drawn transparently (a label):
// prepares `dc` so that the brush returned paints exactly the container's
// background (picture included) behind `control`.
HBRUSH PanelBackgroundFor(HWND panel, HWND control, HDC dc);

}  // namespace updater::win32
