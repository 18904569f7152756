// Windows' locking rules, emulated on Linux. Windows refuses to open a file
// exclusively, to delete it, or to rename a folder while another process
// holds the file or has something open below the folder; Linux allows all of
// it. These checks let the Linux build refuse the same operations.
//
// A file is tested with a write lease (fcntl F_SETLEASE F_WRLCK), which the
// kernel grants only while no other descriptor of the file is open or mapped
// anywhere on this machine; it is released at once. Where a lease is refused
// for other reasons (not the owner and not privileged, a network or FUSE
// file system), the descriptors and mappings of every process in /proc are
// compared with the file's device and inode instead.
#pragma once

#include <string>

namespace updater::platform {

enum class Holders {
  kNone,     // nobody else holds it
  kOthers,   // another process holds it
  kUnknown,  // it could not be told: treated as held by every caller
};

// Who else holds the regular file open at descriptor `fd` (opened by the
// caller, which does not count). Other types of file are never held.
Holders FileHolders(int fd);

// Whether any process, this one included, has a file open or mapped below
// the folder `real_folder` (a path with links resolved), or uses the folder
// or one below it as its current or root folder. Processes whose /proc
// entries cannot be read are covered by a lease test of every regular file
// below the folder: a file that cannot be tested makes the answer kUnknown.
// Their current folders stay unseen.
Holders FolderHolders(const std::string& real_folder);

}  // namespace updater::platform
