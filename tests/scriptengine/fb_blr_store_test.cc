// The stored-row request's BLR and message: the message laid out as the
// server lays it out (each field aligned to its type, a NULL flag after
// each value), exact scaled integers, and the columns and values it leaves
// to the block of INSERTs.
#include "scriptengine/fb_blr_store.h"

#include <gtest/gtest.h>

#include <cstring>

namespace updater::scriptengine {
namespace {

const ConnectionCharset kWin1251{52, 1, "WIN1251"};
const ConnectionCharset kUtf8{4, 4, "UTF8"};

StoredColumn Col(const std::string& name, int type, int scale = 0, int chars = 0,
                 int charset = 52) {
  StoredColumn column;
  column.name = name;
  column.field_type = type;
  column.scale = scale;
  column.char_length = chars;
  column.charset = charset;
  return column;
}

StoredColumn TextBlob(const std::string& name, int charset, const std::string& charset_name) {
  StoredColumn column = Col(name, kBlob, 0, 0, charset);
  column.sub_type = 1;
  column.charset_name = charset_name;
  return column;
}

// BLR from bytes written as numbers.
std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int byte : bytes) text += static_cast<char>(byte);
  return text;
}

template <typename T>
T At(const std::string& message, size_t offset) {
  T value;
  std::memcpy(&value, message.data() + offset, sizeof value);
  return value;
}

TEST(BlrStore, OneRowsRequestStoresEachColumnFromItsValueAndFlag) {
  const auto store = BlrStore::For("T", {Col("A", kLong, -2), Col("B", kVarying, 0, 3)}, kUtf8);
  ASSERT_TRUE(store);
  const std::string expected = Bytes({blr_version5,
                                      blr_begin,
                                      blr_message,
                                      0,
                                      4,
                                      0,  // 4 fields
                                      blr_int64,
                                      -2,
                                      blr_short,
                                      0,  // A and its flag
                                      blr_varying2,
                                      4,
                                      0,
                                      12,
                                      0,
                                      blr_short,
                                      0,  // B: UTF8, 3 x 4 bytes
                                      blr_receive,
                                      0,
                                      blr_begin,  //
                                      blr_store,
                                      blr_relation,
                                      1,
                                      'T',
                                      0,
                                      blr_begin,  // context 0
                                      blr_assignment,
                                      blr_parameter2,
                                      0,
                                      0,
                                      0,
                                      1,
                                      0,
                                      blr_field,
                                      0,
                                      1,
                                      'A',
                                      blr_assignment,
                                      blr_parameter2,
                                      0,
                                      2,
                                      0,
                                      3,
                                      0,
                                      blr_field,
                                      0,
                                      1,
                                      'B',
                                      blr_end,
                                      blr_end,
                                      blr_end,
                                      blr_eoc});
  EXPECT_EQ(store->Request(1), expected);
  // A second row takes context 1 and parameters 4 to 7.
  const std::string two = store->Request(2);
  EXPECT_NE(two.find(Bytes({blr_relation, 1, 'T', 1})), std::string::npos);
  EXPECT_NE(two.find(Bytes({blr_parameter2, 0, 6, 0, 7, 0, blr_field, 1})), std::string::npos);
}

