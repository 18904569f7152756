#include "scriptengine/data_export.h"

#include <algorithm>
#include <memory>

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"
#include "scriptengine/text_bytes.h"

namespace updater::scriptengine {
namespace {

// Texts longer than this go to the blob file: they would make the blocks
// large and the statements long.
constexpr size_t kMaxLiteralBytes = 4096;
// A block's text stays well below the 64 KB a Firebird 2.0 server takes.
constexpr size_t kMaxBlockBytes = 48 * 1024;
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

bool IsTextColumn(const Column& column) {
  return column.kind == ColumnKind::kChar || column.kind == ColumnKind::kVarchar ||
         (column.kind == ColumnKind::kBlob && column.sub_type == 1);
}

bool IsBinary(const Column& column) {
  return (column.kind == ColumnKind::kBlob && column.sub_type != 1) ||
         (IsTextColumn(column) && column.charset == kCharsetOctets);
}

// True when `text` can stand in a literal and reads back as the same bytes.
bool LiteralSafe(std::string_view text, bool utf8) {
  if (text.size() > kMaxLiteralBytes) return false;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && u != '\t' && u != '\r' && u != '\n') return false;
  }
  return !utf8 || IsValidUtf8(text);
}

// The declared type of a block parameter that carries a value of `column`
// from the blob file; `bytes` is the value's length.
std::string ParamType(const Column& column, const std::string& charset, uint64_t bytes) {
  const std::string value_charset = column.charset == kCharsetOctets ? "OCTETS"
                                    : column.charset == kCharsetNone ? "NONE"
                                                                     : charset;
  if (column.kind == ColumnKind::kBlob) {
    if (column.sub_type != 1) return "BLOB SUB_TYPE " + std::to_string(column.sub_type);
    return "BLOB SUB_TYPE TEXT CHARACTER SET " + value_charset;
  }
  const std::string kind = column.kind == ColumnKind::kChar ? "CHAR(" : "VARCHAR(";
  return kind + std::to_string(std::max<uint64_t>(bytes, 1)) + ") CHARACTER SET " + value_charset;
}

