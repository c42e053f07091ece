// Values and their conversions: what parameters are sent as and what callers
// read fields as, following the rules of OLE variants.
#include <gtest/gtest.h>

#include <cmath>

#include "Value.h"
#include "detail/Odbc.h"

namespace quor::sql {
namespace {

TEST(ValueConversion, EachKindConvertsAsVariantsDo) {
  DateTime noon;
  noon.year = 2024;
  noon.month = 3;
  noon.day = 5;
  noon.hour = 12;
  struct Case {
    const char* name;
    Value value;
    std::int64_t integer;
    double number;
    std::string text;
    bool boolean;
  };
  const Case cases[] = {
      {"null", Value(), 0, 0.0, "", false},
      {"true", Value::Boolean(true), 1, 1.0, "True", true},
      {"integer", Value::Integer(-42), -42, -42.0, "-42", true},
      {"half rounds to even", Value::Double(2.5), 2, 2.5, "2.5", true},
      {"odd half rounds up", Value::Double(3.5), 4, 3.5, "3.5", true},
      {"decimal", Value::Decimal("-12.3400"), -12, -12.34, "-12.3400", true},
      {"numeric text", Value::Text(" 17 "), 17, 17.0, " 17 ", true},
      {"numeric text zero", Value::Text("0"), 0, 0.0, "0", false},
      {"date-time", Value::FromDateTime(noon), 45356, 45356.5, "2024-03-05 12:00:00", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.AsInteger(), c.integer) << c.name;
    EXPECT_DOUBLE_EQ(c.value.AsDouble(), c.number) << c.name;
    EXPECT_EQ(c.value.AsBoolean(), c.boolean) << c.name;
    EXPECT_EQ(c.value.AsText(), c.text) << c.name;
  }
  EXPECT_FALSE(Value::Text("False").AsBoolean());
  EXPECT_TRUE(Value::Text("TRUE").AsBoolean());
}

TEST(ValueConversion, TextThatIsNoNumberRaisesConversionError) {
  for (const char* text : {"商品", "12abc", "", "1.2.3"}) {
    const Value value = Value::Text(text);
    EXPECT_THROW(value.AsInteger(), ConversionError) << text;
    EXPECT_THROW(value.AsDouble(), ConversionError) << text;
    EXPECT_THROW(value.AsDateTime(), ConversionError) << text;
  }
}

TEST(ValueConversion, DecimalsWithoutALeadingDigitGetOne) {
  EXPECT_EQ(Value::Decimal("-.50").DecimalText(), "-0.50");
  EXPECT_EQ(Value::Decimal(".5").DecimalText(), "0.5");
  EXPECT_EQ(Value::Decimal("12.00").DecimalText(), "12.00");
  EXPECT_EQ(Value::Decimal("-3").DecimalText(), "-3");
}

TEST(ValueConversion, BytesHaveNoNumberButKeepTheirBytes) {
  const Value bytes = Value::Bytes({0x00, 0xFF, 0x41});
  EXPECT_THROW(bytes.AsInteger(), ConversionError);
  EXPECT_THROW(bytes.AsDateTime(), ConversionError);
  EXPECT_EQ(bytes.AsBytes(), (std::vector<std::uint8_t>{0x00, 0xFF, 0x41}));
  EXPECT_EQ(bytes.ToDebugString(), "0x00FF41");
  EXPECT_EQ(Value::Text("ab").AsBytes(), (std::vector<std::uint8_t>{'a', 'b'}));
}

TEST(OleDates, DaysSince1899AreCalendarDatesBothWays) {
  struct Case {
    double ole;
    DateTime expected;
  };
  const Case cases[] = {
      {0.0, {1899, 12, 30, 0, 0, 0, 0}},
      {1.0, {1899, 12, 31, 0, 0, 0, 0}},
      {2.25, {1900, 1, 1, 6, 0, 0, 0}},
      {-1.25, {1899, 12, 29, 6, 0, 0, 0}},
      {36526.0, {2000, 1, 1, 0, 0, 0, 0}},
      {45351.999988425923, {2024, 2, 29, 23, 59, 59, 0}},
      {45292.0 + 0.5 + 0.001 / 86400.0 * 123, {2024, 1, 1, 12, 0, 0, 123'000'000}},
  };
  for (const Case& c : cases) {
    const DateTime dt = DateTime::FromOleDate(c.ole);
    EXPECT_EQ(dt, c.expected) << c.ole << " gave " << dt.ToText();
    EXPECT_NEAR(c.expected.ToOleDate(), c.ole, 1e-8) << c.expected.ToText();
  }
}

TEST(EpochMillis, MillisecondsSince1970AreCalendarDatesBothWays) {
  struct Case {
    std::int64_t millis;
    DateTime expected;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0, 0}},
      {-1, {1969, 12, 31, 23, 59, 59, 999'000'000}},
      {-86'400'000, {1969, 12, 31, 0, 0, 0, 0}},
      {951'782'400'000, {2000, 2, 29, 0, 0, 0, 0}},
      {1'709'251'199'123, {2024, 2, 29, 23, 59, 59, 123'000'000}},
  };
  for (const Case& c : cases) {
    const DateTime dt = DateTime::FromEpochMillis(c.millis);
    EXPECT_EQ(dt, c.expected) << c.millis << " gave " << dt.ToText();
    EXPECT_EQ(c.expected.ToEpochMillis(), c.millis) << c.expected.ToText();
  }
}

TEST(DateTimeText, IsoDatesAndTimesAreParsedAndImpossibleOnesRefused) {
  struct Case {
    const char* text;
    bool ok;
    DateTime expected;
  };
  const Case cases[] = {
      {"2024-01-02", true, {2024, 1, 2, 0, 0, 0, 0}},
      {"2024/1/2", true, {2024, 1, 2, 0, 0, 0, 0}},
      {"2024-01-02 03:04:05", true, {2024, 1, 2, 3, 4, 5, 0}},
      {"2024-01-02T03:04", true, {2024, 1, 2, 3, 4, 0, 0}},
      {"2024-01-02 03:04:05.5", true, {2024, 1, 2, 3, 4, 5, 500'000'000}},
      {" 2024-02-29 ", true, {2024, 2, 29, 0, 0, 0, 0}},
      {"2023-02-29", false, {}},
      {"2024-13-01", false, {}},
      {"2024-01-02 24:00:00", false, {}},
      {"02/01/2024", false, {}},
      {"2024-01-02x", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    DateTime parsed;
    EXPECT_EQ(DateTime::Parse(c.text, parsed), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(parsed, c.expected) << c.text;
    }
  }
  EXPECT_EQ((DateTime{2024, 1, 2, 3, 4, 5, 7'000'000}).ToText(), "2024-01-02 03:04:05.007");
}

TEST(DriverMessages, DriverAndManagerPrefixesAreRemoved) {
  struct Case {
    const char* raw;
    const char* clean;
  };
  const Case cases[] = {
      {"[FreeTDS][SQL Server]Invalid object name 'x'.", "Invalid object name 'x'."},
      {"[unixODBC][Driver Manager]Data source name not found", "Data source name not found"},
      {"[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Login failed for user 'sa'.",
       "Login failed for user 'sa'."},
      {"Plain [bracket] text", "Plain [bracket] text"},
      {"找不到存储过程 'x'。", "找不到存储过程 'x'。"},
  };
  for (const Case& c : cases) EXPECT_EQ(detail::StripDriverPrefixes(c.raw), c.clean) << c.raw;
}

}  // namespace
}  // namespace quor::sql
