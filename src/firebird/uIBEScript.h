// Database operations through the Firebird client: the check of the
// connection inputs that every one of them makes first.
#pragma once

#include <string>

namespace updater {

// Fails with the first blank input (leading and trailing blanks and control
// characters do not count): "Не задана клиентская библиотека!", "Не задана
// база данных!", "Не задано имя пользователя!", "Не задан пароль!".
void CheckConnectionParams(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password);

}  // namespace updater
