#include "scriptengine/data_manifest.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "scriptengine/errors.h"
#include "scriptengine/fetch_ahead.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

constexpr char kFirstLine[] = "Data manifest 1";
constexpr char kEndWord[] = "END";

// FNV-1a over the bytes given, with a final mix so that sums of row hashes
// spread over all 64 bits.
class Hasher {
 public:
  void Add(std::string_view bytes) {
    for (char c : bytes) {
      hash_ ^= static_cast<unsigned char>(c);
      hash_ *= 0x100000001b3ull;
    }
    length_ += bytes.size();
  }
  void AddNumber(uint64_t number) {
    char bytes[8];
    for (char& b : bytes) {
      b = static_cast<char>(number & 0xff);
      number >>= 8;
    }
    Add(std::string_view(bytes, sizeof bytes));
  }
  // Windows-1251 bytes as their UTF-8, without converting the text first.
  void AddCp1251(std::string_view bytes);
  uint64_t Length() const { return length_; }
  uint64_t Finish() const {
    uint64_t z = hash_ + 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t hash_ = 0xcbf29ce484222325ull;
  uint64_t length_ = 0;
};

void Hasher::AddCp1251(std::string_view bytes) {
  const Win1251Utf8& table = Win1251Utf8Table();
  for (char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      hash_ ^= u;
      hash_ *= 0x100000001b3ull;
      ++length_;
    } else {
      Add(std::string_view(table.bytes[u], table.length[u]));
    }
  }
}

// A text read in its own character set (see the export) is in that set's
// bytes, whatever the connection's.
bool ConvertsFromCp1251(const Column& column, const std::string& charset) {
  if (column.as_stored) return column.charset_name == "WIN1251";
  return charset == "WIN1251" && column.charset != kCharsetNone && !IsBinaryColumn(column);
}

