// The real platform of the Linux build.
#include <clocale>

#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

// The Linux build's 8-bit text is UTF-8 (text.h). The Firebird client library
// converts the file names of its parameter blocks from the character set of
// the process's LC_CTYPE, and the C locale a program starts in would refuse
// every name that is not ASCII. A system without the C.UTF-8 locale keeps
// its own, and the client then reports such names itself.
bool UseUtf8CharacterType() { return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr; }

}  // namespace

char PathDelimiter() { return '/'; }

Platform& SystemPlatform() {
  [[maybe_unused]] static const bool utf8_character_type = UseUtf8CharacterType();
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
