// Database operations through the Firebird client: the check of the
// connection inputs that every one of them makes first, the script runner,
// the switching of a database between shutdown and online through the
// Services API, and the list of users attached to a database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/load_progress.h"
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
// unloaded at its end, whatever happens. One run at a time: the engine's
// callbacks get no context, so the run's log view and the last error the
// engine reported are kept for the run's duration in state of the runner's
// own.

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
// What the script changed before a failure stays changed. With `progress`,
// the figures of the data the script loads go there as the engine reports
// them (an engine that cannot report them loads without).
void RunScriptFile(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_file, LogView* log_view, platform::Platform& platform,
                   MessagePump& pump, LoadProgressView* progress = nullptr);

// Runs the script text `script_text` as RunScriptFile runs a file; a blank
// text fails with "Скрипт пустой!" and the engine function is
// "ExecScriptText".
void RunScriptText(const std::string& client_library, const std::string& database_name,
                   const std::string& user_name, const std::string& charset,
                   const std::string& password, const std::string& role,
                   const std::string& script_text, LogView* log_view, platform::Platform& platform,
                   MessagePump& pump);

// ---------------------------------------------------------------------------
// Database mode switching and the attached users.

// The fixed pause after every database shutdown.
inline constexpr uint32_t kShutdownSettleMs = 2000;

// Shuts the database down (forced, after one second) through the service
// manager of its server: CheckConnectionParams, then the request through the
// shared client library loaded by `client_library`, then a wait of two
// seconds on the platform's clock. Raises UpdateFailure with the
// CheckConnectionParams message or the library's load failure, and
// FirebirdFailure with the server's status text and codes (for a database
// already shut down: isc_bad_shutdown_mode, "Target shutdown mode is invalid
// for database ..."; for a server that cannot handle its security database's
// long path, the explanation of ServiceRequestMessage). Nothing is sent when
// an input is blank.
void ShutdownDatabase(const std::string& client_library, const std::string& database_name,
                      const std::string& user_name, const std::string& password,
                      platform::Platform& platform);

// Brings the database online, as ShutdownDatabase shuts it down; returns at
// once after the request.
void BringDatabaseOnline(const std::string& client_library, const std::string& database_name,
                         const std::string& user_name, const std::string& password,
                         platform::Platform& platform);

// The user names of the database's attachments, one entry per attachment,
// without one entry for this call's own attachment (the first that equals
// `user_name` ignoring case). Attaches with `role` (empty: none) through the
// shared client library loaded by `client_library`. On success the result
// replaces the content of `users`; on failure `users` is untouched and
// UpdateFailure carries the CheckConnectionParams message or the library's
// load failure, FirebirdFailure the server's status text. An answer cut short
// by the server gives the names that arrived before the cut.
void GetAttachedUsers(const std::string& client_library, const std::string& database_name,
                      const std::string& user_name, const std::string& password,
                      const std::string& role, std::vector<std::string>& users,
                      platform::Platform& platform);

}  // namespace updater
