// Folder trees and single files, moved about as the update run needs them:
// working folders created, part folders backed up and restored, staging
// folders removed, product files replaced. Each operation has fixed rules
// about attributes, overwriting, and which failures stop the run.
//
// Paths are used as given (none is expanded to a full path) and joined with
// the platform's delimiter. Links (symbolic links, junctions) inside a tree
// are never followed: a tree operation handles the link itself, never what
// it points to. The folder an operation is given may itself be a link (the
// customer moved DB_Data to a larger disk and left a junction in its place):
// the operation then works inside the link's target and leaves the link as
// it is.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater {

// Deletes `folder` with everything in it, depth first in the order the
// platform lists the entries. Each file first gets its archive bit set and its
// read-only bit cleared. A link inside is removed, not followed; when
// `folder` itself is a link, what it points to is emptied and the link
// stays. Raises
// UpdateFailure "Невозможно удалить файл <path>!" on the first file or link
// that cannot be deleted: what was deleted before stays deleted and the
// folders holding it stay. A missing folder is nothing to do; a folder that
// cannot be removed at the end (in use, read-only) is left without a word.
// Raises UpdateFailure with the system's text when an existing folder cannot
// be listed.
void DeleteFolderTree(platform::Platform& platform, const std::string& folder);

// Creates exactly one folder level. Raises UpdateFailure "Невозможно создать
// папку <folder>!" when that fails, also when the folder exists or its
// parent is missing.
void CreateFolder(platform::Platform& platform, const std::string& folder);

// Copies the tree `source` into `target`, merging: entries only in the
// target stay. A source or target that is itself a link to a folder is
// copied from or into that folder. Creates the target and every missing folder above it, and
// every subfolder of the source, empty ones too. Files are copied with
// CopyFileOverwrite. Raises UpdateFailure "Папка <source>\ не существует!"
// when the source is no folder (nothing is created), "Невозможно создать
// папку <target>\!" when a target folder cannot be created (the copy stops
// there), and a failure with the system's text when a source folder cannot
// be listed.
//
// A file that cannot be copied is skipped and the copy goes on; the result
// lists the source path of every such file, and of every link met in the
// source (a link is neither followed nor reproduced). An empty result means
// that everything was copied.
[[nodiscard]] std::vector<std::string> CopyFolderTree(platform::Platform& platform,
                                                      const std::string& source,
                                                      const std::string& target);

// Writes every file of the tree `folder`, and the entries of its folders,
// through to the disk (FileSystem::FlushToDisk), so that what was copied
// into it survives a power loss. Links are left alone, as CopyFolderTree
// leaves them. Raises UpdateFailure "Не удалось записать на диск <path>!"
// with the system's text at the first file or folder that cannot be
// written, and a listing's failure as CopyFolderTree does.
void FlushFolderTree(platform::Platform& platform, const std::string& folder);

// Copies the file `source` onto `target` with its contents, attributes and
// last-write time, replacing a target that exists: a read-only or hidden
// target has those two bits cleared first. Returns whether the copy
// succeeded; raises nothing.
bool CopyFileOverwrite(platform::Platform& platform, const std::string& source,
                       const std::string& target);

// CopyFileOverwrite for callers that report a failed copy: the copy's
// failure with the system's text.
platform::Status CopyFileOverwriteStatus(platform::Platform& platform, const std::string& source,
                                         const std::string& target);

}  // namespace updater
