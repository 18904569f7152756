// The real platform of the Windows build.
#include "platform/win32/win32_platform.h"

namespace updater::platform {

char PathDelimiter() { return '\\'; }

Platform& SystemPlatform() {
  static Win32FileSystem files;
  static Win32Volumes volumes;
  static Win32Registry registry;
  static Win32ServiceControl services;
  static Win32Processes processes;
  static Win32Libraries libraries;
  static Win32Resources resources;
  static Win32Clock clock;
  static Platform platform{files,     volumes,   registry,  services,
                           processes, libraries, resources, clock};
  return platform;
}

}  // namespace updater::platform
