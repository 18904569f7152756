#include "firebird/uDBConnection.h"

#include <algorithm>

#include "fbclient/parameter_blocks.h"
#include "firebird/client_failures.h"
#include "platform/text.h"

namespace updater {

TDBConnection::TDBConnection(fbclient::FbClient& client, const std::string& database_name,
                             const std::string& user_name, const std::string& password,
                             const std::string& role)
    : client_(client),
      database_name_(platform::Utf8ToAnsi(database_name)),
      user_name_(platform::Utf8ToAnsi(user_name)),
      password_(platform::Utf8ToAnsi(password)),
      role_(platform::Utf8ToAnsi(role)) {}

TDBConnection::~TDBConnection() {
  if (!Attached()) return;
  // Destruction ends a failed or finished operation whose outcome is already
  // decided; a detach failure here has nobody to tell, and the client
  // releases the attachment's resources with the connection.
  ISC_STATUS_ARRAY status;
  client_.isc_detach_database(status, &handle_);
}

void TDBConnection::Attach() {
  if (Attached()) return;
  const std::string block =
      RequireBlock(fbclient::DatabaseParameterBlock(user_name_, password_, role_, "WIN1251"));
  ISC_STATUS_ARRAY status;
  isc_db_handle handle = 0;
  // A name length of 0 tells the client that the name ends with its NUL.
  if (client_.isc_attach_database(status, 0, database_name_.c_str(), &handle,
                                  static_cast<short>(block.size()), block.data()) != 0) {
    RaiseStatus(client_.ReadStatus(status));
  }
  handle_ = handle;
}

void TDBConnection::Detach() {
  if (!Attached()) return;
  ISC_STATUS_ARRAY status;
  const ISC_STATUS result = client_.isc_detach_database(status, &handle_);
  handle_ = 0;
  if (result != 0) RaiseStatus(client_.ReadStatus(status));
}

std::string TDBConnection::DatabaseInfo(const std::string& items, size_t answer_size) {
  // The client takes the buffer's length as a short.
  std::string answer(std::min<size_t>(answer_size, 32767), '\0');
  ISC_STATUS_ARRAY status;
  if (client_.isc_database_info(status, &handle_, static_cast<short>(items.size()), items.data(),
                                static_cast<short>(answer.size()), answer.data()) != 0) {
    RaiseStatus(client_.ReadStatus(status));
  }
  return answer;
}

std::vector<std::string> ReadAttachedUserNames(const unsigned char* answer, size_t size) {
  std::vector<std::string> names;
  size_t at = 0;
  // Each item: its code, a two-byte length, then the name's length byte and
  // the name.
  while (at < size && answer[at] == isc_info_user_names) {
    if (at + 4 > size) break;
    const size_t length = answer[at + 3];
    const size_t begin = at + 4;
    if (begin + length > size) break;
    names.emplace_back(reinterpret_cast<const char*>(answer + begin), length);
    at = begin + length;
  }
  return names;
}

}  // namespace updater
