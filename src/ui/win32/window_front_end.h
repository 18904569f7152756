// What the window lends the engine besides its boxes: the on-screen log in
// its log area, the caption area, and the message pump that keeps the window
// alive while a long operation runs on its thread.
#pragma once

#include <windows.h>

#include <string>

#include "common/message_pump.h"
#include "engine/caption_area.h"
#include "engine/update_log.h"

namespace updater::win32 {

// The on-screen log: each line appended at the end of the read-only log
// area (mLog), which is never cleared or trimmed, and scrolled into view.
class LogArea final : public ScreenSink {
 public:
  void Attach(HWND memo) { memo_ = memo; }
  void AppendLine(const std::string& line) override;

 private:
  HWND memo_ = nullptr;
};

// The caption area (mCaptions): made visible, cleared and given the text,
// repainted at once. Its colour is the window's business. The progress of
// the data load is its second line, below the caption (the busy animation
// beside it goes on), until the load ends and the caption stands alone
// again.
class CaptionMemo final : public CaptionArea {
 public:
  void Attach(HWND memo) { memo_ = memo; }
  void ShowCaption(const std::string& text) override;
  void ShowLoadProgress(const LoadProgress& progress) override;
  void EndLoadProgress() override;

 private:
  void Show(const std::string& text);

  HWND memo_ = nullptr;
  std::string caption_;  // the caption shown last, without the progress
  bool progress_shown_ = false;
};

// The caption area's line for the load's figures, short enough for the
// area's width: "Загрузка: 33%, таблиц 3 из 12" (the share of the rows);
// without the totals "Загружено строк: 40 000".
std::string LoadProgressLine(const LoadProgress& progress);

// Handles the messages waiting for the thread's windows, with the main
// window's keyboard navigation, and returns. A request to quit met on the
// way is kept for RepostQuit, so that the main loop still ends the program
// once the operation under way is over.
class WindowPump final : public MessagePump {
 public:
  void Attach(HWND main_window) { main_window_ = main_window; }
  void ProcessMessages() override;
  // Posts again a request to quit that ProcessMessages took off the queue.
  void RepostQuit();

 private:
  HWND main_window_ = nullptr;
  bool quit_requested_ = false;
  int exit_code_ = 0;
};

// Dispatches one message as the main loop and the pump both do: the main
// window's keyboard navigation (Tab, the arrow keys, access keys) first.
void DispatchWindowMessage(HWND main_window, MSG& message);

}  // namespace updater::win32
