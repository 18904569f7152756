#include "scriptengine/text_bytes.h"

#include "platform/text.h"

namespace updater::scriptengine {

std::string ToAnsi(std::string_view text) {
  if (IsValidUtf8(text)) return platform::Utf8ToAnsi(text);
  return platform::Cp1251ToAnsi(text);
}

}  // namespace updater::scriptengine
