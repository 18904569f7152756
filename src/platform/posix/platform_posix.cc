// The real platform of the Linux build.
#include "platform/posix/posix_platform.h"

namespace updater::platform {

char PathDelimiter() { return '/'; }

Platform& SystemPlatform() {
  static PosixFileSystem files;
  static PosixVolumes volumes;
  static PosixRegistry registry(RegistryFileFromEnvironment());
  static PosixServiceControl services(registry, ServiceStateFolderFromEnvironment());
  static PosixProcesses processes;
  static PosixLibraries libraries;
  static PosixResources resources;
  static PosixClock clock;
  static Platform platform{files,     volumes,   registry,  services,
                           processes, libraries, resources, clock};
  return platform;
}

}  // namespace updater::platform