TEST(BlrStore, MessageAlignsEachFieldToItsTypeAndFlagsNulls) {
  const auto store =
      BlrStore::For("T",
                    {Col("B", kBoolean), Col("N", kInt64, -3), Col("S", kText, 0, 2),
                     Col("D", kDate), Col("F", kDouble), Col("TS", kTimestamp), Col("TM", kTime)},
                    kWin1251);
  ASSERT_TRUE(store);
  const std::vector<std::vector<Value>> rows = {
      {Value::Boolean(true), Value::Integer(-15, 1), Value::Text("\xC0"), Value::Date(59000),
       Value::Double(0.5), Value::Timestamp(59001, 7), Value::Time(123)},
      {Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       Value::Null()}};
  std::string message;
  ASSERT_TRUE(store->Fill(rows, 0, 2, message));
  // Row 0: B@0 flag@2, N@8 flag@16, S@18 (2+2 bytes) flag@22, D@24 flag@28,
  // F@32 flag@40, TS@44 flag@52, TM@56 flag@60; row 1 from 62: B@62 flag@64,
  // N@72, ... TM@120 flag@124.
  EXPECT_EQ(message.size(), 126u);
  EXPECT_EQ(message[0], 1);
  EXPECT_EQ(At<int64_t>(message, 8), -1500);  // -1.5 at scale 3
  EXPECT_EQ(At<uint16_t>(message, 18), 1);
  EXPECT_EQ(message[20], '\xC0');
  EXPECT_EQ(At<int32_t>(message, 24), 59000);
  EXPECT_EQ(At<double>(message, 32), 0.5);
  EXPECT_EQ(At<int32_t>(message, 44), 59001);
  EXPECT_EQ(At<uint32_t>(message, 48), 7u);
  EXPECT_EQ(At<uint32_t>(message, 56), 123u);
  for (size_t flag : {2, 16, 22, 28, 40, 52, 60}) EXPECT_EQ(At<int16_t>(message, flag), 0) << flag;
  for (size_t flag : {64, 80, 86, 92, 104, 116, 124}) {
    EXPECT_EQ(At<int16_t>(message, flag), -1) << flag;
  }
  EXPECT_EQ(At<int64_t>(message, 72), 0);  // a NULL's value is zero
}

TEST(BlrStore, ColumnsThatDoNotGoThisWayDecline) {
  StoredColumn array = Col("A", kLong);
  array.array = true;
  const std::vector<std::pair<const char*, std::vector<StoredColumn>>> cases = {
      {"binary blob", {Col("A", kBlob)}},
      {"blob of another sub-type", {[] {
         StoredColumn column = TextBlob("A", 4, "UTF8");
         column.sub_type = 2;
         return column;
       }()}},
      {"array", {array}},
      {"unknown type", {Col("A", kQuad)}},
      {"name not UTF-8", {Col("\xC8\xCC\xDF", kLong)}},
      {"name with a control character", {Col("A\tB", kLong)}},
      {"a text too long for a message", {Col("A", kVarying, 0, 8191)}},
      {"a row too large for a message", {Col("A", kVarying, 0, 5000), Col("B", kVarying, 0, 5000)}},
      {"no columns", {}},
  };
  for (const auto& [name, columns] : cases) {
    EXPECT_FALSE(BlrStore::For("T", columns, kUtf8)) << name;
  }
  EXPECT_FALSE(BlrStore::For("\xD2", {Col("A", kLong)}, kUtf8)) << "table not UTF-8";
  const ConnectionCharset win1252{53, 1, "WIN1252"};
  EXPECT_FALSE(BlrStore::For("\xC0", {Col("A", kLong)}, win1252)) << "another set";
  EXPECT_TRUE(BlrStore::For("T", {Col("A", kLong)}, win1252)) << "ASCII in another set";
}

// The BLR carries names in UTF-8, the server's metadata set: a WIN1251
// connection's names converted, a UTF8 one's as they are.
TEST(BlrStore, NamesGoInUtf8WhateverTheConnectionsSet) {
  const std::string utf8 = "\xD0\xA2\xD0\x98\xD0\x9C\xD0\xAF";  // ТИМЯ
  for (const auto& [charset, name] :
       {std::pair{kWin1251, std::string("\xD2\xC8\xCC\xDF")}, std::pair{kUtf8, utf8}}) {
    SCOPED_TRACE(charset.name);
    const auto store = BlrStore::For(name, {Col(name, kLong)}, charset);
    ASSERT_TRUE(store);
    const std::string blr = store->Request(1);
    EXPECT_NE(blr.find(static_cast<char>(utf8.size()) + utf8 + '\0'), std::string::npos);
    EXPECT_NE(blr.find(Bytes({blr_field, 0}) + static_cast<char>(utf8.size()) + utf8),
              std::string::npos);
  }
  EXPECT_FALSE(BlrStore::For("\x98", {Col("A", kLong)}, kWin1251)) << "0x98 is no character";
}

