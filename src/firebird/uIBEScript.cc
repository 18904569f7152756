#include "firebird/uIBEScript.h"

#include "common/failures.h"
#include "common/strings.h"

namespace updater {

void CheckConnectionParams(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password) {
  if (Trim(client_library).empty()) throw UpdateFailure("Не задана клиентская библиотека!");
  if (Trim(database_name).empty()) throw UpdateFailure("Не задана база данных!");
  if (Trim(user_name).empty()) throw UpdateFailure("Не задано имя пользователя!");
  if (Trim(password).empty()) throw UpdateFailure("Не задан пароль!");
}

}  // namespace updater
