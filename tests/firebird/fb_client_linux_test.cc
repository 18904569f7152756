#include <gtest/gtest.h>

#include "firebird/fb_client.h"
#include "platform/platform.h"

namespace updater {
namespace {

// With no "fbclient.dll" next to the executable, the Linux build's client is
// the system's Firebird client library, with every entry point the program
// uses.
TEST(FbClientOnLinux, TheSystemClientStandsInForFbclientDll) {
  FbClient client(platform::SystemPlatform().libraries, "fbclient.dll");
  EXPECT_NE(client.isc_attach_database, nullptr);
  EXPECT_NE(client.fb_interpret, nullptr);
  EXPECT_EQ(&SharedFbClient(platform::SystemPlatform().libraries, "fbclient.dll"),
            &SharedFbClient(platform::SystemPlatform().libraries, "fbclient.dll"));
}

}  // namespace
}  // namespace updater