class TableWriter {
 public:
  TableWriter(Output& script, Output& blobs, const Table& table, const std::string& charset,
              const ExportOptions& options)
      : script_(script), blobs_(blobs), table_(table), charset_(charset), options_(options) {
    insert_ = "INSERT INTO " + QuoteName(table.name) + " (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (i > 0) insert_ += ", ";
      insert_ += QuoteName(table.columns[i].name);
    }
    insert_ += ") VALUES (";
  }

  void AddRow(Cursor& cursor) {
    std::vector<std::string> params;
    std::string row = FormatRow(cursor, params);
    if (row.size() > kMaxBlockBytes / 2) {
      // Too long for one statement with its texts as literals: they go to
      // the blob file as well.
      params.clear();
      force_params_ = true;
      row = FormatRow(cursor, params);
      force_params_ = false;
    }
    if (rows_ > 0 && (rows_ >= options_.rows_per_block ||
                      body_.size() + row.size() + declarations_.size() > kMaxBlockBytes)) {
      Flush();
    }
    for (std::string& param : params) {
      if (!declarations_.empty()) declarations_ += ",\n ";
      declarations_ += param;
    }
    body_ += row;
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
    rows_ = 0;
    if (++blocks_ % kBlocksPerCommit == 0) script_.Write("COMMIT WORK^\n");
  }

  int64_t Total() const { return total_; }

 private:
  std::string FormatRow(Cursor& cursor, std::vector<std::string>& params) {
    std::string row = insert_;
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (i > 0) row += ", ";
      row += ValueLiteral(cursor, i, params);
    }
    row += ");\n";
    return row;
  }

  std::string ValueLiteral(Cursor& cursor, size_t index, std::vector<std::string>& params) {
    const Column& column = table_.columns[index];
    const Value& value = cursor.Get(index);
    switch (value.kind) {
      case Value::Kind::kNull:
        return "NULL";
      case Value::Kind::kInteger:
        return IntegerText(value.integer, value.scale);
      case Value::Kind::kDouble:
        return DoubleText(value.real);
      case Value::Kind::kDate:
        return "DATE '" + DateText(value.date) + "'";
      case Value::Kind::kTime:
        return "TIME '" + TimeText(value.time) + "'";
      case Value::Kind::kTimestamp:
        return "TIMESTAMP '" + TimestampText(value.date, value.time) + "'";
      case Value::Kind::kBoolean:
        return value.boolean ? "TRUE" : "FALSE";
      case Value::Kind::kText: {
        std::string_view text = value.text;
        // CHAR values come padded; the column pads them again on the way in.
        if (column.kind == ColumnKind::kChar && column.charset != kCharsetOctets) {
          const size_t end = text.find_last_not_of(' ');
          text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
        }
        if (!force_params_ && !IsBinary(column) && LiteralSafe(text, charset_ == "UTF8")) {
          return QuoteString(text);
        }
        const uint64_t offset = blobs_.Position();
        blobs_.Write(text);
        return Param(column, offset, params);
      }
      case Value::Kind::kBlob: {
        // A text blob that turns out short goes as a literal; anything else
        // is streamed into the blob file.
        const uint64_t offset = blobs_.Position();
        const bool text = !IsBinary(column) && !force_params_;
        std::string head;
        bool spilled = !text;
        cursor.ReadBlob(index, [&](std::string_view piece) {
          if (spilled) {
            blobs_.Write(piece);
            return;
          }
          head.append(piece);
          if (head.size() > kMaxLiteralBytes) {
            blobs_.Write(head);
            head.clear();
            spilled = true;
          }
        });
        if (!spilled && LiteralSafe(head, charset_ == "UTF8")) return QuoteString(head);
        blobs_.Write(head);
        return Param(column, offset, params);
      }
      case Value::Kind::kBlobSlice:
        break;
    }
    throw ScriptError("the column " + QuoteName(column.name) + " of " + QuoteName(table_.name) +
                      " has a value of a kind the data export cannot write");
  }

  // Declares the block parameter for the value written to the blob file
  // from `offset` to its current end, and returns the reference to it.
  std::string Param(const Column& column, uint64_t offset, std::vector<std::string>& params) {
    const uint64_t length = blobs_.Position() - offset;
    const std::string name = "B" + std::to_string(params_++);
    params.push_back(name + " " + ParamType(column, charset_, length) + " = " +
                     BlobReferenceText(offset, length));
    return ":" + name;
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
  int params_ = 0;
  bool force_params_ = false;
  int blocks_ = 0;
  int64_t total_ = 0;
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
  const std::vector<Table> tables = database.UserTables();

  const std::string manifest_path = ManifestPathFor(path);
  std::vector<TableFigures> manifest;
  bool script_made = false;
  bool blobs_made = false;
  bool manifest_made = false;
  try {
    Output script(files, path);
    script_made = true;
    Output blobs(files, blob_path);
    blobs_made = true;
    script.Write("/* Table data, character set " + charset +
                 ". Written by ibec_ExtractMetadata; values that are not written as literals\n"
                 "   are in the blob file " +
                 QuoteString(platform::Utf8ToAnsi(blob_name)) + ". */\n");
    script.Write("SET SQL DIALECT 3;\n");
    script.Write("SET BLOBFILE " + QuoteString(platform::Utf8ToAnsi(blob_name)) + ";\n");
    script.Write("SET TERM ^ ;\n");

    int64_t total = 0;
    for (const Table& table : tables) {
      script.Write("\n/* " + QuoteName(table.name) + " */\n");
      std::unique_ptr<Cursor> cursor =
          CountingCursor(database.ReadTable(table), table, charset, manifest.emplace_back());
      TableWriter writer(script, blobs, table, charset, options);
      while (cursor->Next()) writer.AddRow(*cursor);
      writer.Flush();
      script.Write("COMMIT WORK^\n");
      total += writer.Total();
      progress(QuoteName(table.name) + ": " + std::to_string(writer.Total()) + " rows");
    }
    script.Write("SET TERM ; ^\n");
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
