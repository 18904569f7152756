// Updater_Marlix, the windowed updater of the Windows build.
#include <objbase.h>
#include <windows.h>

#include <exception>
#include <string>

#include "engine/uUpdate.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The shell's folder dialog wants the thread in a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int exit_code = 1;
  try {
    updater::ProductUpdatePhases phases;
    exit_code =
        updater::win32::RunWindowApplication(instance, updater::platform::SystemPlatform(), phases);
  } catch (const std::exception& failure) {
    // Only what the failure handler cannot take (the window cannot be made,
    // memory exhausted) gets here.
    MessageBoxW(nullptr, updater::platform::Widen(failure.what()).c_str(), L"Updater_Marlix",
                MB_OK | MB_ICONERROR);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exit_code;
}
