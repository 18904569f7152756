#include "scriptengine/fb_blr_store.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/strings.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/errors.h"
#include "scriptengine/fb_database.h"
#include "scriptengine/script_charset.h"

namespace updater::scriptengine {
namespace {

// isc_compile_request2 and isc_start_and_send take their lengths as shorts.
constexpr size_t kMaxBlr = 32767;
constexpr size_t kMaxMessage = 32767;
// A context is one byte and Firebird 2.0 takes 255 of them in a request.
constexpr size_t kMaxContexts = 255;
// A NULL flag: a blr_short of -1 for NULL, 0 otherwise.
constexpr size_t kFlagBytes = 2;

void Word(std::string& blr, size_t value) {
  blr += static_cast<char>(value & 0xff);
  blr += static_cast<char>((value >> 8) & 0xff);
}

void Name(std::string& blr, const std::string& name) {
  blr += static_cast<char>(name.size());
  blr += name;
}

// A name as the BLR carries it, from the name as it comes over the
// connection: the server reads the BLR's names in its metadata character
// set, UNICODE_FSS (UTF-8), whatever the connection's. ASCII goes as it is,
// a WIN1251 name converted to UTF-8, a UTF8 one as it is; nothing for a
// name in another set, one with control characters or one too long. (A
// server that stored names in the connection's bytes, as Firebird before
// 2.5 could, does not find such a name and refuses the request: the
// table's blocks then go as INSERTs.)
std::optional<std::string> BlrName(const std::string& name, const ConnectionCharset& charset) {
  if (name.empty() ||
      std::any_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; })) {
    return std::nullopt;
  }
  std::string carried;
  if (std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; })) {
    carried = name;
  } else if (charset.name == "WIN1251") {
    if (!AppendWin1251AsUtf8(name, carried)) return std::nullopt;
  } else if ((charset.name == "UTF8" || charset.name == "UNICODE_FSS") &&
             platform::IsValidUtf8(name)) {
    carried = name;
  } else {
    return std::nullopt;
  }
  if (carried.size() > 255) return std::nullopt;  // its length is one byte
  return carried;
}

// 10^digits, or 0 when it does not fit.
int64_t PowerOfTen(int digits) {
  int64_t power = 1;
  for (int i = 0; i < digits; ++i) {
    if (power > std::numeric_limits<int64_t>::max() / 10) return 0;
    power *= 10;
  }
  return power;
}

template <typename T>
void Put(std::string& message, size_t offset, const T& value) {
  std::memcpy(message.data() + offset, &value, sizeof value);
}

}  // namespace

bool ConvertsTextBlobToUtf8(const StoredColumn& column, const std::string& connection) {
  return connection == "WIN1251" && column.field_type == kBlob && column.sub_type == 1 &&
         column.charset_name == "UTF8";
}

size_t BucketLength(size_t longest, size_t most) {
  size_t bucket = 64;
  while (bucket < longest) bucket *= 4;
  return std::min(bucket, most);
}

