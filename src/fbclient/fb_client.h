// The Firebird client library, loaded at run time by its file name
// ("fbclient.dll"), with every entry point the program uses looked up at
// once into one table. The updater's database operations and our script
// engine library both go through it.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>

#include "fbclient/outcome.h"
#include "fbclient/status.h"
#include "platform/libraries.h"
#include "platform/result.h"

namespace updater::fbclient {

// Every entry point of the Firebird 2.0 client API the program calls.
// clang-format off
#define UPDATER_FB_CLIENT_ENTRIES(X)                                                      \
  X(isc_attach_database) X(isc_detach_database) X(isc_database_info) X(isc_drop_database) \
  X(isc_service_attach) X(isc_service_detach) X(isc_service_start) X(isc_service_query)   \
  X(fb_interpret) X(isc_sqlcode) X(isc_vax_integer) X(isc_portable_integer)               \
  X(isc_start_multiple) X(isc_commit_transaction) X(isc_commit_retaining)                 \
  X(isc_rollback_transaction) X(isc_rollback_retaining) X(isc_prepare_transaction)         \
  X(isc_dsql_allocate_statement) X(isc_dsql_prepare) X(isc_dsql_describe)                 \
  X(isc_dsql_describe_bind) X(isc_dsql_execute) X(isc_dsql_execute2)                      \
  X(isc_dsql_execute_immediate) X(isc_dsql_fetch) X(isc_dsql_free_statement)              \
  X(isc_dsql_sql_info) X(isc_create_blob2) X(isc_open_blob2) X(isc_get_segment)           \
  X(isc_put_segment) X(isc_close_blob) X(isc_cancel_blob) X(isc_blob_info)                \
  X(isc_compile_request2) X(isc_start_and_send) X(isc_release_request)
// clang-format on

// Why a client library could not be taken into use.
struct LoadFailure {
  std::string file_name;
  // The entry point the library lacks; empty when the library itself could
  // not be loaded, and `error` says why.
  std::string missing_entry;
  platform::SystemError error;

  // The operator's text: "Невозможно загрузить клиентскую библиотеку
  // "<file>"!" CR and the system's reason, or "В клиентской библиотеке
  // "<file>" не найдена функция "<entry>"!".
  std::string Describe() const;
};

class FbClient;
using LoadOutcome = Outcome<std::unique_ptr<FbClient>, LoadFailure>;

class FbClient {
 public:
  // Loads `file_name` through `libraries` and looks up every entry point.
  // The failure names the system's reason, or the first entry point the
  // library lacks (the library is then unloaded again).
  static LoadOutcome Load(platform::Libraries& libraries, const std::string& file_name);

  FbClient(const FbClient&) = delete;
  FbClient& operator=(const FbClient&) = delete;

  const std::string& FileName() const { return file_name_; }

  // The errors and texts of the status vector of a failed call. The texts
  // are the library's 8-bit ones, as fb_interpret gives them.
  FbStatus ReadStatus(const ISC_STATUS* vector) const;

#define UPDATER_FB_MEMBER(name) decltype(&::name) name = nullptr;
  UPDATER_FB_CLIENT_ENTRIES(UPDATER_FB_MEMBER)
#undef UPDATER_FB_MEMBER

 private:
  FbClient(std::string file_name, std::unique_ptr<platform::Library> library)
      : file_name_(std::move(file_name)), library_(std::move(library)) {}

  std::string file_name_;
  std::unique_ptr<platform::Library> library_;
};

}  // namespace updater::fbclient
