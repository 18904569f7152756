/* A library for the tests of library loading: found next to the test
   executables under the name "beside.dll" on both builds. */
#if defined(_WIN32)
#define BESIDE_EXPORT __declspec(dllexport)
#else
#define BESIDE_EXPORT __attribute__((visibility("default")))
#endif

BESIDE_EXPORT int updater_beside_answer(void) { return 42; }
