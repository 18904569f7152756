// A small working model of a database for the engine's tests: tables of
// typed rows, a default transaction whose statements and rows become
// visible to Committed() only at a commit, automatically committed DDL in
// transactions of its own, connections counted, and failures on demand
// (at a statement or at its commit). It answers SELECT c1, c2 FROM t
// [WHERE c = ?].
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine::testing {

struct FakeTable {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;  // blobs as kBlob, their content in FakeDatabase
};

class FakeDatabase final : public Database {
 public:
  // One statement as the database received it: the SQL and its parameter
  // values as text ("NULL", or the bytes of a text or blob file slice).
  struct Executed {
    std::string sql;
    std::vector<std::string> params;
    bool auto_ddl;
  };

  explicit FakeDatabase(std::string charset = "WIN1251") : charset_(std::move(charset)) {}

  // Test setup.
  void AddTable(const std::string& name, std::vector<Column> columns);
  void AddRow(const std::string& table, std::vector<Value> row);
  // A blob value with `content` for AddRow.
  Value Blob(std::string content);
  // Execute fails with `error` for SQL that contains `fragment`.
  void FailOn(const std::string& fragment, const std::string& error) {
    failures_[fragment] = error;
  }
  // A commit fails with `error` while the work to commit holds a statement
  // that contains `fragment` (as a unique index over duplicates does).
  void FailAtCommit(const std::string& fragment, const std::string& error) {
    commit_failures_[fragment] = error;
  }
  bool accept_bulk = true;  // whether InsertRows takes data blocks
  // Whether a second attachment is refused (OpenSibling throws) rather
  // than not offered.
  bool refuse_sibling = false;

  // What happened.
  const std::vector<Executed>& Committed() const { return committed_; }
  const std::vector<Executed>& Pending() const { return pending_; }
  std::vector<std::string> prepared;  // what Prepare was given
  int commits = 0;
  int rollbacks = 0;
  int connections = 1;
  int sibling_requests = 0;  // OpenSibling calls
  int dialect = 3;
  const std::map<std::string, FakeTable>& Tables() const { return tables_; }
  // The content of blob `id`.
  const std::string& BlobContent(uint64_t id) const { return blobs_.at(id); }

  std::string Charset() const override { return charset_; }
  void SetDialect(int value) override { dialect = value; }
  void Execute(std::string_view sql, const std::vector<Value>& params, bool auto_ddl) override;
  void Prepare(std::string_view sql) override { prepared.emplace_back(sql); }
  std::unique_ptr<Cursor> Open(std::string_view sql, const std::vector<Value>& params) override;
  bool InsertRows(const DataBlock& block) override;
  std::vector<Table> UserTables() override;
  void Commit() override;
  void Rollback() override;
  void Reconnect(const std::string& charset) override;
  std::unique_ptr<Database> OpenSibling() override;

 private:
  std::string charset_;
  std::map<std::string, FakeTable> tables_;
  std::map<std::string, std::vector<std::vector<Value>>> pending_rows_;
  std::vector<std::string> blobs_;
  std::vector<Executed> committed_;
  std::vector<Executed> pending_;
  std::map<std::string, std::string> failures_;
  std::map<std::string, std::string> commit_failures_;

  // Throws the commit failure that `work` meets, if any.
  void CheckCommit(const std::vector<Executed>& work) const;
};

}  // namespace updater::scriptengine::testing