std::optional<BlrStore> BlrStore::For(const std::string& table,
                                      const std::vector<StoredColumn>& columns,
                                      const ConnectionCharset& charset) {
  std::optional<std::string> table_name = BlrName(table, charset);
  if (!table_name || columns.empty()) return std::nullopt;
  BlrStore store;
  store.table_ = std::move(*table_name);
  for (const StoredColumn& column : columns) {
    std::optional<std::string> name = BlrName(column.name, charset);
    if (!name || column.array) return std::nullopt;
    Field field;
    field.name = std::move(*name);
    switch (column.field_type) {
      case kShort:
      case kLong:
      case kInt64:
        // All exact numbers go as BIGINT of the column's scale; the server
        // narrows them as it narrows the block's parameters.
        field.type = blr_int64;
        field.scale = static_cast<int8_t>(column.scale);
        break;
      case kFloat:
      case kDFloat:
      case kDouble:
        // As DOUBLE PRECISION, which the server rounds to FLOAT as it does
        // for the block's parameters.
        field.type = blr_double;
        break;
      case kDate:
        field.type = blr_sql_date;
        break;
      case kTime:
        field.type = blr_sql_time;
        break;
      case kTimestamp:
        field.type = blr_timestamp;
        break;
      case kBoolean:
        field.type = blr_bool;
        break;
      case kBlob:
        if (column.sub_type != 1) return std::nullopt;  // binary and other blobs
        // A text of the length ForBlock chooses, in the character set of
        // the VARCHAR columns below unless the store converts it.
        field.type = blr_varying2;
        field.blob_text = true;
        field.most = kMaxBlobText;
        field.to_utf8 = ConvertsTextBlobToUtf8(column, charset.name);
        if (field.to_utf8) {
          field.charset = kCharsetUtf8;
          field.bytes_per_char = 4;
        } else {
          const bool own = column.charset == kCharsetOctets || column.charset == kCharsetNone ||
                           charset.id == kCharsetNone;
          field.charset = static_cast<uint16_t>(own ? column.charset : charset.id);
          field.bytes_per_char = static_cast<uint8_t>(
              std::clamp(own ? column.bytes_per_char : charset.bytes_per_char, 1, 4));
        }
        break;
      case kText:
      case kVarying:
      case kCString: {
        // Binary and untyped columns take their own bytes; all others take
        // the connection's character set, in which the values come.
        const bool own = column.charset == kCharsetOctets || column.charset == kCharsetNone ||
                         charset.id == kCharsetNone;
        const size_t bytes =
            static_cast<size_t>(std::max(column.char_length, 1)) *
            static_cast<size_t>(std::max(own ? column.bytes_per_char : charset.bytes_per_char, 1));
        if (bytes > kMaxMessage - kFlagBytes - 2) return std::nullopt;
        field.type = blr_varying2;
        field.charset = static_cast<uint16_t>(own ? column.charset : charset.id);
        field.length = static_cast<uint16_t>(bytes);
        field.most = field.length;
        field.bytes_per_char = static_cast<uint8_t>(
            std::clamp(own ? column.bytes_per_char : charset.bytes_per_char, 1, 4));
        break;
      }
      default:
        return std::nullopt;  // arrays and the like
    }
    store.fields_.push_back(std::move(field));
  }
  // The BLR grows by the same bytes for each row, whatever the lengths of
  // the texts' fields.
  const size_t blr1 = store.Request(1).size(), blr2 = store.Request(2).size();
  if (blr1 > kMaxBlr) return std::nullopt;
  store.most_rows_ = std::min({kMaxContexts, 1 + (kMaxBlr - blr1) / (blr2 - blr1),
                               // the message's fields are counted in a word
                               size_t{0xffff} / (2 * store.fields_.size())});
  if (!store.Limit()) return std::nullopt;
  return store;
}

std::optional<BlrStore> BlrStore::ForBlock(const std::vector<std::vector<Value>>& rows) const {
  if (std::none_of(fields_.begin(), fields_.end(),
                   [](const Field& f) { return f.type == blr_varying2; })) {
    return *this;
  }
  BlrStore store = *this;
  for (size_t c = 0; c < store.fields_.size(); ++c) {
    Field& field = store.fields_[c];
    if (field.type != blr_varying2) continue;
    // The server takes from a field of a multi-byte character set no more
    // characters than its bytes hold at the most bytes a character takes:
    // the field is sized by characters. A text has no more characters than
    // bytes as it comes (WIN1251's exactly as many), and as UTF-8 it has no
    // more than 4 bytes a character.
    // At most the characters of a CHAR's or VARCHAR's column, or of
    // kMaxBlobText bytes for a text blob.
    const size_t most = field.most / field.bytes_per_char;
    size_t longest = 0;
    for (const std::vector<Value>& row : rows) {
      if (row.size() != fields_.size()) return std::nullopt;
      const Value& value = row[c];
      if (value.IsNull()) continue;
      if (!field.blob_text) {
        // A text, or one kept in the blob file; what does not fit or is no
        // text, Fill leaves to the block's INSERTs.
        if (value.kind == Value::Kind::kText) longest = std::max(longest, value.text.size());
        if (value.kind == Value::Kind::kBlobSlice) {
          // Beyond the column's width, any length sizes the field alike.
          longest = std::max(longest, static_cast<size_t>(std::min<uint64_t>(value.length, most)));
        }
        continue;
      }
      // Values from the blob file and values of other kinds go as the
      // block's INSERTs, which bind them as blobs or have the server
      // convert them.
      if (value.kind != Value::Kind::kText || value.text.size() > most) return std::nullopt;
      if (field.to_utf8 && value.text.find('\x98') != std::string::npos) return std::nullopt;
      longest = std::max(longest, value.text.size());
    }
    field.length = static_cast<uint16_t>(BucketLength(longest, most) * field.bytes_per_char);
  }
  if (!store.Limit()) return std::nullopt;
  return store;
}

