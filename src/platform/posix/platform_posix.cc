// The real platform of the Linux build.
#include "platform/posix/posix_platform.h"
#include "platform/unavailable.h"

namespace updater::platform {

char PathDelimiter() { return '/'; }

Platform& SystemPlatform() {
  static PosixFileSystem files;
  static PosixVolumes volumes;
  static UnavailableRegistry registry;
  static UnavailableServiceControl services;
  static UnavailableProcesses processes;
  static PosixLibraries libraries;
  static UnavailableResources resources;
  static PosixClock clock;
  static Platform platform{files,     volumes,   registry,  services,
                           processes, libraries, resources, clock};
  return platform;
}

}  // namespace updater::platform
