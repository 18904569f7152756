#include "scriptengine/fb_statement.h"

#include <cstring>

#include "scriptengine/blob_file.h"
#include "scriptengine/errors.h"

namespace updater::scriptengine {
namespace {

constexpr int kInitialColumns = 20;

int StatementType(FbDatabase& database, isc_stmt_handle* handle) {
  ISC_STATUS_ARRAY status;
  const char items[] = {isc_info_sql_stmt_type};
  char answer[16] = {};
  if (database.Client().isc_dsql_sql_info(status, handle, sizeof items, items, sizeof answer,
                                          answer) != 0) {
    database.Fail(status);
  }
  if (answer[0] != isc_info_sql_stmt_type) return 0;
  const short length = static_cast<short>(database.Client().isc_vax_integer(answer + 1, 2));
  return static_cast<int>(database.Client().isc_vax_integer(answer + 3, length));
}

}  // namespace

FbStatement::FbStatement(FbDatabase& database, std::string_view sql)
    : database_(database), out_(kInitialColumns) {
  fbclient::FbClient& client = database_.Client();
  ISC_STATUS_ARRAY status;
  if (client.isc_dsql_allocate_statement(status, database_.Handle(), &handle_) != 0) {
    database_.Fail(status);
  }
  // Length 0: the text is NUL-terminated, so that statements over 64 KB
  // reach servers that take them.
  const std::string text(sql);
  if (client.isc_dsql_prepare(status, database_.PrepareTransaction(), &handle_, 0, text.c_str(),
                              database_.Dialect(), out_.get()) != 0) {
    database_.Fail(status);
  }
  if (out_.Described() > out_.Capacity()) {
    out_.Resize(out_.Described());
    if (client.isc_dsql_describe(status, &handle_, database_.Dialect(), out_.get()) != 0) {
      database_.Fail(status);
    }
  }
  out_.AllocateOutput();
  type_ = StatementType(database_, &handle_);
}

FbStatement::~FbStatement() {
  if (handle_ == 0) return;
  // A statement that cannot be freed (the connection is gone) leaves
  // nothing to clean up on this side; its failure is not worth reporting.
  ISC_STATUS_ARRAY status;
  database_.Client().isc_dsql_free_statement(status, &handle_, DSQL_drop);
}

namespace {

const Value& At(const std::vector<Value>& values, size_t i) { return values[i]; }
const Value& At(const std::vector<const Value*>& values, size_t i) { return *values[i]; }

}  // namespace

void FbStatement::Bind(const std::vector<Value>& params) { BindValues(params); }

void FbStatement::Bind(const std::vector<const Value*>& params) { BindValues(params); }

template <typename Values>
void FbStatement::BindValues(const Values& params) {
  if (!input_described_) {
    fbclient::FbClient& client = database_.Client();
    ISC_STATUS_ARRAY status;
    in_.Resize(static_cast<int>(params.size()));
    if (client.isc_dsql_describe_bind(status, &handle_, database_.Dialect(), in_.get()) != 0) {
      database_.Fail(status);
    }
    if (in_.Described() != static_cast<int>(params.size())) {
      throw ScriptError("the statement has " + std::to_string(in_.Described()) +
                        " parameters, but " + std::to_string(params.size()) + " values are given");
    }
    for (size_t i = 0; i < params.size(); ++i) described_.push_back(in_.var(i));
    input_described_ = true;
  } else {
    if (described_.size() != params.size()) {
      throw ScriptError("the statement has " + std::to_string(described_.size()) +
                        " parameters, but " + std::to_string(params.size()) + " values are given");
    }
    // Binding changed the types; the next values start from the description.
    for (size_t i = 0; i < params.size(); ++i) {
      XSQLVAR& v = in_.var(i);
      v.sqltype = described_[i].sqltype;
      v.sqlsubtype = described_[i].sqlsubtype;
      v.sqlscale = described_[i].sqlscale;
      v.sqllen = described_[i].sqllen;
    }
  }
  for (size_t i = 0; i < params.size(); ++i) {
    const Value& value = At(params, i);
    const bool blob = (in_.var(i).sqltype & ~1) == SQL_BLOB;
    if (value.IsNull()) {
      in_.BindNull(i);
    } else if (blob) {
      in_.BindBlobId(i, database_.CreateBlob(value));
    } else if (value.kind == Value::Kind::kBlobSlice) {
      in_.BindInput(i, Value::Text(value.blob_file->ReadAll(value.offset, value.length)));
    } else {
      in_.BindInput(i, value);
    }
  }
  has_input_ = !params.empty();
}

void FbStatement::Execute(isc_tr_handle* transaction) {
  fbclient::FbClient& client = database_.Client();
  ISC_STATUS_ARRAY status;
  isc_tr_handle* tr = transaction != nullptr ? transaction : database_.Transaction();
  XSQLDA* in = has_input_ ? in_.get() : nullptr;
  ISC_STATUS result;
  if (type_ == isc_info_sql_stmt_exec_procedure && out_.Described() > 0) {
    result = client.isc_dsql_execute2(status, tr, &handle_, database_.Dialect(), in, out_.get());
  } else {
    result = client.isc_dsql_execute(status, tr, &handle_, database_.Dialect(), in);
  }
  if (result != 0) database_.Fail(status);
}

bool FbStatement::Fetch() {
  ISC_STATUS_ARRAY status;
  const ISC_STATUS result =
      database_.Client().isc_dsql_fetch(status, &handle_, SQLDA_VERSION1, out_.get());
  if (result == 100) return false;
  if (result != 0) database_.Fail(status);
  return true;
}

FbCursor::FbCursor(FbDatabase& database, std::unique_ptr<FbStatement> statement, bool single_row)
    : database_(database), statement_(std::move(statement)), single_row_(single_row) {
  SqlDa& out = statement_->Out();
  for (int i = 0; i < out.Described(); ++i) {
    columns_.push_back(out.DescribeColumn(static_cast<size_t>(i)));
  }
  row_.resize(columns_.size());
}

bool FbCursor::Next() {
  if (done_) return false;
  if (single_row_) {
    done_ = true;
  } else if (!statement_->Fetch()) {
    done_ = true;
    return false;
  }
  for (size_t i = 0; i < columns_.size(); ++i) statement_->Out().Read(i, row_[i]);
  return true;
}

void FbCursor::ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) {
  const Value& value = row_.at(index);
  if (value.kind != Value::Kind::kBlob) {
    throw ScriptError("internal error: column " + std::to_string(index) + " holds no blob");
  }
  ReadBlobContent(database_, value.blob_id, sink);
}

