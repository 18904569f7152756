#include "fbclient/parameter_blocks.h"

#include <ibase.h>

#include <cstdint>
#include <initializer_list>

namespace updater::fbclient {
namespace {

constexpr size_t kShortLimit = 255;
constexpr size_t kPathLimit = 0xFFFF;

void AppendLittleEndian(std::string& block, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) block += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct ShortItem {
  int code;
  BlockItem item;
  const std::string& value;
};

// `header` followed by the items, each its code, a one-byte length and the
// value; with `skip_empty`, an item with an empty value is left out.
BlockOutcome ShortItems(std::string header, std::initializer_list<ShortItem> items,
                        bool skip_empty) {
  std::string block = std::move(header);
  for (const ShortItem& item : items) {
    if (skip_empty && item.value.empty()) continue;
    if (item.value.size() > kShortLimit) return OversizedItem{item.item, kShortLimit};
    block += static_cast<char>(item.code);
    block += static_cast<char>(item.value.size());
    block += item.value;
  }
  return block;
}

// isc_action_svc_properties with the database path, when there is one, and
// the request's own item: its code and a four-byte value.
BlockOutcome PropertiesRequest(const std::string& path, int code, uint32_t value) {
  std::string block(1, static_cast<char>(isc_action_svc_properties));
  if (!path.empty()) {
    if (path.size() > kPathLimit) return OversizedItem{BlockItem::kDatabasePath, kPathLimit};
    block += static_cast<char>(isc_spb_dbname);
    AppendLittleEndian(block, static_cast<uint32_t>(path.size()), 2);
    block += path;
  }
  block += static_cast<char>(code);
  AppendLittleEndian(block, value, 4);
  return block;
}

const char* ItemName(BlockItem item) {
  switch (item) {
    case BlockItem::kUserName:
      return "имя пользователя";
    case BlockItem::kPassword:
      return "пароль";
    case BlockItem::kRole:
      return "роль";
    case BlockItem::kCharacterSet:
      return "набор символов";
    case BlockItem::kDatabasePath:
      return "путь к базе данных";
  }
  return "?";
}

}  // namespace

std::string OversizedItem::Describe() const {
  return std::string("Параметр подключения \"") + ItemName(item) + "\" длиннее " +
         std::to_string(limit) + " байт!";
}

BlockOutcome DatabaseParameterBlock(const std::string& user_name, const std::string& password,
                                    const std::string& role, const std::string& character_set) {
  return ShortItems(std::string(1, static_cast<char>(isc_dpb_version1)),
                    {{isc_dpb_user_name, BlockItem::kUserName, user_name},
                     {isc_dpb_password, BlockItem::kPassword, password},
                     {isc_dpb_sql_role_name, BlockItem::kRole, role},
                     {isc_dpb_lc_ctype, BlockItem::kCharacterSet, character_set}},
                    true);
}

BlockOutcome ServiceAttachBlock(const std::string& user_name, const std::string& password) {
  std::string header;
  header += static_cast<char>(isc_spb_version);
  header += static_cast<char>(isc_spb_current_version);
  return ShortItems(std::move(header),
                    {{isc_spb_user_name, BlockItem::kUserName, user_name},
                     {isc_spb_password, BlockItem::kPassword, password}},
                    false);
}

BlockOutcome ShutdownRequestBlock(const std::string& path) {
  // Forced shutdown after a wait of one second.
  return PropertiesRequest(path, isc_spb_prp_shutdown_db, 1);
}

BlockOutcome OnlineRequestBlock(const std::string& path) {
  return PropertiesRequest(path, isc_spb_options, isc_spb_prp_db_online);
}

}  // namespace updater::fbclient
