#include "engine/uUpdate_privileges.h"

#include <algorithm>
#include <set>

#include "common/failures.h"

namespace updater {
namespace {

// RDB$OBJECT_TYPE values (Firebird's obj_* constants).
constexpr int kRelation = 0;
constexpr int kProcedure = 5;
constexpr int kException = 7;
constexpr int kRole = 13;
constexpr int kGenerator = 14;
constexpr int kFunction = 15;
constexpr int kPackage = 18;
constexpr int kDatabase = 20;
// The kinds of object that DDL privileges (CREATE, ALTER ANY, DROP ANY)
// are granted on, from object type 21 on.
constexpr const char* kDdlKinds[] = {"TABLE",   "VIEW",          "PROCEDURE", "FUNCTION",
                                     "PACKAGE", "GENERATOR",     "DOMAIN",    "EXCEPTION",
                                     "ROLE",    "CHARACTER SET", "COLLATION", "FILTER"};
constexpr int kFirstDdlKind = 21;

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

[[noreturn]] void FailUnknown(const TUserPrivilege& p) {
  throw UpdateFailure("Невозможно отозвать привилегию \"" + p.Privilege + "\" на объект \"" +
                      p.RelationName + "\" (тип " + std::to_string(p.ObjectType) +
                      ") у пользователя \"" + p.User +
                      "\": такой вид привилегии программе обновления неизвестен.");
}

// What is revoked, as it stands between REVOKE and FROM.
std::string RevokedWhat(const TUserPrivilege& p) {
  const std::string& kind = p.Privilege;
  switch (p.ObjectType) {
    case kRelation: {
      static const std::pair<const char*, const char*> kTablePrivileges[] = {
          {"S", "SELECT"}, {"I", "INSERT"}, {"U", "UPDATE"}, {"D", "DELETE"}, {"R", "REFERENCES"}};
      for (const auto& [letter, word] : kTablePrivileges) {
        if (kind != letter) continue;
        const bool by_column = (kind == "U" || kind == "R") && !p.FieldName.empty();
        return std::string(word) + (by_column ? " (" + Quoted(p.FieldName) + ")" : "") + " ON " +
               Quoted(p.RelationName);
      }
      break;
    }
    case kProcedure:
    case kFunction:
    case kPackage:
      if (kind == "X") {
        const char* what = p.ObjectType == kProcedure  ? "PROCEDURE "
                           : p.ObjectType == kFunction ? "FUNCTION "
                                                       : "PACKAGE ";
        return "EXECUTE ON " + std::string(what) + Quoted(p.RelationName);
      }
      break;
    case kGenerator:
    case kException:
      if (kind == "G") {
        return std::string("USAGE ON ") +
               (p.ObjectType == kGenerator ? "SEQUENCE " : "EXCEPTION ") + Quoted(p.RelationName);
      }
      break;
    case kRole:
      if (kind == "M") return Quoted(p.RelationName);
      break;
    case kDatabase:
      if (kind == "L") return "ALTER DATABASE";
      if (kind == "O") return "DROP DATABASE";
      break;
    default:
      if (p.ObjectType >= kFirstDdlKind &&
          p.ObjectType < kFirstDdlKind + static_cast<int>(std::size(kDdlKinds))) {
        const std::string object = kDdlKinds[p.ObjectType - kFirstDdlKind];
        if (kind == "C") return "CREATE " + object;
        if (kind == "L") return "ALTER ANY " + object;
        if (kind == "O") return "DROP ANY " + object;
      }
      break;
  }
  FailUnknown(p);
}

bool IsColumnPrivilege(const TUserPrivilege& p) {
  return p.ObjectType == kRelation && (p.Privilege == "U" || p.Privilege == "R") &&
         !p.FieldName.empty();
}

}  // namespace

std::string DeletePrivilegesStatement(const std::string& grantor) {
  return "delete from Rdb$User_Privileges A where A.Rdb$User_Type = 8 and A.Rdb$Grantor = '" +
         grantor +
         "' and A.Rdb$User <> 'SYSDBA' and A.Rdb$User <> 'ADMN' and A.Rdb$User <> 'PUBLIC'; "
         "commit;";
}

std::string RevokeStatement(const TUserPrivilege& privilege) {
  return "REVOKE " + RevokedWhat(privilege) + " FROM USER " + Quoted(privilege.User);
}

std::string RevokeScript(const std::vector<TUserPrivilege>& privileges) {
  std::string script;
  std::set<std::string> written;
  for (const TUserPrivilege& p : privileges) {
    // The server refuses to revoke what is no longer granted: a column's
    // privilege goes with the table's, and a duplicate with its first.
    if (IsColumnPrivilege(p) &&
        std::any_of(privileges.begin(), privileges.end(), [&](const TUserPrivilege& other) {
          return other.ObjectType == kRelation && other.FieldName.empty() &&
                 other.Privilege == p.Privilege && other.RelationName == p.RelationName &&
                 other.User == p.User;
        })) {
      continue;
    }
    const std::string statement = RevokeStatement(p);
    if (written.insert(statement).second) script += statement + ";\r\n";
  }
  return script.empty() ? script : script + "COMMIT;\r\n";
}

}  // namespace updater
