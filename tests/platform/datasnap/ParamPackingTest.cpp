// Parameter arrays between clients and procedures: packing with the provider
// runtime's type and direction ordinals, unpacking by position and by name,
// and malformed arrays from clients, which must end in an error with a
// message and never in a read outside the array.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/datasnap/ParamPacking.h"
#include "tests/platform/datasnap/ParamEntries.h"

namespace quor::datasnap {
namespace {

using com::SafeArray;
using com::Variant;
using test::Entry;
using test::Vector;

Variant ReturnEntry() {
  return Entry("@RETURN_VALUE", Variant::Null(), 3, 4);
}

// A procedure's refreshed list: return value, then varchar, int, money, datetime.
sql::Parameters Procedure() {
  sql::Parameters params;
  params.Add(
      sql::Parameter("@RETURN_VALUE", sql::ParamDirection::kReturnValue, SQL_INTEGER, "int"));
  params.Add(sql::Parameter("@Name", sql::ParamDirection::kInput, SQL_VARCHAR, "varchar", 20));
  params.Add(sql::Parameter("@Count", sql::ParamDirection::kInput, SQL_INTEGER, "int"));
  params.Add(
      sql::Parameter("@Price", sql::ParamDirection::kInputOutput, SQL_DECIMAL, "money", 19, 19, 4));
  params.Add(
      sql::Parameter("@When", sql::ParamDirection::kInput, SQL_TYPE_TIMESTAMP, "datetime", 23));
  return params;
}

Variant Element(const Variant& array, std::int32_t index) {
  return array.GetArray().Get({index});
}

TEST(PackParams, GivesOneNameValueTypeDirectionEntryPerParameterInOrder) {
  sql::Parameters params = Procedure();
  params[0].StoreOutput(sql::Value::Integer(-3));
  params[1].SetValue(sql::Value::Text("华东"));
  params[3].SetValue(sql::Value::Decimal("12.5000"));
  params[4].SetValue(sql::Value::FromDateTime({2024, 2, 29, 12, 0, 0, 0}));
  params.Add(sql::Parameter("@Wide", sql::ParamDirection::kOutput, SQL_WVARCHAR, "nvarchar", 10));
  params.Add(sql::Parameter("@Flag", sql::ParamDirection::kInput, SQL_BIT, "bit"));
  params.Add(sql::Parameter("@Blob", sql::ParamDirection::kInput, SQL_LONGVARBINARY, "image"));

  const Variant packed = PackParams(params);
  ASSERT_TRUE(packed.IsArray());
  EXPECT_EQ(packed.GetArray().LowBound(0), 0);
  ASSERT_EQ(packed.GetArray().ElementCount(), params.Count());
  struct Expected {
    const char* name;
    Variant value;
    std::int32_t dataType;
    std::int32_t direction;
  };
  const std::vector<Expected> expected = {
      {"@RETURN_VALUE", Variant::I4(-3), 3, 4}, {"@Name", Variant("华东"), 1, 1},
      {"@Count", Variant::Null(), 3, 1},        {"@Price", Variant::R8(12.5), 8, 3},
      {"@When", Variant::Date(45351.5), 11, 1}, {"@Wide", Variant::Null(), 24, 2},
      {"@Flag", Variant::Null(), 5, 1},         {"@Blob", Variant::Null(), 15, 1},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const Variant entry = Element(packed, static_cast<std::int32_t>(i));
    ASSERT_TRUE(entry.IsArray());
    ASSERT_EQ(entry.GetArray().ElementCount(), 4u);
    EXPECT_EQ(Element(entry, 0), Variant(expected[i].name));
    EXPECT_EQ(Element(entry, 1), expected[i].value);
    EXPECT_EQ(Element(entry, 2), Variant::I4(expected[i].dataType));
    EXPECT_EQ(Element(entry, 3), Variant::I4(expected[i].direction));
  }
}

TEST(PackParams, IsNullWithoutParameters) {
  EXPECT_TRUE(PackParams(sql::Parameters()).IsNull());
}

TEST(UnpackParams, AssignsEntryIByPositionSkippingTheReturnValue) {
  sql::Parameters params = Procedure();
  // Names in the array do not matter: the position does.
  const Variant client = Vector({ReturnEntry(), Entry("x", Variant("abc"), 1, 1),
                                 Entry("y", Variant("42"), 3, 1), Entry("z", Variant("12.5"), 8, 3),
                                 Entry("w", Variant("2024-02-29 12:00:00"), 11, 2)});
  UnpackParams(client, params);
  EXPECT_FALSE(params[0].Assigned());
  EXPECT_EQ(params[1].GetValue(), sql::Value::Text("abc"));
  EXPECT_EQ(params[2].GetValue(), sql::Value::Integer(42));
  // BCD arrives as float: the value is a double, not an exact decimal.
  EXPECT_EQ(params[3].GetValue(), sql::Value::Double(12.5));
  EXPECT_EQ(params[4].GetValue(), sql::Value::FromDateTime({2024, 2, 29, 12, 0, 0, 0}));
  EXPECT_EQ(params[4].Direction(), sql::ParamDirection::kOutput);
  EXPECT_EQ(params[3].Direction(), sql::ParamDirection::kInputOutput);
}

TEST(UnpackParams, LeavesParametersAloneWhenTheArrayIsNotAParameterArray) {
  struct Case {
    const char* label;
    Variant params;
  };
  const std::vector<Case> cases = {
      {"empty", Variant()},
      {"null", Variant::Null()},
      {"a string", Variant("TQueryDataSet")},
      {"only the return value", Vector({ReturnEntry()})},
      {"element 1 is not an array", Vector({ReturnEntry(), Variant("abc")})},
      {"a byte array", Variant::Bytes({1, 2, 3})},
      {"element 1 outside the bounds", Vector({ReturnEntry(), ReturnEntry()}, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sql::Parameters params = Procedure();
    EXPECT_NO_THROW(UnpackParams(c.params, params));
    for (const sql::Parameter& p : params) EXPECT_FALSE(p.Assigned()) << p.Name();
  }
}

TEST(UnpackParams, RejectsMalformedEntriesWithTheMismatchTextOrAClearError) {
  struct Case {
    const char* label;
    Variant params;
    std::string expected;  // part of the message
  };
  const std::string nameMismatch = ParamMismatchMessage("@Name");
  const std::string countMismatch = ParamMismatchMessage("@Count");
  const std::vector<Case> cases = {
      {"an entry of three elements",
       Vector({ReturnEntry(), Vector({Variant("@Name"), Variant("a"), Variant::I4(1)})}),
       nameMismatch},
      {"an entry that is a string",
       Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 1), Variant("oops")}), countMismatch},
      {"an empty entry", Vector({ReturnEntry(), Vector({})}), nameMismatch},
      {"a two-dimensional entry",
       Vector({ReturnEntry(), Variant::Array(SafeArray(com::VT_VARIANT, {{0, 2}, {0, 2}}))}),
       nameMismatch},
      {"an entry starting at 1",
       Vector({ReturnEntry(),
               Vector({Variant("@Name"), Variant("a"), Variant::I4(1), Variant::I4(1)}, 1)}),
       nameMismatch},
      {"a data type that is text",
       Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 1),
               Vector({Variant("@Count"), Variant::I4(1), Variant("integer"), Variant::I4(1)})}),
       countMismatch},
      {"an unknown data type", Vector({ReturnEntry(), Entry("@Name", Variant("a"), 99, 1)}),
       nameMismatch},
      {"a negative data type", Vector({ReturnEntry(), Entry("@Name", Variant("a"), -1, 1)}),
       nameMismatch},
      {"an unknown direction", Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 7)}),
       nameMismatch},
      {"a second return value", Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 4)}),
       nameMismatch},
      {"a value that is no integer",
       Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 1),
               Entry("@Count", Variant("x"), 3, 1)}),
       countMismatch},
      {"an integer out of range",
       Vector({ReturnEntry(), Entry("@Name", Variant("a"), 1, 1),
               Entry("@Count", Variant::R8(1e300), 3, 1)}),
       countMismatch},
      {"a nested array as value",
       Vector({ReturnEntry(), Entry("@Name", Vector({Variant("a")}), 1, 1)}), nameMismatch},
      {"more entries than parameters",
       Vector({ReturnEntry(), Entry("a", Variant("a"), 1, 1), Entry("b", Variant(1), 3, 1),
               Entry("c", Variant(1), 6, 1), Entry("d", Variant(1), 11, 1),
               Entry("e", Variant(1), 3, 1)}),
       "the procedure has 5 parameters"},
      {"a two-dimensional array", Variant::Array(SafeArray(com::VT_VARIANT, {{0, 2}, {0, 4}})),
       "one dimension"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sql::Parameters params = Procedure();
    try {
      UnpackParams(c.params, params);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
    }
  }
}

