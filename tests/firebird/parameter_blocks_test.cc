#include "firebird/parameter_blocks.h"

#include <gtest/gtest.h>

#include "support/failure_of.h"

namespace updater {
namespace {

using namespace std::string_literals;
using testing::FailureOf;

TEST(SplitDatabaseName, FindsTheServerByTheFirstRuleThatApplies) {
  const struct {
    const char *name, *server, *path;
  } cases[] = {
      {"C:\\Data\\Base.fdb", "", "C:\\Data\\Base.fdb"},
      {"localhost/3051:C:\\Prog\\DB_Data\\Base.fdb", "localhost/3051",
       "C:\\Prog\\DB_Data\\Base.fdb"},
      {"localhost/3051:/srv/marlix/DB_Data/Marlix.fdb", "localhost/3051",
       "/srv/marlix/DB_Data/Marlix.fdb"},
      {"\\\\srv\\C:\\Data\\Base.fdb", "srv", "C:\\Data\\Base.fdb"},
      {"srv@C:\\Data\\Base.fdb", "srv", "C:\\Data\\Base.fdb"},
      {"Base.fdb", "", "Base.fdb"},
      {"C:\\a:b", "C", "\\a:b"},  // a second colon: not a drive path
      // A marker inside the file path does not make a server of the text
      // before it.
      {"localhost/3051:C:\\Me@Home\\Base.fdb", "localhost/3051", "C:\\Me@Home\\Base.fdb"},
      {"localhost:C:\\Prog\\\\DB\\Base.fdb", "localhost", "C:\\Prog\\\\DB\\Base.fdb"},
  };
  for (const auto& c : cases) {
    const DatabaseNameParts parts = SplitDatabaseName(c.name);
    EXPECT_EQ(parts.server, c.server) << c.name;
    EXPECT_EQ(parts.path, c.path) << c.name;
  }
  EXPECT_EQ(ServiceManagerName(""), "service_mgr");
  EXPECT_EQ(ServiceManagerName("localhost/3051"), "localhost/3051:service_mgr");
}

TEST(ServicesBlocks, AreTheBytesTheServerExpects) {
  EXPECT_EQ(ServiceAttachBlock("SYSDBA", "vormelduka"),
            "\x02\x02\x1c\x06SYSDBA\x1d\x0avormelduka"s);
  EXPECT_EQ(ShutdownRequestBlock("C:\\a.fdb"),
            "\x08\x6a\x08\x00"
            "C:\\a.fdb\x07\x01\x00\x00\x00"s);
  EXPECT_EQ(OnlineRequestBlock("C:\\a.fdb"),
            "\x08\x6a\x08\x00"
            "C:\\a.fdb\x6c\x00\x02\x00\x00"s);
  // No path, no database name entries.
  EXPECT_EQ(ShutdownRequestBlock(""), "\x08\x07\x01\x00\x00\x00"s);
  EXPECT_EQ(OnlineRequestBlock(""), "\x08\x6c\x00\x02\x00\x00"s);
  // The path's length is two bytes, low byte first.
  EXPECT_EQ(OnlineRequestBlock(std::string(300, 'x')).substr(0, 4), "\x08\x6a\x2c\x01"s);
}

TEST(DatabaseParameterBlock, LeavesEmptyItemsOut) {
  EXPECT_EQ(DatabaseParameterBlock("SYSDBA", "pw", "", "WIN1251"),
            "\x01\x1c\x06SYSDBA\x1d\x02pw\x30\x07WIN1251"s);
  EXPECT_EQ(DatabaseParameterBlock("ADMN", "", "RDB$ADMIN", "WIN1251"),
            "\x01\x1c\x04"
            "ADMN\x3c\x09RDB$ADMIN\x30\x07WIN1251"s);
}

TEST(ParameterBlocks, RefuseValuesTheirLengthByteCannotHold) {
  const std::string longest(255, 'p');
  EXPECT_EQ(ServiceAttachBlock("SYSDBA", longest).size(), 2u + 2 + 6 + 2 + 255);
  EXPECT_EQ(FailureOf([&] { ServiceAttachBlock("SYSDBA", longest + "p"); }),
            "Параметр подключения \"пароль\" длиннее 255 байт!");
  EXPECT_EQ(FailureOf([&] { DatabaseParameterBlock(longest + "u", "pw", "", "WIN1251"); }),
            "Параметр подключения \"имя пользователя\" длиннее 255 байт!");
  EXPECT_EQ(FailureOf([] { ShutdownRequestBlock(std::string(65536, 'x')); }),
            "Параметр подключения \"путь к базе данных\" длиннее 65535 байт!");
}

// The answer to isc_info_user_names: per attachment the item code 53, a
// two-byte length, the name's length byte and the name.
std::string UserItem(const std::string& name) {
  return "\x35"s + static_cast<char>(name.size() + 1) + '\0' + static_cast<char>(name.size()) +
         name;
}

std::vector<std::string> Read(const std::string& answer) {
  return ReadAttachedUserNames(reinterpret_cast<const unsigned char*>(answer.data()),
                               answer.size());
}

TEST(ReadAttachedUserNames, ReadsUpToTheFirstByteThatIsNoUserItem) {
  using Names = std::vector<std::string>;
  const std::string two = UserItem("ADMN") + UserItem("SYSDBA");
  EXPECT_EQ(Read(two + "\x01"s + std::string(40, '\0')), (Names{"ADMN", "SYSDBA"}));
  // A truncated answer: the names before the truncation marker.
  EXPECT_EQ(Read(two + "\x02"s + UserItem("LATE")), (Names{"ADMN", "SYSDBA"}));
  EXPECT_EQ(Read(UserItem("") + UserItem("ADMN")), (Names{"", "ADMN"}));
  EXPECT_EQ(Read(""), Names{});
  // An item cut off by the end of the buffer is not read past the end.
  EXPECT_EQ(Read(two + UserItem("CUT").substr(0, 5)), (Names{"ADMN", "SYSDBA"}));
  EXPECT_EQ(Read(two + "\x35\x00"s), (Names{"ADMN", "SYSDBA"}));
}

}  // namespace
}  // namespace updater
