// TDS data types: the type codes, the TYPE_INFO that describes a column or output parameter,
// and the encoding of values in ROW and RETURNVALUE tokens.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {

// TYPE_INFO type codes.
enum WireType : std::uint8_t {
  kNullType = 0x1F,
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTim4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimN = 0x6F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kBigVarBin = 0xA5,
  kBigVarChr = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

inline constexpr std::uint16_t kPlpMarker = 0xFFFF;
inline constexpr std::uint64_t kPlpNull = ~std::uint64_t{0};
inline constexpr std::uint64_t kPlpUnknownLength = ~std::uint64_t{0} - 1;

// Chinese_PRC_CI_AS: LCID 0x0804, ignore case, kana and width, Windows collation (sort id 0).
inline constexpr std::uint8_t kChinesePrcCiAs[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

// Writes TYPE_INFO for a column. withTableName adds the table name that COLMETADATA carries
// for text, ntext and image columns.
void WriteTypeInfo(ByteWriter& out, const Column& column, bool withTableName);
// Writes one value in the form TYPE_INFO announced. Throws std::invalid_argument when the value
// does not fit the column type, naming both.
void WriteValue(ByteWriter& out, const Column& column, const Value& value);

// The decimal text of a little-endian magnitude with `scale` digits after the point.
std::string DecimalText(bool negative, const std::uint8_t* littleEndian, std::size_t size,
                        int scale);
// A number (integer, float, decimal or numeric text) as decimal text with exactly `scale`
// digits after the point, rounded half away from zero. Throws std::invalid_argument otherwise.
std::string RescaleDecimal(const Value& value, int scale);
// A datetime from days since 1900-01-01 and milliseconds into the day.
DateTime DateTimeFromDays(std::int32_t days, std::int64_t msOfDay);

}  // namespace quor::test::tds
