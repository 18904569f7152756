// The real platform of the Windows build.
#include "platform/win32/win32_platform.h"

namespace updater::platform {

char PathDelimiter() { return '\\'; }

Platform& SystemPlatform() {
  static Win32Clock clock;
  static Win32FileSystem system_files;
  // A file held for a moment (a scanner, the indexer) is waited for.
  static RetryingFileSystem files(system_files, clock, Win32TransientErrors());
  static Win32Volumes volumes;
  static Win32Registry registry;
  static Win32ServiceControl services;
  static Win32Processes processes;
  static Win32Libraries libraries;
  static Win32Resources resources;
  static Platform platform{files,     volumes,   registry,  services,
                           processes, libraries, resources, clock};
  return platform;
}

}  // namespace updater::platform
