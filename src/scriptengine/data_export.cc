#include "scriptengine/data_export.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/errors.h"
#include "scriptengine/fetch_ahead.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/sql_tokens.h"
#include "scriptengine/text_bytes.h"

namespace updater::scriptengine {
namespace {

// Texts longer than this go to the blob file: they would make the blocks
// large and the statements long.
constexpr size_t kMaxLiteralBytes = 4096;
// A block's text stays well below the 64 KB a Firebird 2.0 server takes.
constexpr size_t kMaxBlockBytes = 48 * 1024;
// The bytes of a block's text around its declarations and INSERTs.
constexpr size_t kBlockFrame = 64;
// A block's input message (its parameters) stays below the 64 KB a Firebird
// 2.0 server takes.
constexpr size_t kMaxMessageBytes = 60000;
// Blocks between commits within one table.
constexpr int kBlocksPerCommit = 250;

class Output {
 public:
  Output(platform::FileSystem& files, const std::string& path) : path_(path) {
    platform::Result<std::unique_ptr<platform::OutputFile>> opened =
        files.OpenOutputFile(path, false);
    if (!opened.ok()) throw ScriptError("cannot create " + opened.error().Describe());
    file_ = std::move(opened).value();
  }
  void Write(std::string_view bytes) {
    platform::Status written = file_->Write(bytes);
    if (!written) throw ScriptError("cannot write " + written.error().Describe());
  }
  uint64_t Position() const { return file_->Position(); }
  void Close() {
    platform::Status closed = file_->Close();
    if (!closed) throw ScriptError("cannot write " + closed.error().Describe());
  }

 private:
  std::string path_;
  std::unique_ptr<platform::OutputFile> file_;
};

// Values that go as their bytes: binary ones, and texts in a character set
// that is not the connection's.
bool IsBinary(const Column& column) {
  return IsBinaryColumn(column) || (IsTextColumn(column) && column.as_stored);
}

// A comment's text that cannot end the comment: "*/" is broken up.
std::string CommentText(std::string_view text) {
  std::string comment;
  for (size_t i = 0; i < text.size(); ++i) {
    comment += text[i];
    if (text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/') comment += ' ';
  }
  return comment;
}

// The byte of Windows-1251 that stands for no character: a conversion to
// Unicode has nothing to make of it, and Firebird's makes it U+0000.
constexpr char kWin1251Hole = '\x98';

// Where texts were found that the new database could not hold as they are.
struct Holes {
  std::vector<std::string> places;  // the first few, for the message
  int64_t count = 0;
};
constexpr size_t kHolePlacesShown = 10;

// True when `text` can stand in a literal and reads back as the same bytes.
bool LiteralSafe(std::string_view text, bool utf8) {
  if (text.size() > kMaxLiteralBytes) return false;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && u != '\t' && u != '\r' && u != '\n') return false;
  }
  return !utf8 || IsValidUtf8(text);
}

// A block parameter that carries a value from the blob file: its declared
// type and the bytes it takes in the block's input message (the value, its
// length word, its NULL flag and alignment).
struct ParamShape {
  std::string type;
  size_t message_bytes = 0;
};

// The parameter for `value` of `column`, in the connection's character set
// `charset`.
ParamShape ParamFor(const Column& column, const std::string& charset, std::string_view value) {
  const std::string value_charset = column.charset == kCharsetOctets || column.as_stored ? "OCTETS"
                                    : column.charset == kCharsetNone                     ? "NONE"
                                                                                         : charset;
  if (column.kind == ColumnKind::kBlob) {
    if (column.as_stored) return {"BLOB SUB_TYPE 0", 16};
    if (column.sub_type != 1) return {"BLOB SUB_TYPE " + std::to_string(column.sub_type), 16};
    return {"BLOB SUB_TYPE TEXT CHARACTER SET " + value_charset, 16};
  }
  // The length counts characters: a UTF-8 text's bytes would declare up to
  // four times the room, beyond what a string may hold.
  const size_t width = static_cast<size_t>(MaxCharacterBytes(value_charset));
  size_t characters = value.size();
  if (width > 1 && IsValidUtf8(value)) characters = platform::Utf8CharacterCount(value);
  characters = std::max<size_t>(characters, 1);
  const std::string kind = column.kind == ColumnKind::kChar ? "CHAR(" : "VARCHAR(";
  return {kind + std::to_string(characters) + ") CHARACTER SET " + value_charset,
          characters * width + 8};
}

class TableWriter {
 public:
  TableWriter(Output& script, Output& blobs, const Table& table, const std::string& charset,
              const ExportOptions& options, Holes& holes)
      : script_(script),
        blobs_(blobs),
        table_(table),
        charset_(charset),
        options_(options),
        holes_(holes) {
    insert_ = "INSERT INTO " + QuoteName(table.name) + " (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (i > 0) insert_ += ", ";
      insert_ += QuoteName(table.columns[i].name);
    }
    insert_ += ") VALUES (";
  }

