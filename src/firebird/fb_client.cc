#include "firebird/fb_client.h"

#include "common/failures.h"
#include "platform/text.h"

namespace updater {

FbClient::FbClient(platform::Libraries& libraries, const std::string& file_name)
    : file_name_(file_name) {
  platform::Result<std::unique_ptr<platform::Library>> loaded = libraries.Load(file_name);
  if (!loaded.ok()) {
    throw UpdateFailure("Невозможно загрузить клиентскую библиотеку \"" + file_name + "\"!\r" +
                        loaded.error().Describe());
  }
  library_ = std::move(loaded).value();
#define UPDATER_FB_LOOKUP(name)                                                          \
  name = reinterpret_cast<decltype(name)>(library_->FindSymbol(#name));                  \
  if (name == nullptr) {                                                                 \
    throw UpdateFailure("В клиентской библиотеке \"" + file_name +                      \
                        "\" не найдена функция \"" #name "\"!");                         \
  }
  UPDATER_FB_CLIENT_ENTRIES(UPDATER_FB_LOOKUP)
#undef UPDATER_FB_LOOKUP
}

std::string FbClient::StatusMessage(const ISC_STATUS* status) const {
  std::string message;
  const ISC_STATUS* cursor = status;
  char text[1024];
  // fb_interpret is the bounded form of isc_interprete: same texts, but it
  // cannot write past the buffer.
  while (fb_interpret(text, sizeof text, &cursor) > 0) {
    if (!message.empty()) message += "\r\n";
    message += text;
  }
  if (!message.empty() && message.back() == '.') message.pop_back();
  return platform::AnsiToUtf8(message);
}

FbClient& SharedFbClient(platform::Libraries& libraries, const std::string& file_name) {
  static std::unique_ptr<FbClient> current;
  if (!current || current->FileName() != file_name) {
    current.reset();
    current = std::make_unique<FbClient>(libraries, file_name);
  }
  return *current;
}

}  // namespace updater
