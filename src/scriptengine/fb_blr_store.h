// Rows stored through a compiled request: the BLR of a request that
// receives one message holding the values of N rows and stores each row
// into the table, and that message laid out as the server lays it out.
// Cheaper for the server than an EXECUTE BLOCK of INSERTs, whose
// parameters pass through variables first.
//
// The request for N rows:
//   blr_version5, blr_begin,
//     blr_message 0, <2 x columns x N fields>: per row and column the value
//       (the column's own type; texts as blr_varying2 in the character set
//       the values come in), then its NULL flag (blr_short, -1 for NULL),
//     blr_receive 0, blr_begin,
//       per row r: blr_store, blr_relation <table> r, blr_begin,
//         per column: blr_assignment, blr_parameter2 0 <value> <flag>,
//                     blr_field r <column>,
//       blr_end,
//     blr_end,
//   blr_end, blr_eoc
// Each row has a context of its own, so a request takes at most 255 rows
// (Firebird 2.0's limit); its BLR and its message stay below 32,767 bytes,
// the lengths the client API takes.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scriptengine/table_columns.h"
#include "scriptengine/values.h"

namespace updater::scriptengine {

class FbDatabase;

// The character set text values come in for the columns that take the
// connection's: its number and the most bytes a character takes.
struct ConnectionCharset {
  int id = kCharsetNone;
  int bytes_per_char = 1;
};

class BlrStore {
 public:
  // The store into `table` of `columns` (stored columns, in the rows'
  // order); nothing when one of them does not go this way (blobs, arrays,
  // unknown types, names other than printable ASCII) or a single row would
  // not fit into a request.
  static std::optional<BlrStore> For(const std::string& table,
                                     const std::vector<StoredColumn>& columns,
                                     const ConnectionCharset& charset);

  // The most rows one request takes.
  size_t MaxRows() const { return max_rows_; }
  // The BLR of the request storing `rows` rows (1 to MaxRows()).
  std::string Request(size_t rows) const;
  // Lays `rows` rows from `first` on out as the message of Request(count),
  // replacing `message`. False, leaving `message` undefined, when a value
  // does not go into its column's field as it is (another kind of value, a
  // finer scale, a text longer than the field): the server would convert
  // or refuse it, which the block's INSERTs do and report.
  bool Fill(const std::vector<std::vector<Value>>& rows, size_t first, size_t count,
            std::string& message) const;

  // One column's field in the message.
  struct Field {
    uint8_t type = 0;      // blr_int64, blr_double, blr_varying2, ...
    int8_t scale = 0;      // blr_int64: the column's scale (zero or negative)
    uint16_t charset = 0;  // blr_varying2: character set number
    uint16_t length = 0;   // blr_varying2: most bytes of the text
    std::string name;      // the column's name as stored
  };

 private:
  BlrStore() = default;
  // The bytes a field takes and its alignment.
  static size_t Size(const Field& field);
  static size_t Alignment(const Field& field);
  // The offsets of each value and NULL flag of `rows` rows; returns the
  // message's length.
  size_t Offsets(size_t rows, std::vector<size_t>* offsets) const;

  std::string table_;
  std::vector<Field> fields_;
  size_t max_rows_ = 0;
};

// A request compiled on an attachment, started again for each message.
class BlrRequest {
 public:
  // Compiles `blr`; throws DatabaseError when the server refuses it.
  BlrRequest(FbDatabase& database, const std::string& blr);
  // Releases the request: the attachment must still be there.
  ~BlrRequest();
  BlrRequest(const BlrRequest&) = delete;
  BlrRequest& operator=(const BlrRequest&) = delete;

  // Runs the request in the default transaction with `message`; throws
  // DatabaseError when the server refuses it.
  void Send(const std::string& message);

 private:
  FbDatabase& database_;
  isc_req_handle handle_ = 0;
};

}  // namespace updater::scriptengine
