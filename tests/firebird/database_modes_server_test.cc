// Shutdown and online against the real test server.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "firebird/client_failures.h"
#include "firebird/uIBEScript.h"
#include "support/failure_of.h"
#include "support/firebird_server.h"
#include "support/server_names.h"

namespace updater {
namespace {

using testing::FailureOf;
using testing::RequireTestServer;
using testing::TestAttachment;
using testing::TestDatabase;

// The real client library and file system, the fake clock.
class DatabaseModesTest : public ::testing::Test {
 protected:
  DatabaseModesTest() : server(RequireTestServer()), platform(testing::WithRealLibraries(fake)) {}

  // The server's answer to an attachment of ADMN; empty when it was let in.
  std::string AdmnRefusal(const TestDatabase& database) {
    try {
      TestAttachment admn(database.ConnectString(), "ADMN", server.admn_password);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return {};
  }

  const testing::TestServer& server;
  testing::FakePlatform fake;
  platform::Platform platform;
};

// The error codes of the FirebirdFailure `action` raises.
std::vector<ISC_STATUS> CodesOf(const std::function<void()>& action) {
  std::vector<ISC_STATUS> codes;
  try {
    action();
  } catch (const FirebirdFailure& failure) {
    for (const fbclient::FbError& error : failure.Status().errors) codes.push_back(error.code);
  }
  return codes;
}

TEST_F(DatabaseModesTest, ShutdownAndOnlineSwitchTheDatabaseAndRefuseARepeat) {
  TestDatabase database;
  const std::string name = database.ConnectString();
  const std::string already =
      "Target shutdown mode is invalid for database \"" + database.ServerFilePath() + "\"";

  ShutdownDatabase("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
  EXPECT_NE(AdmnRefusal(database).find("shutdown"), std::string::npos) << AdmnRefusal(database);
  EXPECT_EQ(fake.clock.sleeps(), std::vector<uint32_t>{2000});

  EXPECT_EQ(FailureOf([&] {
              ShutdownDatabase("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
            }),
            already);
  // The code the database commands decide by.
  EXPECT_EQ(CodesOf([&] {
              ShutdownDatabase("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
            }),
            std::vector<ISC_STATUS>{isc_bad_shutdown_mode});

  BringDatabaseOnline("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
  EXPECT_EQ(AdmnRefusal(database), "");

  EXPECT_EQ(FailureOf([&] {
              BringDatabaseOnline("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
            }),
            already);
  EXPECT_EQ(CodesOf([&] {
              BringDatabaseOnline("fbclient.dll", name, "SYSDBA", server.sysdba_password, platform);
            }),
            std::vector<ISC_STATUS>{isc_bad_shutdown_mode});
  // Only the successful shutdown waits.
  EXPECT_EQ(fake.clock.sleeps(), std::vector<uint32_t>{2000});
}

TEST_F(DatabaseModesTest, TheServersRefusalIsTheFailuresText) {
  TestDatabase database;
  EXPECT_EQ(FailureOf([&] {
              ShutdownDatabase("fbclient.dll", database.ConnectString(), "SYSDBA", "wrong",
                               platform);
            }),
            "Your user name and password are not defined. Ask your database administrator to "
            "set up a Firebird login");
  EXPECT_EQ(AdmnRefusal(database), "");

  // Several texts are joined by CR LF; a Cyrillic path comes back as it went
  // (the server names a missing file as the client did, also through an
  // alias).
  const std::string missing = server.data + "/Нет такой/База.fdb";
  testing::LetTheServerOpen(missing, server.data_on_server + "/Нет такой/База.fdb", server.root);
  const std::string failure = FailureOf([&] {
    BringDatabaseOnline("fbclient.dll", server.prefix + missing, "SYSDBA", server.sysdba_password,
                        platform);
  });
  EXPECT_NE(failure.find(missing), std::string::npos) << failure;
  EXPECT_NE(failure.find("\r\n"), std::string::npos) << failure;
  EXPECT_NE(failure.back(), '.');
  EXPECT_TRUE(fake.clock.sleeps().empty());
}

TEST_F(DatabaseModesTest, AClientLibraryThatCannotBeLoadedSendsNothing) {
  TestDatabase database;
  const std::string failure = FailureOf([&] {
    ShutdownDatabase("no-such-client.dll", database.ConnectString(), "SYSDBA",
                     server.sysdba_password, platform);
  });
  EXPECT_EQ(failure.rfind("Невозможно загрузить клиентскую библиотеку \"no-such-client.dll\"", 0),
            0u)
      << failure;
  EXPECT_EQ(AdmnRefusal(database), "");
}

}  // namespace
}  // namespace updater
