#include "firebird/user_privileges.h"

#include <ibase.h>

#include <cstring>
#include <vector>

#include "common/failures.h"
#include "fbclient/fb_client.h"
#include "firebird/client_failures.h"
#include "firebird/uDBConnection.h"
#include "firebird/uIBEScript.h"
#include "platform/strings.h"
#include "platform/text.h"

namespace updater {
namespace {

constexpr short kDialect = 3;
// Every column is read as a VARCHAR of this many characters: the longest
// name of Firebird 4 and later; WIN1251 holds each in one byte.
constexpr short kColumnChars = 63;
constexpr int kColumns = 5;

std::string PrivilegesQuery(const std::string& grantor) {
  const auto column = [](const std::string& expression) {
    return "CAST(" + expression + " AS VARCHAR(" + std::to_string(kColumnChars) + "))";
  };
  return "SELECT " + column("TRIM(P.RDB$USER)") + ", " + column("TRIM(P.RDB$PRIVILEGE)") + ", " +
         column("TRIM(P.RDB$RELATION_NAME)") + ", " + column("TRIM(P.RDB$FIELD_NAME)") + ", " +
         column("P.RDB$OBJECT_TYPE") +
         " FROM RDB$USER_PRIVILEGES P WHERE P.RDB$USER_TYPE = 8 AND P.RDB$GRANTOR = " +
         platform::SqlStringLiteral(grantor) +
         " AND P.RDB$USER <> 'SYSDBA' AND P.RDB$USER <> 'ADMN' AND P.RDB$USER <> 'PUBLIC'";
}

int ReadOdsMajorVersion(fbclient::FbClient& client, TDBConnection& connection) {
  const std::string items{static_cast<char>(isc_info_ods_version), static_cast<char>(isc_info_end)};
  const std::string answer = connection.DatabaseInfo(items, 64);
  // The item's code, a two-byte length, then the number.
  if (answer.size() < 3 || static_cast<unsigned char>(answer[0]) != isc_info_ods_version) {
    throw UpdateFailure("Сервер не сообщил версию структуры базы данных.");
  }
  const short length = static_cast<short>(client.isc_vax_integer(answer.data() + 1, 2));
  if (length <= 0 || static_cast<size_t>(3 + length) > answer.size()) {
    throw UpdateFailure("Сервер не сообщил версию структуры базы данных.");
  }
  return static_cast<int>(client.isc_vax_integer(answer.data() + 3, length));
}

// A read-only transaction and one statement on it, both ended on every
// path; the outcome of a read needs no commit.
class ReadQuery {
 public:
  ReadQuery(fbclient::FbClient& client, isc_db_handle* database) : client_(client) {
    static const char kReadOnly[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                     isc_tpb_rec_version, isc_tpb_nowait};
    // What isc_start_multiple takes for each database of a transaction.
    struct {
      isc_db_handle* database;
      int block_length;
      const char* block;
    } entry{database, static_cast<int>(sizeof kReadOnly), kReadOnly};
    Check(client_.isc_start_multiple(status_, &transaction_, 1, &entry));
    Check(client_.isc_dsql_allocate_statement(status_, database, &statement_));
  }
  ~ReadQuery() {
    ISC_STATUS_ARRAY ignored;
    if (statement_ != 0) client_.isc_dsql_free_statement(ignored, &statement_, DSQL_drop);
    if (transaction_ != 0) client_.isc_rollback_transaction(ignored, &transaction_);
  }
  ReadQuery(const ReadQuery&) = delete;
  ReadQuery& operator=(const ReadQuery&) = delete;

  // The rows of `sql`, each column as text (empty for NULL). Every column
  // must be a VARCHAR of kColumnChars.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<char> area(XSQLDA_LENGTH(kColumns));
    auto* columns = reinterpret_cast<XSQLDA*>(area.data());
    columns->version = SQLDA_VERSION1;
    columns->sqln = kColumns;
    Check(client_.isc_dsql_prepare(status_, &transaction_, &statement_, 0, sql.c_str(), kDialect,
                                   columns));
    std::vector<std::vector<char>> buffers(kColumns);
    std::vector<short> nulls(kColumns);
    for (int i = 0; i < columns->sqld && i < kColumns; ++i) {
      XSQLVAR& column = columns->sqlvar[i];
      buffers[i].assign(static_cast<size_t>(column.sqllen) + sizeof(short), '\0');
      column.sqldata = buffers[i].data();
      column.sqlind = &nulls[i];
    }
    Check(client_.isc_dsql_execute(status_, &transaction_, &statement_, kDialect, nullptr));
    std::vector<std::vector<std::string>> rows;
    for (;;) {
      const ISC_STATUS fetched = client_.isc_dsql_fetch(status_, &statement_, kDialect, columns);
      if (fetched == 100) break;
      Check(fetched);
      std::vector<std::string> row;
      for (int i = 0; i < columns->sqld && i < kColumns; ++i) {
        row.push_back(nulls[i] < 0 ? std::string() : VaryingText(buffers[i]));
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

 private:
  static std::string VaryingText(const std::vector<char>& buffer) {
    short length = 0;
    std::memcpy(&length, buffer.data(), sizeof length);
    const size_t size =
        std::min(static_cast<size_t>(length < 0 ? 0 : length), buffer.size() - sizeof length);
    return platform::Cp1251ToUtf8(std::string(buffer.data() + sizeof length, size));
  }
  void Check(ISC_STATUS result) {
    if (result != 0) RaiseStatus(client_.ReadStatus(status_));
  }

  fbclient::FbClient& client_;
  ISC_STATUS_ARRAY status_{};
  isc_tr_handle transaction_ = 0;
  isc_stmt_handle statement_ = 0;
};

}  // namespace

TPrivilegeSurvey SurveyUserPrivileges(const std::string& client_library,
                                      const std::string& database_name,
                                      const std::string& user_name, const std::string& password,
                                      const std::string& grantor, platform::Platform& platform) {
  CheckConnectionParams(client_library, database_name, user_name, password);
  fbclient::FbClient& client = SharedFbClient(platform.libraries, client_library);
  TPrivilegeSurvey survey;
  TDBConnection connection(client, database_name, user_name, password, "");
  connection.Attach();
  survey.OdsMajorVersion = ReadOdsMajorVersion(client, connection);
  {
    ReadQuery query(client, connection.Handle());
    for (const std::vector<std::string>& row : query.Rows(PrivilegesQuery(grantor))) {
      TUserPrivilege privilege;
      privilege.User = row.at(0);
      privilege.Privilege = row.at(1);
      privilege.RelationName = row.at(2);
      privilege.FieldName = row.at(3);
      privilege.ObjectType = std::stoi(row.at(4).empty() ? "0" : row.at(4));
      survey.GrantedToUsers.push_back(std::move(privilege));
    }
  }
  connection.Detach();
  return survey;
}

}  // namespace updater
