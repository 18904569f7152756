#include "fbclient/fb_client.h"

namespace updater::fbclient {

std::string LoadFailure::Describe() const {
  if (!missing_entry.empty()) {
    return "В клиентской библиотеке \"" + file_name + "\" не найдена функция \"" + missing_entry +
           "\"!";
  }
  return "Невозможно загрузить клиентскую библиотеку \"" + file_name + "\"!\r" + error.Describe();
}

LoadOutcome FbClient::Load(platform::Libraries& libraries, const std::string& file_name) {
  platform::Result<std::unique_ptr<platform::Library>> loaded = libraries.Load(file_name);
  if (!loaded.ok()) return LoadFailure{file_name, "", loaded.error()};
  std::unique_ptr<FbClient> client(new FbClient(file_name, std::move(loaded).value()));
#define UPDATER_FB_LOOKUP(name)                                                                 \
  client->name = reinterpret_cast<decltype(client->name)>(client->library_->FindSymbol(#name)); \
  if (client->name == nullptr) return LoadFailure{file_name, #name, {}};
  UPDATER_FB_CLIENT_ENTRIES(UPDATER_FB_LOOKUP)
#undef UPDATER_FB_LOOKUP
  return client;
}

FbStatus FbClient::ReadStatus(const ISC_STATUS* vector) const {
  FbStatus status;
  status.errors = StatusErrors(vector);
  const ISC_STATUS* cursor = vector;
  // Room for the server's longest texts (an exception's message of 1,021
  // characters of up to four bytes each); a longer one is cut where the
  // buffer ends. fb_interpret is the bounded form of isc_interprete: same
  // texts, but it cannot write past the buffer.
  char text[4096];
  while (fb_interpret(text, sizeof text, &cursor) > 0) {
    status.texts.push_back(InterpretedText(text, sizeof text));
  }
  return status;
}

}  // namespace updater::fbclient
