// A driver for the updater's windows, as an operator's eyes and hands: it
// reads what a window shows (positions, texts, fonts, styles, the keyboard
// order) and answers the boxes that appear, from a thread of its own, in
// this process or in another one.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace updater::testing {

// --- Reading windows ------------------------------------------------------

// The window's text (WM_GETTEXT, so also across processes), as UTF-8.
std::string TextOf(HWND window);
// The window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window);
// The font the control draws with (WM_GETFONT; this process only).
LOGFONTW FontOf(HWND control);
std::string FaceOf(const LOGFONTW& font);
// The point size of a font of `height` logical units at the screen's resolution.
int PointsOf(const LOGFONTW& font);
LONG_PTR StyleOf(HWND window);
LONG_PTR ExStyleOf(HWND window);
// The top-level menu's entries as their texts, in order.
std::vector<std::string> MenuBarTexts(HMENU bar);
// The colour of the pixel of `window`'s client area at `x`, `y`, as drawn on
// the screen now.
COLORREF PixelOf(HWND window, int x, int y);

// --- Boxes ------------------------------------------------------------------

// One box as the operator saw it.
struct SeenBox {
  HWND window = nullptr;
  std::string caption;
  std::string text;                  // line breaks as CR LF
  std::vector<std::string> buttons;  // in keyboard order
  std::string focused;               // the button that had the focus
  HICON icon = nullptr;              // the icon shown, or none
  RECT place{};                      // on the screen
};

// What to do with a box.
enum class BoxAction {
  kEnter,    // presses Enter
  kEscape,   // presses Esc
  kClose,    // closes it with its close box (the system menu's Close)
  kClick,    // clicks the button whose text is `button`
  kNothing,  // leaves it open (a later step or the test closes it)
};

struct BoxStep {
  BoxStep(BoxAction action = BoxAction::kEnter, std::string button = {},
          std::function<void(const SeenBox&)> while_open = {}, std::vector<BoxStep> over_it = {})
      : action(action),
        button(std::move(button)),
        while_open(std::move(while_open)),
        over_it(std::move(over_it)) {}

  BoxAction action = BoxAction::kEnter;
  std::string button;  // for kClick
  // Called on the driver's thread while the box is open, before the action:
  // a look at the rest of the program at that moment (it may also make the
  // program open further boxes over this one: see `over_it`).
  std::function<void(const SeenBox&)> while_open;
  // Boxes expected over this one once `while_open` has run, answered before
  // this box's own action.
  std::vector<BoxStep> over_it;
};

// Answers the boxes that the windows of one thread (in this process) or of
// one process show, step by step, on a thread of its own. A box beyond the
// steps is recorded and closed, so that a test that meets an unexpected box
// fails instead of hanging.
class BoxAnswerer {
 public:
  // Boxes of the thread `thread_id` of this process.
  static std::unique_ptr<BoxAnswerer> ForThread(DWORD thread_id, std::vector<BoxStep> steps);
  // Boxes of the process `process_id`.
  static std::unique_ptr<BoxAnswerer> ForProcess(DWORD process_id, std::vector<BoxStep> steps);
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  // Waits until every step has been taken (up to `seconds`); false when a
  // step's box did not come.
  bool WaitForSteps(int seconds = 60);
  // The boxes seen so far, in order (copies; safe while the thread runs).
  std::vector<SeenBox> Seen();
  // "<caption>: <text>" of each box seen, text with CR LF turned back to CR.
  std::vector<std::string> Transcript();

 private:
  struct State;
  explicit BoxAnswerer(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

// The visible top-level windows of the process `process_id` whose class is
// `window_class` (empty: any).
std::vector<HWND> WindowsOfProcess(DWORD process_id, const std::wstring& window_class);

// Runs `condition` every few milliseconds until it holds or `seconds` pass,
// handling this thread's messages meanwhile; whether it came to hold.
bool WaitUntil(const std::function<bool()>& condition, int seconds = 30);

// Sees every message sent to the windows of this thread while it lives (a
// WH_CALLWNDPROC hook), just before the window handles it: a look at the
// window at the moment something happens to it.
class MessageSpy {
 public:
  explicit MessageSpy(std::function<void(const CWPSTRUCT&)> seen);
  ~MessageSpy();
  MessageSpy(const MessageSpy&) = delete;
  MessageSpy& operator=(const MessageSpy&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);
  std::function<void(const CWPSTRUCT&)> seen_;
  HHOOK hook_ = nullptr;
};

// --- The built updater ------------------------------------------------------

// The built updater (or a copy of it), started as a process of its own, in
// its own folder; ended by force if it still runs when this goes.
class RunningUpdater {
 public:
  explicit RunningUpdater(const std::string& executable);
  ~RunningUpdater();
  RunningUpdater(const RunningUpdater&) = delete;
  RunningUpdater& operator=(const RunningUpdater&) = delete;

  bool started() const { return started_; }
  DWORD id() const { return process_.dwProcessId; }
  // The main window once it is visible; null when it did not show.
  HWND WaitForWindow(int seconds = 60) const;
  // Types `text` into the connection group's field `field` (a ControlId).
  void Fill(HWND window, int field, const std::string& text) const;
  // Chooses "Перевести базу данных в многопользовательский режим (Online)"
  // for the product folder `folder` and answers the box it ends with; the
  // box's text.
  std::string BringDatabaseOnline(HWND window, const std::string& folder) const;
  // Closes the window as its close box does; the exit code, or -1 when the
  // program did not end.
  int Close(HWND window);

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

// Saves what `window` shows on the screen, frame and menu included, as a
// 24-bit .bmp file at `path`; false when it could not.
bool SaveWindowPicture(HWND window, const std::string& path);

}  // namespace updater::testing
