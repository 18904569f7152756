#include "ui/win32/win32_startup.h"

namespace updater::win32 {

void StartUp(TfrmMain& form) {
  form.FormCreate();
  form.ApplyDefaultProfileAndLock();
  form.ShowCentred();
}

int RunMessageLoop(TfrmMain& form) {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    // -1: the call itself failed (an invalid window handle); there is no
    // message to handle, and the loop goes on waiting.
    if (got == -1) continue;
    DispatchWindowMessage(form.Handle(), message);
  }
}

int RunWindowApplication(HINSTANCE instance, platform::Platform& platform, UpdatePhases& phases) {
  TfrmMain form(instance, WindowServices{platform, phases});
  StartUp(form);
  return RunMessageLoop(form);
}

}  // namespace updater::win32
