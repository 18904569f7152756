// Database names in Firebird connection-string form, as the updater's
// service requests take them apart.
#pragma once

#include <string>

namespace updater {

// A database name split into the server part and the file path.
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

}  // namespace updater
