// Rows kept in packet form and handed out in packets of any size: every packet
// reads back with the independent reader as exactly its rows.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "DataPacketReader.h"
#include "platform/datasnap/HeldRows.h"

namespace quor::datasnap {
namespace {

std::vector<sql::Field> Fields() {
  sql::Field id;
  id.name = "ID";
  id.typeName = "int";
  id.kind = sql::ValueKind::kInteger;
  sql::Field name;
  name.name = "Name";
  name.typeName = "nvarchar";
  name.size = 10;
  name.kind = sql::ValueKind::kText;
  return {id, name};
}

HeldRows Rows(int count) {
  HeldRows rows(Fields());
  for (int i = 1; i <= count; ++i) {
    rows.Add(std::vector<sql::Value>{
        sql::Value::Integer(i),
        i % 3 == 0 ? sql::Value() : sql::Value::Text("行" + std::to_string(i))});
  }
  return rows;
}

std::vector<std::string> Ids(const test::DataPacket& packet) {
  return test::ColumnTexts(packet, "ID");
}

TEST(HeldRows, PacketsOfAnySizeHoldExactlyTheirRowsInOrder) {
  struct Case {
    const char* label;
    std::vector<std::int32_t> counts;
    std::vector<std::vector<std::string>> ids;
  };
  const std::vector<Case> cases = {
      {"all at once", {-1}, {{"1", "2", "3", "4", "5"}}},
      {"in twos", {2, 2, 2}, {{"1", "2"}, {"3", "4"}, {"5"}}},
      {"descriptors first", {0, 3, -1}, {{}, {"1", "2", "3"}, {"4", "5"}}},
      {"more than there are", {9}, {{"1", "2", "3", "4", "5"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    HeldRows rows = Rows(5);
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      std::int32_t taken = -1;
      const test::DataPacket packet = test::ReadDataPacket(rows.Take(c.counts[i], taken));
      EXPECT_EQ(taken, static_cast<std::int32_t>(c.ids[i].size()));
      EXPECT_EQ(packet.recordCount, taken);
      EXPECT_EQ(Ids(packet), c.ids[i]);
      ASSERT_EQ(packet.fields.size(), 2u);
      EXPECT_EQ(packet.fields[1].name, "Name");
    }
    EXPECT_EQ(rows.Remaining(), 0u);
  }
}

TEST(HeldRows, NoRowsGiveAPacketOfDescriptorsAndEverythingHandedOutIsGone) {
  HeldRows rows = Rows(0);
  std::int32_t taken = -1;
  const test::DataPacket packet = test::ReadDataPacket(rows.Take(-1, taken));
  EXPECT_EQ(taken, 0);
  EXPECT_EQ(packet.fields.size(), 2u);
  EXPECT_TRUE(packet.records.empty());
  EXPECT_THROW(rows.Take(-1, taken), std::logic_error);
}

}  // namespace
}  // namespace quor::datasnap
