#include "firebird/database_names.h"

#include <gtest/gtest.h>

#include "firebird/uDBConnection.h"

namespace updater {
namespace {

using namespace std::string_literals;

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
