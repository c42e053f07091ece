// The field descriptors of provider packets for every SQL Server type the
// account sets use, as a client dataset reads them: each column goes through
// the real FreeTDS driver from the stand-in, and the packet is read back with
// the independent reader. The expected type words, sizes, WIDTHs, SUBTYPEs and
// attributes are written out by hand from the packet layout (strings varying
// with their declared width and a length prefix wide enough for their bytes,
// exact numbers as floats, long and (max) types as blobs), not taken from the
// writer's own mapping.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DataPacketReader.h"
#include "StandInPackets.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/Provider.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Statement.h"
#include "tests/platform/sql/StandIn.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::datasnap {
namespace {

namespace t = ::quor::test;
using com::Variant;

struct Expected {
  t::Column column;
  t::Value value;
  std::uint16_t type;
  std::uint16_t size;
  std::optional<std::uint64_t> width;
  std::optional<std::string> subtype;
};

t::Column Column(std::string name, t::SqlType type, int size, int precision, int scale,
                 bool nullable) {
  t::Column column = t::Col(std::move(name), type, size, precision, scale);
  column.nullable = nullable;
  return column;
}

std::vector<Expected> EveryType(bool nullable) {
  const auto c = [nullable](const char* name, t::SqlType type, int size = 0, int precision = 0,
                            int scale = 0) {
    return Column(name, type, size, precision, scale, nullable);
  };
  return {
      {c("Int", t::SqlType::Int), 7, 0x01, 4, {}, {}},
      {c("SmallInt", t::SqlType::SmallInt), -3, 0x01, 2, {}, {}},
      {c("TinyInt", t::SqlType::TinyInt), 200, 0x02, 1, {}, {}},
      {c("BigInt", t::SqlType::BigInt), 9000000000LL, 0x01, 8, {}, {}},
      {c("Bit", t::SqlType::Bit), 1, 0x03, 2, {}, {}},
      {c("Float", t::SqlType::Float), 1.25, 0x04, 8, {}, {}},
      {c("Real", t::SqlType::Real), 0.5, 0x04, 8, {}, {}},
      {c("Decimal", t::SqlType::Decimal, 0, 18, 4), t::Decimal{"12.3400"}, 0x04, 8, {}, {}},
      {c("Numeric", t::SqlType::Numeric, 0, 10, 2), t::Decimal{"-5.50"}, 0x04, 8, {}, {}},
      {c("Money", t::SqlType::Money, 0, 19, 4), t::Decimal{"8.5000"}, 0x04, 8, {}, {}},
      {c("DateTime", t::SqlType::DateTime),
       t::DateTime{2024, 2, 29, 13, 5, 6, 500},
       0x08,
       8,
       {},
       {}},
      {c("Char", t::SqlType::Char, 10), "ab        ", 0x49, 1, 10, {}},
      {c("VarChar", t::SqlType::VarChar, 50), "货号", 0x49, 1, 50, {}},
      {c("VarChar300", t::SqlType::VarChar, 300), "长", 0x49, 2, 300, {}},
      {c("VarCharMax", t::SqlType::VarChar, -1), "备注", 0x4B, 4, {}, "Text"},
      {c("NChar", t::SqlType::NChar, 10), "名称        ", 0x4A, 1, 10, {}},
      {c("NVarChar", t::SqlType::NVarChar, 100), "名称", 0x4A, 1, 100, {}},
      {c("NVarChar200", t::SqlType::NVarChar, 200), "名", 0x4A, 2, 200, {}},
      {c("NVarCharMax", t::SqlType::NVarChar, -1), "说明", 0x4B, 4, {}, "WideText"},
      {c("Text", t::SqlType::Text), "文本", 0x4B, 4, {}, "Text"},
      {c("NText", t::SqlType::NText), "宽文本", 0x4B, 4, {}, "WideText"},
      {c("VarBinary", t::SqlType::VarBinary, 100), t::Bytes{1, 2, 3}, 0x4B, 4, {}, "Binary"},
      {c("VarBinaryMax", t::SqlType::VarBinary, -1), t::Bytes{4}, 0x4B, 4, {}, "Binary"},
      {c("Image", t::SqlType::Image), t::Bytes{0xFF, 0xD8}, 0x4B, 4, {}, "Graphics"},
  };
}

class PacketDescriptorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddLogin(sql::testing::kUser, sql::testing::kPassword);
    server_.AddDatabase(sql::testing::kAccountSet);
    connection_ = std::make_unique<sql::Connection>(
        sql::testing::SettingsFor(server_, sql::testing::kAccountSet));
  }

  test::DataPacket Fetch(const std::vector<Expected>& columns, t::ResultSet& rows) {
    for (const Expected& e : columns) rows.columns.push_back(e.column);
    std::vector<t::Value> values;
    std::vector<t::Value> nulls;
    for (const Expected& e : columns) {
      values.push_back(e.value);
      nulls.push_back(e.column.nullable ? t::Value() : e.value);
    }
    rows.rows = {values, nulls};
    server_.OnStatement("select * from AllTypes", t::Reply{{rows}});
    sql::Statement statement(*connection_, "QryExecSQL");
    statement.SetText("select * from AllTypes");
    Provider provider("dspExecSQL", statement);
    Variant params;
    std::int32_t recsOut = 0;
    const Variant packet = provider.GetRecords(-1, recsOut, kMetaData, "", params);
    return test::ReadDataPacket(packet.GetArray().Bytes());
  }

  t::SqlServerStandIn server_;
  std::unique_ptr<sql::Connection> connection_;
};

TEST_F(PacketDescriptorsTest, EveryColumnTypeArrivesWithItsTypeSizeWidthSubtypeAndAttributes) {
  for (const bool nullable : {true, false}) {
    SCOPED_TRACE(nullable ? "nullable columns" : "NOT NULL columns");
    const std::vector<Expected> columns = EveryType(nullable);
    t::ResultSet rows;
    const test::DataPacket packet = Fetch(columns, rows);
    ASSERT_EQ(packet.fields.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const Expected& e = columns[i];
      const test::PacketFieldInfo& field = packet.fields[i];
      SCOPED_TRACE(e.column.name);
      EXPECT_EQ(field.name, e.column.name);
      EXPECT_EQ(field.type, e.type);
      EXPECT_EQ(field.size, e.size);
      EXPECT_EQ(field.NumberProperty("WIDTH"), e.width);
      EXPECT_EQ(field.TextProperty("SUBTYPE"), e.subtype);
      // NOT NULL columns are required (4); nothing else is marked.
      EXPECT_EQ(field.attributes, nullable ? 0 : 4);
      EXPECT_EQ(field.properties.size(), (e.width ? 1u : 0u) + (e.subtype ? 1u : 0u));
    }
    test::ExpectPacketHolds(packet, rows);
  }
}

}  // namespace
}  // namespace quor::datasnap
