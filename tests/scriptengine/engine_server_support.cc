#include "scriptengine/engine_server_support.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/failures.h"
#include "firebird/uIBEScript.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "support/firebird_server.h"
#include "support/recording_front_end.h"
#include "support/server_names.h"
#include "support/temp_folder.h"

namespace updater::scriptengine::testing {
namespace {

std::string Password(const std::string& user) {
  const ::updater::testing::TestServer& server = ::updater::testing::RequireTestServer();
  return user == "ADMN" ? server.admn_password : server.sysdba_password;
}

template <typename Run>
std::string Failure(Run run) {
  try {
    run();
  } catch (const UpdateFailure& failure) {
    return failure.Message();
  }
  return "";
}

}  // namespace

std::string RunFile(const std::string& database, const std::string& charset,
                    const std::string& path, LogView* view, const std::string& user,
                    LoadProgressView* progress) {
  ::updater::testing::CountingPump pump;
  return Failure([&] {
    RunScriptFile("fbclient.dll", database, user, charset, Password(user), "", path, view,
                  platform::SystemPlatform(), pump, progress);
  });
}

std::string RunText(const std::string& database, const std::string& charset,
                    const std::string& text, LogView* view, const std::string& user,
                    const std::string& password) {
  ::updater::testing::CountingPump pump;
  return Failure([&] {
    RunScriptText("fbclient.dll", database, user, charset,
                  password.empty() ? Password(user) : password, "", text, view,
                  platform::SystemPlatform(), pump);
  });
}

std::string AnsiCharset() { return platform::Utf8ToAnsi("Ё") == "Ё" ? "UTF8" : "WIN1251"; }

ConnectParams SysdbaParams(const std::string& database, const std::string& charset) {
  ConnectParams params;
  params.database = database;
  params.user = "SYSDBA";
  params.password = ::updater::testing::RequireTestServer().sysdba_password;
  params.charset = charset;
  return params;
}

void PrepareBlock(const std::string& name, const std::string& header, const std::string& target) {
  // The source tree as the program names it (a drive letter under Wine).
  std::ifstream in(::updater::testing::FsPath(::updater::testing::ProgramPath(UPDATER_SOURCE_DIR) +
                                              "/sample/payload/" + name),
                   std::ios::binary);
  if (!in) throw std::runtime_error("no block " + name);
  std::stringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  const size_t first_line_end = text.find('\n');
  text = header + "\r\n" + text.substr(first_line_end + 1);
  std::ofstream(::updater::testing::FsPath(target), std::ios::binary) << text;
}

}  // namespace updater::scriptengine::testing
