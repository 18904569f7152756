// The restore of files kept outside the product folder. Their backup is one
// flat folder of entries whose names encode the full path each file came
// from ("\" written as "{5C}", ":" as "{3A}"), and of deletion entries, the
// marker "{dlt}_" followed by the encoded path of a file the update added.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater {

// Marks a backup entry whose file is to be deleted on restore.
inline constexpr char DeletionMarker[] = "{dlt}_";

// `text` with every occurrence of `old_text` replaced by `new_text`,
// compared exactly. After each replacement the search starts again from the
// start of the text, so that an occurrence the replacement completes is
// replaced too. An empty `old_text` changes nothing; when `new_text` holds
// `old_text` itself, each occurrence is replaced once, left to right,
// instead of without end.
std::string ReplaceAll(std::string text, const std::string& old_text, const std::string& new_text);

// The name of the backup entry that saves the file at the full path
// `path`: every "\" written as "{5C}" and every ":" as "{3A}". Where the
// folder delimiter is "/" (the Linux build), every "/" is written as
// "{2F}" too, since a file name cannot hold it.
std::string EncodeBackupName(const std::string& path);

// The full path a backup entry's name stands for: EncodeBackupName undone.
std::string DecodeBackupName(const std::string& name);

// Puts back every entry of the backup folder `folder` (given without a
// trailing delimiter): plain files only, neither hidden nor system, in the
// order the platform lists them. A restore entry is copied with
// CopyFileOverwrite to the path its name decodes to; a deletion entry
// deletes the file its name decodes to, whatever the outcome. Returns one
// line "Не удалось восстановить файл: <path>" per entry that could not be
// copied (a link among the entries is not followed and counts as such), and
// one line naming the folder when an existing backup folder cannot be
// listed; raises nothing. The entries stay in the backup folder.
std::vector<std::string> RestoreEncodedFiles(platform::Platform& platform,
                                             const std::string& folder);

}  // namespace updater
