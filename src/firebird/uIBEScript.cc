#include "firebird/uIBEScript.h"

#include <ibase.h>

#include <algorithm>
#include <cstdint>

#include "common/failures.h"
#include "fbclient/fb_client.h"
#include "fbclient/parameter_blocks.h"
#include "firebird/client_failures.h"
#include "firebird/database_names.h"
#include "firebird/uDBConnection.h"
#include "platform/name_case.h"
#include "platform/strings.h"
#include "platform/text.h"

namespace updater {
namespace {

constexpr size_t kUserNamesAnswerSize = 20480;

// One attachment to a service manager, detached when it goes out of scope.
class ServiceAttachment {
 public:
  ServiceAttachment(fbclient::FbClient& client, const std::string& manager,
                    const std::string& block)
      : client_(client) {
    ISC_STATUS_ARRAY status;
    if (client_.isc_service_attach(status, static_cast<unsigned short>(manager.size()),
                                   manager.data(), &handle_,
                                   static_cast<unsigned short>(block.size()), block.data()) != 0) {
      RaiseStatus(client_.ReadStatus(status));
    }
  }
  ~ServiceAttachment() {
    if (handle_ == 0) return;
    // Only reached when the request already failed and its failure is on its
    // way; a second failure from the detach would hide the first.
    ISC_STATUS_ARRAY status;
    client_.isc_service_detach(status, &handle_);
  }
  ServiceAttachment(const ServiceAttachment&) = delete;
  ServiceAttachment& operator=(const ServiceAttachment&) = delete;

  void Start(const std::string& request) {
    ISC_STATUS_ARRAY status;
    if (client_.isc_service_start(status, &handle_, nullptr,
                                  static_cast<unsigned short>(request.size()),
                                  request.data()) != 0) {
      const fbclient::FbStatus failed = client_.ReadStatus(status);
      throw FirebirdFailure(ServiceRequestMessage(failed), failed);
    }
  }

  void Detach() {
    ISC_STATUS_ARRAY status;
    const ISC_STATUS result = client_.isc_service_detach(status, &handle_);
    handle_ = 0;
    if (result != 0) RaiseStatus(client_.ReadStatus(status));
  }

 private:
  fbclient::FbClient& client_;
  isc_svc_handle handle_ = 0;
};

// One properties request to the service manager of the database's server;
// `make_request` builds the request block from the database's file path.
void SendPropertiesRequest(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password,
                           platform::Platform& platform,
                           fbclient::BlockOutcome (*make_request)(const std::string& path)) {
  CheckConnectionParams(client_library, database_name, user_name, password);
  fbclient::FbClient& client = SharedFbClient(platform.libraries, client_library);
  const DatabaseNameParts parts = SplitDatabaseName(platform::Utf8ToAnsi(database_name));
  const std::string attach_block = RequireBlock(fbclient::ServiceAttachBlock(
      platform::Utf8ToAnsi(user_name), platform::Utf8ToAnsi(password)));
  const std::string request = RequireBlock(make_request(parts.path));

  ServiceAttachment service(client, ServiceManagerName(parts.server), attach_block);
  service.Start(request);
  service.Detach();
}

}  // namespace

void CheckConnectionParams(const std::string& client_library, const std::string& database_name,
                           const std::string& user_name, const std::string& password) {
  if (platform::Trim(client_library).empty())
    throw UpdateFailure("Не задана клиентская библиотека!");
  if (platform::Trim(database_name).empty()) throw UpdateFailure("Не задана база данных!");
  if (platform::Trim(user_name).empty()) throw UpdateFailure("Не задано имя пользователя!");
  if (platform::Trim(password).empty()) throw UpdateFailure("Не задан пароль!");
}

void ShutdownDatabase(const std::string& client_library, const std::string& database_name,
                      const std::string& user_name, const std::string& password,
                      platform::Platform& platform) {
  SendPropertiesRequest(client_library, database_name, user_name, password, platform,
                        fbclient::ShutdownRequestBlock);
  // The server needs a moment before the database file is free for whatever
  // comes after the shutdown.
  platform.clock.Sleep(kShutdownSettleMs);
}

void BringDatabaseOnline(const std::string& client_library, const std::string& database_name,
                         const std::string& user_name, const std::string& password,
                         platform::Platform& platform) {
  SendPropertiesRequest(client_library, database_name, user_name, password, platform,
                        fbclient::OnlineRequestBlock);
}

void GetAttachedUsers(const std::string& client_library, const std::string& database_name,
                      const std::string& user_name, const std::string& password,
                      const std::string& role, std::vector<std::string>& users,
                      platform::Platform& platform) {
  CheckConnectionParams(client_library, database_name, user_name, password);
  fbclient::FbClient& client = SharedFbClient(platform.libraries, client_library);

  std::vector<std::string> found;
  {
    TDBConnection connection(client, database_name, user_name, password, role);
    connection.Attach();
    const std::string items(1, static_cast<char>(isc_info_user_names));
    const std::string answer = connection.DatabaseInfo(items, kUserNamesAnswerSize);
    for (const std::string& name : ReadAttachedUserNames(
             reinterpret_cast<const unsigned char*>(answer.data()), answer.size())) {
      found.push_back(platform::AnsiToUtf8(name));
    }
    connection.Detach();
  }

  // One entry stands for this call's own attachment; further attachments of
  // the same user are other programs and stay.
  const auto own = std::find_if(found.begin(), found.end(), [&](const std::string& name) {
    return platform::NamesEqualIgnoringCase(name, user_name);
  });
  if (own != found.end()) found.erase(own);
  users = std::move(found);
}

}  // namespace updater