  void AddRow(Cursor& cursor) {
    FormatRow(cursor);
    Row& row = row_;
    size_t text_size = RowSize();
    if (text_size > kMaxBlockBytes / 2) {
      // Too long for one statement with its texts as literals: they go to
      // the blob file as well.
      for (Piece& piece : row.pieces) {
        if (piece.spill == Spill::kNone) continue;
        const Column& column = table_.columns[piece.column];
        const std::string_view text = piece.spill == Spill::kHead
                                          ? std::string_view(piece.head)
                                          : LiteralText(column, cursor.Get(piece.column).text);
        const uint64_t offset = blobs_.Position();
        blobs_.Write(text);
        piece.text = Param(column, offset, text, row);
        piece.spill = Spill::kNone;
      }
      text_size = RowSize();
    }
    size_t declarations = 0;
    for (const std::string& param : row.params) declarations += param.size() + 3;
    if (rows_ > 0 && (rows_ >= options_.rows_per_block ||
                      kBlockFrame + declarations_.size() + declarations + body_.size() + text_size >
                          kMaxBlockBytes ||
                      message_ + row.message > kMaxMessageBytes)) {
      Flush();
    }
    for (std::string& param : row.params) {
      if (!declarations_.empty()) declarations_ += ",\n ";
      declarations_ += param;
    }
    AppendRowText(body_);
    message_ += row.message;
    ++rows_;
    ++total_;
  }

  // Writes the rows gathered so far as one block.
  void Flush() {
    if (rows_ == 0) return;
    std::string block = "EXECUTE BLOCK";
    if (!declarations_.empty()) block += " (" + declarations_ + ")";
    block += "\nAS BEGIN\n" + body_ + "END^\n";
    script_.Write(block);
    body_.clear();
    declarations_.clear();
    message_ = 0;
    rows_ = 0;
    if (++blocks_ % kBlocksPerCommit == 0) script_.Write("COMMIT WORK^\n");
  }

  int64_t Total() const { return total_; }

 private:
  // One value of a row as the block has it: a literal or a parameter
  // reference. Of a text literal, the row knows where its bytes are, to
  // send them to the blob file instead should the row be too long: the
  // value of the cursor's row, or the head of a blob read.
  enum class Spill { kNone, kValue, kHead };
  struct Piece {
    size_t column = 0;
    std::string text;
    Spill spill = Spill::kNone;
    std::string head;
  };
  // The row being written; its strings keep their memory from row to row.
  struct Row {
    std::vector<Piece> pieces;
    std::vector<std::string> params;  // declarations
    size_t message = 0;               // the parameters' bytes in the input message
  };

