#include "fbclient/fb_client.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace updater::fbclient {
namespace {

TEST(FbClient, ALibraryThatCannotBeLoadedIsAFailureWithTheSystemsReason) {
  const LoadOutcome loaded =
      FbClient::Load(platform::SystemPlatform().libraries, "no-such-client.dll");
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.failure().file_name, "no-such-client.dll");
  EXPECT_EQ(loaded.failure().missing_entry, "");
  const std::string text = loaded.failure().Describe();
  EXPECT_EQ(text.rfind("Невозможно загрузить клиентскую библиотеку \"no-such-client.dll\"!\r", 0),
            0u)
      << text;
  EXPECT_NE(text.find(loaded.failure().error.Describe()), std::string::npos) << text;
}

TEST(FbClient, ALibraryWithoutTheEntryPointsIsRefusedByTheFirstMissingOne) {
  const LoadOutcome loaded = FbClient::Load(platform::SystemPlatform().libraries, "beside.dll");
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.failure().missing_entry, "isc_attach_database");
  EXPECT_EQ(loaded.failure().Describe(),
            "В клиентской библиотеке \"beside.dll\" не найдена функция \"isc_attach_database\"!");
}

}  // namespace
}  // namespace updater::fbclient
