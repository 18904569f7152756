// updater-resource-update.exe EXECUTABLE TYPE NAME FILE
//
// The Windows counterpart of updater-resource-append: puts FILE's bytes into
// the PE executable EXECUTABLE as the resource TYPE/NAME, language 1049
// (Russian), replacing a resource of that type, name and language. Used by
// scripts/payload-variant to make an updater that carries another payload
// (under Wine on the build machine; it edits 32-bit and 64-bit executables).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "updater-resource-update: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: updater-resource-update EXECUTABLE TYPE NAME FILE\n");
    return 2;
  }
  std::ifstream in(argv[4], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "updater-resource-update: the file cannot be read\n");
    return 1;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HANDLE update = BeginUpdateResourceW(argv[1], FALSE);
  if (update == nullptr) return Fail("BeginUpdateResourceW");
  const WORD language = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);
  if (!UpdateResourceW(update, argv[2], argv[3], language, bytes.data(),
                       static_cast<DWORD>(bytes.size()))) {
    const int result = Fail("UpdateResourceW");
    EndUpdateResourceW(update, TRUE);
    return result;
  }
  if (!EndUpdateResourceW(update, FALSE)) return Fail("EndUpdateResourceW");
  return 0;
}
