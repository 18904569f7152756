#include "fbclient/status.h"

#include <gtest/gtest.h>

namespace updater::fbclient {
namespace {

ISC_STATUS Text(const char* text) { return reinterpret_cast<ISC_STATUS>(text); }

TEST(StatusErrors, KeepsEveryErrorWithItsTextArguments) {
  const char* path = "/data/base.fdb";
  const char* counted = "counted text and more";
  const struct {
    const char* what;
    std::vector<ISC_STATUS> vector;
    std::vector<FbError> errors;
  } cases[] = {
      {"success", {isc_arg_gds, 0, isc_arg_end}, {}},
      {"the database is already in that mode",
       {isc_arg_gds, isc_bad_shutdown_mode, isc_arg_string, Text(path), isc_arg_end},
       {{isc_bad_shutdown_mode, {path}}}},
      {"a main error explained by others, with a number, a counted text and a SQL state",
       {isc_arg_gds,
        isc_io_error,
        isc_arg_string,
        Text("open"),
        isc_arg_string,
        Text(path),
        isc_arg_gds,
        isc_io_open_err,
        isc_arg_unix,
        2,
        isc_arg_gds,
        isc_random,
        isc_arg_cstring,
        12,
        Text(counted),
        isc_arg_number,
        7,
        isc_arg_sql_state,
        Text("08001"),
        isc_arg_end},
       {{isc_io_error, {"open", path}}, {isc_io_open_err, {}}, {isc_random, {"counted text"}}}},
      {"a warning and its argument belong to no error",
       {isc_arg_gds, isc_random, isc_arg_string, Text("main"), isc_arg_warning, isc_dsql_error,
        isc_arg_string, Text("warned"), isc_arg_end},
       {{isc_random, {"main"}}}},
  };
  for (const auto& c : cases) {
    std::vector<ISC_STATUS> vector = c.vector;
    vector.resize(ISC_STATUS_LENGTH, isc_arg_end);
    EXPECT_EQ(StatusErrors(vector.data()), c.errors) << c.what;
  }
}

TEST(StatusErrors, NeverReadsPastTheVectorTheClientWrites) {
  // A vector filled to its last entry without an end marker: the walk stops
  // at the end of the array, also in the middle of a counted text.
  ISC_STATUS_ARRAY vector;
  for (size_t i = 0; i + 1 < ISC_STATUS_LENGTH; i += 2) {
    vector[i] = isc_arg_gds;
    vector[i + 1] = isc_random;
  }
  EXPECT_EQ(StatusErrors(vector).size(), ISC_STATUS_LENGTH / 2);
  vector[ISC_STATUS_LENGTH - 2] = isc_arg_cstring;
  EXPECT_EQ(StatusErrors(vector).size(), ISC_STATUS_LENGTH / 2 - 1);
}

TEST(FbStatus, FindsErrorsByCodeAndJoinsItsTexts) {
  const FbStatus status{{{isc_io_error, {"open"}}, {isc_io_open_err, {}}},
                        {"I/O error during \"open\" operation", "Error while trying to open file"}};
  EXPECT_TRUE(status.Has(isc_io_open_err));
  EXPECT_FALSE(status.Has(isc_bad_shutdown_mode));
  ASSERT_NE(status.Find(isc_io_error), nullptr);
  EXPECT_EQ(status.Find(isc_io_error)->arguments, std::vector<std::string>{"open"});
  EXPECT_EQ(status.Text(),
            "I/O error during \"open\" operation\r\nError while trying to open file");
  EXPECT_EQ(FbStatus{}.Text(), "");
}

// A UTF-8 text cut inside a character, by the server or by the client
// ("..."), loses that character's first bytes and stays UTF-8; other texts
// stay as they are.
TEST(InterpretedText, DropsACharacterCutShortAndNothingElse) {
  const struct {
    std::string buffer;  // what fb_interpret wrote, NUL included
    size_t capacity;
    std::string text;
  } cases[] = {
      {"3\xD1\x8F\xD1...", 64, "3\xD1\x8F..."},      // the client's cut
      {"3\xD1\x8F\xD1", 5, "3\xD1\x8F"},             // the server's
      {"\xE2\x82\xAC\xE2\x82", 64, "\xE2\x82\xAC"},  // two of three bytes
      {"\xD1\x8F\xF0\x9F\x98...", 64, "\xD1\x8F..."},
      {"\xD1\xCF\xC8\xD1...", 64, "\xD1\xCF\xC8\xD1..."},  // Windows-1251 texts
      {"value \xDF", 64, "value \xDF"},
      {"plain", 6, "plain"},
  };
  for (const auto& c : cases) {
    std::string buffer = c.buffer;
    buffer.resize(c.capacity, '\0');
    EXPECT_EQ(InterpretedText(buffer.data(), c.capacity), c.text) << c.buffer;
  }
}

}  // namespace
}  // namespace updater::fbclient
