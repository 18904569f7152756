// Database operations through the Firebird client: the check of the
// connection inputs that every one of them makes first.
#pragma once

#include <string>

#include "common/log_view.h"
#include "common/message_pump.h"
#include "platform/platform.h"

namespace updater {

// Fails with the first blank input (leading and trailing blanks and control
// characters do not count): "Не задана клиентская библиотека!", "Не задана
// база данных!", "Не задано имя пользователя!", "Не задан пароль!".
void CheckConnectionParams(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password);

// ---------------------------------------------------------------------------
// The script runner: SQL scripts run by the script engine library
// "IBEScript.dll", loaded from the executable's folder for each run and
// unloaded at its end, whatever happens.

// Module-level state shared with the engine's callbacks, which get no
// context: the log view of the current run (or none) and the last error the
// engine reported in it (UTF-8). Both keep their values after a run until
// the next run sets them.
extern LogView* ScriptLogView;
extern std::string ScriptErrorText;

// Runs the script file `script_file` (blanks and control characters around
// it removed) against `database_name` through the engine, connected as
// `user_name` with `password`, `charset` and `role`, its client library
// being `client_library`. Every statement the engine echoes goes to
// `log_view` (when given) as a raw line, each failed statement as four raw
// lines; `pump` runs with every echo. Raises UpdateFailure:
// CheckConnectionParams's messages; "Не задан файл скрипта!"; "Файл скрипта
// "<path>" не найден!"; "Невозможно загрузить библиотеку "IBEScript.dll"!";
// "В библиотеке "IBEScript.dll" не найдена функция "Connect"!"; "В
// библиотеке "IBEScript.dll" не найдена функция! (ExecScriptFile)"; "Ошибка
// подключения к базе данных!" CR and the engine's text; "Ошибка применения
// скрипта!" CR and the last failed statement's error block (with the
// version-mismatch hint in front for "execute procedure check_versio(").
// What the script changed before a failure stays changed.
void RunScriptFile(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_file, LogView* log_view,
                   platform::Platform& platform, MessagePump& pump);

// Runs the script text `script_text` as RunScriptFile runs a file; a blank
// text fails with "Скрипт пустой!" and the engine function is
// "ExecScriptText".
void RunScriptText(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_text, LogView* log_view,
                   platform::Platform& platform, MessagePump& pump);

}  // namespace updater
