// Databases on the test server that scripts/test starts, for the script
// engine's server tests. The server is described by the environment
// (UPDATER_TEST_FB_PREFIX, UPDATER_TEST_FB_SYSDBA_PASSWORD,
// UPDATER_TEST_FB_ADMN_PASSWORD, UPDATER_TEST_FB_DATA). Linux builds only.
#pragma once

#include <string>

namespace updater::scriptengine::testing {

struct ServerSettings {
  std::string prefix;
  std::string sysdba_password;
  std::string admn_password;
  std::string data;
};

// The settings; throws std::runtime_error naming a missing variable.
const ServerSettings& Server();

// A database created empty in a folder of its own below the data folder,
// dropped with the folder at the end.
class ServerDatabase {
 public:
  explicit ServerDatabase(const std::string& charset);
  ~ServerDatabase();
  ServerDatabase(const ServerDatabase&) = delete;
  ServerDatabase& operator=(const ServerDatabase&) = delete;

  const std::string& Folder() const { return folder_; }
  // localhost/<port>:<path>
  std::string Name() const;

 private:
  std::string folder_;
  std::string file_;
};

}  // namespace updater::scriptengine::testing