std::string BlrStore::Lengths() const {
  std::string lengths;
  for (const Field& field : fields_) {
    if (field.type == blr_varying2) lengths += std::to_string(field.length) + ' ';
  }
  return lengths;
}

bool BlrStore::Limit() {
  // Each row takes nearly the same bytes (its alignment gaps depend on where
  // it starts): rows are laid out until the next one would not fit.
  size_t at = 0;
  size_t fits = 0;
  while (fits < most_rows_) {
    const size_t end = LayOutRow(at, nullptr);
    if (end > kMaxMessage) break;
    at = end;
    ++fits;
  }
  if (fits == 0) return false;
  max_rows_ = fits;
  return true;
}

size_t BlrStore::Size(const Field& field) {
  switch (field.type) {
    case blr_int64:
    case blr_double:
    case blr_timestamp:
      return 8;
    case blr_sql_date:
    case blr_sql_time:
      return 4;
    case blr_bool:
      return 1;
    default:
      return 2 + field.length;  // blr_varying2: the length, then the bytes
  }
}

size_t BlrStore::Alignment(const Field& field) {
  switch (field.type) {
    case blr_int64:
    case blr_double:
      return 8;
    case blr_timestamp:  // two longs
    case blr_sql_date:
    case blr_sql_time:
      return 4;
    case blr_bool:
      return 1;
    default:
      return 2;  // blr_varying2: a short and bytes
  }
}

size_t BlrStore::LayOutRow(size_t at, std::vector<size_t>* offsets) const {
  for (const Field& field : fields_) {
    const size_t alignment = Alignment(field);
    at = (at + alignment - 1) / alignment * alignment;
    if (offsets) offsets->push_back(at);
    at += Size(field);
    at = (at + 1) / 2 * 2;
    if (offsets) offsets->push_back(at);
    at += kFlagBytes;
  }
  return at;
}

size_t BlrStore::Offsets(size_t rows, std::vector<size_t>* offsets) const {
  if (offsets) offsets->clear();
  size_t at = 0;
  for (size_t r = 0; r < rows; ++r) at = LayOutRow(at, offsets);
  return at;
}

std::string BlrStore::Request(size_t rows) const {
  std::string blr;
  blr += static_cast<char>(blr_version5);
  blr += static_cast<char>(blr_begin);
  blr += static_cast<char>(blr_message);
  blr += '\0';
  Word(blr, 2 * fields_.size() * rows);
  for (size_t r = 0; r < rows; ++r) {
    for (const Field& field : fields_) {
      blr += static_cast<char>(field.type);
      if (field.type == blr_int64) blr += static_cast<char>(field.scale);
      if (field.type == blr_varying2) {
        Word(blr, field.charset);
        Word(blr, field.length);
      }
      blr += static_cast<char>(blr_short);
      blr += '\0';
    }
  }
  blr += static_cast<char>(blr_receive);
  blr += '\0';
  blr += static_cast<char>(blr_begin);
  size_t parameter = 0;
  for (size_t r = 0; r < rows; ++r) {
    blr += static_cast<char>(blr_store);
    blr += static_cast<char>(blr_relation);
    Name(blr, table_);
    blr += static_cast<char>(r);  // the row's context
    blr += static_cast<char>(blr_begin);
    for (const Field& field : fields_) {
      blr += static_cast<char>(blr_assignment);
      blr += static_cast<char>(blr_parameter2);
      blr += '\0';
      Word(blr, parameter++);
      Word(blr, parameter++);
      blr += static_cast<char>(blr_field);
      blr += static_cast<char>(r);
      Name(blr, field.name);
    }
    blr += static_cast<char>(blr_end);
  }
  blr += static_cast<char>(blr_end);
  blr += static_cast<char>(blr_end);
  blr += static_cast<char>(blr_eoc);
  return blr;
}

