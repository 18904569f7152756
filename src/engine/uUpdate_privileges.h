// The privilege clean-up of the server part update: every privilege that
// ADMN, respectively SYSDBA, granted to users other than SYSDBA, ADMN and
// PUBLIC is removed from the new database before the roles are granted
// again.
//
// A Firebird 2.x server takes the removal as a DELETE from
// RDB$USER_PRIVILEGES. Firebird 3 and later refuse DML on system tables;
// there the same privileges are revoked, one REVOKE per privilege, built
// from the rows that DELETE would have removed.
#pragma once

#include <string>
#include <vector>

#include "firebird/user_privileges.h"

namespace updater {

// The first on-disk structure version whose servers refuse DML on system
// tables (Firebird 3).
inline constexpr int kFirstOdsWithReadOnlySystemTables = 12;

// "delete from Rdb$User_Privileges A where A.Rdb$User_Type = 8 and
// A.Rdb$Grantor = '<grantor>' and A.Rdb$User <> 'SYSDBA' and A.Rdb$User <>
// 'ADMN' and A.Rdb$User <> 'PUBLIC'; commit;"
std::string DeletePrivilegesStatement(const std::string& grantor);

// The REVOKE statement, without terminator, that removes `privilege` when
// its grantor runs it (a plain REVOKE takes back the current user's own
// grants only). Raises UpdateFailure naming the row for a kind of privilege
// this updater does not know how to revoke.
std::string RevokeStatement(const TUserPrivilege& privilege);

// The script that revokes every privilege of `privileges`, each statement
// ending in ";" and a CR LF, then "COMMIT;": a column privilege is left to
// the privilege of its kind on the whole table when the list holds that
// too (revoking it takes the columns' along), and a privilege listed twice
// is revoked once. Empty when there is nothing to revoke.
std::string RevokeScript(const std::vector<TUserPrivilege>& privileges);

}  // namespace updater
