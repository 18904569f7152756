// The shell's folder-browse dialog, for the product folder field.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace updater::win32 {

// Shows the shell's folder-browse dialog owned by `owner`, titled `title`,
// from the desktop down, where only file-system folders can be confirmed.
// `folder` carries the first selection in (none when it is not an existing
// folder, which then becomes empty) and the confirmed folder out (without a
// trailing delimiter, except a drive root such as "C:\"). Returns true when
// the operator confirmed a folder, false when the dialog was cancelled or
// closed, or the shell's allocator cannot be had (then nothing is shown).
// While the dialog is open the thread's other windows are disabled and the
// system's critical-error boxes (an empty removable drive) are off; both
// are restored on every way out.
bool BrowseForFolder(HWND owner, platform::FileSystem& files, const std::string& title,
                     std::string& folder);

}  // namespace updater::win32