  void FormatRow(Cursor& cursor) {
    Row& row = row_;
    row.pieces.resize(table_.columns.size());
    row.params.clear();
    row.message = 0;
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      Piece& piece = row.pieces[i];
      piece.column = i;
      piece.text.clear();
      piece.spill = Spill::kNone;
      ValueLiteral(cursor, i, row, piece);
    }
  }

  // The bytes of the row's INSERT.
  size_t RowSize() const {
    size_t size = insert_.size() + 3;
    for (const Piece& piece : row_.pieces) size += piece.text.size() + 2;
    return row_.pieces.empty() ? size : size - 2;
  }

  void AppendRowText(std::string& out) const {
    out += insert_;
    for (size_t i = 0; i < row_.pieces.size(); ++i) {
      if (i > 0) out += ", ";
      out += row_.pieces[i].text;
    }
    out += ");\n";
  }

  // A text value as its literal carries it: CHAR values come padded, and
  // the column pads them again on the way in.
  static std::string_view LiteralText(const Column& column, std::string_view text) {
    if (column.kind != ColumnKind::kChar || column.charset == kCharsetOctets) return text;
    const size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
  }

  // Writes into `piece` the literal of the column's value, or the reference
  // to it in the blob file, where it is written (each value once).
  void ValueLiteral(Cursor& cursor, size_t index, Row& row, Piece& piece) {
    const Column& column = table_.columns[index];
    const Value& value = cursor.Get(index);
    std::string& out = piece.text;
    if (column.array) {
      if (value.IsNull()) {
        out += "NULL";
        return;
      }
      throw ScriptError("the table " + QuoteName(table_.name) + " holds an array in its column " +
                        QuoteName(column.name) + " (" + RowPlace(cursor) +
                        "): the data export carries no array values, only empty (NULL) arrays");
    }
    switch (value.kind) {
      case Value::Kind::kNull:
        out += "NULL";
        return;
      case Value::Kind::kInteger:
        AppendIntegerText(out, value.integer, value.scale);
        return;
      case Value::Kind::kDouble:
        out += DoubleLiteral(value.real);
        return;
      case Value::Kind::kDate:
        out += "DATE '";
        AppendDateText(out, value.date);
        out += '\'';
        return;
      case Value::Kind::kTime:
        out += "TIME '";
        AppendTimeText(out, value.time);
        out += '\'';
        return;
      case Value::Kind::kTimestamp:
        out += "TIMESTAMP '";
        AppendDateText(out, value.date);
        out += ' ';
        AppendTimeText(out, value.time);
        out += '\'';
        return;
      case Value::Kind::kBoolean:
        out += value.boolean ? "TRUE" : "FALSE";
        return;
      case Value::Kind::kText: {
        const std::string_view text = LiteralText(column, value.text);
        CheckHoles(cursor, column, text);
        if (!IsBinary(column) && LiteralSafe(text, charset_ == "UTF8")) {
          piece.spill = Spill::kValue;
          out = QuoteString(text);
          return;
        }
        const uint64_t offset = blobs_.Position();
        blobs_.Write(text);
        out = Param(column, offset, text, row);
        return;
      }
      case Value::Kind::kBlob: {
        // A text blob that turns out short goes as a literal; anything else
        // is streamed into the blob file.
        const uint64_t offset = blobs_.Position();
        std::string& head = piece.head;
        head.clear();
        bool spilled = IsBinary(column);
        cursor.ReadBlob(index, [&](std::string_view bytes) {
          CheckHoles(cursor, column, bytes);
          if (spilled) {
            blobs_.Write(bytes);
            return;
          }
          head.append(bytes);
          if (head.size() > kMaxLiteralBytes) {
            blobs_.Write(head);
            head.clear();
            spilled = true;
          }
        });
        if (!spilled && LiteralSafe(head, charset_ == "UTF8")) {
          piece.spill = Spill::kHead;
          out = QuoteString(head);
          return;
        }
        blobs_.Write(head);
        out = Param(column, offset, {}, row);
        return;
      }
      case Value::Kind::kBlobSlice:
        break;
    }
    throw ScriptError("the column " + QuoteName(column.name) + " of " + QuoteName(table_.name) +
                      " has a value of a kind the data export cannot write");
  }

  // Notes the place of a text that holds a byte the new database would
  // lose: a WIN1251 text bound for a database of another character set.
  void CheckHoles(const Cursor& cursor, const Column& column, std::string_view text) {
    const bool win1251 = column.as_stored ? column.charset_name == "WIN1251"
                                          : charset_ == "WIN1251" && !IsBinary(column) &&
                                                column.charset != kCharsetNone;
    if (!win1251 || !IsTextColumn(column) || text.find(kWin1251Hole) == std::string_view::npos) {
      return;
    }
    // A blob comes in pieces: each place is noted once.
    if (hole_row_ != total_ + 1) {
      hole_row_ = total_ + 1;
      hole_columns_.clear();
    }
    if (!hole_columns_.insert(column.name).second) return;
    if (holes_.places.size() < kHolePlacesShown) {
      holes_.places.push_back(QuoteName(table_.name) + "." + QuoteName(column.name) + " " +
                              RowPlace(cursor));
    }
    ++holes_.count;
  }

  // The current row for the operator: its number in the order the table
  // is read, and its primary key when the table has one ("row 7 (ID = 12)").
  std::string RowPlace(const Cursor& cursor) const {
    std::string place = "row " + std::to_string(total_ + 1);
    for (size_t i = 0; i < table_.key.size(); ++i) {
      const size_t k = table_.key[i];
      const Value& value = cursor.Get(k);
      place += (i == 0 ? " (" : ", ") + QuoteName(table_.columns[k].name) + " = " +
               (value.IsNull()                     ? std::string("NULL")
                : value.kind == Value::Kind::kText ? QuoteString(value.text)
                                                   : ValueText(value));
    }
    return table_.key.empty() ? place : place + ")";
  }

  // Declares the block parameter for `value` of `column`, written to the
  // blob file from `offset` to its current end, and returns the reference
  // to it.
  std::string Param(const Column& column, uint64_t offset, std::string_view value, Row& row) {
    const uint64_t length = blobs_.Position() - offset;
    const std::string name = "B" + std::to_string(params_++);
    const ParamShape shape = ParamFor(column, charset_, value);
    row.params.push_back(name + " " + shape.type + " = " + BlobReferenceText(offset, length));
    row.message += shape.message_bytes;
    if (!column.as_stored) return ":" + name;
    // Bytes in the column's own character set, which the new database
    // converts to its column's, or refuses to when it lacks a character.
    if (column.kind == ColumnKind::kBlob) {
      return "CAST(:" + name + " AS BLOB SUB_TYPE TEXT CHARACTER SET " + column.charset_name + ")";
    }
    const uint64_t chars = std::clamp<uint64_t>(length, 1, std::max(column.chars, 1));
    return "CAST(:" + name + " AS VARCHAR(" + std::to_string(chars) + ") CHARACTER SET " +
           column.charset_name + ")";
  }

  Output& script_;
  Output& blobs_;
  const Table& table_;
  std::string charset_;
  ExportOptions options_;
  std::string insert_;
  std::string body_;
  std::string declarations_;
  int rows_ = 0;
  size_t message_ = 0;
  int params_ = 0;
  int blocks_ = 0;
  int64_t total_ = 0;
  Holes& holes_;
  Row row_;
  int64_t hole_row_ = 0;                // the row of the places in hole_columns_
  std::set<std::string> hole_columns_;  // its columns whose place was noted
};

}  // namespace