TEST(BlrStore, ValuesThatDoNotFitTheirFieldDecline) {
  const auto store = BlrStore::For(
      "T", {Col("N", kLong, -2), Col("S", kVarying, 0, 2), Col("D", kDate), Col("F", kFloat)},
      kWin1251);
  ASSERT_TRUE(store);
  Value blob;
  blob.kind = Value::Kind::kBlob;
  const Value ok[] = {Value::Integer(1, 2), Value::Text("ab"), Value::Date(1), Value::Double(1)};
  const std::vector<std::pair<const char*, std::pair<size_t, Value>>> cases = {
      {"finer scale than the column's", {0, Value::Integer(1, 3)}},
      {"overflows when scaled", {0, Value::Integer(INT64_MAX / 10, 0)}},
      {"text for a number", {0, Value::Text("1")}},
      {"text longer than the field", {1, Value::Text("abc")}},
      {"timestamp for a date", {2, Value::Timestamp(1, 0)}},
      {"integer for a float", {3, Value::Integer(1)}},
      {"blob for a text", {1, blob}},
  };
  std::string message;
  ASSERT_TRUE(store->Fill({{ok[0], ok[1], ok[2], ok[3]}}, 0, 1, message));
  for (const auto& [name, change] : cases) {
    std::vector<Value> row(std::begin(ok), std::end(ok));
    row[change.first] = change.second;
    EXPECT_FALSE(store->Fill({row}, 0, 1, message)) << name;
  }
}

TEST(BlrStore, RequestsStayWithinContextsAndTheShortLengths) {
  const std::string long_name(31, 'X');
  const std::vector<std::pair<const char*, std::vector<StoredColumn>>> cases = {
      {"narrow rows: the contexts", {Col("A", kLong)}},
      {"long names: the BLR",
       {Col(long_name + "1", kLong), Col(long_name + "2", kLong), Col(long_name + "3", kDate)}},
      {"wide rows: the message", {Col("A", kVarying, 0, 100), Col("B", kVarying, 0, 40)}},
  };
  for (const auto& [name, columns] : cases) {
    const auto store = BlrStore::For(long_name, columns, kUtf8);
    ASSERT_TRUE(store) << name;
    const size_t most = store->MaxRows();
    std::vector<std::vector<Value>> rows(most + 1, std::vector<Value>(columns.size()));
    std::string message;
    ASSERT_TRUE(store->Fill(rows, 0, most, message));
    EXPECT_LE(store->Request(most).size(), 32767u) << name;
    EXPECT_LE(message.size(), 32767u) << name;
    EXPECT_LE(most, 255u) << name;
    // One row more would break one of the limits.
    ASSERT_TRUE(store->Fill(rows, 0, most + 1, message));
    EXPECT_TRUE(most == 255 || store->Request(most + 1).size() > 32767 || message.size() > 32767)
        << name;
  }
}