bool BlrStore::Fill(const std::vector<std::vector<Value>>& rows, size_t first, size_t count,
                    std::string& message) const {
  std::vector<size_t> offsets;
  message.assign(Offsets(count, &offsets), '\0');
  std::string utf8;  // a text converted for a text blob
  size_t slot = 0;
  for (size_t r = first; r < first + count; ++r) {
    const std::vector<Value>& row = rows[r];
    if (row.size() != fields_.size()) return false;
    for (size_t c = 0; c < fields_.size(); ++c, slot += 2) {
      const Field& field = fields_[c];
      const Value& value = row[c];
      const size_t at = offsets[slot];
      if (value.IsNull()) {
        Put(message, offsets[slot + 1], int16_t{-1});
        continue;
      }
      switch (field.type) {
        case blr_int64: {
          const int digits = -field.scale - value.scale;
          if (value.kind != Value::Kind::kInteger || digits < 0) return false;
          const int64_t factor = PowerOfTen(digits);
          if (factor == 0 || value.integer > std::numeric_limits<int64_t>::max() / factor ||
              value.integer < std::numeric_limits<int64_t>::min() / factor) {
            return false;
          }
          Put(message, at, static_cast<int64_t>(value.integer * factor));
          break;
        }
        case blr_double:
          if (value.kind != Value::Kind::kDouble) return false;
          Put(message, at, value.real);
          break;
        case blr_sql_date:
          if (value.kind != Value::Kind::kDate) return false;
          Put(message, at, value.date);
          break;
        case blr_sql_time:
          if (value.kind != Value::Kind::kTime) return false;
          Put(message, at, value.time);
          break;
        case blr_timestamp:
          if (value.kind != Value::Kind::kTimestamp) return false;
          Put(message, at, value.date);
          Put(message, at + 4, value.time);
          break;
        case blr_bool:
          if (value.kind != Value::Kind::kBoolean) return false;
          message[at] = value.boolean ? 1 : 0;
          break;
        default: {  // blr_varying2
          if (field.blob_text) {
            if (value.kind != Value::Kind::kText) return false;
            const std::string* text = &value.text;
            if (field.to_utf8) {
              utf8.clear();
              if (!AppendWin1251AsUtf8(value.text, utf8)) return false;
              text = &utf8;
            }
            if (text->size() > field.length) return false;
            Put(message, at, static_cast<uint16_t>(text->size()));
            std::memcpy(message.data() + at + 2, text->data(), text->size());
            break;
          }
          // Texts kept in the blob file (binary ones, long ones) are read
          // from it.
          std::string read;
          if (value.kind == Value::Kind::kBlobSlice && value.length <= field.length) {
            read = value.blob_file->ReadAll(value.offset, value.length);
          } else if (value.kind != Value::Kind::kText) {
            return false;
          }
          const std::string& text = value.kind == Value::Kind::kText ? value.text : read;
          if (text.size() > field.length) return false;
          Put(message, at, static_cast<uint16_t>(text.size()));
          std::memcpy(message.data() + at + 2, text.data(), text.size());
          break;
        }
      }
    }
  }
  return true;
}

BlrRequest::BlrRequest(FbDatabase& database, const std::string& blr) : database_(database) {
  ISC_STATUS_ARRAY status;
  if (database_.Client().isc_compile_request2(status, database_.Handle(), &handle_,
                                              static_cast<short>(blr.size()), blr.data()) != 0) {
    handle_ = 0;
    database_.Fail(status);
  }
}

BlrRequest::~BlrRequest() {
  if (handle_ == 0) return;
  // A request that cannot be released (the connection is gone) leaves
  // nothing to clean up on this side; its failure is not worth reporting.
  ISC_STATUS_ARRAY status;
  database_.Client().isc_release_request(status, &handle_);
}

void BlrRequest::Send(const std::string& message) {
  ISC_STATUS_ARRAY status;
  if (database_.Client().isc_start_and_send(status, &handle_, database_.Transaction(), 0,
                                            static_cast<short>(message.size()), message.data(),
                                            0) != 0) {
    database_.Fail(status);
  }
}

}  // namespace updater::scriptengine
