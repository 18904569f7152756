#include "firebird/fb_client.h"

#include <gtest/gtest.h>

#include "common/failures.h"
#include "firebird/uIBEScript.h"
#include "platform/platform.h"
#include "support/failure_of.h"

namespace updater {
namespace {

using testing::FailureOf;

TEST(CheckConnectionParams, NamesTheFirstBlankInput) {
  const struct {
    const char *library, *database, *user, *password, *failure;
  } cases[] = {
      {"fbclient.dll", "localhost/3051:C:\\a.fdb", "SYSDBA", "pw", "<no failure>"},
      {" \t", "db", "SYSDBA", "pw", "Не задана клиентская библиотека!"},
      {"fbclient.dll", "\r\n", "SYSDBA", "pw", "Не задана база данных!"},
      {"fbclient.dll", "db", "", "", "Не задано имя пользователя!"},
      {"fbclient.dll", "db", "SYSDBA", "  ", "Не задан пароль!"},
      {"", "", "", "", "Не задана клиентская библиотека!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { CheckConnectionParams(c.library, c.database, c.user, c.password); }),
              c.failure);
  }
}

TEST(FbClient, ALibraryThatCannotBeLoadedIsNamedInTheFailure) {
  const std::string failure = FailureOf(
      [] { FbClient client(platform::SystemPlatform().libraries, "no-such-client.dll"); });
  EXPECT_EQ(failure.rfind("Невозможно загрузить клиентскую библиотеку \"no-such-client.dll\"!\r", 0),
            0u)
      << failure;
}

TEST(FbClient, ALibraryWithoutTheEntryPointsIsRefusedByTheFirstMissingOne) {
  const std::string failure = FailureOf(
      [] { FbClient client(platform::SystemPlatform().libraries, "beside.dll"); });
  EXPECT_EQ(failure,
            "В клиентской библиотеке \"beside.dll\" не найдена функция \"isc_attach_database\"!");
}

}  // namespace
}  // namespace updater