void ReadBlobContent(FbDatabase& database, uint64_t id,
                     const std::function<void(std::string_view)>& sink, int charset) {
  fbclient::FbClient& client = database.Client();
  ISC_STATUS_ARRAY status;
  isc_blob_handle blob = 0;
  ISC_QUAD quad;
  std::memcpy(&quad, &id, sizeof quad);
  // Text in the character set `charset`, which the server then leaves as
  // it is: isc_bpb_version1, isc_bpb_target_type 1, isc_bpb_target_interp.
  const char own[] = {
      1, 1, 1, 1, 2, 1, 1, 4, 1, static_cast<char>(charset), 5, 1, static_cast<char>(charset)};
  const bool as_stored = charset >= 0 && charset <= 255;
  if (client.isc_open_blob2(status, database.Handle(), database.Transaction(), &blob, &quad,
                            as_stored ? static_cast<unsigned short>(sizeof own) : 0,
                            as_stored ? reinterpret_cast<const unsigned char*>(own) : nullptr) !=
      0) {
    database.Fail(status);
  }
  std::vector<char> buffer(32768);
  try {
    for (;;) {
      unsigned short length = 0;
      const ISC_STATUS result = client.isc_get_segment(
          status, &blob, &length, static_cast<unsigned short>(buffer.size()), buffer.data());
      if (result == isc_segstr_eof) break;
      if (result != 0 && result != isc_segment) database.Fail(status);
      if (length > 0) sink(std::string_view(buffer.data(), length));
    }
  } catch (...) {
    // The failure on its way matters; the blob's close is only clean-up.
    ISC_STATUS_ARRAY ignored;
    client.isc_close_blob(ignored, &blob);
    throw;
  }
  if (client.isc_close_blob(status, &blob) != 0) database.Fail(status);
}

}  // namespace updater::scriptengine
