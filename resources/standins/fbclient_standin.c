/* The library a build of the updater carries as its "fbclient" resource when
   it is not given the vendor's Firebird client library: it exports none of
   the client's entry points, so that the updater's first database operation
   fails, naming the missing entry point, instead of working against nothing.
   Only the updater's own tests run with it. */
#include <windows.h>

__declspec(dllexport) const char* UpdaterClientStandIn(void) {
  return "This build of the updater carries no Firebird client library.";
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
