#include "scriptengine/script_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace updater::scriptengine {
namespace {

// Hands out its text a few bytes at a time, so that every look-ahead of the
// splitter meets the end of its buffer somewhere.
class TrickleSource final : public ByteSource {
 public:
  TrickleSource(std::string text, size_t step) : text_(std::move(text)), step_(step) {}
  size_t Read(char* buffer, size_t size) override {
    const size_t n = std::min({size, step_, text_.size() - at_});
    std::memcpy(buffer, text_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string text_;
  size_t step_;
  size_t at_ = 0;
};

struct Split {
  std::vector<std::string> texts;
  std::vector<std::string> errors;
  std::vector<size_t> lines;
};

// Splits `script`, applying SET TERM as the executor does.
Split SplitAll(const std::string& script, size_t step = 1 << 20, size_t buffer = 64 * 1024) {
  TrickleSource source(script, step);
  StatementSplitter splitter(source, buffer);
  Split split;
  while (auto statement = splitter.Next()) {
    split.texts.push_back(statement->text);
    split.errors.push_back(statement->error);
    split.lines.push_back(statement->line);
    if (statement->text.rfind("SET TERM ", 0) == 0)
      splitter.SetTerminator(statement->text.substr(9));
  }
  return split;
}

const char kTricky[] =
    "INSERT INTO T VALUES ('a;b', 'it''s; here');\n"
    "-- a comment; with a terminator\n"
    "SELECT \"odd;\"\"name\" FROM T /* ; */ WHERE X = ';';\r\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P AS BEGIN\n  INSERT INTO T VALUES (1);\nEND^\n"
    "SET TERM ; ^\n"
    ";;\n"
    "COMMIT;\n"
    "/* trailing comment only */\n";

TEST(StatementSplitter, SplitsAtTerminatorsOutsideLiteralsNamesAndComments) {
  for (size_t step : {size_t{1}, size_t{2}, size_t{3}, size_t{1} << 20}) {
    const Split split = SplitAll(kTricky, step, 16);
    const std::vector<std::string> expected = {
        "INSERT INTO T VALUES ('a;b', 'it''s; here')",
        "-- a comment; with a terminator\nSELECT \"odd;\"\"name\" FROM T /* ; */ WHERE X = ';'",
        "SET TERM ^",
        "CREATE PROCEDURE P AS BEGIN\n  INSERT INTO T VALUES (1);\nEND",
        "SET TERM ;",
        "COMMIT"};
    EXPECT_EQ(split.texts, expected) << "read " << step << " bytes at a time";
    EXPECT_EQ(split.lines, (std::vector<size_t>{1, 2, 4, 5, 8, 10}));
    for (const std::string& error : split.errors) EXPECT_EQ(error, "");
  }
}

TEST(StatementSplitter, LinesEndAtCrLfOrCrLfAndAlternativeLiteralsHoldAnything) {
  const struct {
    std::string script;
    std::vector<std::string> texts;
    std::vector<size_t> lines;
  } cases[] = {
      // A file with lone CR line ends: each comment ends at its line's end.
      {"-- one\rINSERT INTO T VALUES (1);\r-- two\rINSERT INTO T -- inline\rVALUES (2);\r-- last\r",
       {"-- one\rINSERT INTO T VALUES (1)", "-- two\rINSERT INTO T -- inline\rVALUES (2)"},
       {1, 3}},
      {"A;\r\nB;\rC;\nD;\r\r\n\nE", {"A", "B", "C", "D", "E"}, {1, 2, 3, 4, 7}},
      {"INSERT INTO T VALUES (q'{a;b'c}', Q'[it's; ok]', q'(x;)', q'<y;'>', q'!z;'!',\n"
       "q'xa;'x', q'{}}', q'#--#', q'#/*#', q'{:h00000000_00000001}');\nCOMMIT;",
       {"INSERT INTO T VALUES (q'{a;b'c}', Q'[it's; ok]', q'(x;)', q'<y;'>', q'!z;'!',\n"
        "q'xa;'x', q'{}}', q'#--#', q'#/*#', q'{:h00000000_00000001}')",
        "COMMIT"},
       {1, 3}},
      // A q that ends a word starts no literal.
      {"SELECT seq'x;' FROM T; B;", {"SELECT seq'x;' FROM T", "B"}, {1, 1}},
      // A byte-order mark counts only at the very start.
      {"\xEF\xBB\xBF-- c\nA;\n\xEF\xBB\xBF B;", {"-- c\nA", "\xEF\xBB\xBF B"}, {1, 3}},
  };
  for (const auto& c : cases) {
    for (size_t step : {size_t{1}, size_t{2}, size_t{5}, size_t{1} << 20}) {
      const Split split = SplitAll(c.script, step, 16);
      EXPECT_EQ(split.texts, c.texts) << c.script << " read " << step << " bytes at a time";
      EXPECT_EQ(split.lines, c.lines) << c.script;
      for (const std::string& error : split.errors) EXPECT_EQ(error, "") << c.script;
    }
  }
}

TEST(StatementSplitter, ABlockEndsAtTheEndOfItsFirstBeginWithoutATerminator) {
  const std::string script =
      "execute ibeblock(File_Name = 'C:\\x;y.sql')\n"
      "as\n"
      "begin\n"
      "  if (1 = 1) then begin x = 1; end\n"
      "  for select case when a = 1 then 'b' end from t into :v do v = 2;\n"
      "end;\n"
      "COMMIT;\n"
      "EXECUTE IBEBLOCK AS BEGIN END\n"
      "SELECT 1 FROM RDB$DATABASE;";
  const Split split = SplitAll(script, 3, 16);
  ASSERT_EQ(split.texts.size(), 4u);
  EXPECT_EQ(split.texts[0].substr(split.texts[0].size() - 4), "\nend");
  EXPECT_EQ(split.texts[1], "COMMIT");
  EXPECT_EQ(split.texts[2], "EXECUTE IBEBLOCK AS BEGIN END");
  EXPECT_EQ(split.texts[3], "SELECT 1 FROM RDB$DATABASE");
}

// A data script as the export writes it, with what may stop a statement
// early standing in its literals, names and comments: it splits alike
// wherever its reads and the splitter's buffer end.
TEST(StatementSplitter, ADataScriptSplitsAlikeWhereverItsPiecesEnd) {
  const std::string block =
      "EXECUTE BLOCK (B0 BLOB SUB_TYPE 1 = :h00000000_00000004)\r\n"
      "AS BEGIN\r\n"
      "INSERT INTO \"T\" (\"A\", \"Q\") VALUES (1, 'it''s ^ a -- b /* c */');\r\n"
      "INSERT INTO \"T\" (\"A\", \"Q\") VALUES (-2, :B0); -- done ^^ here\r\n"
      "INSERT INTO \"T\" (\"A\", \"Q\") VALUES (3, q'{^^}'); /* ^^\r\n*/\r\n"
      "INSERT INTO \"T\" (\"A\", \"x^^y\") VALUES (4, 'q''^^');\r\n"
      "INSERT INTO \"T\" (\"A\", \"x\"\"^^\") VALUES (6 / -2, 'a''''^^b''', eq'^^');\r\n"
      "END";
  const std::string lone_cr = "EXECUTE BLOCK AS BEGIN\rINSERT INTO T (A) VALUES (5 ^ 2);\rEND";
  const std::string script =
      "/* Table data */\r\nSET BLOBFILE 'Data.lob';\r\nSET DATA BEGIN;\r\n"
      "SET TERM ^^ ;\r\n" +
      block + "^^\r\n" + lone_cr + " ^^\nSET TERM ; ^^\nSET DATA END;";
  const std::vector<std::string> texts = {"/* Table data */\r\nSET BLOBFILE 'Data.lob'",
                                          "SET DATA BEGIN",
                                          "SET TERM ^^",
                                          block,
                                          lone_cr,
                                          "SET TERM ;",
                                          "SET DATA END"};
  for (size_t buffer : {size_t{16}, size_t{17}, size_t{31}, size_t{64} * 1024}) {
    for (size_t step : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{1} << 20}) {
      const Split split = SplitAll(script, step, buffer);
      EXPECT_EQ(split.texts, texts) << "buffer " << buffer << ", reads of " << step;
      EXPECT_EQ(split.lines, (std::vector<size_t>{1, 3, 4, 5, 14, 17, 18}));
      for (const std::string& error : split.errors) EXPECT_EQ(error, "");
    }
  }
}

TEST(StatementSplitter, WhatTheEndOfTheScriptCutsOffIsReported) {
  const struct {
    const char* script;
    const char* last_text;
    const char* error_start;
  } cases[] = {
      {"SELECT 1 FROM RDB$DATABASE", "SELECT 1 FROM RDB$DATABASE", ""},
      {"A;\nINSERT INTO T VALUES ('open", "INSERT INTO T VALUES ('open",
       "string literal not closed at the end of the script (it starts at line 2)"},
      {"A; SELECT \"open FROM T", "SELECT \"open FROM T", "quoted name not closed"},
      {"A; /* open comment", "/* open comment", "comment not closed"},
      {"A;\rB;\rSELECT q'{open}\r FROM T;", "SELECT q'{open}\r FROM T;",
       "string literal not closed at the end of the script (it starts at line 3)"},
      {"A; EXECUTE IBEBLOCK AS BEGIN x = 1;", "EXECUTE IBEBLOCK AS BEGIN x = 1;",
       "block not closed by END"},
      {"A;\nINSERT INTO T VALUES (1) /* open\n*", "INSERT INTO T VALUES (1) /* open\n*",
       "comment not closed at the end of the script (it starts at line 2)"},
      {"A; INSERT INTO T VALUES (1) -- c", "INSERT INTO T VALUES (1) -- c", ""},
  };
  for (const auto& c : cases) {
    const Split split = SplitAll(c.script, 2, 16);
    ASSERT_FALSE(split.texts.empty()) << c.script;
    EXPECT_EQ(split.texts.back(), c.last_text) << c.script;
    EXPECT_EQ(split.errors.back().rfind(c.error_start, 0), 0u)
        << c.script << " -> " << split.errors.back();
  }
  EXPECT_TRUE(SplitAll("").texts.empty());
  EXPECT_TRUE(SplitAll("  -- nothing\n /* at all */ ;; \n").texts.empty());
}

// A source that makes up a long script as it is read: `count` statements
// of about 100 bytes, none of it held anywhere.
class GeneratedScript final : public ByteSource {
 public:
  explicit GeneratedScript(size_t count) : left_(count) {}
  size_t Read(char* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      if (at_ == pending_.size()) {
        if (left_ == 0) break;
        --left_;
        pending_ = "INSERT INTO T (A, B) VALUES (" + std::to_string(left_) +
                   ", 'text with a ; inside and a quote '' too');\n";
        at_ = 0;
      }
      const size_t n = std::min(size - done, pending_.size() - at_);
      std::memcpy(buffer + done, pending_.data() + at_, n);
      at_ += n;
      done += n;
    }
    return done;
  }