// The exact text of a scaled integer without the zeros that only its scale
// gives it: 12.50 and 12.5, 3.00 and 3 are one number.
// Written into `text`, whose memory the caller gives.
std::string_view ExactNumber(int64_t integer, int scale, std::string& text) {
  text.clear();
  AppendIntegerText(text, integer, scale);
  if (text.find('.') == std::string::npos) return text;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

// A content value (text or bytes) in its canonical form: a kind byte, the
// content, its length.
class ContentHash {
 public:
  ContentHash(const Column& column, const std::string& charset)
      : binary_(IsBinaryColumn(column)), cp1251_(ConvertsFromCp1251(column, charset)) {
    hasher_.Add(binary_ ? "O" : "X");
  }
  void Add(std::string_view piece) {
    if (cp1251_) {
      hasher_.AddCp1251(piece);
    } else {
      hasher_.Add(piece);
    }
  }
  uint64_t Finish() {
    hasher_.AddNumber(hasher_.Length() - 1);
    return hasher_.Finish();
  }

 private:
  bool binary_;
  bool cp1251_;
  Hasher hasher_;
};

// A text (not a blob) of `column`.
uint64_t TextHash(const Column& column, std::string_view text, const std::string& charset) {
  if (column.kind == ColumnKind::kChar && !IsBinaryColumn(column)) {
    const size_t end = text.find_last_not_of(' ');
    text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
  }
  ContentHash content(column, charset);
  content.Add(text);
  return content.Finish();
}

uint64_t ValueHash(const Column& column, const Value& value, const std::string& charset) {
  Hasher hasher;
  switch (value.kind) {
    case Value::Kind::kNull:
      hasher.Add("N");
      break;
    case Value::Kind::kInteger: {
      std::string number;  // most numbers fit in the string itself
      hasher.Add("I");
      hasher.Add(ExactNumber(value.integer, value.scale, number));
      break;
    }
    case Value::Kind::kDouble: {
      uint64_t bits = 0;
      static_assert(sizeof bits == sizeof value.real);
      std::memcpy(&bits, &value.real, sizeof bits);
      hasher.Add("F");
      hasher.AddNumber(bits);
      break;
    }
    case Value::Kind::kDate:
      hasher.Add("D");
      hasher.AddNumber(static_cast<uint64_t>(static_cast<int64_t>(value.date)));
      break;
    case Value::Kind::kTime:
      hasher.Add("T");
      hasher.AddNumber(value.time);
      break;
    case Value::Kind::kTimestamp:
      hasher.Add("S");
      hasher.AddNumber(static_cast<uint64_t>(static_cast<int64_t>(value.date)));
      hasher.AddNumber(value.time);
      break;
    case Value::Kind::kBoolean:
      hasher.Add(value.boolean ? "B1" : "B0");
      break;
    case Value::Kind::kText:
      return TextHash(column, value.text, charset);
    case Value::Kind::kBlob:
    case Value::Kind::kBlobSlice:
      throw ScriptError("a blob value has no canonical form without its content");
  }
  return hasher.Finish();
}

class CountingCursorImpl final : public Cursor {
 public:
  CountingCursorImpl(std::unique_ptr<Cursor> inner, const Table& table, std::string charset,
                     TableFigures& figures)
      : inner_(std::move(inner)),
        columns_(table.columns),
        charset_(std::move(charset)),
        figures_(figures),
        hashes_(columns_.size()),
        unread_(columns_.size(), false) {
    figures_.name = CanonicalName(table.name, charset_);
    figures_.columns.clear();
    for (const Column& column : columns_) {
      figures_.columns.push_back(CanonicalName(column.name, charset_));
    }
    figures_.rows = 0;
    figures_.checksum = 0;
  }

  const std::vector<Column>& Columns() const override { return inner_->Columns(); }

  bool Next() override {
    if (in_row_) FinishRow();
    in_row_ = inner_->Next();
    if (in_row_) StartRow();
    return in_row_;
  }

  const Value& Get(size_t index) const override { return inner_->Get(index); }

  void ReadUnicode(size_t index, const std::function<void(std::string_view)>& sink) override {
    inner_->ReadUnicode(index, sink);
  }

  void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) override {
    if (index >= unread_.size() || !unread_[index]) {
      inner_->ReadBlob(index, sink);
      return;
    }
    ContentHash content(columns_[index], charset_);
    if (columns_[index].unicode_too) {
      // The bytes for the reader, the characters for the checksum.
      if (sink) inner_->ReadBlob(index, sink);
      inner_->ReadUnicode(index, [&](std::string_view piece) { content.Add(piece); });
    } else {
      inner_->ReadBlob(index, [&](std::string_view piece) {
        content.Add(piece);
        if (sink) sink(piece);
      });
    }
    hashes_[index] = content.Finish();
    unread_[index] = false;
  }

 private:
  void StartRow() {
    for (size_t i = 0; i < columns_.size(); ++i) {
      const Value& value = inner_->Get(i);
      unread_[i] = value.kind == Value::Kind::kBlob;
      if (unread_[i]) continue;
      if (value.kind == Value::Kind::kText && columns_[i].unicode_too) {
        unicode_.clear();
        inner_->ReadUnicode(i, [&](std::string_view piece) { unicode_.append(piece); });
        hashes_[i] = TextHash(columns_[i], unicode_, charset_);
      } else {
        hashes_[i] = ValueHash(columns_[i], value, charset_);
      }
    }
  }

  void FinishRow() {
    Hasher row;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (unread_[i]) ReadBlob(i, nullptr);
      row.AddNumber(hashes_[i]);
    }
    ++figures_.rows;
    figures_.checksum += row.Finish();
  }

  std::unique_ptr<Cursor> inner_;
  std::vector<Column> columns_;
  std::string charset_;
  TableFigures& figures_;
  std::vector<uint64_t> hashes_;
  std::vector<bool> unread_;
  std::string unicode_;  // a text's UTF-8, gathered
  bool in_row_ = false;
};

// Names and columns go into the manifest's lines as words: blanks, control
// characters, '%' and DEL as %XX.
std::string EscapeWord(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string word;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == '%' || u == 0x7f) {
      word += '%';
      word += kHex[u >> 4];
      word += kHex[u & 0xf];
    } else {
      word += c;
    }
  }
  return word;
}

