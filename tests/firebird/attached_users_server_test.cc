// The attached-users query and the attachment against the real test server.
#include <gtest/gtest.h>

#include <algorithm>

#include "firebird/client_failures.h"
#include "firebird/uDBConnection.h"
#include "firebird/uIBEScript.h"
#include "support/failure_of.h"
#include "support/firebird_server.h"

namespace updater {
namespace {

using testing::FailureOf;
using testing::RequireTestServer;
using testing::TestAttachment;
using testing::TestDatabase;
using Names = std::vector<std::string>;

class AttachedUsersTest : public ::testing::Test {
 protected:
  AttachedUsersTest() : server(RequireTestServer()), platform(testing::WithRealLibraries(fake)) {}

  Names Users(const std::string& user_name, Names users = {"left over"}) {
    GetAttachedUsers("fbclient.dll", database.ConnectString(), user_name, server.sysdba_password,
                     "", users, platform);
    std::sort(users.begin(), users.end());
    return users;
  }

  const testing::TestServer& server;
  testing::FakePlatform fake;
  platform::Platform platform;
  TestDatabase database;
};

TEST_F(AttachedUsersTest, OnlyTheUpdaterAttachedLeavesAnEmptyList) {
  EXPECT_EQ(Users("SYSDBA"), Names{});
}

TEST_F(AttachedUsersTest, ListsEveryOtherAttachmentAndRemovesOneOwnEntryIgnoringCase) {
  TestAttachment admn1(database.ConnectString(), "ADMN", server.admn_password);
  TestAttachment admn2(database.ConnectString(), "ADMN", server.admn_password);
  TestAttachment sysdba(database.ConnectString(), "SYSDBA", server.sysdba_password);
  EXPECT_EQ(Users("SYSDBA"), (Names{"ADMN", "ADMN", "SYSDBA"}));
  // The server names the user in upper case; the own entry is found anyway.
  EXPECT_EQ(Users("sysdba"), (Names{"ADMN", "ADMN", "SYSDBA"}));
}

TEST_F(AttachedUsersTest, AFailureLeavesTheCallersListAlone) {
  Names users{"kept"};
  EXPECT_EQ(FailureOf([&] {
              GetAttachedUsers("fbclient.dll", database.ConnectString(), "SYSDBA", "wrong", "",
                               users, platform);
            }),
            "Your user name and password are not defined. Ask your database administrator to "
            "set up a Firebird login");
  EXPECT_EQ(FailureOf([&] {
              GetAttachedUsers("fbclient.dll", database.ConnectString(), "SYSDBA", "", "", users,
                               platform);
            }),
            "Не задан пароль!");
  EXPECT_EQ(users, Names{"kept"});
}

TEST_F(AttachedUsersTest, AConnectionAttachesOnceAndDetachesOnDestruction) {
  fbclient::FbClient& client = SharedFbClient(platform.libraries, "fbclient.dll");
  // Loaded once and kept for the process.
  EXPECT_EQ(&client, &SharedFbClient(platform.libraries, "fbclient.dll"));
  {
    TDBConnection connection(client, database.ConnectString(), "ADMN", server.admn_password, "");
    EXPECT_FALSE(connection.Attached());
    connection.Attach();
    connection.Attach();
    EXPECT_TRUE(connection.Attached());
    EXPECT_EQ(Users("SYSDBA"), Names{"ADMN"});
  }
  EXPECT_EQ(Users("SYSDBA"), Names{});

  TDBConnection refused(client, database.ConnectString(), "ADMN", "wrong", "");
  EXPECT_NE(FailureOf([&] { refused.Attach(); }), "<no failure>");
  EXPECT_FALSE(refused.Attached());
  refused.Detach();  // nothing to do
}

}  // namespace
}  // namespace updater
