// ibescript-run: runs a script through IBEScript.dll from the command line,
// the way the script runner does, for trying scripts by hand and for the
// benchmark. The library is the one next to this program.
//
//   ibescript-run [-v] [-p] CONNECT-STRING SCRIPT-FILE
//   ibescript-run [-v] CONNECT-STRING -e SCRIPT-TEXT
//
// Failed statements go to standard error; block progress to standard
// output, and with -v every statement too. With -p the progress of the data
// a script file loads goes to standard error, one line a report: "load:
// tables 3/12, rows 40000/120000". Exit code: 0 when every
// statement succeeded, 1 when some failed, 2 when the run could not start.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fbclient/ibescript_api.h"
#include "platform/platform.h"

namespace {

bool verbose = false;
int failures = 0;

int32_t UPDATER_STDCALL OnConnectError(const char* error) {
  std::fprintf(stderr, "connect failed: %s\n", error);
  return 0;
}

int32_t UPDATER_STDCALL OnError(const char* statement, const char* error) {
  ++failures;
  std::fprintf(stderr, "------- STATEMENT --------\n%s\n-------   ERROR   --------\n%s\n",
               statement, error);
  return 0;
}

int32_t UPDATER_STDCALL OnText(int32_t number, const char* text) {
  if (number == 0 || verbose) std::printf("%s\n", text);
  return 0;
}

int32_t UPDATER_STDCALL OnResult(int32_t, int32_t value) { return value == 1 ? 0 : 1; }

int32_t UPDATER_STDCALL OnProgress(int32_t tables_done, int32_t tables_total, int64_t rows_done,
                                   int64_t rows_total) {
  std::fprintf(stderr, "load: tables %d/%d, rows %lld/%lld\n", static_cast<int>(tables_done),
               static_cast<int>(tables_total), static_cast<long long>(rows_done),
               static_cast<long long>(rows_total));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool progress = false;
  for (; first < argc; ++first) {
    if (std::strcmp(argv[first], "-v") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[first], "-p") == 0) {
      progress = true;
    } else {
      break;
    }
  }
  const bool text = argc - first == 3 && std::strcmp(argv[first + 1], "-e") == 0;
  if (argc - first != 2 && !text) {
    std::fprintf(stderr,
                 "usage: ibescript-run [-v] [-p] CONNECT-STRING SCRIPT-FILE\n"
                 "       ibescript-run [-v] CONNECT-STRING -e SCRIPT-TEXT\n");
    return 2;
  }
  auto loaded = updater::platform::SystemPlatform().libraries.Load("IBEScript.dll");
  if (!loaded.ok()) {
    std::fprintf(stderr, "IBEScript.dll cannot be loaded: %s\n", loaded.error().Describe().c_str());
    return 2;
  }
  const std::unique_ptr<updater::platform::Library> library = std::move(loaded).value();
  const auto connect = reinterpret_cast<ConnectFunction>(library->FindSymbol("Connect"));
  const auto execute = reinterpret_cast<ExecScriptFunction>(
      library->FindSymbol(text ? "ExecScriptText" : "ExecScriptFile"));
  if (connect == nullptr || execute == nullptr) {
    std::fprintf(stderr, "IBEScript.dll lacks its entry points\n");
    return 2;
  }
  if (progress) {
    const auto set_progress =
        reinterpret_cast<SetProgressCallbackFunction>(library->FindSymbol("SetProgressCallback"));
    if (set_progress == nullptr) {
      std::fprintf(stderr, "IBEScript.dll cannot report a load's progress\n");
      return 2;
    }
    set_progress(OnProgress);
  }
  if (connect(argv[first], OnConnectError) != 0) return 2;
  execute(argv[text ? first + 2 : first + 1], OnError, OnText, OnResult);
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
