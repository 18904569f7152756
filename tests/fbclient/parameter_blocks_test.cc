#include "fbclient/parameter_blocks.h"

#include <gtest/gtest.h>

namespace updater::fbclient {
namespace {

using namespace std::string_literals;

TEST(ServicesBlocks, AreTheBytesTheServerExpects) {
  EXPECT_EQ(ServiceAttachBlock("SYSDBA", "vormelduka").value(),
            "\x02\x02\x1c\x06SYSDBA\x1d\x0avormelduka"s);
  EXPECT_EQ(ShutdownRequestBlock("C:\\a.fdb").value(),
            "\x08\x6a\x08\x00"
            "C:\\a.fdb\x07\x01\x00\x00\x00"s);
  EXPECT_EQ(OnlineRequestBlock("C:\\a.fdb").value(),
            "\x08\x6a\x08\x00"
            "C:\\a.fdb\x6c\x00\x02\x00\x00"s);
  // No path, no database name entries.
  EXPECT_EQ(ShutdownRequestBlock("").value(), "\x08\x07\x01\x00\x00\x00"s);
  EXPECT_EQ(OnlineRequestBlock("").value(), "\x08\x6c\x00\x02\x00\x00"s);
  // The path's length is two bytes, low byte first.
  EXPECT_EQ(OnlineRequestBlock(std::string(300, 'x')).value().substr(0, 4), "\x08\x6a\x2c\x01"s);
}

TEST(DatabaseParameterBlock, LeavesEmptyItemsOut) {
  EXPECT_EQ(DatabaseParameterBlock("SYSDBA", "pw", "", "WIN1251").value(),
            "\x01\x1c\x06SYSDBA\x1d\x02pw\x30\x07WIN1251"s);
  EXPECT_EQ(DatabaseParameterBlock("ADMN", "", "RDB$ADMIN", "WIN1251").value(),
            "\x01\x1c\x04"
            "ADMN\x3c\x09RDB$ADMIN\x30\x07WIN1251"s);
  EXPECT_EQ(DatabaseParameterBlock("", "", "", "").value(), "\x01"s);
}

TEST(ParameterBlocks, RefuseValuesTheirLengthFieldCannotHold) {
  const std::string longest(255, 'p');
  EXPECT_EQ(ServiceAttachBlock("SYSDBA", longest).value().size(), 2u + 2 + 6 + 2 + 255);
  EXPECT_EQ(DatabaseParameterBlock("SYSDBA", "pw", longest, "UTF8").value().size(),
            1u + 2 + 6 + 2 + 2 + 2 + 255 + 2 + 4);
  EXPECT_EQ(ShutdownRequestBlock(std::string(65535, 'x')).value().size(), 4u + 65535 + 5);

  const struct {
    BlockOutcome outcome;
    BlockItem item;
    size_t limit;
  } cases[] = {
      {ServiceAttachBlock("SYSDBA", longest + "p"), BlockItem::kPassword, 255},
      {ServiceAttachBlock(longest + "u", "pw"), BlockItem::kUserName, 255},
      {DatabaseParameterBlock(longest + "u", "pw", "", "WIN1251"), BlockItem::kUserName, 255},
      {DatabaseParameterBlock("SYSDBA", "pw", longest + "r", ""), BlockItem::kRole, 255},
      {DatabaseParameterBlock("SYSDBA", "pw", "", longest + "c"), BlockItem::kCharacterSet, 255},
      {ShutdownRequestBlock(std::string(65536, 'x')), BlockItem::kDatabasePath, 65535},
      {OnlineRequestBlock(std::string(65536, 'x')), BlockItem::kDatabasePath, 65535},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(c.outcome.ok());
    EXPECT_EQ(c.outcome.failure().item, c.item);
    EXPECT_EQ(c.outcome.failure().limit, c.limit);
  }
}

}  // namespace
}  // namespace updater::fbclient
