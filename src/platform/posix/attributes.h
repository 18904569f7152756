// Windows file attributes on Linux.
//
// - read-only: the entry has no write permission bit at all (mode & 0222 is
//   0); setting it clears every write bit, clearing it gives the owner write
//   permission back;
// - hidden, system, archive: kept in the extended attribute
//   "user.updater.attributes" as a hexadecimal text of those bits ("22" for
//   hidden and archive). An entry without it has the bits Windows gives a new
//   entry: archive for a file, none for a folder.
// - directory: a folder; a link to a folder is a directory entry too.
// Links carry no attributes of their own: they are read as their defaults and
// cannot be changed.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace updater::platform {

inline constexpr char kAttributesXattr[] = "user.updater.attributes";

// The FileAttribute bits of the entry at `path`, whose lstat is `info`.
uint32_t ReadAttributes(const std::string& path, const struct stat& info);

// Sets the read-only, hidden, system and archive bits of the entry at `path`
// (lstat `info`) to those of `attributes`. Fails for a link, and where the
// file system keeps no extended attributes and a bit differs from its
// default.
Status WriteAttributes(const std::string& path, const struct stat& info, uint32_t attributes);

// Copies the hidden, system and archive bits of the open file `from` to the
// open file `to`. Fails where the target's file system cannot keep them.
Status CopyAttributeBits(int from, int to, const std::string& target_path);

}  // namespace updater::platform
