// A stand-in for the script engine library, for the script runner's tests.
// It keeps the state a real engine keeps between Connect and unload, and it
// does what its script tells it, one command a line:
//   journal PATH         from now on, record to PATH (and record the connect
//                        string and the script argument as received)
//   echo TEXT            report TEXT as a statement's text
//   fail STATEMENT|ERROR report a failed statement
//   result VALUE         call the result callback with VALUE, record the answer
//   progress T TT R RT   report a data load's figures to the callback that
//                        SetProgressCallback set, if any
// Connect refuses a database whose name starts with "refuse" (with a text),
// "mute" (without one), and reports a text but connects for "warn".
// Built four times: complete, without Connect (FAKE_WITHOUT_CONNECT),
// without the script functions (FAKE_WITHOUT_SCRIPTS), and without
// SetProgressCallback, as the closed engine (FAKE_WITHOUT_PROGRESS).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fbclient/ibescript_api.h"

namespace {

std::string connect_string;
std::string journal_path;
LoadProgressCallback on_progress = nullptr;

void Journal(const std::string& line) {
  if (journal_path.empty()) return;
  if (FILE* file = std::fopen(journal_path.c_str(), "ab")) {
    std::fputs((line + "\n").c_str(), file);
    std::fclose(file);
  }
}

[[maybe_unused]] void RunCommands(const std::string& script, const std::string& argument,
                                  StatementErrorCallback on_error, StatementTextCallback on_text,
                                  StatementResultCallback on_result) {
  int number = 0;
  size_t start = 0;
  while (start <= script.size()) {
    size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    std::string line = script.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number;
    const size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (command == "journal") {
      journal_path = rest;
      Journal("connect " + connect_string);
      Journal("script " + argument);
    } else if (command == "echo") {
      on_text(number, rest.c_str());
    } else if (command == "fail") {
      const size_t bar = rest.find('|');
      on_error(rest.substr(0, bar).c_str(), rest.substr(bar + 1).c_str());
    } else if (command == "progress") {
      long long figures[4] = {};
      if (std::sscanf(rest.c_str(), "%lld %lld %lld %lld", &figures[0], &figures[1], &figures[2],
                      &figures[3]) == 4 &&
          on_progress != nullptr) {
        on_progress(static_cast<int32_t>(figures[0]), static_cast<int32_t>(figures[1]), figures[2],
                    figures[3]);
      }
    } else if (command == "result") {
      const int32_t answer = on_result(number, std::atoi(rest.c_str()));
      Journal("result " + rest + " -> " + std::to_string(answer));
    }
  }
}

}  // namespace

extern "C" {

#ifndef FAKE_WITHOUT_CONNECT
UPDATER_EXPORT int32_t UPDATER_STDCALL Connect(const char* text, ConnectErrorCallback on_error) {
  connect_string = text;
  const char* name = std::strstr(text, "db_name=");
  const std::string database = name != nullptr ? name + 8 : "";
  if (database.rfind("refuse", 0) == 0) {
    on_error("Your user name and password are not defined");
    return 1;
  }
  if (database.rfind("mute", 0) == 0) return 7;
  if (database.rfind("warn", 0) == 0) on_error("connected, but something is wrong");
  return 0;
}
#endif

#ifndef FAKE_WITHOUT_PROGRESS
UPDATER_EXPORT int32_t UPDATER_STDCALL SetProgressCallback(LoadProgressCallback callback) {
  on_progress = callback;
  return 0;
}
#endif

#ifndef FAKE_WITHOUT_SCRIPTS
UPDATER_EXPORT int32_t UPDATER_STDCALL ExecScriptText(const char* text,
                                                      StatementErrorCallback on_error,
                                                      StatementTextCallback on_text,
                                                      StatementResultCallback on_result) {
  RunCommands(text, text, on_error, on_text, on_result);
  return 0;
}

UPDATER_EXPORT int32_t UPDATER_STDCALL ExecScriptFile(const char* path,
                                                      StatementErrorCallback on_error,
                                                      StatementTextCallback on_text,
                                                      StatementResultCallback on_result) {
  std::string script;
  if (FILE* file = std::fopen(path, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) script.append(buffer, n);
    std::fclose(file);
  }
  RunCommands(script, path, on_error, on_text, on_result);
  return 0;
}
#endif

}  // extern "C"
