#include "ui/win32/bitmaps.h"

#include <cstdlib>
#include <cstring>

#include "common/failures.h"
#include "fsutil/uWexrRout.h"

namespace updater::win32 {

BitmapHandle BitmapFromFileBytes(const std::string& bytes) {
  if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return {};
  BITMAPFILEHEADER file{};
  memcpy(&file, bytes.data(), sizeof file);
  if (file.bfType != 0x4D42 || file.bfOffBits >= bytes.size()) return {};
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes.data() + sizeof file);
  if (info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || info->bmiHeader.biWidth <= 0 ||
      info->bmiHeader.biHeight == 0) {
    return {};
  }
  const uint64_t row =
      ((static_cast<uint64_t>(info->bmiHeader.biWidth) * info->bmiHeader.biBitCount + 31) / 32) * 4;
  const uint64_t height = static_cast<uint64_t>(std::abs(info->bmiHeader.biHeight));
  if (info->bmiHeader.biCompression == BI_RGB && file.bfOffBits + row * height > bytes.size()) {
    return {};
  }
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bytes.data() + file.bfOffBits,
                                  info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return BitmapHandle(bitmap);
}

BitmapHandle LoadPicture(platform::Platform& platform, const std::string& name) {
  BitmapHandle bitmap = BitmapFromFileBytes(ReadResource(platform, "IMAGES", name));
  if (!bitmap) {
    throw UpdateFailure("Ошибка работы с ресурсом \"" + name + "\"!\rResource " + name +
                        " is not a bitmap");
  }
  return bitmap;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP header{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof header, &header) == 0) return SIZE{0, 0};
  return SIZE{header.bmWidth, header.bmHeight};
}

}  // namespace updater::win32
