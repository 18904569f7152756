// The parameter blocks the program hands the Firebird client: the database
// parameter block of an attachment, the service manager's attach block, and
// the properties requests that shut a database down or bring it online.
// Every text is already in the client's 8-bit form. A value that its length
// field cannot hold is a failure naming the value, never a cut block.
#pragma once

#include <cstddef>
#include <string>

#include "fbclient/outcome.h"

namespace updater::fbclient {

// The values a block carries, as a failure names them.
enum class BlockItem { kUserName, kPassword, kRole, kCharacterSet, kDatabasePath };

// A value longer than its length field can hold: `limit` bytes.
struct OversizedItem {
  BlockItem item;
  size_t limit;

  // The operator's text: "Параметр подключения "<value>" длиннее <limit>
  // байт!", the value named in Russian ("имя пользователя", "пароль", "роль",
  // "набор символов", "путь к базе данных").
  std::string Describe() const;
};

using BlockOutcome = Outcome<std::string, OversizedItem>;

// Version 1: user name, password, role, connection character set; each item
// its code, a one-byte length and the value. An item with an empty value is
// left out. Any value fits in 255 bytes.
BlockOutcome DatabaseParameterBlock(const std::string& user_name, const std::string& password,
                                    const std::string& role, const std::string& character_set);

// The service manager's attach block: version 2, user name and password.
// Any value fits in 255 bytes.
BlockOutcome ServiceAttachBlock(const std::string& user_name, const std::string& password);

// The properties request that shuts the database at `path` down: forced,
// after a wait of one second. An empty path leaves the database name out;
// the path fits in 65535 bytes.
BlockOutcome ShutdownRequestBlock(const std::string& path);

// The properties request that brings the database at `path` online.
BlockOutcome OnlineRequestBlock(const std::string& path);

}  // namespace updater::fbclient
