// The window's pictures: 24-bit bitmaps carried as resources of type
// "IMAGES", each the bytes of a .bmp file.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "ui/win32/gdi_handles.h"

namespace updater::win32 {

// A bitmap made from the bytes of a .bmp file (file header, info header,
// colour table, pixels); null when the bytes are not such a file.
BitmapHandle BitmapFromFileBytes(const std::string& bytes);

// The picture `name` of type "IMAGES" of the running program. Raises
// UpdateFailure "Ошибка работы с ресурсом "<name>"!", a CR and the cause
// ("Resource <name> not found", or that it is not a bitmap).
BitmapHandle LoadPicture(platform::Platform& platform, const std::string& name);

// The width and height of `bitmap`; 0 by 0 for none.
SIZE BitmapSize(HBITMAP bitmap);

}  // namespace updater::win32
