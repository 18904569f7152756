#include "firebird/client_failures.h"

#include <memory>
#include <string_view>

#include "platform/text.h"

namespace updater {
namespace {

// The Firebird 3 server builds a database parameter block of its own for a
// service's shutdown and online work and stores the service user's
// authentication block in it with a one-byte length; that block holds the
// security database's full path twice. Past 255 bytes the client's clumplet
// code refuses, and the server passes its internal text on under the generic
// code. The generic code alone says nothing, so its text argument, which
// comes from the client's code and is never translated, tells this case.
constexpr std::string_view kClumpletOverflow =
    "Internal error when using clumplet API: attempt to store";

const char kSecurityPathTooLong[] =
    "Сервер FireBird не может перевести базу данных в другой режим через менеджер сервисов: путь "
    "к базе данных безопасности сервера (security3.fdb) длиннее 99 байт. Установите сервер "
    "FireBird в папку с более коротким путем или перенесите базу данных безопасности в такую "
    "папку (параметр SecurityDatabase в firebird.conf) и повторите попытку.";

bool IsClumpletOverflow(const fbclient::FbStatus& status) {
  const fbclient::FbError* error = status.Find(isc_random);
  if (error == nullptr) return false;
  for (const std::string& argument : error->arguments) {
    if (argument.starts_with(kClumpletOverflow)) return true;
  }
  return false;
}

}  // namespace

std::string StatusMessage(const fbclient::FbStatus& status) {
  std::string message = status.Text();
  if (!message.empty() && message.back() == '.') message.pop_back();
  return platform::AnsiToUtf8(message);
}

void RaiseStatus(const fbclient::FbStatus& status) {
  throw FirebirdFailure(StatusMessage(status), status);
}

std::string ServiceRequestMessage(const fbclient::FbStatus& status) {
  if (!IsClumpletOverflow(status)) return StatusMessage(status);
  return std::string(kSecurityPathTooLong) + '\r' + StatusMessage(status);
}

std::string RequireBlock(fbclient::BlockOutcome outcome) {
  if (!outcome.ok()) throw UpdateFailure(outcome.failure().Describe());
  return std::move(outcome).value();
}

fbclient::FbClient& SharedFbClient(platform::Libraries& libraries, const std::string& file_name) {
  static std::unique_ptr<fbclient::FbClient> current;
  if (!current || current->FileName() != file_name) {
    current.reset();
    fbclient::LoadOutcome loaded = fbclient::FbClient::Load(libraries, file_name);
    if (!loaded.ok()) throw UpdateFailure(loaded.failure().Describe());
    current = std::move(loaded).value();
  }
  return *current;
}

}  // namespace updater
