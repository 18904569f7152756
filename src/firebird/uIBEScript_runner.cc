// The script runner: loads the script engine library for one run, connects
// it, hands it the script with the callbacks, and turns what the callbacks
// report into raw lines of the on-screen log and a failure with a readable
// message.
#include <exception>

#include "common/failures.h"
#include "fbclient/ibescript_api.h"
#include "firebird/uIBEScript.h"
#include "platform/strings.h"
#include "platform/text.h"

namespace updater {
namespace {

constexpr char kLibraryName[] = "IBEScript.dll";
constexpr char kCarriageReturn = '\r';

// The state of the current run, shared with the engine's callbacks, which
// get no context: set by ScriptRunScope for the run's duration only, so that
// no callback can reach a log view or pump that is gone. One run at a time.
//
// ScriptLogView: where the callbacks append raw lines, or none.
// ScriptErrorText: the last error the engine reported in this run (UTF-8).
// script_pump: the window's message pump of this run.
// callback_failure: a failure raised inside a callback, which must not travel
// through the engine's frames; it is raised again once the engine has
// returned.
LogView* ScriptLogView = nullptr;
std::string ScriptErrorText;
MessagePump* script_pump = nullptr;
std::exception_ptr callback_failure;
// script_progress: where the figures of a data load go, or none.
LoadProgressView* script_progress = nullptr;

class ScriptRunScope {
 public:
  ScriptRunScope(LogView* log_view, MessagePump& pump, LoadProgressView* progress) {
    ScriptLogView = log_view;
    ScriptErrorText.clear();
    script_pump = &pump;
    callback_failure = nullptr;
    script_progress = progress;
  }
  ~ScriptRunScope() {
    ScriptLogView = nullptr;
    ScriptErrorText.clear();
    script_pump = nullptr;
    callback_failure = nullptr;
    script_progress = nullptr;
  }
  ScriptRunScope(const ScriptRunScope&) = delete;
  ScriptRunScope& operator=(const ScriptRunScope&) = delete;
};

// A script text as the engine runs it: the bytes the server takes over the
// connection's character set (UTF-8 over UTF8 and UNICODE_FSS,
// Windows-1251 over WIN1251), whatever the system's ANSI code page; the
// system's ANSI code page over any other.
std::string ScriptTextBytes(const std::string& text, const std::string& charset) {
  const std::string upper = platform::AsciiUpper(platform::Trim(charset));
  if (upper == "UTF8" || upper == "UNICODE_FSS") return text;
  if (upper == "WIN1251") return platform::Utf8ToCp1251(text);
  return platform::Utf8ToAnsi(text);
}

std::string FromEngine(const char* text) {
  return text != nullptr ? platform::AnsiToUtf8(text) : std::string();
}

template <typename Action>
int32_t Guarded(Action action) {
  try {
    action();
  } catch (...) {
    if (!callback_failure) callback_failure = std::current_exception();
  }
  return 0;
}

int32_t UPDATER_STDCALL ConnectErrorCallback(const char* error) {
  return Guarded([&] { ScriptErrorText = FromEngine(error); });
}

int32_t UPDATER_STDCALL StatementErrorCallback(const char* statement_text, const char* error_text) {
  return Guarded([&] {
    const std::string statement = FromEngine(statement_text);
    const std::string error = FromEngine(error_text);
    if (ScriptLogView != nullptr) {
      ScriptLogView->AppendScreenLine("------- STATEMENT --------");
      ScriptLogView->AppendScreenLine(statement);
      ScriptLogView->AppendScreenLine("-------   ERROR   --------");
      ScriptLogView->AppendScreenLine(error);
      script_pump->ProcessMessages();
    }
    ScriptErrorText = std::string("-------   ERROR   --------") + kCarriageReturn + error +
                      kCarriageReturn + kCarriageReturn + "------- STATEMENT --------" +
                      kCarriageReturn + statement;
    if (platform::AsciiLower(statement).find("execute procedure check_versio(") !=
        std::string::npos) {
      ScriptErrorText = std::string(1, kCarriageReturn) +
                        "Вероятно, имеет место несоответствие между версией обновления и версией "
                        "обновляемой базы данных!" +
                        kCarriageReturn + kCarriageReturn + ScriptErrorText;
    }
  });
}

int32_t UPDATER_STDCALL StatementTextCallback(int32_t, const char* text) {
  return Guarded([&] {
    if (ScriptLogView != nullptr) ScriptLogView->AppendScreenLine(FromEngine(text));
    script_pump->ProcessMessages();
  });
}

int32_t UPDATER_STDCALL StatementResultCallback(int32_t, int32_t value) {
  return value == 1 ? 0 : 1;
}

int32_t UPDATER_STDCALL ProgressCallback(int32_t tables_done, int32_t tables_total,
                                         int64_t rows_done, int64_t rows_total) {
  return Guarded([&] {
    if (script_progress != nullptr) {
      script_progress->ShowLoadProgress({tables_done, tables_total, rows_done, rows_total});
    }
  });
}

void RethrowCallbackFailure() {
  if (callback_failure) {
    std::exception_ptr failure = callback_failure;
    callback_failure = nullptr;
    std::rethrow_exception(failure);
  }
}

enum class ScriptKind { kFile, kText };

void RunScript(ScriptKind kind, const std::string& client_library, const std::string& database_name,
               const std::string& user_name, const std::string& charset,
               const std::string& password, const std::string& role, const std::string& script,
               LogView* log_view, platform::Platform& platform, MessagePump& pump,
               LoadProgressView* progress) {
  CheckConnectionParams(client_library, database_name, user_name, password);
  // Ends after the library below is unloaded: no callback outlives it.
  const ScriptRunScope scope(log_view, pump, progress);

  const std::string trimmed = platform::Trim(script);
  std::string function_name;
  if (kind == ScriptKind::kFile) {
    if (trimmed.empty()) throw UpdateFailure("Не задан файл скрипта!");
    if (!platform.files.FileExists(trimmed)) {
      throw UpdateFailure("Файл скрипта \"" + trimmed + "\" не найден!");
    }
    function_name = "ExecScriptFile";
  } else {
    if (trimmed.empty()) throw UpdateFailure("Скрипт пустой!");
    function_name = "ExecScriptText";
  }

  platform::Result<std::unique_ptr<platform::Library>> loaded =
      platform.libraries.Load(kLibraryName);
  if (!loaded.ok()) {
    throw UpdateFailure(std::string("Невозможно загрузить библиотеку \"") + kLibraryName + "\"!");
  }
  // Unloaded when this goes out of scope: at the end of the run, failure
  // included.
  const std::unique_ptr<platform::Library> library = std::move(loaded).value();

  const auto connect = reinterpret_cast<ConnectFunction>(library->FindSymbol("Connect"));
  if (connect == nullptr) {
    throw UpdateFailure(std::string("В библиотеке \"") + kLibraryName +
                        "\" не найдена функция \"Connect\"!");
  }
  const auto execute = reinterpret_cast<ExecScriptFunction>(library->FindSymbol(function_name));
  if (execute == nullptr) {
    throw UpdateFailure(std::string("В библиотеке \"") + kLibraryName + "\" не найдена функция! (" +
                        function_name + ")");
  }

  const std::string connect_string = "db_name=" + database_name + "; password=" + password +
                                     "; user_name=" + user_name + "; lc_ctype=" + charset +
                                     "; sql_role_name=" + role + "; sql_dialect=3" +
                                     "; clientlib=\"" + client_library + "\"";
  const int32_t connected =
      connect(platform::Utf8ToAnsi(connect_string).c_str(), ConnectErrorCallback);
  RethrowCallbackFailure();
  if (connected != 0 || !ScriptErrorText.empty()) {
    throw UpdateFailure("Ошибка подключения к базе данных!" + std::string(1, kCarriageReturn) +
                        ScriptErrorText);
  }

  // An engine without the entry point (the closed one) loads without
  // showing its progress.
  if (progress != nullptr) {
    if (const auto set_progress = reinterpret_cast<SetProgressCallbackFunction>(
            library->FindSymbol("SetProgressCallback"))) {
      set_progress(ProgressCallback);
    }
  }

  // The engine's result is not looked at: its callbacks tell what failed.
  const std::string script_argument =
      kind == ScriptKind::kFile ? platform::Utf8ToAnsi(trimmed) : ScriptTextBytes(trimmed, charset);
  execute(script_argument.c_str(), StatementErrorCallback, StatementTextCallback,
          StatementResultCallback);
  RethrowCallbackFailure();
  if (!ScriptErrorText.empty()) {
    throw UpdateFailure("Ошибка применения скрипта!" + std::string(1, kCarriageReturn) +
                        ScriptErrorText);
  }
}

}  // namespace

void RunScriptFile(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_file, LogView* log_view, platform::Platform& platform,
                   MessagePump& pump, LoadProgressView* progress) {
  RunScript(ScriptKind::kFile, client_library, database_name, user_name, charset, password, role,
            script_file, log_view, platform, pump, progress);
}

void RunScriptText(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_text, LogView* log_view, platform::Platform& platform,
                   MessagePump& pump) {
  RunScript(ScriptKind::kText, client_library, database_name, user_name, charset, password, role,
            script_text, log_view, platform, pump, nullptr);
}

}  // namespace updater
