#include "platform/com/VariantConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "platform/com/OleDate.h"
#include "platform/com/SafeArray.h"
#include "platform/com/TableDispatch.h"

namespace quor::com {
namespace {

// An object whose default member (DISPID_VALUE) reads 7, and one without any.
DispatchPtr ObjectWithDefaultValue() {
  auto table = std::make_shared<const DispatchTable>(std::vector<MemberInfo>{
      {"Value", DISPID_VALUE, MemberKind::PropertyGet, {}, [](IDispatchObject&, DispatchArgs&) {
         return Variant::I2(7);
       }}});
  return std::make_shared<TableDispatch>(table);
}

DispatchPtr ObjectWithoutDefaultValue() {
  auto table = std::make_shared<const DispatchTable>(std::vector<MemberInfo>{
      {"Other", 1, MemberKind::Method, {}, [](IDispatchObject&, DispatchArgs&) {
         return Variant();
       }}});
  return std::make_shared<TableDispatch>(table);
}

Variant I4Array(std::vector<std::int32_t> values) {
  SafeArray array = SafeArray::Vector(VT_I4, static_cast<std::uint32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    array.Put({static_cast<std::int32_t>(i)}, values[i]);
  }
  return Variant::Array(std::move(array));
}

Variant StringArray(std::vector<std::string> values) {
  SafeArray array = SafeArray::Vector(VT_BSTR, static_cast<std::uint32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    array.Put({static_cast<std::int32_t>(i)}, Variant::String(values[i]));
  }
  return Variant::Array(std::move(array));
}

Variant RefTo(Variant value, VarType type) {
  return Variant::ByRef(std::make_shared<Variant>(std::move(value)), type);
}

struct Case {
  std::string name;
  Variant input;
  VarType target;
  Variant expected;  // when error is S_OK
  HResult error = S_OK;
};

Case Ok(std::string name, Variant input, VarType target, Variant expected) {
  return {std::move(name), std::move(input), target, std::move(expected), S_OK};
}

Case Fails(std::string name, Variant input, VarType target, HResult error) {
  return {std::move(name), std::move(input), target, Variant(), error};
}

std::vector<Case> Cases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  return {
      // ---- to integers
      Ok("empty to I4 is 0", Variant(), VT_I4, Variant::I4(0)),
      Fails("null to I4", Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH),
      Ok("true to I4 is -1", true, VT_I4, Variant::I4(-1)),
      Ok("false to I4 is 0", false, VT_I4, Variant::I4(0)),
      Ok("true to UI1 takes the bits of -1", true, VT_UI1, Variant::UI1(255)),
      Ok("true to UI4 takes the bits of -1", true, VT_UI4, Variant::UI4(0xFFFFFFFFu)),
      Ok("numeric string with spaces", " 42 ", VT_I4, Variant::I4(42)),
      Ok("string with sign", "-17", VT_I4, Variant::I4(-17)),
      Ok("string 2.5 rounds to even", "2.5", VT_I4, Variant::I4(2)),
      Ok("string 3.5 rounds to even", "3.5", VT_I4, Variant::I4(4)),
      Ok("string -2.5 rounds to even", "-2.5", VT_I4, Variant::I4(-2)),
      Ok("string 2.5000001 rounds up", "2.5000001", VT_I4, Variant::I4(3)),
      Ok("string with exponent", "1e3", VT_I4, Variant::I4(1000)),
      Ok("string with leading point", ".5", VT_I4, Variant::I4(0)),
      Fails("string that is no number", "abc", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("empty string", "", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("blank string", "   ", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("number followed by text", "12abc", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("bool name to integer", "True", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("lone sign", "-", VT_I4, DISP_E_TYPEMISMATCH),
      Fails("string above I4", "2147483648", VT_I4, DISP_E_OVERFLOW),
      Ok("string at I4 minimum", "-2147483648", VT_I4,
         Variant::I4(std::numeric_limits<std::int32_t>::min())),
      Fails("string with many digits", "123456789012345678901234567890", VT_I8, DISP_E_OVERFLOW),
      Ok("R8 2.5 rounds to even", 2.5, VT_I4, Variant::I4(2)),
      Ok("R8 3.5 rounds to even", 3.5, VT_I4, Variant::I4(4)),
      Ok("R8 -2.5 rounds to even", -2.5, VT_I4, Variant::I4(-2)),
      Ok("R8 -3.5 rounds to even", -3.5, VT_I4, Variant::I4(-4)),
      Ok("R8 2.4999 rounds down", 2.4999, VT_I4, Variant::I4(2)),
      Ok("R8 -0.4 is 0 for unsigned", -0.4, VT_UI1, Variant::UI1(0)),
      Ok("R8 just below the I4 limit", 2147483647.4, VT_I4, Variant::I4(2147483647)),
      Fails("R8 rounding past the I4 limit", 2147483647.5, VT_I4, DISP_E_OVERFLOW),
      Ok("R8 -32768.5 rounds to even inside I2", -32768.5, VT_I2, Variant::I2(-32768)),
      Fails("R8 32767.5 rounds past I2", 32767.5, VT_I2, DISP_E_OVERFLOW),
      Fails("NaN to I4", nan, VT_I4, DISP_E_OVERFLOW),
      Fails("2^63 to I8", 9223372036854775808.0, VT_I8, DISP_E_OVERFLOW),
      Ok("R4 to I2", Variant::R4(-7.5f), VT_I2, Variant::I2(-8)),
      Ok("date to I4 rounds", Variant::Date(1.5), VT_I4, Variant::I4(2)),
      Ok("currency 2.5 rounds to even", Variant::Currency(25000), VT_I4, Variant::I4(2)),
      Ok("currency 3.5 rounds to even", Variant::Currency(35000), VT_I4, Variant::I4(4)),
      Ok("currency -2.5 rounds to even", Variant::Currency(-25000), VT_I4, Variant::I4(-2)),
      Ok("currency 1.5001 rounds up", Variant::Currency(15001), VT_I4, Variant::I4(2)),
      Fails("error to I4", Variant::Error(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH),
      Fails("I8 above I4", Variant::I8(3000000000LL), VT_I4, DISP_E_OVERFLOW),
      Fails("UI4 maximum to I4", Variant::UI4(0xFFFFFFFFu), VT_I4, DISP_E_OVERFLOW),
      Fails("negative to UI1", -1, VT_UI1, DISP_E_OVERFLOW),
      Ok("255 to UI1", 255, VT_UI1, Variant::UI1(255)),
      Fails("256 to UI1", 256, VT_UI1, DISP_E_OVERFLOW),
      Fails("200 to I1", 200, VT_I1, DISP_E_OVERFLOW),
      Fails("40000 to I2", "40000", VT_I2, DISP_E_OVERFLOW),
      Ok("I4 to UI2", 65535, VT_UI2, Variant::UI2(65535)),
      Ok("I4 to INT", 5, VT_INT, Variant::Int(5)),
      Ok("I4 to UINT", 5, VT_UINT, Variant::UInt(5)),
      Ok("I8 maximum from text", "9223372036854775807", VT_I8,
         Variant::I8(std::numeric_limits<std::int64_t>::max())),
      Fails("just above I8", "9223372036854775808", VT_I8, DISP_E_OVERFLOW),
      Ok("I8 minimum from text", "-9223372036854775808", VT_I8,
         Variant::I8(std::numeric_limits<std::int64_t>::min())),
      Ok("UI8 maximum from text", "18446744073709551615", VT_UI8,
         Variant::UI8(std::numeric_limits<std::uint64_t>::max())),
      Fails("just above UI8", "18446744073709551616", VT_UI8, DISP_E_OVERFLOW),
      Ok("UI8 at the I8 limit", Variant::UI8(9223372036854775807ULL), VT_I8,
         Variant::I8(9223372036854775807LL)),
      // ---- to floating point
      Ok("empty to R8", Variant(), VT_R8, Variant::R8(0)),
      Fails("null to R8", Variant::Null(), VT_R8, DISP_E_TYPEMISMATCH),
      Ok("text to R8", "1.5", VT_R8, Variant::R8(1.5)),
      Ok("text with exponent and spaces", " -2.25e2 ", VT_R8, Variant::R8(-225)),
      Ok("text with plus sign", "+3", VT_R8, Variant::R8(3)),
      Fails("text beyond the double range", "1e400", VT_R8, DISP_E_OVERFLOW),
      Ok("text below the double range is 0", "1e-400", VT_R8, Variant::R8(0)),
      Fails("infinity by name", "inf", VT_R8, DISP_E_TYPEMISMATCH),
      Fails("nan by name", "nan", VT_R8, DISP_E_TYPEMISMATCH),
      Fails("hex text", "0x10", VT_R8, DISP_E_TYPEMISMATCH),
      Fails("thousands separators", "1,000", VT_R8, DISP_E_TYPEMISMATCH),
      Ok("true to R8", true, VT_R8, Variant::R8(-1)),
      Ok("currency to R8", Variant::Currency(15000), VT_R8, Variant::R8(1.5)),
      Ok("date to R8", Variant::Date(2.25), VT_R8, Variant::R8(2.25)),
      Ok("I4 to R8", 7, VT_R8, Variant::R8(7)),
      Ok("R8 to R4", 1.5, VT_R4, Variant::R4(1.5f)),
      Fails("R8 beyond R4", 1e39, VT_R4, DISP_E_OVERFLOW),
      // ---- to currency
      Ok("R8 to currency rounds to four places", 1.23456, VT_CY, Variant::Currency(12346)),
      Ok("text tie rounds to even (down)", "1.00005", VT_CY, Variant::Currency(10000)),
      Ok("text tie rounds to even (up)", "1.00015", VT_CY, Variant::Currency(10002)),
      Ok("I4 to currency", 5, VT_CY, Variant::Currency(50000)),
      Ok("currency maximum from text", "922337203685477.5807", VT_CY,
         Variant::Currency(std::numeric_limits<std::int64_t>::max())),
      Fails("text above the currency range", "922337203685477.5808", VT_CY, DISP_E_OVERFLOW),
      Fails("R8 above the currency range", 1e15, VT_CY, DISP_E_OVERFLOW),
      Fails("I8 above the currency range", Variant::I8(1LL << 62), VT_CY, DISP_E_OVERFLOW),
      Ok("true to currency", true, VT_CY, Variant::Currency(-10000)),
      Ok("empty to currency", Variant(), VT_CY, Variant::Currency(0)),
      Fails("null to currency", Variant::Null(), VT_CY, DISP_E_TYPEMISMATCH),
      // ---- to string
      Ok("empty to string", Variant(), VT_BSTR, Variant::String("")),
      Fails("null to string", Variant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH),
      Ok("I4 to string", -42, VT_BSTR, "-42"),
      Ok("I2 to string", Variant::I2(-7), VT_BSTR, "-7"),
      Ok("UI8 maximum to string", Variant::UI8(std::numeric_limits<std::uint64_t>::max()), VT_BSTR,
         "18446744073709551615"),
      Ok("I8 minimum to string", Variant::I8(std::numeric_limits<std::int64_t>::min()), VT_BSTR,
         "-9223372036854775808"),
      Ok("R8 1.5 to string", 1.5, VT_BSTR, "1.5"),
      Ok("R8 100 to string", 100.0, VT_BSTR, "100"),
      Ok("R8 0.1 + 0.2 shows as the client shows it", 0.1 + 0.2, VT_BSTR, "0.3"),
      Ok("R8 with sixteen digits keeps fifteen", 123456789012345678.0, VT_BSTR,
         "1.23456789012346E+17"),
      Ok("R8 large uses an exponent", 1e20, VT_BSTR, "1E+20"),
      Ok("R8 negative zero", -0.0, VT_BSTR, "0"),
      Ok("R8 negative fraction", -0.25, VT_BSTR, "-0.25"),
      Ok("R4 1.1 to string", Variant::R4(1.1f), VT_BSTR, "1.1"),
      Ok("currency 1.5 to string", Variant::Currency(15000), VT_BSTR, "1.5"),
      Ok("currency whole to string", Variant::Currency(10000), VT_BSTR, "1"),
      Ok("currency smallest negative", Variant::Currency(-5), VT_BSTR, "-0.0005"),
      Ok("currency minimum", Variant::Currency(std::numeric_limits<std::int64_t>::min()), VT_BSTR,
         "-922337203685477.5808"),
      Ok("true to string", true, VT_BSTR, "True"),
      Ok("false to string", false, VT_BSTR, "False"),
      Ok("date and time to string", Variant::Date(45292.5), VT_BSTR, "2024-01-01 12:00:00"),
      Ok("date at midnight leaves the time out", Variant::Date(45292), VT_BSTR, "2024-01-01"),
      Ok("time alone leaves the date out", Variant::Date(0.25), VT_BSTR, "06:00:00"),
      Ok("date zero is midnight", Variant::Date(0), VT_BSTR, "00:00:00"),
      Ok("date before the base day", Variant::Date(-1.25), VT_BSTR, "1899-12-29 06:00:00"),
      Ok("date rounds to the second", Variant::Date(45292.5 + 0.6 / 86400), VT_BSTR,
         "2024-01-01 12:00:01"),
      Fails("date out of range to string", Variant::Date(1e9), VT_BSTR, DISP_E_OVERFLOW),
      Fails("error to string", Variant::Error(E_FAIL), VT_BSTR, DISP_E_TYPEMISMATCH),
      // ---- to bool
      Ok("empty to bool", Variant(), VT_BOOL, false),
      Fails("null to bool", Variant::Null(), VT_BOOL, DISP_E_TYPEMISMATCH),
      Ok("zero to bool", 0, VT_BOOL, false),
      Ok("five to bool", 5, VT_BOOL, true),
      Ok("R8 0.1 to bool", 0.1, VT_BOOL, true),
      Ok("R8 0 to bool", 0.0, VT_BOOL, false),
      Ok("currency 0 to bool", Variant::Currency(0), VT_BOOL, false),
      Ok("text True", "True", VT_BOOL, true),
      Ok("text TRUE", "TRUE", VT_BOOL, true),
      Ok("text false with spaces", " false ", VT_BOOL, false),
      Ok("text 0", "0", VT_BOOL, false),
      Ok("text 0.0", "0.0", VT_BOOL, false),
      Ok("text -1", "-1", VT_BOOL, true),
      Fails("text yes", "yes", VT_BOOL, DISP_E_TYPEMISMATCH),
      // ---- to date
      Ok("I4 to date", 2, VT_DATE, Variant::Date(2)),
      Ok("R8 to date", 45292.5, VT_DATE, Variant::Date(45292.5)),
      Ok("currency to date", Variant::Currency(15000), VT_DATE, Variant::Date(1.5)),
      Ok("true to date", true, VT_DATE, Variant::Date(-1)),
      Ok("text date", "2024-01-01", VT_DATE, Variant::Date(45292)),
      Ok("text date and minutes", "2024-01-01 12:00", VT_DATE, Variant::Date(45292.5)),
      Ok("text short form with slashes", "2024/1/1 6:00:00", VT_DATE, Variant::Date(45292.25)),
      Ok("text time alone", " 12:00 ", VT_DATE, Variant::Date(0.5)),
      Ok("text before the base day", "1899-12-29 06:00:00", VT_DATE, Variant::Date(-1.25)),
      Fails("text 30 February", "2024-02-30", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("text month 13", "2024-13-01", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("text hour 24", "2024-01-01 24:00", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("text without separators", "20240101", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("text mixed separators", "2024-01/01", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("text two-digit year", "24-01-01", VT_DATE, DISP_E_TYPEMISMATCH),
      Fails("number beyond year 9999", 3e6, VT_DATE, DISP_E_OVERFLOW),
      Fails("null to date", Variant::Null(), VT_DATE, DISP_E_TYPEMISMATCH),
      // ---- other targets
      Fails("I4 to error", 5, VT_ERROR, DISP_E_TYPEMISMATCH),
      Ok("error to error", Variant::Error(E_FAIL), VT_ERROR, Variant::Error(E_FAIL)),
      Ok("empty to dispatch is a null object", Variant(), VT_DISPATCH, Variant::Dispatch(nullptr)),
      Fails("I4 to dispatch", 5, VT_DISPATCH, DISP_E_TYPEMISMATCH),
      Fails("I4 to empty", 5, VT_EMPTY, DISP_E_TYPEMISMATCH),
      Fails("empty to null", Variant(), VT_NULL, DISP_E_TYPEMISMATCH),
      Ok("null to null", Variant::Null(), VT_NULL, Variant::Null()),
      Ok("null to any", Variant::Null(), VT_VARIANT, Variant::Null()),
      Ok("reference to any gives its value", RefTo(5, VT_I4), VT_VARIANT, 5),
      Ok("reference converts its value", RefTo("12", VT_BSTR), VT_I4, 12),
      Fails("reference as target type", 5, VT_BYREF | VT_I4, DISP_E_BADVARTYPE),
      Fails("unknown target type", 5, 15, DISP_E_BADVARTYPE),
      Fails("decimal target", 5, VT_DECIMAL, DISP_E_BADVARTYPE),
      Fails("array of empties as target", I4Array({1}), VT_ARRAY | VT_EMPTY, DISP_E_BADVARTYPE),
      // ---- objects convert through their default member
      Ok("object's default value to I4", Variant::Dispatch(ObjectWithDefaultValue()), VT_I4, 7),
      Ok("object's default value to string", Variant::Dispatch(ObjectWithDefaultValue()), VT_BSTR,
         "7"),
      Fails("object without a default value", Variant::Dispatch(ObjectWithoutDefaultValue()), VT_I4,
            DISP_E_TYPEMISMATCH),
      Fails("null object to I4", Variant::Dispatch(nullptr), VT_I4, DISP_E_TYPEMISMATCH),
      // ---- arrays
      Ok("array element by element", I4Array({1, -2}), VT_ARRAY | VT_BSTR,
         StringArray({"1", "-2"})),
      Ok("array of text to numbers", StringArray({" 3", "4.5"}), VT_ARRAY | VT_I4, I4Array({3, 4})),
      Fails("array element that does not convert", StringArray({"x"}), VT_ARRAY | VT_I4,
            DISP_E_TYPEMISMATCH),
      Fails("array to scalar", I4Array({1}), VT_I4, DISP_E_TYPEMISMATCH),
      Fails("scalar to array", 1, VT_ARRAY | VT_I4, DISP_E_TYPEMISMATCH),
  };
}

TEST(VariantConvertTest, ConversionsFollowTheAutomationRules) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name + ": " + c.input.DebugString() + " to " + VarTypeName(c.target));
    Variant result = Variant::String("untouched");
    const HResult hr = TryChangeType(c.input, c.target, result);
    EXPECT_EQ(FormatHResult(hr), FormatHResult(c.error));
    if (c.error == S_OK) {
      EXPECT_EQ(result, c.expected);
      EXPECT_EQ(ChangeType(c.input, c.target), c.expected) << "ChangeType agrees";
    } else {
      EXPECT_EQ(result, Variant::String("untouched")) << "a failure leaves the result alone";
      try {
        ChangeType(c.input, c.target);
        ADD_FAILURE() << "ChangeType did not throw";
      } catch (const HResultError& error) {
        EXPECT_EQ(FormatHResult(error.Code()), FormatHResult(c.error));
        EXPECT_NE(std::string(error.what()).find(VarTypeName(c.input.Deref().Type())),
                  std::string::npos)
            << "the message names the source type: " << error.what();
      }
    }
  }
}

TEST(VariantConvertTest, NumbersSurviveARoundTripThroughText) {
  const double values[] = {0.0,  1.0,     -1.0,  0.1,     0.5,   1.5,       123.456,
                           1e-7, 1.25e15, 1e300, -2.5e-3, 99.99, 1234567.89};
  for (double value : values) {
    const std::string text = Variant(value).ToString();
    EXPECT_EQ(Variant(text).ToR8(), value) << text;
  }
  const std::int64_t money[] = {0, 1, -1, 15000, 123456789, -922337203685477LL};
  for (std::int64_t scaled : money) {
    const std::string text = Variant::Currency(scaled).ToString();
    EXPECT_EQ(Variant(text).ToCurrency(), scaled) << text;
  }
}

TEST(VariantConvertTest, DatesSurviveARoundTripThroughText) {
  const DateParts dates[] = {
      {2024, 1, 1, 0, 0, 0, 0},      {2024, 2, 29, 23, 59, 59, 0}, {1899, 12, 30, 8, 30, 0, 0},
      {1899, 12, 29, 6, 0, 0, 0},    {1753, 1, 1, 0, 0, 1, 0},     {100, 1, 1, 0, 0, 0, 0},
      {9999, 12, 31, 23, 59, 59, 0}, {2000, 3, 1, 12, 0, 0, 0},
  };
  for (const DateParts& parts : dates) {
    const double date = EncodeOleDate(parts).value();
    const std::string text = Variant::Date(date).ToString();
    const double back = Variant(text).ToDate();
    EXPECT_NEAR(back, date, 1e-9) << text;
    EXPECT_EQ(DecodeOleDate(back), parts) << text;
  }
}

}  // namespace
}  // namespace quor::com
