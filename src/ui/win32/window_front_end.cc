#include "ui/win32/window_front_end.h"

#include "platform/win32/win32_platform.h"
#include "ui/win32/window_prompt.h"

namespace updater::win32 {

void LogArea::AppendLine(const std::string& line) {
  if (memo_ == nullptr) return;
  const int length = GetWindowTextLengthW(memo_);
  const std::wstring text = (length > 0 ? L"\r\n" : L"") + platform::Widen(line);
  SendMessageW(memo_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  // The new line in view from its beginning, where its time stamp is, even
  // when it is wider than the area.
  const LRESULT lines = SendMessageW(memo_, EM_GETLINECOUNT, 0, 0);
  const LRESULT start = SendMessageW(memo_, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0);
  SendMessageW(memo_, EM_SETSEL, static_cast<WPARAM>(start), start);
  SendMessageW(memo_, EM_SCROLLCARET, 0, 0);
}

void CaptionMemo::ShowCaption(const std::string& text) {
  caption_ = text;
  progress_shown_ = false;
  if (memo_ == nullptr) return;
  ShowWindow(memo_, SW_SHOWNA);
  Show(text);
}

std::string LoadProgressLine(const LoadProgress& progress) {
  const int percent = LoadProgressPercent(progress);
  if (percent < 0) return "Загружено строк: " + GroupedNumber(progress.rows_done);
  return "Загрузка: " + std::to_string(percent) + "%, таблиц " +
         std::to_string(progress.tables_done) + " из " + std::to_string(progress.tables_total);
}

void CaptionMemo::ShowLoadProgress(const LoadProgress& progress) {
  progress_shown_ = true;
  Show(caption_ + "\r" + LoadProgressLine(progress));
}

void CaptionMemo::EndLoadProgress() {
  if (!progress_shown_) return;
  progress_shown_ = false;
  Show(caption_);
}

void CaptionMemo::Show(const std::string& text) {
  if (memo_ == nullptr) return;
  SetWindowTextW(memo_, DisplayText(text).c_str());
  RedrawWindow(memo_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void WindowPump::RepostQuit() {
  if (!quit_requested_) return;
  quit_requested_ = false;
  PostQuitMessage(exit_code_);
}

void WindowPump::ProcessMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit_requested_ = true;
      exit_code_ = static_cast<int>(message.wParam);
      continue;
    }
    DispatchWindowMessage(main_window_, message);
  }
}

void DispatchWindowMessage(HWND main_window, MSG& message) {
  if (main_window != nullptr && IsWindow(main_window) && IsDialogMessageW(main_window, &message)) {
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace updater::win32
