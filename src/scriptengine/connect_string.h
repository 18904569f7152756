// The connect string the engine's Connect takes: "key=value" pieces joined
// by "; ", with the keys db_name, password, user_name, lc_ctype,
// sql_role_name, sql_dialect and clientlib (whose value stands in double
// quotes). Values are taken as written: a piece ends only where "; " or ";"
// is followed by one of these keys and "=", so a password may hold ";".
#pragma once

#include <string>
#include <string_view>

namespace updater::scriptengine {

struct ConnectParams {
  std::string database;                         // db_name
  std::string user;                             // user_name
  std::string password;                         // password
  std::string charset;                          // lc_ctype, upper case; empty: NONE
  std::string role;                             // sql_role_name; empty: none
  int dialect = 3;                              // sql_dialect
  std::string client_library = "fbclient.dll";  // clientlib, without its quotes
};

// Parses `text`. Throws ScriptError naming what is wrong: no db_name, a
// dialect that is not 1, 2 or 3, a text without any known key.
ConnectParams ParseConnectString(std::string_view text);

}  // namespace updater::scriptengine
