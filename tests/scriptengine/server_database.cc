#include "scriptengine/server_database.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "firebird/fb_client.h"
#include "platform/platform.h"

namespace updater::scriptengine::testing {
namespace {

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) +
                             " is not set: the server tests need the test server; run the tests "
                             "through scripts/test");
  }
  return value;
}

FbClient& Client() {
  static FbClient client(platform::SystemPlatform().libraries, "fbclient.dll");
  return client;
}

std::string Block(const std::string& password) {
  std::string block(1, isc_dpb_version1);
  for (const auto& [item, value] : {std::pair<char, std::string>{isc_dpb_user_name, "SYSDBA"},
                                    {isc_dpb_password, password}}) {
    block += item;
    block += static_cast<char>(value.size());
    block += value;
  }
  return block;
}

}  // namespace

const ServerSettings& Server() {
  static const ServerSettings settings{
      Required("UPDATER_TEST_FB_PREFIX"), Required("UPDATER_TEST_FB_SYSDBA_PASSWORD"),
      Required("UPDATER_TEST_FB_ADMN_PASSWORD"), Required("UPDATER_TEST_FB_DATA")};
  return settings;
}

ServerDatabase::ServerDatabase(const std::string& charset) {
  static std::atomic<int> counter{0};
  const std::filesystem::path folder = std::filesystem::path(Server().data) /
                                       ("se-" + std::to_string(getpid()) + "-" +
                                        std::to_string(counter++));
  std::filesystem::create_directories(folder);
  folder_ = folder.string();
  file_ = (folder / "test.fdb").string();
  const std::string sql = "CREATE DATABASE '" + Name() + "' USER 'SYSDBA' PASSWORD '" +
                          Server().sysdba_password + "' PAGE_SIZE 8192 DEFAULT CHARACTER SET " +
                          charset;
  ISC_STATUS_ARRAY status;
  isc_db_handle handle = 0;
  isc_tr_handle transaction = 0;
  if (Client().isc_dsql_execute_immediate(status, &handle, &transaction, 0, sql.c_str(), 3,
                                          nullptr) != 0) {
    throw std::runtime_error("cannot create " + file_ + ": " + Client().StatusMessage(status));
  }
  Client().isc_detach_database(status, &handle);
}

ServerDatabase::~ServerDatabase() {
  ISC_STATUS_ARRAY status;
  isc_db_handle handle = 0;
  const std::string block = Block(Server().sysdba_password);
  const std::string name = Name();
  if (Client().isc_attach_database(status, 0, name.c_str(), &handle,
                                   static_cast<short>(block.size()), block.data()) == 0 &&
      Client().isc_drop_database(status, &handle) != 0) {
    Client().isc_detach_database(status, &handle);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ServerDatabase::Name() const { return Server().prefix + file_; }

}  // namespace updater::scriptengine::testing