// A text blob's field is sized for each block: the bucket of its longest
// text's characters, in the bytes they take as sent (WIN1251 converted to
// UTF-8 for a UTF8 blob, the connection's bytes otherwise); the request
// then holds as many rows as the limits allow. Values that are no plain
// texts, or too long, decline.
TEST(BlrStore, TextBlobFieldsHoldTheBucketOfTheBlocksLongestText) {
  const auto store = BlrStore::For(
      "T", {Col("ID", kLong), TextBlob("U", 4, "UTF8"), TextBlob("W", 52, "WIN1251")}, kWin1251);
  ASSERT_TRUE(store);
  const std::string letters(40, '\xC6');  // 40 letters, 80 bytes as UTF-8
  const std::vector<std::vector<Value>> rows = {
      {Value::Integer(1), Value::Text(letters), Value::Text(letters)},
      {Value::Integer(2), Value::Null(), Value::Text("")}};
  const auto sized = store->ForBlock(rows);
  ASSERT_TRUE(sized);
  EXPECT_EQ(sized->Lengths(), "256 64 ");
  EXPECT_NE(sized->Request(1).find(Bytes({blr_varying2, 4, 0, 0, 1, blr_short, 0, blr_varying2, 52,
                                          0, 64, 0, blr_short, 0})),
            std::string::npos);
  std::string message;
  ASSERT_TRUE(sized->Fill(rows, 0, 2, message));
  // Row 0: ID@0 flag@8, U@10 (2+256) flag@268, W@270 (2+64) flag@336;
  // row 1 from 344 (aligned for its BIGINT): U@354 flag@612, W@614.
  EXPECT_EQ(At<uint16_t>(message, 10), 80);
  std::string utf8;
  for (int i = 0; i < 40; ++i) utf8 += "\xD0\x96";
  EXPECT_EQ(message.substr(12, 80), utf8);
  EXPECT_EQ(At<uint16_t>(message, 270), 40);
  EXPECT_EQ(message.substr(272, 40), letters);
  EXPECT_EQ(At<int16_t>(message, 612), -1);
  EXPECT_EQ(At<int16_t>(message, 680), 0);  // W's flag: empty is no NULL
  EXPECT_EQ(At<uint16_t>(message, 614), 0);

  // The longest texts that go: 4,096 bytes of field, which leaves a
  // message room for several rows.
  const auto widest = store->ForBlock({{Value::Integer(1), Value::Text(std::string(1024, '\xC6')),
                                        Value::Text(std::string(4096, 'x'))}});
  ASSERT_TRUE(widest);
  EXPECT_EQ(widest->Lengths(), "4096 4096 ");
  EXPECT_GE(widest->MaxRows(), 3u);
  std::vector<std::vector<Value>> full(widest->MaxRows() + 1,
                                       {Value::Integer(1), Value::Null(), Value::Null()});
  ASSERT_TRUE(widest->Fill(full, 0, widest->MaxRows(), message));
  EXPECT_LE(message.size(), 32767u);
  ASSERT_TRUE(widest->Fill(full, 0, widest->MaxRows() + 1, message));
  EXPECT_GT(message.size(), 32767u);

  Value slice;
  slice.kind = Value::Kind::kBlobSlice;
  const std::vector<std::pair<const char*, std::pair<size_t, Value>>> declined = {
      {"a text from the blob file", {1, slice}},
      {"an integer", {2, Value::Integer(5)}},
      {"0x98, which has no UTF-8", {1, Value::Text("a\x98")}},
      {"more than 1,024 letters as UTF-8", {1, Value::Text(std::string(1025, 'x'))}},
      {"longer than 4,096 bytes", {2, Value::Text(std::string(4097, 'x'))}},
  };
  for (const auto& [name, change] : declined) {
    std::vector<std::vector<Value>> block = rows;
    block[1][change.first] = change.second;
    EXPECT_FALSE(store->ForBlock(block)) << name;
  }
}

// A CHAR's or VARCHAR's field holds the bucket of the block's longest text
// too, but never more than its column: short texts in a wide column leave
// room for more rows a message, and a text too long for its column still
// leaves the block to its INSERTs.
TEST(BlrStore, TextFieldsHoldTheBucketOfTheBlocksLongestTextUpToTheirColumn) {
  const auto store =
      BlrStore::For("T", {Col("V", kVarying, 0, 8000), Col("C", kText, 0, 10)}, kWin1251);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Lengths(), "8000 10 ");
  EXPECT_EQ(store->MaxRows(), 4u);
  const struct {
    std::string longest;
    const char* lengths;
  } cases[] = {
      {"", "64 10 "},
      {std::string(64, 'x'), "64 10 "},
      {std::string(65, 'x'), "256 10 "},
      {std::string(4097, 'x'), "8000 10 "},
      {std::string(8001, 'x'), "8000 10 "},  // too long: the INSERTs report it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.longest.size());
    const std::vector<std::vector<Value>> rows = {{Value::Text(c.longest), Value::Text("abc")},
                                                  {Value::Null(), Value::Null()}};
    const auto sized = store->ForBlock(rows);
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->Lengths(), c.lengths);
    std::string message;
    EXPECT_EQ(sized->Fill(rows, 0, 2, message), c.longest.size() <= 8000);
  }
  const auto narrow = store->ForBlock({{Value::Text("short"), Value::Text("abc")}});
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->MaxRows(), 255u);

  // Over UTF8 the field holds the bucket's characters at 4 bytes each, up
  // to the column's bytes.
  const auto utf8 =
      BlrStore::For("T", {Col("V", kVarying, 0, 100, 4), Col("W", kVarying, 0, 10, 4)}, kUtf8);
  ASSERT_TRUE(utf8);
  const auto sized = utf8->ForBlock({{Value::Text("\xD0\x96"), Value::Text("ab")}});
  ASSERT_TRUE(sized);
  EXPECT_EQ(sized->Lengths(), "256 40 ");
}

}  // namespace
}  // namespace updater::scriptengine
