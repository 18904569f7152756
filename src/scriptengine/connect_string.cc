#include "scriptengine/connect_string.h"

#include <array>
#include <vector>

#include "platform/strings.h"
#include "scriptengine/errors.h"

namespace updater::scriptengine {
namespace {

constexpr std::array<std::string_view, 7> kKeys = {
    "db_name", "password", "user_name", "lc_ctype", "sql_role_name", "sql_dialect", "clientlib"};

// The known key that `text` starts with at `at`, followed by "=", ignoring
// blanks before the key and letter case; empty when there is none. `length`
// receives the length up to and including the "=".
std::string_view KeyAt(std::string_view text, size_t at, size_t& length) {
  size_t i = at;
  while (i < text.size() && text[i] == ' ') ++i;
  for (std::string_view key : kKeys) {
    if (text.size() - i < key.size()) continue;
    if (platform::AsciiLower(text.substr(i, key.size())) != key) continue;
    size_t j = i + key.size();
    while (j < text.size() && text[j] == ' ') ++j;
    if (j < text.size() && text[j] == '=') {
      length = j + 1 - at;
      return key;
    }
  }
  return {};
}

}  // namespace

ConnectParams ParseConnectString(std::string_view text) {
  struct Piece {
    std::string_view key;
    size_t value_start;
    size_t value_end;
  };
  std::vector<Piece> pieces;
  size_t length = 0;
  std::string_view key = KeyAt(text, 0, length);
  if (key.empty()) throw ScriptError("the connect string names no database (db_name=...)");
  size_t value_start = length;
  for (size_t i = value_start; i <= text.size(); ++i) {
    std::string_view next;
    if (i < text.size() && text[i] == ';') next = KeyAt(text, i + 1, length);
    if (i == text.size() || !next.empty()) {
      pieces.push_back({key, value_start, i});
      if (i == text.size()) break;
      key = next;
      value_start = i + 1 + length;
      i = value_start - 1;
    }
  }

  ConnectParams params;
  bool has_database = false;
  for (const Piece& piece : pieces) {
    const std::string value(text.substr(piece.value_start, piece.value_end - piece.value_start));
    if (piece.key == "db_name") {
      params.database = value;
      has_database = true;
    } else if (piece.key == "password") {
      params.password = value;
    } else if (piece.key == "user_name") {
      params.user = value;
    } else if (piece.key == "lc_ctype") {
      params.charset = platform::AsciiUpper(platform::Trim(value));
    } else if (piece.key == "sql_role_name") {
      params.role = value;
    } else if (piece.key == "sql_dialect") {
      const std::string dialect = platform::Trim(value);
      if (dialect != "1" && dialect != "2" && dialect != "3") {
        throw ScriptError("sql_dialect must be 1, 2 or 3, not \"" + value + "\"");
      }
      params.dialect = dialect[0] - '0';
    } else if (piece.key == "clientlib") {
      std::string library = platform::Trim(value);
      if (library.size() >= 2 && library.front() == '"' && library.back() == '"') {
        library = library.substr(1, library.size() - 2);
      }
      if (!library.empty()) params.client_library = library;
    }
  }
  if (!has_database || platform::Trim(params.database).empty()) {
    throw ScriptError("the connect string names no database (db_name=...)");
  }
  return params;
}

}  // namespace updater::scriptengine
