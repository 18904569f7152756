// XSQLDA descriptor areas of the Firebird client: the columns a statement
// returns or the parameters it takes, with the memory for their values.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine {

class SqlDa {
 public:
  explicit SqlDa(int count = 1);
  SqlDa(const SqlDa&) = delete;
  SqlDa& operator=(const SqlDa&) = delete;

  XSQLDA* get() { return reinterpret_cast<XSQLDA*>(area_.data()); }
  const XSQLDA* get() const { return reinterpret_cast<const XSQLDA*>(area_.data()); }
  XSQLVAR& var(size_t i) { return get()->sqlvar[i]; }
  const XSQLVAR& var(size_t i) const { return get()->sqlvar[i]; }
  // The number of variables the statement has (after a describe).
  int Described() const { return get()->sqld; }
  int Capacity() const { return get()->sqln; }

  // Makes room for `count` variables; what was described is lost.
  void Resize(int count);

  // Gives every described output variable memory for its value and its
  // NULL flag.
  void AllocateOutput();

  // Binds `value` to input variable `i`, whose described type the value is
  // converted to where the client must (the server converts the rest). A
  // blob value is bound as the blob id in `blob_id` (see BindBlobId).
  void BindInput(size_t i, const Value& value);
  void BindBlobId(size_t i, ISC_QUAD id);
  void BindNull(size_t i);

  // The value of output variable `i`. A blob comes as kBlob with its id.
  Value Get(size_t i) const;
  // The same into `value`, whose text keeps its memory for the next row's.
  void Read(size_t i, Value& value) const;

  // The column `i` describes.
  Column DescribeColumn(size_t i) const;

 private:
  char* Storage(size_t i, size_t bytes);

  std::vector<char> area_;
  std::vector<std::vector<char>> storage_;
  std::vector<short> nulls_;
};

}  // namespace updater::scriptengine
