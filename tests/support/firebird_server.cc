#include "support/firebird_server.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "fbclient/parameter_blocks.h"
#include "firebird/client_failures.h"
#include "platform/name_case.h"
#include "platform/platform.h"
#include "support/server_names.h"
#include "support/temp_folder.h"

namespace updater::testing {
namespace {

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) +
                             " is not set: the Firebird tests need the test server; run the "
                             "tests through scripts/test (or eval \"$(scripts/fbserver env)\" "
                             "after scripts/fbserver start)");
  }
  return value;
}

// Attaches as `user_name`; returns the failure's text, or empty on success.
std::string TryAttach(const std::string& connect_string, const std::string& user_name,
                      const std::string& password, isc_db_handle& handle) {
  const std::string block = fbclient::DatabaseParameterBlock(user_name, password, "", "").value();
  ISC_STATUS_ARRAY status;
  if (TestClient().isc_attach_database(status, 0, connect_string.c_str(), &handle,
                                       static_cast<short>(block.size()), block.data()) != 0) {
    return StatusMessage(TestClient().ReadStatus(status));
  }
  return {};
}

}  // namespace

const TestServer& RequireTestServer() {
  static const TestServer server{Required("UPDATER_TEST_FB_PREFIX"),
                                 Required("UPDATER_TEST_FB_SYSDBA_PASSWORD"),
                                 Required("UPDATER_TEST_FB_ADMN_PASSWORD"),
                                 ProgramPath(Required("UPDATER_TEST_FB_ROOT")),
                                 ProgramPath(Required("UPDATER_TEST_FB_DATA")),
                                 Required("UPDATER_TEST_FB_DATA")};
  return server;
}

platform::Platform WithRealLibraries(FakePlatform& fake) {
  return {fake.files,     fake.volumes,   fake.registry,
          fake.services,  fake.processes, platform::SystemPlatform().libraries,
          fake.resources, fake.clock};
}

fbclient::FbClient& TestClient() {
  static const std::unique_ptr<fbclient::FbClient> client = [] {
    fbclient::LoadOutcome loaded =
        fbclient::FbClient::Load(platform::SystemPlatform().libraries, "fbclient.dll");
    if (!loaded.ok()) throw std::runtime_error(loaded.failure().Describe());
    return std::move(loaded).value();
  }();
  return *client;
}

TestDatabase::TestDatabase(const std::string& charset, const std::string& relative_file) {
  const TestServer& server = RequireTestServer();
  static std::atomic<int> counter{0};
  const std::string name = std::to_string(TestProcessId()) + "-" + std::to_string(counter++);
  const std::filesystem::path folder = FsPath(server.data) / name;
  const std::filesystem::path file = (folder / FsPath(relative_file)).make_preferred();
  std::filesystem::create_directories(file.parent_path());
  folder_ = Utf8(folder);
  file_path_ = Utf8(file);
  server_file_path_ = server.data_on_server + "/" + name + "/" + relative_file;
  LetTheServerOpen(file_path_, server_file_path_, server.root);

  const std::string sql = "CREATE DATABASE '" + ConnectString() + "' USER 'SYSDBA' PASSWORD '" +
                          server.sysdba_password + "' PAGE_SIZE 8192 DEFAULT CHARACTER SET " +
                          charset;
  ISC_STATUS_ARRAY status;
  isc_db_handle handle = 0;
  isc_tr_handle transaction = 0;
  if (TestClient().isc_dsql_execute_immediate(status, &handle, &transaction, 0, sql.c_str(), 3,
                                              nullptr) != 0) {
    throw std::runtime_error("cannot create the test database " + file_path_ + ": " +
                             StatusMessage(TestClient().ReadStatus(status)));
  }
  TestClient().isc_detach_database(status, &handle);
}

TestDatabase::~TestDatabase() {
  const TestServer& server = RequireTestServer();
  isc_db_handle handle = 0;
  std::string failure = TryAttach(ConnectString(), "SYSDBA", server.sysdba_password, handle);
  if (failure.empty()) {
    ISC_STATUS_ARRAY status;
    if (TestClient().isc_drop_database(status, &handle) != 0) {
      failure = StatusMessage(TestClient().ReadStatus(status));
      TestClient().isc_detach_database(status, &handle);
    }
  }
  // A database the server would not drop (a test left it in full shutdown)
  // goes with its folder all the same; the server holds no file of it once
  // the last attachment is gone.
  if (!failure.empty()) {
    std::fprintf(stderr, "note: test database %s not dropped: %s\n", file_path_.c_str(),
                 failure.c_str());
  }
  std::error_code ignored;
  std::filesystem::remove_all(FsPath(folder_), ignored);
}

std::string TestDatabase::ConnectString() const { return RequireTestServer().prefix + file_path_; }

TestAttachment::TestAttachment(const std::string& connect_string, const std::string& user_name,
                               const std::string& password) {
  const std::string failure = TryAttach(connect_string, user_name, password, handle_);
  if (!failure.empty()) {
    throw std::runtime_error("cannot attach to " + connect_string + " as " + user_name + ": " +
                             failure);
  }
}

TestAttachment::~TestAttachment() {
  ISC_STATUS_ARRAY status;
  TestClient().isc_detach_database(status, &handle_);
}

std::unique_ptr<TestDatabase> DatabaseOnceAnswering(std::chrono::seconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    try {
      return std::make_unique<TestDatabase>();
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() >= until) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

std::vector<uint32_t> ProcessesSettlingAt(const std::string& exe_name, size_t count) {
  const auto named = [&] {
    std::vector<uint32_t> pids;
    auto snapshot = platform::SystemPlatform().processes.Snapshot();
    if (!snapshot) throw std::runtime_error(snapshot.error().Describe());
    for (const platform::ProcessEntry& process : *snapshot) {
      if (platform::NamesEqualIgnoringCase(process.exe_name, exe_name)) pids.push_back(process.pid);
    }
    return pids;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::vector<uint32_t> pids = named();
  while (pids.size() != count && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pids = named();
  }
  return pids;
}

}  // namespace updater::testing
