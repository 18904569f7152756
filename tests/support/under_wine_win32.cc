#include <windows.h>

#include "support/under_wine.h"

namespace updater::testing {

// Wine's ntdll exports its version; Windows' does not.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace updater::testing