bool ParseExportOptions(std::string_view text, ExportOptions& options, std::string& why) {
  bool data = false;
  std::string word;
  const std::string all = platform::AsciiUpper(text) + " ";
  for (char c : all) {
    if (c != ' ' && c != ',' && c != ';' && c != '\t') {
      word += c;
      continue;
    }
    if (word.empty()) continue;
    if (word == "DATA") {
      data = true;
    } else if (word.rfind("ROWS=", 0) == 0) {
      const std::string number = word.substr(5);
      int rows = 0;
      for (char d : number) {
        if (d < '0' || d > '9' || rows > 1000) {
          rows = -1;
          break;
        }
        rows = rows * 10 + (d - '0');
      }
      if (number.empty() || rows < 1 || rows > 250) {
        why = "ROWS= takes a number from 1 to 250, not \"" + number + "\"";
        return false;
      }
      options.rows_per_block = rows;
    } else {
      why = "unknown option \"" + word + "\" (the options are DATA and ROWS=n)";
      return false;
    }
    word.clear();
  }
  if (!data) {
    why = "the options must name DATA: the table data is what it extracts";
    return false;
  }
  return true;
}

std::string BlobFilePathFor(const std::string& path) {
  const std::string name = platform::SplitPath(path, platform::Delimiters::kEither).name;
  const size_t dot = name.rfind('.');
  std::string base =
      dot == std::string::npos ? path : path.substr(0, path.size() - name.size() + dot);
  if (base + ".lob" == path) return path + ".lob";
  return base + ".lob";
}

