// The Firebird client library, loaded at run time by the file name the
// profile gives ("fbclient.dll"), with every entry point the program uses
// looked up at once into one table. The database mode switching, the
// attached-users query and our script engine library all go through it.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>

#include "platform/libraries.h"

namespace updater {

// Every entry point of the Firebird 2.0 client API the program calls.
#define UPDATER_FB_CLIENT_ENTRIES(X)                                                      \
  X(isc_attach_database) X(isc_detach_database) X(isc_database_info) X(isc_drop_database) \
  X(isc_service_attach) X(isc_service_detach) X(isc_service_start) X(isc_service_query)   \
  X(fb_interpret) X(isc_sqlcode) X(isc_vax_integer) X(isc_portable_integer)               \
  X(isc_start_multiple) X(isc_commit_transaction) X(isc_commit_retaining)                 \
  X(isc_rollback_transaction) X(isc_rollback_retaining)                                   \
  X(isc_dsql_allocate_statement) X(isc_dsql_prepare) X(isc_dsql_describe)                 \
  X(isc_dsql_describe_bind) X(isc_dsql_execute) X(isc_dsql_execute2)                      \
  X(isc_dsql_execute_immediate) X(isc_dsql_fetch) X(isc_dsql_free_statement)              \
  X(isc_dsql_sql_info) X(isc_create_blob2) X(isc_open_blob2) X(isc_get_segment)           \
  X(isc_put_segment) X(isc_close_blob) X(isc_cancel_blob) X(isc_blob_info)

class FbClient {
 public:
  // Loads `file_name` through `libraries` and looks up every entry point.
  // Raises UpdateFailure "Невозможно загрузить клиентскую библиотеку ..."
  // with the system's reason, or naming the first entry point it lacks.
  FbClient(platform::Libraries& libraries, const std::string& file_name);
  FbClient(const FbClient&) = delete;
  FbClient& operator=(const FbClient&) = delete;

  const std::string& FileName() const { return file_name_; }

  // The message of a failed call: the texts the library gives for the status
  // vector, joined by CR LF, with a full stop at the very end removed. The
  // library's 8-bit texts (platform::AnsiToUtf8) are returned in UTF-8.
  std::string StatusMessage(const ISC_STATUS* status) const;

#define UPDATER_FB_MEMBER(name) decltype(&::name) name = nullptr;
  UPDATER_FB_CLIENT_ENTRIES(UPDATER_FB_MEMBER)
#undef UPDATER_FB_MEMBER

 private:
  std::string file_name_;
  std::unique_ptr<platform::Library> library_;
};

// The process's client library for attachments and service requests: loaded
// by its file name on first use and kept loaded; asking for another file name
// releases the one loaded before. Raises as FbClient's constructor does.
FbClient& SharedFbClient(platform::Libraries& libraries, const std::string& file_name);

}  // namespace updater
