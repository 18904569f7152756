#include "engine/uUpdate_blocks.h"

#include "platform/paths.h"
#include "platform/strings.h"

namespace updater {

std::string ExportBlockHeader(const std::string& parameter, const std::string& folder,
                              const std::string& output_file) {
  return "execute ibeblock(" + parameter + " = " +
         platform::SqlStringLiteral(platform::JoinPath(folder, output_file)) + ")";
}

std::optional<std::string> WithFirstLineReplaced(const std::string& bytes,
                                                 const std::string& header) {
  if (bytes.empty()) return std::nullopt;
  std::string out = header + "\r\n";
  size_t at = bytes.find_first_of("\r\n");
  if (at == std::string::npos) return out;
  at += (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1;
  while (at < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string::npos) {
      out.append(bytes, at, std::string::npos);
      out += "\r\n";
      break;
    }
    out.append(bytes, at, end - at);
    out += "\r\n";
    at = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
  }
  return out;
}

}  // namespace updater
