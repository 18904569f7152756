#include <gtest/gtest.h>

#include "fbclient/fb_client.h"
#include "platform/platform.h"

namespace updater::fbclient {
namespace {

std::unique_ptr<FbClient> SystemClient() {
  LoadOutcome loaded = FbClient::Load(platform::SystemPlatform().libraries, "fbclient.dll");
  if (!loaded.ok()) ADD_FAILURE() << loaded.failure().Describe();
  return loaded.ok() ? std::move(loaded).value() : nullptr;
}

// With no "fbclient.dll" next to the executable, the Linux build's client is
// the system's Firebird client library, with every entry point the program
// uses.
TEST(FbClientOnLinux, TheSystemClientStandsInForFbclientDll) {
  const std::unique_ptr<FbClient> client = SystemClient();
  ASSERT_NE(client, nullptr);
  EXPECT_NE(client->isc_attach_database, nullptr);
  EXPECT_NE(client->fb_interpret, nullptr);
}

// The status vector of a shutdown request that the Firebird 3 server fails
// because its security database's path is too long, as the server sends it:
// the codes come with the client's own texts.
TEST(FbClientOnLinux, ReadsAStatusVectorIntoCodesAndTexts) {
  const std::unique_ptr<FbClient> client = SystemClient();
  ASSERT_NE(client, nullptr);
  const char* internal =
      "Internal error when using clumplet API: attempt to store 329 bytes in a clumplet with "
      "maximum size 255 bytes";
  const char* path = "/srv/marlix/DB_Data/Marlix.fdb";
  const ISC_STATUS vector[ISC_STATUS_LENGTH] = {
      isc_arg_gds,    isc_random,
      isc_arg_string, reinterpret_cast<ISC_STATUS>(internal),
      isc_arg_gds,    isc_bad_shutdown_mode,
      isc_arg_string, reinterpret_cast<ISC_STATUS>(path),
      isc_arg_end};
  const FbStatus status = client->ReadStatus(vector);
  EXPECT_EQ(status.errors,
            (std::vector<FbError>{{isc_random, {internal}}, {isc_bad_shutdown_mode, {path}}}));
  EXPECT_EQ(
      status.texts,
      (std::vector<std::string>{
          internal, std::string("Target shutdown mode is invalid for database \"") + path + "\""}));
}

}  // namespace
}  // namespace updater::fbclient