int64_t ExportTableData(Database& database, platform::FileSystem& files, const std::string& path,
                        const ExportOptions& options,
                        const std::function<void(std::string_view)>& progress) {
  const std::string blob_path = BlobFilePathFor(path);
  const std::string blob_name = platform::SplitPath(blob_path, platform::Delimiters::kEither).name;
  const std::string charset = database.Charset();

  const std::string manifest_path = ManifestPathFor(path);
  std::vector<TableFigures> manifest;
  bool script_made = false;
  bool blobs_made = false;
  bool manifest_made = false;
  try {
    // The files are made (or emptied) first: whatever fails after this,
    // an earlier export's script does not stay behind as if it were this one.
    Output script(files, path);
    script_made = true;
    Output blobs(files, blob_path);
    blobs_made = true;
    const std::vector<Table> tables = database.UserTables();
    // Names and values are written only as quoted names and literals, and
    // into comments with "*/" broken up: none can end a comment, a string
    // or a statement early.
    script.Write(CommentText("/* Table data, character set " + charset +
                             ". Written by ibec_ExtractMetadata; values that are not written as "
                             "literals\n   are in the blob file named below.") +
                 " */\n");
    script.Write("SET SQL DIALECT 3;\n");
    script.Write("SET BLOBFILE " + QuoteString(platform::Utf8ToAnsi(blob_name)) + ";\n");
    // The load fails when the script ends before its SET DATA END: a script
    // cut short is never taken for all of the data.
    script.Write("SET DATA BEGIN;\n");
    script.Write("SET TERM ^ ;\n");

    int64_t total = 0;
    Holes holes;
    for (const Table& table : tables) {
      script.Write("\n/* " + CommentText(QuoteName(table.name)) + " */\n");
      const Table read = AsExported(table, charset);
      std::unique_ptr<Cursor> cursor =
          CountingCursor(FetchAhead(database.ReadTable(read, TableReading::kPacked), read), read,
                         charset, manifest.emplace_back());
      TableWriter writer(script, blobs, read, charset, options, holes);
      while (cursor->Next()) writer.AddRow(*cursor);
      writer.Flush();
      script.Write("COMMIT WORK^\n");
      total += writer.Total();
      progress(QuoteName(table.name) + ": " + std::to_string(writer.Total()) + " rows");
    }
    if (holes.count > 0) {
      std::string places;
      for (const std::string& place : holes.places) places += "\r\n  " + place;
      if (holes.count > static_cast<int64_t>(holes.places.size())) {
        places += "\r\n  and " +
                  std::to_string(holes.count - static_cast<int64_t>(holes.places.size())) + " more";
      }
      throw ScriptError(
          "texts hold the byte 0x98, which is no character in WIN1251 and would be lost in the "
          "new database; mend these values in the old database and run the update again:" +
          places);
    }
    script.Write("SET TERM ; ^\n");
    script.Write("SET DATA END;\n");
    blobs.Close();
    script.Close();
    manifest_made = true;
    WriteManifest(files, manifest_path, manifest);
    return total;
  } catch (...) {
    // A data script cut short would load part of the data as if it were all:
    // the files this export made go (closed by now). One that cannot be
    // removed stays behind; the failure raised says the export did not end.
    if (manifest_made) (void)files.RemoveFile(manifest_path);
    if (blobs_made) (void)files.RemoveFile(blob_path);
    if (script_made) (void)files.RemoveFile(path);
    throw;
  }
}

}  // namespace updater::scriptengine
