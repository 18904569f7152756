#include "window_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "ui/win32/control_ids.h"

namespace updater::testing {
namespace {

using platform::Narrow;
using platform::Widen;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A message sent with a bound on the wait, for windows of other threads and
// processes that may be busy.
LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

struct WindowSearch {
  DWORD process_id;
  DWORD thread_id;
  std::wstring window_class;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM search_pointer) {
  auto* search = reinterpret_cast<WindowSearch*>(search_pointer);
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(window, &process);
  if (search->process_id != 0 && process != search->process_id) return TRUE;
  if (search->thread_id != 0 && thread != search->thread_id) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  if (!search->window_class.empty() && ClassOf(window) != search->window_class) return TRUE;
  search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD process_id, DWORD thread_id, const std::wstring& type) {
  WindowSearch search{process_id, thread_id, type, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

HWND FocusOfThreadOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

SeenBox Read(HWND box) {
  SeenBox seen;
  seen.window = box;
  seen.caption = TextOf(box);
  GetWindowRect(box, &seen.place);
  std::vector<HWND> children;
  EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    const std::wstring type = ClassOf(child);
    if (_wcsicmp(type.c_str(), L"Button") == 0) {
      seen.buttons.push_back(TextOf(child));
    } else if (_wcsicmp(type.c_str(), L"Static") == 0) {
      if ((StyleOf(child) & SS_TYPEMASK) == SS_ICON) {
        seen.icon = reinterpret_cast<HICON>(Send(child, STM_GETICON, 0, 0));
      } else if (seen.text.empty()) {
        seen.text = TextOf(child);
      }
    }
  }
  HWND focus = FocusOfThreadOf(box);
  if (focus != nullptr && IsChild(box, focus)) seen.focused = TextOf(focus);
  return seen;
}

void PressKey(HWND box, WPARAM key) {
  HWND focus = FocusOfThreadOf(box);
  HWND target = focus != nullptr && IsChild(box, focus) ? focus : box;
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void Act(HWND box, const BoxStep& step) {
  switch (step.action) {
    case BoxAction::kEnter:
      PressKey(box, VK_RETURN);
      break;
    case BoxAction::kEscape:
      PressKey(box, VK_ESCAPE);
      break;
    case BoxAction::kClose:
      PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case BoxAction::kClick: {
      std::vector<HWND> children;
      EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
      for (HWND child : children) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && TextOf(child) == step.button) {
          PostMessageW(child, BM_CLICK, 0, 0);
        }
      }
      break;
    }
    case BoxAction::kNothing:
      break;
  }
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  while (!condition()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
  return true;
}

std::string WithLoneCr(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += '\r';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string TextOf(HWND window) {
  const auto length = static_cast<size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<size_t>(
      Send(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(copied, length));
  return Narrow(text);
}

RECT PlaceOf(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (handle == nullptr) handle = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  GetObjectW(handle, sizeof font, &font);
  return font;
}

std::string FaceOf(const LOGFONTW& font) { return Narrow(font.lfFaceName); }

int PointsOf(const LOGFONTW& font) {
  HDC screen = GetDC(nullptr);
  const int points = MulDiv(std::abs(font.lfHeight), 72, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return points;
}

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

LONG_PTR ExStyleOf(HWND window) { return GetWindowLongPtrW(window, GWL_EXSTYLE); }

std::vector<std::string> MenuBarTexts(HMENU bar) {
  std::vector<std::string> texts;
  const int count = GetMenuItemCount(bar);
  for (int position = 0; position < count; ++position) {
    wchar_t text[128] = {};
    GetMenuStringW(bar, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    texts.push_back(Narrow(text));
  }
  return texts;
}

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

// --- The box answerer ------------------------------------------------------------

struct BoxAnswerer::State {
  DWORD process_id = 0;
  DWORD thread_id = 0;
  std::vector<BoxStep> steps;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<SeenBox> seen;
  size_t steps_taken = 0;
  std::atomic<bool> stop{false};
  std::thread thread;

  std::vector<HWND> Boxes() { return VisibleWindows(process_id, thread_id, L"#32770"); }

  // Waits for a box that is not in `known` and returns it, or null.
  HWND NextBox(const std::set<HWND>& known, int milliseconds) {
    HWND next = nullptr;
    WaitFor(
        [&] {
          if (stop) return true;
          for (HWND box : Boxes()) {
            if (known.count(box) == 0) {
              next = box;
              return true;
            }
          }
          return false;
        },
        milliseconds);
    return next;
  }

  // Reads `box`, runs `step` on it and waits until it has gone (unless the
  // step leaves it open).
  void Handle(HWND box, const BoxStep& step, std::set<HWND>& known) {
    Sleep(50);  // let the box finish setting its focus
    const SeenBox read = Read(box);
    {
      std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(read);
    }
    if (step.while_open) step.while_open(read);
    known.insert(box);
    for (const BoxStep& over : step.over_it) {
      if (HWND other = NextBox(known, 30000)) Handle(other, over, known);
    }
    Act(box, step);
    if (step.action != BoxAction::kNothing) {
      WaitFor([&] { return stop || !IsWindow(box) || !IsWindowVisible(box); }, 10000);
      known.erase(box);
    }
  }

  void Run() {
    std::set<HWND> known;
    while (!stop) {
      HWND box = NextBox(known, 100);
      if (box == nullptr) continue;
      std::unique_lock<std::mutex> lock(mutex);
      const bool scripted = steps_taken < steps.size();
      const BoxStep step = scripted ? steps[steps_taken] : BoxStep(BoxAction::kClose);
      lock.unlock();
      Handle(box, step, known);
      lock.lock();
      if (scripted) ++steps_taken;
      changed.notify_all();
    }
  }
};

BoxAnswerer::BoxAnswerer(std::shared_ptr<State> state) : state_(std::move(state)) {
  state_->thread = std::thread([state = state_] { state->Run(); });
}

std::unique_ptr<BoxAnswerer> BoxAnswerer::ForThread(DWORD thread_id, std::vector<BoxStep> steps) {
  auto state = std::make_shared<State>();
  state->process_id = GetCurrentProcessId();
  state->thread_id = thread_id;
  state->steps = std::move(steps);
  return std::unique_ptr<BoxAnswerer>(new BoxAnswerer(state));
}

std::unique_ptr<BoxAnswerer> BoxAnswerer::ForProcess(DWORD process_id, std::vector<BoxStep> steps) {
  auto state = std::make_shared<State>();
  state->process_id = process_id;
  state->steps = std::move(steps);
  return std::unique_ptr<BoxAnswerer>(new BoxAnswerer(state));
}

BoxAnswerer::~BoxAnswerer() {
  state_->stop = true;
  if (state_->thread.joinable()) state_->thread.join();
}

bool BoxAnswerer::WaitForSteps(int seconds) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, std::chrono::seconds(seconds),
                                  [&] { return state_->steps_taken >= state_->steps.size(); });
}

std::vector<SeenBox> BoxAnswerer::Seen() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->seen;
}

std::vector<std::string> BoxAnswerer::Transcript() {
  std::vector<std::string> lines;
  for (const SeenBox& box : Seen()) lines.push_back(box.caption + ": " + WithLoneCr(box.text));
  return lines;
}

std::vector<HWND> WindowsOfProcess(DWORD process_id, const std::wstring& window_class) {
  return VisibleWindows(process_id, 0, window_class);
}

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  for (;;) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (condition()) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
}

namespace {
thread_local MessageSpy* active_spy = nullptr;
}  // namespace

MessageSpy::MessageSpy(std::function<void(const CWPSTRUCT&)> seen) : seen_(std::move(seen)) {
  active_spy = this;
  hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
}

MessageSpy::~MessageSpy() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  active_spy = nullptr;
}

LRESULT CALLBACK MessageSpy::Hook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && active_spy != nullptr) {
    active_spy->seen_(*reinterpret_cast<const CWPSTRUCT*>(lparam));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

bool SaveWindowPicture(HWND window, const std::string& path) {
  RECT place{};
  GetWindowRect(window, &place);
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied =
      BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY) != FALSE;
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || bitmap == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  const DWORD row = ((static_cast<DWORD>(width) * 24 + 31) / 32) * 4;
  const DWORD image_size = row * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + image_size;
  info.bmiHeader.biSizeImage = image_size;
  std::ofstream out(std::filesystem::path(Widen(path)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(pixels), image_size);
  DeleteObject(bitmap);
  return out.good();
}

// --- The built updater ------------------------------------------------------

RunningUpdater::RunningUpdater(const std::string& executable) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring command = L"\"" + Widen(executable) + L"\"";
  const std::wstring folder = Widen(executable.substr(0, executable.rfind('\\')));
  started_ = CreateProcessW(Widen(executable).c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, folder.c_str(), &startup, &process_) != FALSE;
}

RunningUpdater::~RunningUpdater() {
  if (!started_) return;
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 10000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

HWND RunningUpdater::WaitForWindow(int seconds) const {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        const std::vector<HWND> found = WindowsOfProcess(id(), win32::kMainWindowClass);
        window = found.empty() ? nullptr : found[0];
        return window != nullptr;
      },
      seconds);
  return window;
}

void RunningUpdater::Fill(HWND window, int field, const std::string& text) const {
  HWND control = GetDlgItem(GetDlgItem(window, win32::kConnectionGroup), field);
  const std::wstring wide = Widen(text);
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string RunningUpdater::BringDatabaseOnline(HWND window, const std::string& folder) const {
  Fill(window, win32::kEProgramLocation, folder);
  auto boxes = BoxAnswerer::ForProcess(id(), {{BoxAction::kEnter}});
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(win32::kMmOperationsOnline, 0), 0);
  if (!boxes->WaitForSteps()) return "<no box>";
  return boxes->Transcript().at(0);
}

int RunningUpdater::Close(HWND window) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace updater::testing
