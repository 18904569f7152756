// A small product of our own on the test server, for the update run's
// tests: the installed old version's database (WIN1251, data of every kind
// the product keeps, generators, roles, privileges), the new version's empty
// UTF8 database and the payload's scripts, and what a database holds, to
// compare old and new value by value. Variants make each step of the run
// fail on demand. Linux builds only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scriptengine/connect_string.h"

namespace updater::testing {

// How a product differs from the sound one, for the cases that make a step
// fail.
struct ProductVariant {
  std::string check_version = "EXECUTE PROCEDURE CHECK_VERSIO(1);\r\n";
  std::string constraints =
      "ALTER TABLE CLIENTS ADD CONSTRAINT PK_CLIENTS PRIMARY KEY (ID);\r\n"
      "ALTER TABLE ORDERS ADD CONSTRAINT PK_ORDERS PRIMARY KEY (ID);\r\n"
      "ALTER TABLE ORDERS ADD CONSTRAINT FK_ORDERS_CLIENTS FOREIGN KEY (CLIENT_ID) REFERENCES "
      "CLIENTS (ID);\r\n";
  std::string script =
      "ALTER TABLE CLIENTS ADD EMAIL VARCHAR(80);\r\n"
      "CREATE VIEW V_CLIENT_ORDERS (CLIENT_NAME, ITEM) AS SELECT C.NAME, O.ITEM FROM CLIENTS C "
      "JOIN ORDERS O ON O.CLIENT_ID = C.ID;\r\n"
      "GRANT SELECT ON V_CLIENT_ORDERS TO MANAGER;\r\n"
      "COMMIT;\r\n";
  bool broken_data_block = false;
  int new_name_length = 60;   // shorter: a name of the old data is refused
  bool orphan_order = false;  // an order whose client the new constraint wants
};

// The connection of a test's own: SYSDBA or ADMN with the test server's
// passwords.
scriptengine::ConnectParams TestConnection(const std::string& database, const std::string& charset,
                                           const std::string& user = "SYSDBA");

// Fills the empty database `connect` as the installed old version's.
void FillOldDatabase(const std::string& connect, const ProductVariant& variant);

// Makes the empty database `connect` the new version's, as the payload
// carries it.
void MakeNewDatabase(const std::string& connect, const ProductVariant& variant);

// Writes the payload's files into `folder`: the new database (a copy of
// the file `new_database`, which must be detached), the export blocks of
// sample/payload, the scripts, the server library, the new program and
// the help files. Each text file holds its own name where no content is
// needed.
void WritePayloadFiles(const std::string& folder, const std::string& new_database,
                       const ProductVariant& variant);

// What a database holds, as texts to compare: every row of every user table
// (by column name), the generators' values, the privileges (every one not
// held by SYSDBA), the active triggers, the keys.
struct DatabaseContent {
  std::map<std::string, std::vector<std::map<std::string, std::string>>> rows;
  std::map<std::string, std::string> generators;
  std::vector<std::string> privileges;  // "user privilege object field grantor option"
  std::vector<std::string> active_triggers;
  std::vector<std::string> constraints;  // "name type"
  std::string charset;                   // the database's default character set
};
DatabaseContent ContentOf(const std::string& connect);

// Whether the database takes a user's (ADMN's) attachment, as it does
// online only.
bool DatabaseOnline(const std::string& connect);

}  // namespace updater::testing