TEST(UnpackParams, MismatchTextNamesTheParameterInTheServersWords) {
  EXPECT_EQ(ParamMismatchMessage("@Count"),
            "执行存储过程失败。\r\r过程参数 '@Count' 的数据类型与传入值的数据类型不一致。");
}

TEST(AssignParamsByName, AssignsByNameWhateverTheOrderAndSkipsTheReturnValue) {
  sql::Parameters params = Procedure();
  const Variant client =
      Vector({Entry("@count", Variant("7"), 3, 1), Entry("@RETURN_VALUE", Variant::I4(99), 3, 4),
              Entry("@Name", Variant(" "), 1, 1)});
  AssignParamsByName(client, params);
  EXPECT_FALSE(params[0].Assigned());
  EXPECT_EQ(params[1].GetValue(), sql::Value::Text(" "));
  EXPECT_EQ(params[2].GetValue(), sql::Value::Integer(7));
  EXPECT_FALSE(params[3].Assigned());
}

TEST(AssignParamsByName, RejectsMalformedEntriesAndUnknownNames) {
  struct Case {
    const char* label;
    Variant params;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"an entry that is a number", Vector({Variant::I4(1)}), "parameter entry 0"},
      {"a short entry", Vector({Vector({Variant("@Name"), Variant("a")})}), "parameter entry 0"},
      {"an unknown name", Vector({Entry("@Nope", Variant("a"), 1, 1)}), "'@Nope' not found"},
      {"an unknown data type", Vector({Entry("@Name", Variant("a"), 64, 1)}),
       ParamMismatchMessage("@Name")},
      {"a value that does not convert", Vector({Entry("@Count", Variant("many"), 3, 1)}),
       ParamMismatchMessage("@Count")},
      {"two dimensions", Variant::Array(SafeArray(com::VT_VARIANT, {{0, 1}, {0, 1}})),
       "one dimension"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sql::Parameters params = Procedure();
    try {
      AssignParamsByName(c.params, params);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
    }
  }
}

TEST(ReadPackedParam, AcceptsOnlyEntriesWithIndicesZeroToThree) {
  EXPECT_TRUE(ReadPackedParam(Entry("@a", Variant(1), 3, 1)).has_value());
  EXPECT_TRUE(
      ReadPackedParam(Variant::ByRef(std::make_shared<Variant>(Entry("@a", Variant(1), 3, 1))))
          .has_value());
  EXPECT_FALSE(ReadPackedParam(Vector({Variant("@a"), Variant(1), Variant(3)})).has_value());
  EXPECT_FALSE(ReadPackedParam(Variant("@a")).has_value());
  EXPECT_FALSE(
      ReadPackedParam(Vector({Variant::Null(), Variant(1), Variant(3), Variant(1)})).has_value());
}

}  // namespace
}  // namespace quor::datasnap
