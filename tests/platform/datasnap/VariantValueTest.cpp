// Values crossing between client variants and SQL parameter and field values.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/datasnap/VariantValue.h"

namespace quor::datasnap {
namespace {

using com::Variant;

TEST(ToSqlValue, KeepsEachVariantsKind) {
  struct Case {
    const char* label;
    Variant in;
    sql::Value expected;
  };
  const std::vector<Case> cases = {
      {"empty is NULL", Variant(), sql::Value::Null()},
      {"null", Variant::Null(), sql::Value::Null()},
      {"a missing optional argument", Variant::Missing(), sql::Value::Null()},
      {"I2", Variant::I2(-7), sql::Value::Integer(-7)},
      {"I4", Variant::I4(2147483647), sql::Value::Integer(2147483647)},
      {"I8", Variant::I8(-9000000000LL), sql::Value::Integer(-9000000000LL)},
      {"UI1", Variant::UI1(255), sql::Value::Integer(255)},
      {"UI4", Variant::UI4(4000000000u), sql::Value::Integer(4000000000LL)},
      {"UI8 beyond int64", Variant::UI8(18446744073709551615ull),
       sql::Value::Decimal("18446744073709551615")},
      {"R4", Variant::R4(0.5f), sql::Value::Double(0.5)},
      {"R8", Variant::R8(-1.25), sql::Value::Double(-1.25)},
      {"currency is exact", Variant::Currency(123456789), sql::Value::Decimal("12345.6789")},
      {"negative currency", Variant::Currency(-15000), sql::Value::Decimal("-1.5000")},
      {"smallest currency", Variant::Currency(std::numeric_limits<std::int64_t>::min()),
       sql::Value::Decimal("-922337203685477.5808")},
      {"date with time", Variant::Date(45351.75),
       sql::Value::FromDateTime({2024, 2, 29, 18, 0, 0, 0})},
      {"date before 1899-12-30", Variant::Date(-1.25),
       sql::Value::FromDateTime({1899, 12, 29, 6, 0, 0, 0})},
      {"Chinese text", Variant("华东贸易"), sql::Value::Text("华东贸易")},
      {"true", Variant::Bool(true), sql::Value::Boolean(true)},
      {"bytes", Variant::Bytes({0, 1, 255}), sql::Value::Bytes({0, 1, 255})},
      {"by reference", Variant::ByRef(std::make_shared<Variant>(Variant("x"))),
       sql::Value::Text("x")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ToSqlValue(c.in), c.expected);
  }
}

TEST(ToSqlValue, RefusesValuesNoParameterCanTake) {
  const std::vector<std::pair<const char*, Variant>> cases = {
      {"an array of variants", Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 2))},
      {"a two-dimensional byte array",
       Variant::Array(com::SafeArray(com::VT_UI1, {{0, 2}, {0, 2}}))},
      {"an object", Variant::Dispatch(nullptr)},
      {"an error code", Variant::Error(com::E_FAIL)},
  };
  for (const auto& [label, value] : cases) {
    SCOPED_TRACE(label);
    EXPECT_THROW(ToSqlValue(value), sql::ConversionError);
  }
}

TEST(ToVariant, GivesTheVariantTypesClientsExpect) {
  struct Case {
    const char* label;
    sql::Value in;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"NULL", sql::Value::Null(), Variant::Null()},
      {"an int", sql::Value::Integer(-5), Variant::I4(-5)},
      {"a bigint beyond 32 bits", sql::Value::Integer(5000000000LL), Variant::I8(5000000000LL)},
      {"a float", sql::Value::Double(0.125), Variant::R8(0.125)},
      {"money travels as float", sql::Value::Decimal("1234.5600"), Variant::R8(1234.56)},
      {"a bit", sql::Value::Boolean(true), Variant::Bool(true)},
      {"a datetime", sql::Value::FromDateTime({2024, 2, 29, 18, 0, 0, 0}), Variant::Date(45351.75)},
      {"text", sql::Value::Text("苹果"), Variant("苹果")},
      {"bytes", sql::Value::Bytes({9, 8}), Variant::Bytes({9, 8})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ToVariant(c.in), c.expected);
  }
}

TEST(ToSqlValueAs, ConvertsToTheDataTypeTheClientNamed) {
  struct Case {
    const char* label;
    Variant in;
    FieldTypeOrdinal type;
    sql::Value expected;
  };
  const std::vector<Case> cases = {
      {"number as string", Variant::I4(12), FieldTypeOrdinal::kString, sql::Value::Text("12")},
      {"text as integer", Variant(" 42 "), FieldTypeOrdinal::kInteger, sql::Value::Integer(42)},
      {"text as BCD is a float", Variant("12.5"), FieldTypeOrdinal::kBcd, sql::Value::Double(12.5)},
      {"text as float", Variant("0.25"), FieldTypeOrdinal::kFloat, sql::Value::Double(0.25)},
      {"text as date", Variant("2024-02-29"), FieldTypeOrdinal::kDateTime,
       sql::Value::FromDateTime({2024, 2, 29, 0, 0, 0, 0})},
      {"integer as boolean", Variant::I4(-1), FieldTypeOrdinal::kBoolean,
       sql::Value::Boolean(true)},
      {"string as blob", Variant("ab"), FieldTypeOrdinal::kBlob, sql::Value::Bytes({'a', 'b'})},
      {"null stays null", Variant::Null(), FieldTypeOrdinal::kInteger, sql::Value::Null()},
      {"empty stays null", Variant(), FieldTypeOrdinal::kString, sql::Value::Null()},
      {"unknown keeps the value", Variant::R8(1.5), FieldTypeOrdinal::kUnknown,
       sql::Value::Double(1.5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ToSqlValueAs(c.in, c.type), c.expected);
  }
  EXPECT_ANY_THROW(ToSqlValueAs(Variant("x"), FieldTypeOrdinal::kInteger));
  EXPECT_ANY_THROW(ToSqlValueAs(Variant::I4(3), FieldTypeOrdinal::kBlob));
}

}  // namespace
}  // namespace quor::datasnap
