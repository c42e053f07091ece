#include "StandInPackets.h"

#include <gtest/gtest.h>

namespace quor::datasnap::test {

namespace t = ::quor::test;

Cell ExpectedCell(const t::Value& value, t::SqlType type) {
  if (value.IsNull()) return Null{};
  switch (type) {
    case t::SqlType::TinyInt:
      return static_cast<std::uint64_t>(value.AsInt());
    case t::SqlType::Int:
    case t::SqlType::SmallInt:
    case t::SqlType::BigInt:
      return value.AsInt();
    case t::SqlType::Bit:
      return value.AsInt() != 0;
    case t::SqlType::Float:
    case t::SqlType::Real:
    case t::SqlType::Decimal:
    case t::SqlType::Numeric:
    case t::SqlType::Money:
      return value.AsDouble();
    case t::SqlType::DateTime: {
      const t::DateTime& at = value.AsDateTime();
      return Timestamp{Date{at.year, at.month, at.day},
                       ((at.hour * 60 + at.minute) * 60 + at.second) * 1000 + at.millisecond};
    }
    case t::SqlType::VarBinary:
    case t::SqlType::Image:
      return value.AsBytes();
    default:
      return value.AsText();
  }
}

void ExpectPacketHolds(const DataPacket& packet, const t::ResultSet& rows) {
  ASSERT_EQ(packet.fields.size(), rows.columns.size());
  for (std::size_t i = 0; i < rows.columns.size(); ++i) {
    EXPECT_EQ(packet.fields[i].name, rows.columns[i].name);
  }
  ASSERT_EQ(packet.recordCount, static_cast<std::int32_t>(rows.rows.size()));
  ASSERT_EQ(packet.records.size(), rows.rows.size());
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    ASSERT_EQ(packet.records[r].cells.size(), rows.columns.size());
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      const Cell expected = ExpectedCell(rows.rows[r][c], rows.columns[c].type);
      EXPECT_EQ(packet.records[r].cells[c], expected)
          << "record " << r << ", field " << rows.columns[c].name << ": got "
          << CellText(packet.records[r].cells[c]) << ", expected " << CellText(expected);
    }
  }
}

}  // namespace quor::datasnap::test
