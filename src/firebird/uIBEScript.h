// Database operations through the Firebird client: the check of the
// connection inputs that every one of them makes first, the switching of a
// database between shutdown and online through the Services API, and the
// list of users attached to a database.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater {

// Fails with the first blank input (leading and trailing blanks and control
// characters do not count): "Не задана клиентская библиотека!", "Не задана
// база данных!", "Не задано имя пользователя!", "Не задан пароль!".
void CheckConnectionParams(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password);

// Shuts the database down (forced, after one second) through the service
// manager of its server: CheckConnectionParams, then the request through the
// shared client library loaded by `client_library`, then a wait of two
// seconds on the platform's clock. Raises UpdateFailure with the
// CheckConnectionParams message, the library's load failure, or the server's
// status text (for a database already shut down: "Target shutdown mode is
// invalid for database ..."). Nothing is sent when an input is blank.
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
// UpdateFailure carries the CheckConnectionParams message, the library's load
// failure or the server's status text. An answer cut short by the server
// gives the names that arrived before the cut.
void GetAttachedUsers(const std::string& client_library, const std::string& database_name,
                      const std::string& user_name, const std::string& password,
                      const std::string& role, std::vector<std::string>& users,
                      platform::Platform& platform);

}  // namespace updater