bool UnescapeWord(std::string_view word, std::string& text) {
  text.clear();
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      text += word[i];
      continue;
    }
    if (i + 2 >= word.size()) return false;
    unsigned value = 0;
    for (size_t k = 1; k <= 2; ++k) {
      const char h = word[i + k];
      value <<= 4;
      if (h >= '0' && h <= '9') {
        value |= static_cast<unsigned>(h - '0');
      } else if (h >= 'A' && h <= 'F') {
        value |= static_cast<unsigned>(h - 'A' + 10);
      } else {
        return false;
      }
    }
    text += static_cast<char>(value);
    i += 2;
  }
  return true;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (start <= line.size()) {
    const size_t end = line.find(' ', start);
    const size_t stop = end == std::string_view::npos ? line.size() : end;
    words.push_back(line.substr(start, stop - start));
    start = stop + 1;
  }
  return words;
}

bool ParseCount(std::string_view word, int64_t& number) {
  if (word.empty() || word.size() > 18) return false;
  number = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return true;
}

bool ParseChecksum(std::string_view word, uint64_t& number) {
  if (word.size() != 16) return false;
  number = 0;
  for (char c : word) {
    number <<= 4;
    if (c >= '0' && c <= '9') {
      number |= static_cast<uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      number |= static_cast<uint64_t>(c - 'a' + 10);
    } else {
      return false;
    }
  }
  return true;
}

std::string ChecksumText(uint64_t number) {
  static const char kHex[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i) {
    text[static_cast<size_t>(i)] = kHex[number & 0xf];
    number >>= 4;
  }
  return text;
}

}  // namespace

std::string ManifestPathFor(const std::string& path) {
  const std::string name = platform::SplitPath(path, platform::Delimiters::kEither).name;
  const size_t dot = name.rfind('.');
  const std::string manifest = dot == std::string::npos
                                   ? path + ".manifest"
                                   : path.substr(0, path.size() - name.size() + dot) + ".manifest";
  // A script named like a manifest keeps its own name.
  return manifest == path ? path + ".manifest" : manifest;
}

std::string CanonicalName(std::string_view name, const std::string& charset) {
  return charset == "WIN1251" ? platform::Cp1251ToUtf8(name) : std::string(name);
}

Table AsExported(Table table, const std::string& charset) {
  for (Column& column : table.columns) {
    column.as_stored = IsTextColumn(column) && !column.array && charset != "NONE" &&
                       column.charset != kCharsetNone && column.charset != kCharsetOctets &&
                       !column.charset_name.empty() && column.charset_name != charset;
    column.unicode_too = column.as_stored && column.charset_name != "WIN1251" &&
                         column.charset_name != "UTF8" && column.charset_name != "UNICODE_FSS" &&
                         column.charset_name != "ASCII";
  }
  return table;
}

std::unique_ptr<Cursor> CountingCursor(std::unique_ptr<Cursor> cursor, const Table& table,
                                       const std::string& charset, TableFigures& figures) {
  return std::make_unique<CountingCursorImpl>(std::move(cursor), table, charset, figures);
}

void WriteManifest(platform::FileSystem& files, const std::string& path,
                   const std::vector<TableFigures>& tables) {
  std::string text = std::string(kFirstLine) + "\n";
  int64_t rows = 0;
  for (const TableFigures& table : tables) {
    text += std::to_string(table.rows) + " " + ChecksumText(table.checksum) + " " +
            EscapeWord(table.name);
    for (const std::string& column : table.columns) text += " " + EscapeWord(column);
    text += "\n";
    rows += table.rows;
  }
  text += std::string(kEndWord) + " " + std::to_string(tables.size()) + " " + std::to_string(rows) +
          "\n";
  if (platform::Status written = files.WriteFile(path, text); !written) {
    throw ScriptError("cannot write " + written.error().Describe());
  }
}

