// The privileges a database's users were granted, as the server keeps them
// in RDB$USER_PRIVILEGES, and the version of the database's on-disk
// structure, which tells the server generation that serves it.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater {

// One row of RDB$USER_PRIVILEGES, its names without trailing blanks.
struct TUserPrivilege {
  std::string User;          // the grantee
  std::string Privilege;     // "S", "I", "U", "D", "R", "X", "G", "M", "C", "L", "O"
  std::string RelationName;  // the object (a table, procedure, role, "SQL$TABLES" ...)
  std::string FieldName;     // the column of a column privilege; empty otherwise
  int ObjectType = 0;        // RDB$OBJECT_TYPE of the object
};

struct TPrivilegeSurvey {
  // The major version of the database's on-disk structure: 11 for Firebird
  // 2.x, 12 for Firebird 3, 13 for Firebird 4 and 5.
  int OdsMajorVersion = 0;
  // The privileges that the survey's grantor granted to users (grantee
  // type 8) other than SYSDBA, ADMN and PUBLIC.
  std::vector<TUserPrivilege> GrantedToUsers;
};

// Attaches to `database_name` as `user_name` with `password` through the
// shared client library loaded by `client_library`, reads the on-disk
// structure's version and the privileges granted by `grantor`, and
// detaches. Raises UpdateFailure with the CheckConnectionParams message,
// the library's load failure or the server's status text.
TPrivilegeSurvey SurveyUserPrivileges(const std::string& client_library,
                                      const std::string& database_name,
                                      const std::string& user_name, const std::string& password,
                                      const std::string& grantor, platform::Platform& platform);

}  // namespace updater