 private:
  size_t left_;
  std::string pending_;
  size_t at_ = 0;
};

TEST(StatementSplitter, MemoryStaysFlatWhateverTheScriptsSize) {
  size_t peaks[2];
  const size_t sizes[2] = {1000, 200000};  // about 90 KB and 18 MB of script
  for (int i = 0; i < 2; ++i) {
    GeneratedScript source(sizes[i]);
    StatementSplitter splitter(source);
    size_t count = 0;
    while (splitter.Next()) ++count;
    EXPECT_EQ(count, sizes[i]);
    peaks[i] = splitter.PeakBufferBytes();
  }
  EXPECT_EQ(peaks[1], peaks[0]);
  EXPECT_LT(peaks[1], 256u * 1024);
}

TEST(StatementSplitter, AStatementOverTheLimitIsReportedNotKept) {
  std::string script = "SELECT '" + std::string(5000, 'x') + "' FROM T;\nCOMMIT;";
  TextSource source(script);
  StatementSplitter splitter(source, 1024, 2000);
  auto first = splitter.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->error, "statement longer than 2000 bytes (it starts at line 1)");
  EXPECT_LT(splitter.PeakBufferBytes(), 8000u);
  auto second = splitter.Next();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->text, "COMMIT");
}

}  // namespace
}  // namespace updater::scriptengine
