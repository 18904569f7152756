// The private Firebird server that scripts/test starts (scripts/fbserver) and
// describes in the environment, as the tests reach it, and test databases on
// it. The Linux build reaches it directly; the Windows build under Wine
// (tests/wine/with_wine_server) through the test bridge fbclient.dll, with
// the server's folders under drive letters (support/server_names.h).
#pragma once

#include <ibase.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "fbclient/fb_client.h"
#include "support/fake_platform.h"

namespace updater::testing {

// Folders as the program under test names them, except `data_on_server`.
struct TestServer {
  std::string prefix;           // UPDATER_TEST_FB_PREFIX: "localhost/3051:"
  std::string sysdba_password;  // UPDATER_TEST_FB_SYSDBA_PASSWORD
  std::string admn_password;    // UPDATER_TEST_FB_ADMN_PASSWORD
  std::string root;             // UPDATER_TEST_FB_ROOT: the server's root folder
  std::string data;             // UPDATER_TEST_FB_DATA: where tests put databases
  std::string data_on_server;   // the same folder as the server names it
};

// The server's settings from the environment. Throws std::runtime_error
// naming the missing variable when the tests were not started by
// scripts/test; GoogleTest reports it as the test's failure.
const TestServer& RequireTestServer();

// `fake` with the system's library loader: the real client library, with
// the test's clock and file system.
platform::Platform WithRealLibraries(FakePlatform& fake);

// The client library of the test helpers ("fbclient.dll", which the Linux
// build resolves to the system's client), apart from the updater's shared one.
fbclient::FbClient& TestClient();

// A database on the test server, in a folder of its own below the data
// folder; created by the constructor (owned by SYSDBA), dropped with its
// folder by the destructor. The server answers to the program's name of it.
class TestDatabase {
 public:
  // Creates `<data>/<unique folder>/<relative_file>` (`relative_file` with
  // "/" between its folders), whose folders are made as needed, with the
  // default character set `charset` ("WIN1251", "UTF8"). Throws
  // std::runtime_error with the server's text.
  explicit TestDatabase(const std::string& charset = "WIN1251",
                        const std::string& relative_file = "test.fdb");
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& FilePath() const { return file_path_; }
  // The file as the server names it in its messages (FilePath on Linux).
  const std::string& ServerFilePath() const { return server_file_path_; }
  // The server's prefix and the file path: localhost/3051:/.../test.fdb.
  std::string ConnectString() const;

 private:
  std::string folder_;
  std::string file_path_;
  std::string server_file_path_;
};

// An attachment held open, as another program's would be. Throws
// std::runtime_error with the server's text when the server refuses it.
class TestAttachment {
 public:
  TestAttachment(const std::string& connect_string, const std::string& user_name,
                 const std::string& password);
  ~TestAttachment();
  TestAttachment(const TestAttachment&) = delete;
  TestAttachment& operator=(const TestAttachment&) = delete;

 private:
  isc_db_handle handle_ = 0;
};

// A new TestDatabase made as soon as the server answers (a restarted
// server binds its port a moment after its process starts). Throws the
// last refusal when it does not answer within `limit`.
std::unique_ptr<TestDatabase> DatabaseOnceAnswering(std::chrono::seconds limit);

// The ids of the running processes whose executable is `exe_name` (any
// letter case), once there are `count` of them, or as they are after five
// seconds: processes take a moment to start and to leave the table.
std::vector<uint32_t> ProcessesSettlingAt(const std::string& exe_name, size_t count);

}  // namespace updater::testing
