// The byte strings the updater exchanges with the Firebird client library:
// the Services API blocks of the database mode requests, the database
// parameter block of an attachment, the split of a database name into server
// and file path, and the reading of the attached-users answer. Every text
// here is already in the client's 8-bit form (platform::Utf8ToAnsi).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace updater {

// A database name in Firebird connection-string form, split into the server
// part and the file path.
struct DatabaseNameParts {
  std::string server;  // empty: a local database
  std::string path;
};

// The split, by the first rule that applies:
//  1. a drive path ("C:\Data\Base.fdb": second character ":", no further ":")
//     has no server;
//  2. "\\server\path": the server is the text from the third character up to
//     the next backslash, the path the rest after it;
//  3. "server@path": the server before the first "@";
//  4. "server:path": the server before the first ":";
//  5. anything else has no server.
// The markers of rules 2 and 3 count only before the first ":", so that a
// file path holding "@" or "\\" (localhost/3051:C:\a@b\Base.fdb) still splits
// at its server's colon.
DatabaseNameParts SplitDatabaseName(const std::string& database_name);

// "service_mgr" for a local database, "<server>:service_mgr" otherwise.
std::string ServiceManagerName(const std::string& server);

// The Services API attach block: version, user name and password. Raises
// UpdateFailure when a value is longer than 255 bytes.
std::string ServiceAttachBlock(const std::string& user_name, const std::string& password);

// The properties request that shuts the database at `path` down: forced,
// after a wait of one second. An empty path leaves the database name out.
// Raises UpdateFailure when the path is longer than 65535 bytes.
std::string ShutdownRequestBlock(const std::string& path);

// The properties request that brings the database at `path` online.
std::string OnlineRequestBlock(const std::string& path);

// The database parameter block of an attachment: version, user name,
// password, role, connection character set; an item with an empty value is
// left out. Raises UpdateFailure when a value is longer than 255 bytes.
std::string DatabaseParameterBlock(const std::string& user_name, const std::string& password,
                                   const std::string& role, const std::string& character_set);

// The user names in the answer to an isc_info_user_names request, one per
// attachment, in the order given. Reading stops at the first byte that does
// not begin a user-name item (the end marker, the truncation marker) and at an
// item that would run past the end of the answer.
std::vector<std::string> ReadAttachedUserNames(const unsigned char* answer, size_t size);

}  // namespace updater