std::vector<TableFigures> ReadManifest(platform::FileSystem& files, const std::string& path) {
  platform::Result<std::string> bytes = files.ReadFile(path);
  if (!bytes.ok()) throw ScriptError("cannot read the manifest " + bytes.error().Describe());
  const std::string& text = bytes.value();
  auto broken = [&](const std::string& why) {
    return ScriptError("the manifest " + path + " is not whole: " + why);
  };
  std::vector<TableFigures> tables;
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) throw broken("its last line has no end");
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (first) {
      if (line != kFirstLine)
        throw broken("it does not begin with \"" + std::string(kFirstLine) + "\"");
      first = false;
      continue;
    }
    const std::vector<std::string_view> words = SplitWords(line);
    if (words[0] == kEndWord) {
      int64_t count = 0;
      int64_t rows = 0;
      int64_t sum = 0;
      for (const TableFigures& table : tables) sum += table.rows;
      if (words.size() != 3 || !ParseCount(words[1], count) || !ParseCount(words[2], rows) ||
          count != static_cast<int64_t>(tables.size()) || rows != sum || start != text.size()) {
        throw broken("its end line does not match its tables");
      }
      return tables;
    }
    TableFigures table;
    if (words.size() < 3 || !ParseCount(words[0], table.rows) ||
        !ParseChecksum(words[1], table.checksum) || !UnescapeWord(words[2], table.name)) {
      throw broken("line \"" + std::string(line) + "\" is not a table's figures");
    }
    for (size_t i = 3; i < words.size(); ++i) {
      std::string column;
      if (!UnescapeWord(words[i], column)) throw broken("a column name is malformed");
      table.columns.push_back(std::move(column));
    }
    tables.push_back(std::move(table));
  }
  throw broken(first ? "it is empty" : "it has no end line");
}

void ReadFigures(
    Database& database, const std::vector<TableFigures>& expected,
    const std::function<void(const TableFigures& expected, const TableFigures& found)>& done) {
  const std::string charset = database.Charset();
  std::map<std::string, Table> present;
  for (Table& table : database.UserTables()) {
    const std::string name = CanonicalName(table.name, charset);
    present.emplace(name, std::move(table));
  }
  for (const TableFigures& wanted : expected) {
    TableFigures found;
    found.name = wanted.name;
    found.rows = -1;
    const auto table = present.find(wanted.name);
    if (table == present.end()) {
      done(wanted, found);
      continue;
    }
    Table subset{table->second.name, {}};
    for (const std::string& name : wanted.columns) {
      for (const Column& column : table->second.columns) {
        if (CanonicalName(column.name, charset) == name) subset.columns.push_back(column);
      }
    }
    if (subset.columns.size() != wanted.columns.size() || subset.columns.empty()) {
      done(wanted, found);
      continue;
    }
    subset = AsExported(std::move(subset), charset);
    // Several rows per fetch: cheaper for both sides.
    std::unique_ptr<Cursor> cursor =
        CountingCursor(FetchAhead(database.ReadTable(subset, TableReading::kPacked), subset),
                       subset, charset, found);
    while (cursor->Next()) {
    }
    done(wanted, found);
  }
}

DataCheck CheckAgainstManifest(Database& database, platform::FileSystem& files,
                               const std::string& path) {
  const std::vector<TableFigures> expected = ReadManifest(files, path);
  DataCheck check;
  ReadFigures(database, expected, [&](const TableFigures& wanted, const TableFigures& found) {
    ++check.tables;
    check.rows += wanted.rows;
    if (found.rows == wanted.rows && found.checksum == wanted.checksum) return;
    check.differences.push_back(
        DataCheck::Difference{wanted.name, wanted.rows, found.rows,
                              found.rows == wanted.rows && found.checksum != wanted.checksum});
  });
  return check;
}

namespace {
constexpr char kCheckPrefix[] = "data check: ";
}  // namespace

std::string DifferenceLine(const DataCheck::Difference& difference) {
  std::string line = kCheckPrefix + QuoteName(difference.table) + ": " +
                     std::to_string(difference.exported_rows) + " rows exported, ";
  if (difference.found_rows < 0) return line + "not found";
  line += std::to_string(difference.found_rows) + " found";
  if (difference.checksum_differs) line += ", checksum differs";
  return line;
}

std::string AgreementLine(const DataCheck& check) {
  return kCheckPrefix + std::to_string(check.tables) + " tables, " + std::to_string(check.rows) +
         " rows as exported";
}

}  // namespace updater::scriptengine
