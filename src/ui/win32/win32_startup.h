// The windowed updater from its start to the closing of its window.
#pragma once

#include <windows.h>

#include "engine/uUpdate.h"
#include "platform/platform.h"
#include "ui/win32/uMain.h"

namespace updater::win32 {

// Start-up in its order: the main window created with its creation steps
// (FormCreate), the default profile applied and the Project menu locked, the
// window shown centred with its look chosen.
void StartUp(TfrmMain& form);

// The main loop: the window's messages until the program is asked to quit;
// returns the exit code it was asked to quit with.
int RunMessageLoop(TfrmMain& form);

// Everything: start-up on `platform` with `phases` as the update run's
// phases, then the main loop. Returns the program's exit code.
int RunWindowApplication(HINSTANCE instance, platform::Platform& platform, UpdatePhases& phases);

}  // namespace updater::win32
