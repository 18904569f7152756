#include "firebird/client_failures.h"

#include <gtest/gtest.h>

#include "common/failures.h"
#include "firebird/uIBEScript.h"
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

TEST(RequireBlock, NamesTheValueThatIsTooLong) {
  const std::string longest(255, 'p');
  EXPECT_EQ(FailureOf([&] { RequireBlock(fbclient::ServiceAttachBlock("SYSDBA", longest + "p")); }),
            "Параметр подключения \"пароль\" длиннее 255 байт!");
  EXPECT_EQ(FailureOf([&] {
              RequireBlock(fbclient::DatabaseParameterBlock(longest + "u", "pw", "", "WIN1251"));
            }),
            "Параметр подключения \"имя пользователя\" длиннее 255 байт!");
  EXPECT_EQ(
      FailureOf([] { RequireBlock(fbclient::ShutdownRequestBlock(std::string(65536, 'x'))); }),
      "Параметр подключения \"путь к базе данных\" длиннее 65535 байт!");
  EXPECT_EQ(RequireBlock(fbclient::ServiceAttachBlock("SYSDBA", "pw")).size(), 14u);
}

// The status of a shutdown or online request that the Firebird 3 server
// failed because its security database lies under a long path, as the
// client reads it.
fbclient::FbStatus ClumpletOverflow() {
  const std::string internal =
      "Internal error when using clumplet API: attempt to store 259 bytes in a clumplet with "
      "maximum size 255 bytes";
  return {{{isc_random, {internal}}}, {internal}};
}

TEST(ServiceRequestMessage, ExplainsTheServersSecurityPathLimitAndKeepsItsText) {
  const std::string explained = ServiceRequestMessage(ClumpletOverflow());
  EXPECT_EQ(explained,
            "Сервер FireBird не может перевести базу данных в другой режим через менеджер "
            "сервисов: путь к базе данных безопасности сервера (security3.fdb) длиннее 99 байт. "
            "Установите сервер FireBird в папку с более коротким путем или перенесите базу данных "
            "безопасности в такую папку (параметр SecurityDatabase в firebird.conf) и повторите "
            "попытку.\rInternal error when using clumplet API: attempt to store 259 bytes in a "
            "clumplet with maximum size 255 bytes");

  // Decided by the code and its argument, never by the words shown: the same
  // generic code with another internal text, or the clumplet words under
  // another code, are passed on as the server gave them.
  const struct {
    fbclient::FbStatus status;
    const char* message;
  } others[] = {
      {{{{isc_random, {"Some other internal failure"}}}, {"Some other internal failure."}},
       "Some other internal failure"},
      {{{{isc_bad_shutdown_mode, {"/d/Internal error when using clumplet API: attempt to store"}}},
        {"Target shutdown mode is invalid for database \"/d/Internal error when using clumplet "
         "API: attempt to store\""}},
       "Target shutdown mode is invalid for database \"/d/Internal error when using clumplet "
       "API: attempt to store\""},
      {{{{isc_login, {}}}, {"Your user name and password are not defined.", "Second."}},
       "Your user name and password are not defined.\r\nSecond"},
  };
  for (const auto& other : others) {
    EXPECT_EQ(ServiceRequestMessage(other.status), other.message);
    EXPECT_EQ(StatusMessage(other.status), other.message);
  }
}

TEST(RaiseStatus, KeepsTheStatusForDecisionsByCode) {
  try {
    RaiseStatus(ClumpletOverflow());
    FAIL() << "no failure";
  } catch (const FirebirdFailure& failure) {
    EXPECT_TRUE(failure.Status().Has(isc_random));
    EXPECT_EQ(failure.Message(), ClumpletOverflow().texts[0]);
  }
}

}  // namespace
}  // namespace updater
