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
//       the values come in, or UTF8 where the store converts them), then
//       its NULL flag (blr_short, -1 for NULL),
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
//
// A text blob's value goes as a text too, which the server makes a blob of
// as it stores the row. Its field, as a CHAR's or VARCHAR's, holds the
// characters of the bucket (BucketLength) of the block's longest text (a
// CHAR's or VARCHAR's no more than its column's), so the store is sized
// for each block (ForBlock) and blocks of alike texts share a compiled
// request: short texts in wide columns leave room for more rows a message.
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
  std::string name = "NONE";  // upper case
};

// Whether the texts for text blob `column` are converted to UTF-8 by the
// engine over a connection of character set `connection` (the one place
// that says so for the load's requests and its INSERTs). They are for a
// UTF8 text blob over a WIN1251 connection: the server makes a blob of a
// text through a blob filter whose conversion between character sets is
// guarded by system calls of its own, which doubled its CPU for a table of
// short notes; a UTF8 text needs no conversion there. (For CHAR and
// VARCHAR columns the server converts a UTF8 parameter to the connection's
// set and back, which costs it more than converting WIN1251 once: those
// stay as they are.) A text with the byte that is no character (0x98)
// cannot be converted and is left to the server.
bool ConvertsTextBlobToUtf8(const StoredColumn& column, const std::string& connection);

// The declared length of a text whose longest value has `longest` units:
// a few lengths only (64, 256, 1024, ...), so that blocks share prepared
// statements and compiled requests, and never more than `most`.
size_t BucketLength(size_t longest, size_t most);

class BlrStore {
 public:
  // The most bytes of a text blob's field, so that a message still holds
  // several rows; longer texts go as the block's INSERTs.
  static constexpr size_t kMaxBlobText = 4096;

  // The store into `table` of `columns` (stored columns, in the rows'
  // order), whose names come in `charset`; nothing when one of them does
  // not go this way (blobs other than texts, arrays, unknown types, names
  // beyond ASCII in a set other than WIN1251 and UTF8) or a single row
  // would not fit into a request. Its text blobs' fields are empty until
  // ForBlock sizes them.
  static std::optional<BlrStore> For(const std::string& table,
                                     const std::vector<StoredColumn>& columns,
                                     const ConnectionCharset& charset);

  // This store for the rows of one block: each text's field (a text
  // blob's, a CHAR's or a VARCHAR's) holds the characters of the bucket of
  // its longest value, in the most bytes they take, and a CHAR's or
  // VARCHAR's no more than its column's bytes. Nothing when a text blob's
  // value does not go this way (not a text, too long for kMaxBlobText
  // bytes, 0x98 in a text to be converted) or a row would not fit.
  std::optional<BlrStore> ForBlock(const std::vector<std::vector<Value>>& rows) const;
  // What tells the stores ForBlock makes of one store apart: the lengths of
  // the texts' fields.
  std::string Lengths() const;

  // The most rows one request takes.
  size_t MaxRows() const { return max_rows_; }
  // The BLR of the request storing `rows` rows (1 to MaxRows()).
  std::string Request(size_t rows) const;
  // Lays `rows` rows from `first` on out as the message of Request(count),
  // replacing `message`. False, leaving `message` undefined, when a value
  // does not go into its column's field as it is (another kind of value, a
  // finer scale, a text longer than the field, a text with 0x98 to be
  // converted): the server would convert or refuse it, which the block's
  // INSERTs do and report.
  bool Fill(const std::vector<std::vector<Value>>& rows, size_t first, size_t count,
            std::string& message) const;

  // One column's field in the message.
  struct Field {
    uint8_t type = 0;            // blr_int64, blr_double, blr_varying2, ...
    int8_t scale = 0;            // blr_int64: the column's scale (zero or negative)
    uint16_t charset = 0;        // blr_varying2: character set number
    uint16_t length = 0;         // blr_varying2: most bytes of the text
    uint16_t most = 0;           // blr_varying2: the most bytes it is ever sized to
    std::string name;            // the column's name, in UTF-8
    bool blob_text = false;      // a text blob's field
    bool to_utf8 = false;        // its texts are converted from WIN1251
    uint8_t bytes_per_char = 1;  // of a text's character set, at the most
  };

 private:
  BlrStore() = default;
  // The bytes a field takes and its alignment.
  static size_t Size(const Field& field);
  static size_t Alignment(const Field& field);
  // Lays out one row's values and NULL flags from offset `at`, adding
  // their offsets to `offsets`; returns where the row ends.
  size_t LayOutRow(size_t at, std::vector<size_t>* offsets) const;
  // The offsets of each value and NULL flag of `rows` rows; returns the
  // message's length.
  size_t Offsets(size_t rows, std::vector<size_t>* offsets) const;
  // Sets the most rows one message takes; false when not even one fits.
  bool Limit();

  std::string table_;
  std::vector<Field> fields_;
  size_t most_rows_ = 0;  // the most rows the request's BLR and contexts allow
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
