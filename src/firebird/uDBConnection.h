// One attachment to a Firebird database, as the updater makes it: WIN1251 as
// the connection character set, no login prompt (a missing or wrong password
// is a failure), TCP/IP when the database name has a server part.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fbclient/fb_client.h"

namespace updater {

class TDBConnection {
 public:
  // Keeps the attachment's parameters; does not attach. `database_name` is in
  // Firebird connection-string form (localhost/3051:C:\Prog\DB_Data\Base.fdb);
  // an empty `role` means none. The texts are UTF-8.
  TDBConnection(fbclient::FbClient& client, const std::string& database_name,
                const std::string& user_name, const std::string& password, const std::string& role);
  // Detaches; a failure to detach is not reported from here (see Detach).
  ~TDBConnection();
  TDBConnection(const TDBConnection&) = delete;
  TDBConnection& operator=(const TDBConnection&) = delete;

  // Attaches with the parameter block of the constructor's values. Raises
  // FirebirdFailure with the client's status text when the server refuses,
  // UpdateFailure when a value is longer than 255 bytes. Does nothing when
  // attached.
  void Attach();

  // Detaches. Raises FirebirdFailure with the status text when the client
  // reports a failure; the connection counts as detached afterwards either
  // way. Does nothing when not attached.
  void Detach();

  bool Attached() const { return handle_ != 0; }

  // The attachment's handle, for statements on it; 0 while not attached.
  isc_db_handle* Handle() { return &handle_; }

  // isc_database_info on the attachment for `items`, with an answer buffer of
  // `answer_size` bytes (at most 32767, the client's limit); returns the whole
  // buffer. Raises FirebirdFailure with the status text on failure.
  std::string DatabaseInfo(const std::string& items, size_t answer_size);

 private:
  fbclient::FbClient& client_;
  std::string database_name_;  // the client's 8-bit text
  std::string user_name_;
  std::string password_;
  std::string role_;
  isc_db_handle handle_ = 0;
};

// The user names in the answer to an isc_info_user_names request, one per
// attachment, in the order given. Reading stops at the first byte that does
// not begin a user-name item (the end marker, the truncation marker) and at an
// item that would run past the end of the answer.
std::vector<std::string> ReadAttachedUserNames(const unsigned char* answer, size_t size);

}  // namespace updater
