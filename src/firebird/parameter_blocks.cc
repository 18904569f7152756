#include "firebird/parameter_blocks.h"

#include <ibase.h>

#include <cstdint>

#include "common/failures.h"

namespace updater {
namespace {

// One item of a block: its code, a one-byte length and the value. `what`
// names the value in the failure.
void AppendShortItem(std::string& block, int code, const std::string& value, const char* what) {
  if (value.size() > 255) {
    throw UpdateFailure(std::string("Параметр подключения \"") + what + "\" длиннее 255 байт!");
  }
  block += static_cast<char>(code);
  block += static_cast<char>(value.size());
  block += value;
}

void AppendLittleEndian(std::string& block, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) block += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// isc_action_svc_properties with the database path, when there is one.
std::string PropertiesRequest(const std::string& path) {
  std::string block(1, static_cast<char>(isc_action_svc_properties));
  if (!path.empty()) {
    if (path.size() > 0xFFFF) {
      throw UpdateFailure("Параметр подключения \"путь к базе данных\" длиннее 65535 байт!");
    }
    block += static_cast<char>(isc_spb_dbname);
    AppendLittleEndian(block, static_cast<uint32_t>(path.size()), 2);
    block += path;
  }
  return block;
}

}  // namespace

DatabaseNameParts SplitDatabaseName(const std::string& name) {
  const size_t first_colon = name.find(':');
  // True when `marker` occurs in the text before the first colon.
  const auto marks_server = [&](const std::string& marker, size_t& at) {
    at = name.find(marker);
    return at != std::string::npos && (first_colon == std::string::npos || at < first_colon);
  };

  if (name.size() > 2 && name[1] == ':' && name.find(':', 2) == std::string::npos) {
    return {"", name};
  }
  size_t at = 0;
  if (marks_server("\\\\", at)) {
    const size_t end = name.find('\\', 2);
    if (end == std::string::npos) return {name.substr(2), ""};
    return {name.substr(2, end - 2), name.substr(end + 1)};
  }
  if (marks_server("@", at)) return {name.substr(0, at), name.substr(at + 1)};
  if (first_colon != std::string::npos) {
    return {name.substr(0, first_colon), name.substr(first_colon + 1)};
  }
  return {"", name};
}

std::string ServiceManagerName(const std::string& server) {
  return server.empty() ? "service_mgr" : server + ":service_mgr";
}

std::string ServiceAttachBlock(const std::string& user_name, const std::string& password) {
  std::string block;
  block += static_cast<char>(isc_spb_version);
  block += static_cast<char>(isc_spb_current_version);
  AppendShortItem(block, isc_spb_user_name, user_name, "имя пользователя");
  AppendShortItem(block, isc_spb_password, password, "пароль");
  return block;
}

std::string ShutdownRequestBlock(const std::string& path) {
  std::string block = PropertiesRequest(path);
  block += static_cast<char>(isc_spb_prp_shutdown_db);
  AppendLittleEndian(block, 1, 4);
  return block;
}

std::string OnlineRequestBlock(const std::string& path) {
  std::string block = PropertiesRequest(path);
  block += static_cast<char>(isc_spb_options);
  AppendLittleEndian(block, isc_spb_prp_db_online, 4);
  return block;
}

std::string DatabaseParameterBlock(const std::string& user_name, const std::string& password,
                                   const std::string& role, const std::string& character_set) {
  std::string block(1, static_cast<char>(isc_dpb_version1));
  const struct {
    int code;
    const std::string& value;
    const char* what;
  } items[] = {
      {isc_dpb_user_name, user_name, "имя пользователя"},
      {isc_dpb_password, password, "пароль"},
      {isc_dpb_sql_role_name, role, "роль"},
      {isc_dpb_lc_ctype, character_set, "набор символов"},
  };
  for (const auto& item : items) {
    if (!item.value.empty()) AppendShortItem(block, item.code, item.value, item.what);
  }
  return block;
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
